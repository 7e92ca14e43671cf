#include "fast_raster.h"

#include <immintrin.h>
#include <algorithm>

#include <array>
#include <atomic>
#include <bit>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <limits>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace quarvel {

namespace {

// A float weight E / A is >= 0 exactly when the double quotient is at least -2^-150 (smaller
// negatives round to -0). Decided by signs where they suffice (`sign` is that of A, as +1 or -1,
// so that E x sign is exact); divides only when E and A have opposite signs and E is tiny.
inline bool WeightNonNegative(double e, double a, double sign) {
  if (e * sign >= 0) return true;
  if (std::fabs(e) > std::fabs(a) * 0x1p-100) return false;
  return e / a >= -0x1p-150;  // NaN: false
}

// One edge of a face as the inside test evaluates it: E(x, y) = a (y - yk) - b (x - xk).
struct Edge {
  double a, b, xk, yk;
  bool suffix;        // along a row the passing columns are a suffix (else a prefix)
  bool columnSuffix;  // along a column the passing rows are a suffix (else a prefix)
};

// The edge from (xa, ya) to (xb, yb) of a face of signed area `area`. Along a row E / area grows
// with x exactly when -b / area > 0: then the passing columns are those on the right. Along a
// column it grows with y exactly when a / area > 0: then the passing rows are those above.
Edge MakeEdge(double xa, double ya, double xb, double yb, double area) {
  Edge e{xb - xa, yb - ya, xa, ya, false, false};
  e.suffix = (e.b > 0) != (area > 0);
  e.columnSuffix = (e.a > 0) == (area > 0);
  return e;
}

// Values this large can overflow the edge products, where the monotone argument fails: such
// faces take the plain path.
bool SpansAreSafe(const FaceSetup& f, double pixelScale) {
  constexpr float kLimit = 1e15f;
  for (const Vec3& p : {f.p0, f.p1, f.p2})
    if (!(std::fabs(p.x) < kLimit && std::fabs(p.y) < kLimit)) return false;
  return std::isfinite(pixelScale) && pixelScale > 0 && std::isfinite(f.area2);
}

// Narrows [lo, hi] to the places where inside(k) holds, given that they are a prefix or a suffix
// of it (or all or none of it when `constant`): start at `guess`, where the edge is about, and
// walk to the exact end with the exact test.
template <typename Inside>
[[gnu::always_inline]] inline void NarrowTo(const Inside& inside, bool constant, bool suffix,
                                            double guess, int& lo, int& hi) {
  if (constant || lo == hi) {  // the same along the whole line, or a single place
    if (!inside(lo)) hi = lo - 1;
    return;
  }
  int j = !(guess > lo) ? lo : !(guess < hi) ? hi : int(guess);
  if (suffix) {  // the first passing place
    if (inside(j)) {
      while (j > lo && inside(j - 1))
        --j;
    } else {
      do
        ++j;
      while (j <= hi && !inside(j));
    }
    lo = j;
  } else {  // the last passing place
    if (inside(j)) {
      while (j < hi && inside(j + 1))
        ++j;
    } else {
      do
        --j;
      while (j >= lo && !inside(j));
    }
    hi = j;
  }
}

// Narrows [lo, hi] to the columns of row y where one edge's test passes. The test is monotone
// along the row (every operation in it is a monotone function of the column's sample point), so
// the passing columns are a prefix or a suffix. Called three times a row of every face: kept
// inline in every form of DrawFaceRows, as a call costs the mask's path 5%.
[[gnu::always_inline]] inline void ClipToEdge(const Edge& e, double y, double area, const float* xs,
                                              double guess, int& lo, int& hi) {
  const double t = e.a * (y - e.yk);
  const double sign = area > 0 ? 1.0 : -1.0;
  auto inside = [&](int j) { return WeightNonNegative(t - e.b * (xs[j] - e.xk), area, sign); };
  NarrowTo(inside, e.b == 0, e.suffix, guess, lo, hi);
}

// Narrows [lo, hi] to the rows of column x where one edge's test passes. The test is monotone
// along a column for the same reason: b (x - xk) is fixed, a (y - yk) is a monotone function of
// the row's sample point (which grows with the row), and the difference, the quotient by the area
// and its rounding to float keep the order; the products are the inside test's own, in its order.
[[gnu::always_inline]] inline void ClipColumnToEdge(const Edge& e, double x, double area,
                                                    const float* ys, double guess, int& lo,
                                                    int& hi) {
  const double s = e.b * (x - e.xk);
  const double sign = area > 0 ? 1.0 : -1.0;
  auto inside = [&](int i) { return WeightNonNegative(e.a * (ys[i] - e.yk) - s, area, sign); };
  NarrowTo(inside, e.a == 0, e.columnSuffix, guess, lo, hi);
}

// The depth byte of one pixel: the plane's depth rounded to float, mapped to 0..255 as
// RoundToInt does (1.5 x 2^52 added and taken away rounds to nearest, ties to even) and wrapped
// to its low eight bits, which are those of the shifted double.
inline uint8_t DepthByte(double x, double d, double nx, double yTerm, double nz, double nearZ,
                         double depthScale) {
  constexpr double kMagic = 0x1.8p52;
  const float z = static_cast<float>((d - nx * x - yTerm) / nz);
  const double w = (double(z) - nearZ) * depthScale;
  const double shifted = w + kMagic;
  const double r = shifted - kMagic;
  const bool inRange =
      w > -2147483649.0 && w < 2147483648.0 && r >= -2147483648.0 && r <= 2147483647.0;
  return static_cast<uint8_t>(
      255 - (inRange ? static_cast<uint8_t>(std::bit_cast<uint64_t>(shifted)) : 0));
}

// Pixel by pixel: on processors without AVX2, and for the last few pixels of a span.
void DrawSpanPlain(uint8_t* row, int lo, int hi, const double* depthX, double d, double nx,
                   double yTerm, double nz, double nearZ, double depthScale) {
  for (int j = lo; j <= hi; ++j)
    row[j] = std::max(row[j], DepthByte(depthX[j], d, nx, yTerm, nz, nearZ, depthScale));
}

// The depth bytes of columns lo to hi of one row, four at a time in AVX2 registers: the same
// IEEE operations in the same order as DepthByte, so the same bytes. The quotient's rounding to
// float is taken from a product with the reciprocal when every value within a few double steps of
// it rounds to the same float (then so does the true quotient); the division is done only where
// it may not.
__attribute__((target("avx2"))) void DrawSpanAvx2(uint8_t* row, int lo, int hi,
                                                  const double* depthX, double d, double nx,
                                                  double yTerm, double nz, double nearZ,
                                                  double depthScale) {
  const __m256d D = _mm256_set1_pd(d), NX = _mm256_set1_pd(nx), YT = _mm256_set1_pd(yTerm);
  const __m256d NZ = _mm256_set1_pd(nz), INV = _mm256_set1_pd(1 / nz);
  const __m256d NEAR = _mm256_set1_pd(nearZ), DS = _mm256_set1_pd(depthScale);
  const __m256d MAGIC = _mm256_set1_pd(0x1.8p52), SLACK = _mm256_set1_pd(0x1p-50);
  const __m256d ABS = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFF));
  const __m256d LO1 = _mm256_set1_pd(-2147483649.0), HI1 = _mm256_set1_pd(2147483648.0);
  const __m256d LO2 = _mm256_set1_pd(-2147483648.0), HI2 = _mm256_set1_pd(2147483647.0);
  const __m256i LOWS = _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6);
  int j = lo;
  for (; j + 3 <= hi; j += 4) {
    const __m256d a =
        _mm256_sub_pd(_mm256_sub_pd(D, _mm256_mul_pd(NX, _mm256_loadu_pd(depthX + j))), YT);
    const __m256d guess = _mm256_mul_pd(a, INV);
    const __m256d slack = _mm256_mul_pd(_mm256_and_pd(guess, ABS), SLACK);
    __m128 z = _mm256_cvtpd_ps(_mm256_sub_pd(guess, slack));
    const __m128 above = _mm256_cvtpd_ps(_mm256_add_pd(guess, slack));
    if (_mm_movemask_ps(_mm_cmpeq_ps(z, above)) != 0xF) z = _mm256_cvtpd_ps(_mm256_div_pd(a, NZ));
    const __m256d w = _mm256_mul_pd(_mm256_sub_pd(_mm256_cvtps_pd(z), NEAR), DS);
    const __m256d shifted = _mm256_add_pd(w, MAGIC);
    const __m256d r = _mm256_sub_pd(shifted, MAGIC);
    const __m256d ok = _mm256_and_pd(
        _mm256_and_pd(_mm256_cmp_pd(w, LO1, _CMP_GT_OQ), _mm256_cmp_pd(w, HI1, _CMP_LT_OQ)),
        _mm256_and_pd(_mm256_cmp_pd(r, LO2, _CMP_GE_OQ), _mm256_cmp_pd(r, HI2, _CMP_LE_OQ)));
    // The low 32 bits of each lane (its low byte is the value's), gathered into four words.
    const __m128i words = _mm256_castsi256_si128(
        _mm256_permutevar8x32_epi32(_mm256_castpd_si256(_mm256_and_pd(shifted, ok)), LOWS));
    const __m128i low = _mm_and_si128(words, _mm_set1_epi32(0xFF));
    const __m128i halves = _mm_sub_epi16(_mm_set1_epi16(255), _mm_packs_epi32(low, low));
    const __m128i bytes = _mm_packus_epi16(halves, halves);
    int current;
    std::memcpy(&current, row + j, 4);
    const int merged = _mm_cvtsi128_si32(_mm_max_epu8(bytes, _mm_cvtsi32_si128(current)));
    std::memcpy(row + j, &merged, 4);
  }
  DrawSpanPlain(row, j, hi, depthX, d, nx, yTerm, nz, nearZ, depthScale);
}

