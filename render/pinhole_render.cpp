// The rules of the perspective render, in the order a face meets them:
//
// 1. Every vertex is taken to camera space once per render, in double: X = m * [v 1].
// 2. A face's plane comes from its three camera-space corners: n = (p1 - p0) x (p2 - p0),
//    d = n . p0. A face with n = 0 draws nothing.
// 3. A face entirely at z < nearZ draws nothing. A face crossing z = nearZ is cut to its part at
//    z >= nearZ, a polygon of 3 or 4 corners drawn as 1 or 2 triangles. The pieces keep the
//    whole face's plane for their depths and normals, so cutting never changes a depth.
// 4. Corners are projected: u = fx x / z + cx, v = fy y / z + cy (each vertex once when the face
//    needs no cut). Pixel (c, r) is covered when (c, r) lies in the projected triangle, edges
//    included, whatever its winding: the three edge functions, in double, all >= 0 (or all <= 0
//    for the other winding). A NaN or a zero area covers nothing. Only the pixels of the
//    triangle's bounding rectangle, clipped to the picture in double before any conversion to
//    int, are tested.
// 5. The ray through a covered pixel is r = ((c - cx) / fx, (r - cy) / fy, 1); it meets the
//    plane at t = d / (n . r), used only when finite and > 0. The point t r has z = t, and lies
//    t |r| from the camera. Each pixel keeps the smallest t (the first face drawn on a tie), and
//    stores float(t) along the axis or float(t |r|) along the ray, -0 as +0.
// 6. The normal is n / |n|, turned to face the camera (negated when n . r > 0), for the kept face.
// 7. No face is culled for facing away.
#include "pinhole_render.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace quarvel {

