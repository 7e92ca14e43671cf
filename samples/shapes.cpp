#include "shapes.h"

#include <cmath>
#include <numbers>

namespace quarvel {

namespace {

struct V {
  double x, y, z;
  V operator+(V o) const { return {x + o.x, y + o.y, z + o.z}; }
  V operator-(V o) const { return {x - o.x, y - o.y, z - o.z}; }
  V operator*(double s) const { return {x * s, y * s, z * s}; }
};

V Cross(V a, V b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
V Normalised(V a) {
  return a * (1 / std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z));
}

}  // namespace

TriangleMesh TorusKnot(int segments, int sides, int p, int q) {
  constexpr double kRadius = 3.0, kTube = 0.7;
  const double pi = std::numbers::pi;
  // The knot lies in the file's x-z plane (z is up in the file, y is depth), facing the viewer.
  auto curve = [&](double u) {
    const double r = kRadius * (2 + std::cos(q * u)) * 0.5;
    return V{r * std::cos(p * u), -kRadius * 0.5 * std::sin(q * u), r * std::sin(p * u)};
  };
  TriangleMesh m;
  m.vertices.reserve(size_t(segments) * sides);
  for (int i = 0; i < segments; ++i) {
    const double u = 2 * pi * i / segments;
    const V c = curve(u), tangent = Normalised(curve(u + 1e-4) - c);
    const V normal = Normalised(Cross(tangent, c + curve(u + 1e-4)));
    const V binormal = Cross(tangent, normal);
    for (int j = 0; j < sides; ++j) {
      const double a = 2 * pi * j / sides;
      const V v = c + normal * (kTube * std::cos(a)) + binormal * (kTube * std::sin(a));
      m.vertices.push_back({float(v.x), float(v.y), float(v.z)});
    }
  }
  for (int i = 0; i < segments; ++i) {
    const uint32_t a = i * sides, b = ((i + 1) % segments) * sides;
    for (int j = 0; j < sides; ++j) {
      const uint32_t j1 = (j + 1) % sides;
      m.faces.push_back({a + j, b + j, b + j1});
      m.faces.push_back({a + j, b + j1, a + j1});
    }
  }
  return m;
}

}  // namespace quarvel