using SpanFunction = void (*)(uint8_t*, int, int, const double*, double, double, double, double,
                              double, double);

SpanFunction ChooseDrawSpan() {
  return __builtin_cpu_supports("avx2") ? DrawSpanAvx2 : DrawSpanPlain;
}

const SpanFunction DrawSpan = ChooseDrawSpan();

// The depth value (0 to 255, before it is turned round) of one pixel; -1 when it wraps or is
// not a number.
inline int DepthValue(double x, double d, double nx, double yTerm, double nz, double nearZ,
                      double depthScale) {
  const float z = static_cast<float>((d - nx * x - yTerm) / nz);
  const int32_t v = RoundToInt((double(z) - nearZ) * depthScale);
  return v >= 0 && v <= 255 ? v : -1;
}

// Sixteen bytes whose smallest is the smallest of the 32 bytes at p (SSE2).
inline __m128i Min32(const uint8_t* p) {
  return _mm_min_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)),
                      _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)));
}

// Whether each of the n bytes at p is at least v; a whole stretch of 32 without a loop.
inline bool AllAtLeast(const uint8_t* p, int n, uint8_t v) {
  if (n == 32) {  // v - byte, saturated at 0, is 0 exactly where the byte is at least v
    const __m128i below = _mm_subs_epu8(_mm_set1_epi8(char(v)), Min32(p));
    return _mm_movemask_epi8(_mm_cmpeq_epi8(below, _mm_setzero_si128())) == 0xFFFF;
  }
  for (int k = 0; k < n; ++k)
    if (p[k] < v) return false;
  return true;
}