namespace {

struct Point3 {
  double x, y, z;
};

// A camera-space corner and its projection (u, v) on the picture.
struct Corner {
  Point3 p;
  double u, v;
};

struct Plane {
  Point3 n;
  double d;
};

Corner Project(const Point3& p, const Intrinsics& k) {
  return {p, k.fx * p.x / p.z + k.cx, k.fy * p.y / p.z + k.cy};
}

// Every vertex in camera space and, in front of the camera, projected.
std::vector<Corner> ToCamera(const Mesh& mesh, const PerspectiveRequest& request) {
  const auto& m = request.pose.m;
  std::vector<Corner> out;
  out.reserve(mesh.vertices().size());
  for (const Vec3& v : mesh.vertices()) {
    const double x = v.x, y = v.y, z = v.z;
    out.push_back(Project({m[0][0] * x + m[0][1] * y + m[0][2] * z + m[0][3],
                           m[1][0] * x + m[1][1] * y + m[1][2] * z + m[1][3],
                           m[2][0] * x + m[2][1] * y + m[2][2] * z + m[2][3]},
                          request.k));
  }
  return out;
}

Plane FacePlane(const Point3& p0, const Point3& p1, const Point3& p2) {
  const double ax = p1.x - p0.x, ay = p1.y - p0.y, az = p1.z - p0.z;
  const double bx = p2.x - p0.x, by = p2.y - p0.y, bz = p2.z - p0.z;
  const Point3 n{ay * bz - az * by, az * bx - ax * bz, ax * by - ay * bx};
  return {n, n.x * p0.x + n.y * p0.y + n.z * p0.z};
}

// The pixels first..last whose centres lie in [lo, hi], clipped to 0..count - 1; first > last
// when there are none or a bound is NaN. Clamped in double first, so the conversions to int
// (which round towards zero: floor and, one up when short, ceil for these non-negative values)
// cannot overflow.
struct Span {
  int first, last;
};
Span PixelSpan(double lo, double hi, int count) {
  if (!(lo <= hi)) return {0, -1};
  const double from = std::max(lo, 0.0), to = std::min(hi, double(count) - 1);
  if (!(from <= to)) return {0, -1};
  const int first = int(from);
  return {first < from ? first + 1 : first, int(to)};
}

// The pixels of a projected triangle's bounding rectangle, clipped to the picture.
struct Rect {
  Span cols, rows;
  bool Empty() const { return cols.first > cols.last || rows.first > rows.last; }
};
Rect Bounds(const Corner& a, const Corner& b, const Corner& c, int width, int height) {
  return {PixelSpan(std::min({a.u, b.u, c.u}), std::max({a.u, b.u, c.u}), width),
          PixelSpan(std::min({a.v, b.v, c.v}), std::max({a.v, b.v, c.v}), height)};
}

// What a render works on: the rays of the columns and rows, and per pixel the nearest t so far
// and the face it belongs to.
struct Target {
  int width, height;
  std::vector<double> rayX, rayY;  // (c - cx) / fx and (r - cy) / fy
  std::vector<double> nearest;     // per pixel, +infinity where no face covers it
  std::vector<uint32_t> face;      // per pixel, the face that gave `nearest`
};

// Tests every pixel of the projected triangle a, b, c's bounding rectangle and gives each
// covered one the face's plane depth when it is nearer than what the pixel holds.
void DrawTriangle(const Corner& a, const Corner& b, const Corner& c, const Plane& plane,
                  uint32_t index, Target& target) {
  const double area = (b.u - a.u) * (c.v - a.v) - (c.u - a.u) * (b.v - a.v);
  if (!(area != 0)) return;  // NaN too
  const auto [cols, rows] = Bounds(a, b, c, target.width, target.height);
  if (cols.first > cols.last || rows.first > rows.last) return;
  // Edge e runs from corner e + 1 (at x0, y0) to corner e + 2: E(x, y) = ex (y - y0) - ey (x - x0).
  const Corner* k[3] = {&a, &b, &c};
  double x0[3], y0[3], ex[3], ey[3];
  for (int e = 0; e < 3; ++e) {
    x0[e] = k[(e + 1) % 3]->u;
    y0[e] = k[(e + 1) % 3]->v;
    ex[e] = k[(e + 2) % 3]->u - x0[e];
    ey[e] = k[(e + 2) % 3]->v - y0[e];
  }
  const bool positive = area > 0;
  const double nx = plane.n.x, ny = plane.n.y, nz = plane.n.z, d = plane.d;
  for (int r = rows.first; r <= rows.last; ++r) {
    StopIfRequested();  // a face can be a whole picture of rows
    double rowPart[3];
    for (int e = 0; e < 3; ++e)
      rowPart[e] = ex[e] * (r - y0[e]);
    const double ry = target.rayY[r];
    double* nearest = target.nearest.data() + size_t(r) * size_t(target.width);
    uint32_t* face = target.face.data() + size_t(r) * size_t(target.width);
    for (int col = cols.first; col <= cols.last; ++col) {
      bool inside = true;
      for (int e = 0; e < 3 && inside; ++e) {
        const double value = rowPart[e] - ey[e] * (col - x0[e]);
        inside = positive ? value >= 0 : value <= 0;  // NaN: outside
      }
      if (!inside) continue;
      const double t = d / (nx * target.rayX[col] + ny * ry + nz);
      if (!(t > 0 && t < std::numeric_limits<double>::infinity())) continue;
      if (t < nearest[col]) {  // the face drawn first keeps a tie
        nearest[col] = t;
        face[col] = index;
      }
    }
  }
}

// Where the segment from a (in front) to b (behind) meets z = nearZ; z is set to nearZ exactly.
Point3 CutAt(const Point3& a, const Point3& b, double nearZ) {
  const double s = (nearZ - a.z) / (b.z - a.z);
  return {a.x + s * (b.x - a.x), a.y + s * (b.y - a.y), nearZ};
}

// Draws the part of the face p at z >= nearZ: the polygon the near plane leaves, as a fan.
void DrawCutFace(const std::array<Point3, 3>& p, const Plane& plane, uint32_t index,
                 const PerspectiveRequest& request, Target& target) {
  Corner kept[4];
  int count = 0;
  for (int i = 0; i < 3; ++i) {
    const Point3& from = p[i];
    const Point3& to = p[(i + 1) % 3];
    const bool fromIn = from.z >= request.nearZ, toIn = to.z >= request.nearZ;
    if (fromIn) kept[count++] = Project(from, request.k);
    if (fromIn != toIn)
      kept[count++] = Project(
          fromIn ? CutAt(from, to, request.nearZ) : CutAt(to, from, request.nearZ), request.k);
  }
  for (int i = 2; i < count; ++i)
    DrawTriangle(kept[0], kept[i - 1], kept[i], plane, index, target);
}

// Turns the kept t and faces into the stored depths and, when asked, normals.
void Finish(const Target& target, const std::vector<Corner>& corners, const Mesh& mesh,
            const PerspectiveRequest& request, PerspectiveImages& out) {
  const bool normals = request.normals;
  for (int r = 0; r < target.height; ++r) {
    for (int c = 0; c < target.width; ++c) {
      const size_t i = size_t(r) * size_t(target.width) + size_t(c);
      const double t = target.nearest[i];
      if (t == std::numeric_limits<double>::infinity()) continue;
      const double rx = target.rayX[c], ry = target.rayY[r];
      const double length =
          request.depth == DepthKind::AlongRay ? std::sqrt(rx * rx + ry * ry + 1) : 1.0;
      out.depth.depth[i] = float(t * length) + 0.0f;  // -0 stored as +0
      if (!normals) continue;
      const FaceIndices& f = mesh.faces()[target.face[i]];
      const Point3 n = FacePlane(corners[f[0]].p, corners[f[1]].p, corners[f[2]].p).n;
      const double norm = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
      const double sign = n.x * rx + n.y * ry + n.z > 0 ? -1.0 : 1.0;
      float* xyz = out.normals.xyz.data() + 3 * i;
      xyz[0] = float(sign * n.x / norm) + 0.0f;
      xyz[1] = float(sign * n.y / norm) + 0.0f;
      xyz[2] = float(sign * n.z / norm) + 0.0f;
    }
  }
}

void CheckRequest(const PerspectiveRequest& q) {
  const Intrinsics& k = q.k;
  if (q.width < 0 || q.height < 0) throw std::invalid_argument("negative picture size");
  for (double v : {k.fx, k.fy, k.cx, k.cy, q.nearZ})
    if (!std::isfinite(v)) throw std::invalid_argument("camera values must be finite");
  if (k.fx == 0 || k.fy == 0) throw std::invalid_argument("zero focal length");
  if (!(q.nearZ > 0)) throw std::invalid_argument("the near plane must be in front of the camera");
}

}  // namespace

