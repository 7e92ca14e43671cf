#include "camera_math.h"

#include <cmath>

namespace quarvel {

Point operator+(const Point& a, const Point& b) {
  return {a[0] + b[0], a[1] + b[1], a[2] + b[2]};
}

Point operator-(const Point& a, const Point& b) {
  return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

Point operator*(double s, const Point& a) {
  return {s * a[0], s * a[1], s * a[2]};
}

double Dot(const Point& a, const Point& b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

Point Cross(const Point& a, const Point& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

double Length(const Point& a) {
  return std::sqrt(Dot(a, a));
}

Point Normalized(const Point& a) {
  return (1 / Length(a)) * a;
}

Point Affine::Apply(const Point& p) const {
  Point out;
  for (int i = 0; i < 3; ++i)
    out[i] = m[i][0] * p[0] + m[i][1] * p[1] + m[i][2] * p[2] + m[i][3];
  return out;
}

Affine Affine::After(const Affine& first) const {
  Affine out;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 4; ++j) {
      double v = j == 3 ? m[i][3] : 0;
      for (int k = 0; k < 3; ++k)
        v += m[i][k] * first.m[k][j];
      out.m[i][j] = v;
    }
  return out;
}

Affine Affine::Inverse() const {
  // The adjugate over the determinant for the linear part; the offset follows.
  const auto& a = m;
  const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                     a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                     a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
  Affine inv;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      const int r0 = (j + 1) % 3, r1 = (j + 2) % 3, c0 = (i + 1) % 3, c1 = (i + 2) % 3;
      inv.m[i][j] = (a[r0][c0] * a[r1][c1] - a[r0][c1] * a[r1][c0]) / det;
    }
  for (int i = 0; i < 3; ++i)
    inv.m[i][3] = -(inv.m[i][0] * a[0][3] + inv.m[i][1] * a[1][3] + inv.m[i][2] * a[2][3]);
  return inv;
}

CameraPose Affine::AsPose() const {
  CameraPose pose;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 4; ++j)
      pose.m[i][j] = m[i][j];
  return pose;
}

bool IsZUp(ModelFormat format) {
  return format == ModelFormat::Max3ds || format == ModelFormat::Stl || format == ModelFormat::Ply;
}

Affine MeshFromFile(const Scene& scene, ModelFormat format) {
  // Scene axes from file axes: z-up files give (x, z, y), y-up ones (x, y, -z).
  Affine axes;
  if (IsZUp(format))
    axes.m[1][1] = axes.m[2][2] = 0, axes.m[1][2] = axes.m[2][1] = 1;
  else
    axes.m[2][2] = -1;
  const double s = scene.FitScale;
  const Vec3& t = scene.FitOffset;
  Affine fit;
  fit.m[0][0] = fit.m[1][1] = fit.m[2][2] = s;
  fit.m[0][3] = s * t.x;
  fit.m[1][3] = s * t.y;
  fit.m[2][3] = s * t.z;
  return fit.After(axes);
}

}  // namespace quarvel