// DrawSpan, skipping the stretches of 32 pixels that the face cannot change: along a row the
// depth is a monotone function of the column (every operation in it is), so between two columns
// it lies between their values; when both are plain 0..255 values, no pixel between can get a
// byte above the larger of their two bytes, and a stretch already at least that bright stays as
// it is. Deep models, drawn over many times, skip most of their hidden faces this way.
void DrawSpanCulled(uint8_t* row, int lo, int hi, const double* depthX, double d, double nx,
                    double yTerm, double nz, double nearZ, double depthScale) {
  constexpr int kStretch = 32;
  if (hi - lo < kStretch / 2) {  // too short for the test to pay
    DrawSpan(row, lo, hi, depthX, d, nx, yTerm, nz, nearZ, depthScale);
    return;
  }
  for (int first = lo; first <= hi; first += kStretch) {
    const int last = std::min(first + kStretch - 1, hi);
    const int a = DepthValue(depthX[first], d, nx, yTerm, nz, nearZ, depthScale);
    const int b = DepthValue(depthX[last], d, nx, yTerm, nz, nearZ, depthScale);
    if (a >= 0 && b >= 0) {
      if (AllAtLeast(row + first, last - first + 1, uint8_t(255 - std::min(a, b)))) continue;
    }
    DrawSpan(row, first, last, depthX, d, nx, yTerm, nz, nearZ, depthScale);
  }
}

// Depth spans: the plane depth of each pixel rounded to float as DrawFaceDepth computes it (-0
// as +0), the smallest kept (a NaN never is).
void DrawDepthSpan(float* row, int lo, int hi, const double* depthX, double d, double nx,
                   double yTerm, double nz) {
  for (int j = lo; j <= hi; ++j) {
    const float z = static_cast<float>((d - nx * depthX[j] - yTerm) / nz) + 0.0f;
    if (z < row[j]) row[j] = z;
  }
}

// The largest of the n depths at p, none of them NaN (a depth render never holds one); a whole
// stretch of 32 without a loop.
inline float Farthest(const float* p, int n) {
  if (n != 32) return *std::max_element(p, p + n);
  __m128 m = _mm_loadu_ps(p);
  for (int k = 4; k < 32; k += 4)
    m = _mm_max_ps(m, _mm_loadu_ps(p + k));
  m = _mm_max_ps(m, _mm_movehl_ps(m, m));  // the four lanes' maximum, halving
  m = _mm_max_ps(m, _mm_shuffle_ps(m, m, 1));
  return _mm_cvtss_f32(m);
}

// DrawDepthSpan, skipping the stretches of 32 pixels that the face cannot change: the depth is
// a monotone function of the column, so no pixel between two columns gets a depth below the
// smaller of theirs, and a stretch already at least that near stays as it is.
void DrawDepthSpanCulled(float* row, int lo, int hi, const double* depthX, double d, double nx,
                         double yTerm, double nz) {
  constexpr int kStretch = 32;
  if (hi - lo < kStretch / 2) {  // too short for the test to pay
    DrawDepthSpan(row, lo, hi, depthX, d, nx, yTerm, nz);
    return;
  }
  for (int first = lo; first <= hi; first += kStretch) {
    const int last = std::min(first + kStretch - 1, hi);
    const float a = static_cast<float>((d - nx * depthX[first] - yTerm) / nz);
    const float b = static_cast<float>((d - nx * depthX[last] - yTerm) / nz);
    const float farthest = Farthest(row + first, last - first + 1);
    if (farthest <= a && farthest <= b) continue;  // NaN compares false: drawn
    DrawDepthSpan(row, first, last, depthX, d, nx, yTerm, nz);
  }
}