void RenderPerspective(const Mesh& mesh, const PerspectiveRequest& request, PerspectiveImages& out,
                       const Feedback& fb) {
  CheckRequest(request);
  const int w = request.width, h = request.height;
  const size_t pixels = size_t(w) * size_t(h);
  out.depth.Reset(w, h);
  out.normals = {};
  if (request.normals) out.normals = {w, h, std::vector<float>(3 * pixels, 0.0f)};

  Target target{w, h, {}, {}, {}, {}};
  target.nearest.assign(pixels, std::numeric_limits<double>::infinity());
  target.face.assign(pixels, 0);
  const Intrinsics& k = request.k;
  for (int c = 0; c < w; ++c)
    target.rayX.push_back((c - k.cx) / k.fx);
  for (int r = 0; r < h; ++r)
    target.rayY.push_back((r - k.cy) / k.fy);

  const std::vector<Corner> corners = ToCamera(mesh, request);
  const auto faces = mesh.faces();
  const size_t step = std::max<size_t>(faces.size() / 10, 1);
  for (size_t i = 0, report = 0; i < faces.size(); ++i) {
    if (i % kFacesBetweenStops == 0) StopIfRequested();
    if (i == report && faces.size() > 10) fb.Progress(int(i * 100 / faces.size()));
    if (i == report) report += step;
    const Corner &a = corners[faces[i][0]], &b = corners[faces[i][1]], &c = corners[faces[i][2]];
    const double nearZ = request.nearZ;
    const int inFront = (a.p.z >= nearZ) + (b.p.z >= nearZ) + (c.p.z >= nearZ);
    // Most faces of a large model cover no pixel centre: they are left before their plane is made.
    if (inFront == 0 || (inFront == 3 && Bounds(a, b, c, w, h).Empty())) continue;
    const Plane plane = FacePlane(a.p, b.p, c.p);
    if (plane.n.x == 0 && plane.n.y == 0 && plane.n.z == 0) continue;
    if (inFront == 3)
      DrawTriangle(a, b, c, plane, uint32_t(i), target);
    else
      DrawCutFace({a.p, b.p, c.p}, plane, uint32_t(i), request, target);
  }
  Finish(target, corners, mesh, request, out);
  fb.Progress(0);
}

}  // namespace quarvel
