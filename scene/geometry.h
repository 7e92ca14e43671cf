// Plain geometric types shared by the scene, the reader and the renderer, and the two number
// conversions that keep masks reproducible: storing a double as a float and rounding to int.
#pragma once

#include <cfloat>
#include <cmath>
#include <cstdint>

// Doubles must be plain 64-bit doubles (SSE2, not the x87's 80 bits), or masks would change.
static_assert(FLT_EVAL_METHOD == 0, "floating-point expressions must be evaluated in their type");

namespace quarvel {

// A position in scene coordinates: x to the right, y up, z away from the viewer.
struct Vec3 {
  float x = 0, y = 0, z = 0;
  friend bool operator==(const Vec3&, const Vec3&) = default;
};

// Axis-aligned bounding box.
struct Box {
  Vec3 min, max;
  friend bool operator==(const Box&, const Box&) = default;
};

// A frame's 4 x 4 matrix, M[row][column], row-vector convention: v' = v M. Rows 0 to 2 hold the
// orientation, row 3 the translation; the fourth column is (0, 0, 0, 1).
struct Transform {
  float m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
};

// Every stored coordinate, extent and scale is a 32-bit float. Expressions are evaluated in
// double and rounded once, here, when the value is stored.
inline float Store(double v) {
  return static_cast<float>(v);
}

// The absolute size of a range, stored as a float.
inline float Extent(float max, float min) {
  return Store(std::fabs(double(max) - min));
}

// Float-to-integer conversion: nearest integer, halves to even. NaN, infinities and values
// outside the 32-bit signed range give INT32_MIN.
inline int32_t RoundToInt(double v) {
  if (!(v > -2147483649.0 && v < 2147483648.0)) return INT32_MIN;  // NaN fails too
  // Adding and taking away 1.5 x 2^52 leaves the nearest integer, ties to even, in the default
  // rounding mode: exact for every |v| below 2^51, without a library call.
  const double r = (v + 0x1.8p52) - 0x1.8p52;
  if (r < -2147483648.0 || r > 2147483647.0) return INT32_MIN;
  return static_cast<int32_t>(r);
}

// Applies a transform to a point: x' = M00 x + M10 y + M20 z + M30, and so on. The fourth
// column is ignored (no perspective division).
inline Vec3 TransformPoint(const Transform& t, Vec3 p) {
  const auto& m = t.m;
  return {Store(double(m[0][0]) * p.x + double(m[1][0]) * p.y + double(m[2][0]) * p.z + m[3][0]),
          Store(double(m[0][1]) * p.x + double(m[1][1]) * p.y + double(m[2][1]) * p.z + m[3][1]),
          Store(double(m[0][2]) * p.x + double(m[1][2]) * p.y + double(m[2][2]) * p.z + m[3][2])};
}

}  // namespace quarvel