// What the fast path draws into: the 8-bit mask, where the brightest byte wins.
class MaskTarget {
 public:
  MaskTarget(MaskImage& mask, const RenderState& state)
      : mask_(mask), state_(state), nearZ_(state.NearZ), depthScale_(state.DepthScale) {}
  // Columns lo to hi of row i (counted from the bottom) of a face's plane.
  void Span(int i, int lo, int hi, const double* depthX, double d, double nx, double yTerm,
            double nz) const {
    DrawSpanCulled(mask_.Row(state_.MaskHeight - i), lo, hi, depthX, d, nx, yTerm, nz, nearZ_,
                   depthScale_);
  }
  // Rows lo to hi of column j, whose depth coordinate is x.
  void Column(int j, int lo, int hi, double x, const double* depthY, double d, double nx, double ny,
              double nz) const {
    for (int i = lo; i <= hi; ++i) {
      uint8_t& pixel = mask_.Row(state_.MaskHeight - i)[j];
      pixel = std::max(pixel, DepthByte(x, d, nx, ny * depthY[i], nz, nearZ_, depthScale_));
    }
  }
  // A face the spans cannot take, drawn by the plain path.
  void Face(const FaceSetup& f, const SamplePoints& samples, int rowLo, int rowHi) const {
    DrawFace(f, state_, samples, mask_, rowLo, rowHi);
  }

  // A byte is better than another when it is brighter; a tile starts at 0, the worst.
  using Value = int;
  static constexpr Value kWorst = 0;
  static bool NoBetter(Value face, Value floor) { return face <= floor; }
  // The brightest byte the face's plane gives any pixel of the range: the depth is a monotone
  // function of the column along a row and of the row along a column (see DrawSpanCulled and
  // ClipColumnToEdge), so its extremes over the rectangle are at its corners. When a corner's
  // value wraps, pixels between may get any byte: 256 is better than every pixel.
  Value Best(const FaceSetup& f, const SamplePoints& samples, const PixelRange& r) const {
    int nearest = 255;
    for (int i : {r.r0, r.r1}) {
      for (int j : {r.c0, r.c1}) {
        const int v = DepthValue(samples.depthX[j], f.d, f.n.x, f.n.y * samples.depthY[i], f.n.z,
                                 nearZ_, depthScale_);
        if (v < 0) return 256;
        nearest = std::min(nearest, v);
      }
    }
    return 255 - nearest;
  }
  // The darkest byte of rows i0 to i1 and columns j0 to j1; 32 columns at a time.
  Value Worst(int i0, int i1, int j0, int j1) const {
    if (j1 - j0 + 1 != 32) {
      uint8_t darkest = 255;
      for (int i = i0; i <= i1; ++i) {
        const uint8_t* row = mask_.Row(state_.MaskHeight - i) + j0;
        darkest = std::min(darkest, *std::min_element(row, row + (j1 - j0 + 1)));
      }
      return darkest;
    }
    __m128i m = _mm_set1_epi8(char(255));
    for (int i = i0; i <= i1; ++i)
      m = _mm_min_epu8(m, Min32(mask_.Row(state_.MaskHeight - i) + j0));
    m = _mm_min_epu8(m, _mm_srli_si128(m, 8));  // the sixteen lanes' minimum, halving
    m = _mm_min_epu8(m, _mm_srli_si128(m, 4));
    m = _mm_min_epu8(m, _mm_srli_si128(m, 2));
    m = _mm_min_epu8(m, _mm_srli_si128(m, 1));
    return _mm_cvtsi128_si32(m) & 0xFF;
  }

 private:
  MaskImage& mask_;
  const RenderState& state_;
  const double nearZ_, depthScale_;
};

// ... and the depth render, where the smallest depth wins.
class DepthTarget {
 public:
  DepthTarget(DepthImage& depth, const RenderState& state) : depth_(depth), state_(state) {}
  void Span(int i, int lo, int hi, const double* depthX, double d, double nx, double yTerm,
            double nz) const {
    DrawDepthSpanCulled(depth_.Row(state_.MaskHeight - i), lo, hi, depthX, d, nx, yTerm, nz);
  }
  void Column(int j, int lo, int hi, double x, const double* depthY, double d, double nx, double ny,
              double nz) const {
    for (int i = lo; i <= hi; ++i) {
      float& pixel = depth_.Row(state_.MaskHeight - i)[j];
      const float z = static_cast<float>((d - nx * x - ny * depthY[i]) / nz) + 0.0f;
      if (z < pixel) pixel = z;
    }
  }
  void Face(const FaceSetup& f, const SamplePoints& samples, int rowLo, int rowHi) const {
    DrawFaceDepth(f, state_, samples, depth_, rowLo, rowHi);
  }

  // A depth is better than another when it is nearer; a tile starts at infinity, the worst.
  using Value = float;
  static constexpr Value kWorst = std::numeric_limits<float>::infinity();
  static bool NoBetter(Value face, Value floor) { return face >= floor; }  // NaN: better
  // The nearest depth the face's plane gives any pixel of the range: the smallest at a corner.
  Value Best(const FaceSetup& f, const SamplePoints& samples, const PixelRange& r) const {
    float nearest = kWorst;
    for (int i : {r.r0, r.r1}) {
      for (int j : {r.c0, r.c1}) {
        const float z = static_cast<float>(
            (f.d - f.n.x * samples.depthX[j] - f.n.y * samples.depthY[i]) / f.n.z);
        if (std::isnan(z)) return z;  // no face is hidden by a NaN
        nearest = std::min(nearest, z);
      }
    }
    return nearest;
  }
  // The farthest depth of rows i0 to i1 and columns j0 to j1.
  Value Worst(int i0, int i1, int j0, int j1) const {
    float farthest = -kWorst;
    for (int i = i0; i <= i1; ++i)
      farthest = std::max(farthest, Farthest(depth_.Row(state_.MaskHeight - i) + j0, j1 - j0 + 1));
    return farthest;
  }

 private:
  DepthImage& depth_;
  const RenderState& state_;
};

// What a band has drawn, coarsely: per tile of 32 x 32 pixels, a value that no pixel of the tile
// is worse than. A face whose best value is no better than the floor of every tile its pixel range
// touches cannot change a pixel: it is skipped whole, before any of its rows is set up. The floors
// are brought up to date lazily: drawing marks a face's tiles stale, and a stale tile's floor is
// worked out again only when a face is tested against it. That pays only when the nearest faces
// are drawn first; in mesh order the floor is off.
template <typename Target>
class BandFloor {
 public:
  using Value = typename Target::Value;
  static constexpr int kTile = 32;
  static constexpr int kSmallest = 64;  // faces covering fewer pixels are drawn untested

  BandFloor(const Target& target, bool on, int rowLo, int rowHi, int width)
      : target_(target), on_(on), rowLo_(rowLo), rowHi_(rowHi), width_(width) {
    if (!on) return;
    across_ = (width + kTile - 1) / kTile;
    floor_.assign(size_t(across_) * size_t((rowHi - rowLo) / kTile + 1), Target::kWorst);
    stale_.assign(floor_.size(), false);
  }

  // Whether the face, whose pixels in the band are `r`, cannot change any of them; when it may,
  // its tiles are marked stale, as it is drawn next. Calls plane() to have the face's plane set
  // up when it needs it.
  template <typename Plane>
  bool Hides(const FaceSetup& f, const SamplePoints& samples, const PixelRange& r,
             const Plane& plane) {
    if (!on_) return false;
    if (int64_t(r.r1 - r.r0 + 1) * (r.c1 - r.c0 + 1) >= kSmallest) {
      plane();
      if (Covers(r, target_.Best(f, samples, r))) return true;
    }
    Touch(r);
    return false;
  }

  // Marks the tiles of `r` stale: a face drawn there may have changed them.
  void Touch(const PixelRange& r) {
    if (!on_) return;
    for (int ty = (r.r0 - rowLo_) / kTile; ty <= (r.r1 - rowLo_) / kTile; ++ty)
      for (int tx = r.c0 / kTile; tx <= r.c1 / kTile; ++tx)
        stale_[size_t(ty) * across_ + tx] = true;
  }

 private:
  // Whether no pixel of `r` is worse than `best`.
  bool Covers(const PixelRange& r, Value best) {
    if (Target::NoBetter(best, Target::kWorst)) return true;
    for (int ty = (r.r0 - rowLo_) / kTile; ty <= (r.r1 - rowLo_) / kTile; ++ty) {
      for (int tx = r.c0 / kTile; tx <= r.c1 / kTile; ++tx) {
        const size_t t = size_t(ty) * across_ + tx;
        if (Target::NoBetter(best, floor_[t])) continue;
        if (!stale_[t]) return false;
        // Row 0 is never drawn (see FacePixels) and not looked at.
        const int i0 = std::max(rowLo_ + ty * kTile, 1), j0 = tx * kTile;
        floor_[t] = target_.Worst(i0, std::min(rowLo_ + ty * kTile + kTile - 1, rowHi_), j0,
                                  std::min(j0 + kTile - 1, width_ - 1));
        stale_[t] = false;
        if (!Target::NoBetter(best, floor_[t])) return false;
      }
    }
    return true;
  }

  const Target& target_;
  const bool on_;
  const int rowLo_, rowHi_, width_;
  int across_ = 0;
  std::vector<Value> floor_;
  std::vector<bool> stale_;
};

// A face at least this many times taller than wide is drawn column by column: one span setup per
// column instead of one per row, for the slivers a dense model becomes in a big mask.
constexpr int kColumnRatio = 2;

// Draws the rows [rowLo, rowHi] (counted from the bottom) of one face set up by SetUpOutline, row
// by row or, for a tall and narrow face, column by column; its plane is worked out only once the
// band's floor or a pixel of it needs it.
template <typename Target>
void DrawFaceRows(FaceSetup& f, const RenderState& state, const SamplePoints& samples,
                  const Target& target, BandFloor<Target>& floor, int rowLo, int rowHi) {
  const int w = state.MaskWidth, h = state.MaskHeight;
  const double ps = state.PixelScale;
  const PixelRange range = FacePixels(f, state, rowLo, rowHi);
  if (range.empty()) return;
  const auto [r0, r1, c0, c1] = range;
  bool planeReady = false;
  auto plane = [&] {
    if (!planeReady) SetUpPlane(f);
    planeReady = true;
  };
  if (floor.Hides(f, samples, range, plane)) return;
  const double x0 = f.p0.x, y0 = f.p0.y, x1 = f.p1.x, y1 = f.p1.y, x2 = f.p2.x, y2 = f.p2.y;
  const double area = f.area2;
  // The edges of the weights w0 = E(1, 2), w1 = E(2, 0), w2 = E(0, 1).
  const Edge edges[3] = {MakeEdge(x1, y1, x2, y2, area), MakeEdge(x2, y2, x0, y0, area),
                         MakeEdge(x0, y0, x1, y1, area)};
  const float* xs = samples.insideX.data();
  const float* ys = samples.insideY.data();
  const double* depthX = samples.depthX.data();
  if (r1 - r0 + 1 >= kColumnRatio * (c1 - c0 + 1)) {
    const double half = h * 0.5;
    // E = 0 where y = yk + slope (x - xk): where the walk along a column starts.
    double slope[3] = {};
    for (int k = 0; k < 3; ++k)
      if (edges[k].a != 0) slope[k] = edges[k].b / edges[k].a;
    for (int j = c0; j <= c1; ++j) {
      const double x = xs[j];
      int lo = r0, hi = r1;
      for (int k = 0; k < 3 && lo <= hi; ++k) {
        const Edge& e = edges[k];
        ClipColumnToEdge(e, x, area, ys, (e.yk + slope[k] * (x - e.xk)) * ps + half, lo, hi);
      }
      if (lo > hi) continue;
      plane();
      target.Column(j, lo, hi, depthX[j], samples.depthY.data(), f.d, f.n.x, f.n.y, f.n.z);
    }
    return;
  }
  const double half = w * 0.5;
  // Where each edge crosses the first row, in columns; one row up it crosses `slope` further.
  // A face one column wide needs neither (most faces of a dense model in a small mask), and
  // leaves out the divisions.
  double guess[3] = {}, slope[3] = {};
  for (int k = 0; k < 3 && c1 > c0; ++k) {
    const Edge& e = edges[k];
    if (e.b != 0) slope[k] = e.a / e.b;
    guess[k] = (e.xk + slope[k] * (ys[r0] - e.yk)) * ps + half;
  }
  for (int i = r0; i <= r1; ++i) {
    const double y = ys[i];
    int lo = c0, hi = c1;
    for (int k = 0; k < 3 && lo <= hi; ++k)
      ClipToEdge(edges[k], y, area, xs, guess[k], lo, hi);
    for (int k = 0; k < 3; ++k)
      guess[k] += slope[k];
    if (lo > hi) continue;
    plane();
    target.Span(i, lo, hi, depthX, f.d, f.n.x, f.n.y * samples.depthY[i], f.n.z);
  }
}

// Set by SetThreadFaultsForTesting; -1: no fault.
std::atomic<int> threadStarts{0}, refuseStartsFrom{-1}, throwInThread{-1};

// Pieces of work 0 to count - 1 handed out one at a time to the threads that take them: the
// calling thread and those it could start. Each piece is done once, by whichever thread takes it,
// and writes only its own share of the result (a chunk's vertices or bins, a band's rows, where
// the nearest surface wins whatever the order), so the bytes are the same however many threads
// there are, one included. The first exception thrown in any thread stops the handing out; it is
// rethrown on the calling thread once every thread is joined.
class Crew {
 public:
  explicit Crew(int count) : count_(count) {}
  Crew(const Crew&) = delete;
  Crew& operator=(const Crew&) = delete;
  ~Crew() { Join(); }  // a thread still joinable when it is destroyed would end the program

  // Starts up to `threads` threads, each taking pieces for body(k) until none is left. A thread
  // the system cannot start (no memory for its stack, a limit on threads) ends the starting: the
  // pieces are taken by the threads already started, or by the calling thread's Drain.
  template <typename Body>
  void Start(int threads, const Body& body) {
    threads_.reserve(size_t(std::max(threads, 0)));
    for (int i = 0; i < threads; ++i) {
      const int number = threadStarts.fetch_add(1);
      const int refuseFrom = refuseStartsFrom.load();
      const bool throws = number == throwInThread.load();
      try {
        if (refuseFrom >= 0 && number >= refuseFrom)
          throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        std::lock_guard lock(m_);
        threads_.emplace_back([this, &body, throws] {
          Drain(body, throws);
          std::lock_guard exitLock(m_);
          if (--running_ == 0) finished_.notify_all();
        });
        ++running_;
      } catch (const std::system_error&) {
        return;
      } catch (const std::bad_alloc&) {
        return;
      }
    }
  }

  bool Started() const { return !threads_.empty(); }

  // Takes pieces for body(k) on this thread until none is left; an exception is kept, not thrown.
  template <typename Body>
  void Drain(const Body& body, bool throws = false) noexcept {
    try {
      if (throws) throw std::bad_alloc();
      for (int k; (k = next_.fetch_add(1)) < count_;)
        body(k);
    } catch (...) {
      Fail(std::current_exception());
    }
  }

  // Calls tick() on the calling thread every 10 ms until the started threads have run out of
  // pieces; an exception from tick() stops the handing out as a worker's would.
  template <typename Tick>
  void Watch(const Tick& tick) {
    const auto allOut = [this] { return running_ == 0; };
    std::unique_lock lock(m_);
    while (!finished_.wait_for(lock, std::chrono::milliseconds(10), allOut)) {
      if (error_) continue;  // no more pieces are handed out: only the joining is left
      lock.unlock();
      try {
        tick();
      } catch (...) {
        Fail(std::current_exception());
      }
      lock.lock();
    }
  }

  // Joins every started thread, then rethrows the first exception any thread threw.
  void Finish() {
    Join();
    if (error_) std::rethrow_exception(error_);
  }

 private:
  void Fail(std::exception_ptr e) {
    next_.store(count_);
    std::lock_guard lock(m_);
    if (!error_) error_ = std::move(e);
  }

  void Join() {
    for (std::thread& th : threads_)
      th.join();
    threads_.clear();
  }

  const int count_;
  std::atomic<int> next_{0};
  std::mutex m_;
  std::condition_variable finished_;
  int running_ = 0;  // started threads still taking pieces
  std::exception_ptr error_;
  std::vector<std::thread> threads_;
};

// Runs body(k) for k = 0 to count - 1 on up to `threads` threads, the calling one included.
template <typename Body>
void ParallelFor(int count, int threads, const Body& body) {
  Crew crew(count);
  crew.Start(std::min(threads, count) - 1, body);
  crew.Drain(body);
  crew.Finish();
}

// Draws every face of `mesh`, placed by `t`, into the target: DrawFacesFast and
// DrawFacesFastDepth.
template <typename Target>
void DrawFacesInto(const Mesh& mesh, const Transform& t, const RenderState& state,
                   const SamplePoints& samples, const Target& target, int threads,
                   const std::function<void(int percent)>& wait) {
  const int h = state.MaskHeight;
  const double ps = state.PixelScale;
  if (threads <= 0) threads = int(std::max(1u, std::thread::hardware_concurrency()));
  const auto vertices = mesh.vertices();
  const auto faces = mesh.faces();

  // Every vertex placed once: a face's corners are the same whichever face reads them.
  constexpr int kChunk = 1 << 16;
  std::vector<Vec3> placed(vertices.size());
  ParallelFor(int((vertices.size() + kChunk - 1) / kChunk), threads, [&](int c) {
    const size_t end = std::min(vertices.size(), size_t(c + 1) * kChunk);
    for (size_t i = size_t(c) * kChunk; i < end; ++i)
      placed[i] = TransformPoint(t, vertices[i]);
  });

  // Sort the faces into horizontal bands by the rows they reach: per chunk of faces, so that the
  // chunks can be sorted side by side. Each face also gets a rough depth key, 0 for the nearest:
  // a band draws its nearest faces first, so that the faces behind them are mostly skipped.
  const int bandCount = std::clamp(h / 32, 1, 16 * threads);
  const int bandRows = (h + bandCount - 1) / bandCount;
  const int chunks = int((faces.size() + kChunk - 1) / kChunk);
  std::vector<std::vector<std::vector<uint32_t>>> bins(
      chunks, std::vector<std::vector<uint32_t>>(bandCount));
  std::vector<uint8_t> depthKey(faces.size());
  std::vector<double> widths(chunks);  // the faces' widths in pixels, summed per chunk
  const double keyScale = std::isfinite(state.DepthScale) ? state.DepthScale : 0.0;
  std::vector<int> bandOf(size_t(std::max(h, 0)));  // a table: a division costs the sort a fifth
  for (int r = 0; r < h; ++r)
    bandOf[r] = r / bandRows;
  ParallelFor(chunks, threads, [&](int c) {
    const size_t end = std::min(faces.size(), size_t(c + 1) * kChunk);
    double widthSum = 0;  // summed here: chunks side by side share a cache line of `widths`
    for (size_t i = size_t(c) * kChunk; i < end; ++i) {
      const Vec3 p0 = placed[faces[i][0]], p1 = placed[faces[i][1]], p2 = placed[faces[i][2]];
      const double key = (std::min({p0.z, p1.z, p2.z}) - double(state.NearZ)) * keyScale;
      depthKey[i] = uint8_t(key > 0 && key < 255 ? key : key >= 255 ? 255 : 0);
      const double width = (std::max({p0.x, p1.x, p2.x}) - std::min({p0.x, p1.x, p2.x})) * ps;
      if (width < 1e9) widthSum += width;
      // The face's rows as FacePixels finds them: none when it is above or below the picture.
      const float y0 = p0.y, y1 = p1.y, y2 = p2.y;
      const int r0 = std::max(RoundToInt(std::min({y0, y1, y2}) * ps + h * 0.5), 1);
      const int r1 = std::min(RoundToInt(std::max({y0, y1, y2}) * ps + h * 0.5), h - 1);
      if (r0 > r1) continue;
      for (int b = bandOf[r0]; b <= bandOf[r1]; ++b)
        bins[c][b].push_back(uint32_t(i));
    }
    widths[c] = widthSum;
  });

  // Drawing the nearest faces first pays where faces are wide enough for hidden stretches to be
  // skipped; narrow ones keep mesh order (one key for all), which keeps their vertices in cache.
  double widthSum = 0;
  for (double w : widths)
    widthSum += w;
  const bool nearestFirst = widthSum >= 16.0 * double(faces.size());
  if (!nearestFirst) std::fill(depthKey.begin(), depthKey.end(), 0);

  std::atomic<int> done{0};
  auto drawBand = [&](int b) {
    const int rowLo = b * bandRows, rowHi = std::min(h - 1, rowLo + bandRows - 1);
    // The band's faces, nearest first (a counting sort on the depth key). The nearest surface
    // wins whatever the order, so the order changes the time only, never the bytes.
    std::array<uint32_t, 257> start{};
    for (int c = 0; c < chunks; ++c)
      for (uint32_t i : bins[c][b])
        ++start[depthKey[i] + 1u];
    for (size_t k = 1; k < start.size(); ++k)
      start[k] += start[k - 1];
    std::vector<uint32_t> order(start.back());
    for (int c = 0; c < chunks; ++c) {
      for (uint32_t i : bins[c][b])
        order[start[depthKey[i]]++] = i;
      std::vector<uint32_t>().swap(bins[c][b]);
    }
    BandFloor<Target> floor(target, nearestFirst, rowLo, rowHi, state.MaskWidth);
    for (uint32_t i : order) {
      StopIfRequested();  // a face fills at most the band's rows: a few milliseconds
      FaceSetup f = SetUpOutline(placed[faces[i][0]], placed[faces[i][1]], placed[faces[i][2]]);
      if (f.area2 == 0) continue;  // an edge-on face covers nothing
      if (SpansAreSafe(f, ps)) {
        DrawFaceRows(f, state, samples, target, floor, rowLo, rowHi);
      } else {
        SetUpPlane(f);
        target.Face(f, samples, rowLo, rowHi);
        if (const PixelRange r = FacePixels(f, state, rowLo, rowHi); !r.empty()) floor.Touch(r);
      }
    }
    done.fetch_add(1);
  };
  auto report = [&] {
    if (wait) wait(done.load() * 100 / bandCount);
  };
  // The bands are drawn on threads of their own while the calling thread reports. When none can
  // be started, the calling thread draws them all, the same bands in the same way, and reports
  // after each.
  Crew crew(bandCount);
  crew.Start(std::min(threads, bandCount), drawBand);
  if (crew.Started()) {
    crew.Watch(report);
  } else {
    crew.Drain([&](int b) {
      drawBand(b);
      report();
    });
  }
  crew.Finish();
}

}  // namespace

void DrawFacesFast(const Mesh& mesh, const Transform& t, const RenderState& state,
                   const SamplePoints& samples, MaskImage& mask, int threads,
                   const std::function<void(int percent)>& wait) {
  DrawFacesInto(mesh, t, state, samples, MaskTarget(mask, state), threads, wait);
}

void DrawFacesFastDepth(const Mesh& mesh, const Transform& t, const RenderState& state,
                        const SamplePoints& samples, DepthImage& depth, int threads,
                        const std::function<void(int percent)>& wait) {
  DrawFacesInto(mesh, t, state, samples, DepthTarget(depth, state), threads, wait);
}

void SetThreadFaultsForTesting(ThreadFaultsForTesting faults) {
  threadStarts = 0;
  refuseStartsFrom = faults.refuseFrom;
  throwInThread = faults.throwIn;
}

}  // namespace quarvel
