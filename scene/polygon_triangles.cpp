#include "polygon_triangles.h"

#include <algorithm>
#include <cmath>

namespace quarvel {

namespace {

// Cutting ears tests each candidate ear against the reflex corners: about n^2 tests for a polygon
// of n corners. A polygon of more corners than this is fanned instead, so that a file of a few
// huge polygons (the readers allow a corner for every 3 bytes) never sets off a quadratic loop
// over millions of corners.
constexpr size_t kMaxClippedCorners = 4096;
// The corner tests the ear search may make for a polygon of n corners, this many times n^2 (combs,
// stars and tight spirals take under n^2 / 2): an outline whose ears are hard to find, which could
// take cubic time, is fanned instead.
constexpr uint64_t kTestsPerSquaredCorner = 2;

// Twice the signed area of the triangle (a, b, c): positive when it turns counterclockwise, 0
// when its corners are on one line.
double Turn(const PlanePoint& a, const PlanePoint& b, const PlanePoint& c) {
  return (b.u - a.u) * (c.v - a.v) - (b.v - a.v) * (c.u - a.u);
}

bool Same(const PlanePoint& a, const PlanePoint& b) {
  return a.u == b.u && a.v == b.v;
}

// Whether p lies inside the counterclockwise triangle (a, b, c) or on its edges.
bool Inside(const PlanePoint& p, const PlanePoint& a, const PlanePoint& b, const PlanePoint& c) {
  return Turn(a, b, p) >= 0 && Turn(b, c, p) >= 0 && Turn(c, a, p) >= 0;
}

// The fan from the first corner: (c0, ck, ck+1) for each k, added as (ck+1, ck, c0).
void AppendFan(std::span<const uint32_t> corners, std::vector<FaceIndices>& out) {
  for (size_t k = 1; k + 1 < corners.size(); ++k)
    out.push_back({corners[k + 1], corners[k], corners[0]});
}

// How often one coordinate of the edges changes its direction going once round the outline
// (edges along the other axis left out): twice for a convex outline, more for one that winds
// round more than once.
int DirectionChanges(std::span<const PlanePoint> points, double PlanePoint::*axis) {
  int changes = 0, first = 0, last = 0;
  for (size_t i = 0, from = points.size() - 1; i < points.size(); from = i++) {
    const double d = points[i].*axis - points[from].*axis;
    const int sign = (d > 0) - (d < 0);
    if (sign == 0) continue;
    if (first == 0) first = sign;
    changes += last != 0 && sign != last;
    last = sign;
  }
  return changes + (last != first);
}

}  // namespace

void PolygonTriangles::AppendPolygon(std::span<const Vec3> pool, std::span<const uint32_t> corners,
                                     std::vector<FaceIndices>& out) {
  const auto inPool = [&] {
    return std::all_of(corners.begin(), corners.end(), [&](uint32_t c) { return c < pool.size(); });
  };
  if (corners.size() > 3 && corners.size() <= kMaxClippedCorners && inPool() &&
      Project(pool, corners) && !Convex() && ClipEars(corners, out))
    return;
  AppendFan(corners, out);
}

// The corners in the plane of the polygon's Newell normal, with the coordinate of the normal's
// largest axis dropped and the outline turned counterclockwise; false when the polygon has no
// plane (all its corners on one line, or its area cancelled out by crossing edges).
bool PolygonTriangles::Project(std::span<const Vec3> pool, std::span<const uint32_t> corners) {
  const size_t n = corners.size();
  double normal[3] = {0, 0, 0};
  for (size_t i = 0, from = n - 1; i < n; from = i++) {
    const Vec3& p = pool[corners[from]];
    const Vec3& q = pool[corners[i]];
    normal[0] += (double(p.y) - q.y) * (double(p.z) + q.z);
    normal[1] += (double(p.z) - q.z) * (double(p.x) + q.x);
    normal[2] += (double(p.x) - q.x) * (double(p.y) + q.y);
  }
  int drop = 0;
  for (int k = 1; k < 3; ++k)
    if (std::abs(normal[k]) > std::abs(normal[drop])) drop = k;
  if (!(std::abs(normal[drop]) > 0) || !std::isfinite(normal[drop])) return false;
  // The plane of the two other axes in turn sees the outline counterclockwise when the normal's
  // component is positive; mirroring u turns it round otherwise.
  const double mirror = normal[drop] > 0 ? 1 : -1;
  points_.resize(n);
  for (size_t i = 0; i < n; ++i) {
    const Vec3& p = pool[corners[i]];
    const double xyz[3] = {p.x, p.y, p.z};
    points_[i] = {mirror * xyz[(drop + 1) % 3], xyz[(drop + 2) % 3]};
  }
  return true;
}

// Whether the outline turns left (or goes straight on) at every corner and winds round once: its
// fan from any corner fills it exactly. An outline that turns left everywhere winds round twice
// only with five corners or more (a pentagram): a quad, most files' polygon, is not counted.
bool PolygonTriangles::Convex() const {
  const size_t n = points_.size();
  for (size_t i = 0, a = n - 2, b = n - 1; i < n; a = b, b = i++)
    if (!(Turn(points_[a], points_[b], points_[i]) >= 0)) return false;
  return n < 5 || (DirectionChanges(points_, &PlanePoint::u) <= 2 &&
                   DirectionChanges(points_, &PlanePoint::v) <= 2);
}

// Cuts off one ear after another (a corner whose triangle with its two neighbours lies inside the
// outline) until a triangle is left. False, with `out` as it was, when the outline crosses itself
// (a whole round of it finds no ear, or the last triangle turns the wrong way) or the search runs
// out of tests.
bool PolygonTriangles::ClipEars(std::span<const uint32_t> corners, std::vector<FaceIndices>& out) {
  const auto n = static_cast<uint32_t>(corners.size());
  prev_.resize(n);
  next_.resize(n);
  isReflex_.assign(n, 0);
  reflex_.clear();
  for (uint32_t k = 0; k < n; ++k) {
    prev_[k] = k == 0 ? n - 1 : k - 1;
    next_[k] = k + 1 == n ? 0 : k + 1;
  }
  for (uint32_t k = 0; k < n; ++k)
    UpdateReflex(k);
  uint64_t budget = kTestsPerSquaredCorner * n * n;
  const size_t before = out.size();
  uint32_t k = 0;
  uint32_t tried = 0;  // the corners tried since the last ear
  for (uint32_t left = n; left > 3;) {
    if (tried++ == left || budget < reflex_.size()) {
      out.resize(before);
      return false;
    }
    budget -= reflex_.size();
    const uint32_t a = prev_[k], c = next_[k];
    if (!IsEar(a, k, c)) {
      k = c;
      continue;
    }
    out.push_back({corners[c], corners[k], corners[a]});
    next_[a] = c;
    prev_[c] = a;
    --left;
    tried = 0;
    UpdateReflex(a);
    UpdateReflex(c);
    k = a;  // where the next ear most likely is, as along a spiral
  }
  // The last triangle is what is left of the outline's area: it turns right only when the outline
  // crosses itself.
  if (!(Turn(points_[prev_[k]], points_[k], points_[next_[k]]) >= 0)) {
    out.resize(before);
    return false;
  }
  out.push_back({corners[next_[k]], corners[k], corners[prev_[k]]});
  return true;
}

// Whether the corner b, between a and c, is an ear: it turns left or goes straight on (a corner on
// a straight edge, or a repeated one, is cut off as a flat triangle), and no reflex corner lies in
// its triangle (a corner at the same place as one of the triangle's, as where an outline touches
// itself, does not count).
bool PolygonTriangles::IsEar(uint32_t a, uint32_t b, uint32_t c) const {
  const PlanePoint& pa = points_[a];
  const PlanePoint& pb = points_[b];
  const PlanePoint& pc = points_[c];
  if (!(Turn(pa, pb, pc) >= 0)) return false;
  for (const uint32_t r : reflex_) {
    const PlanePoint& p = points_[r];
    if (r == a || r == c || Same(p, pa) || Same(p, pb) || Same(p, pc)) continue;
    if (Inside(p, pa, pb, pc)) return false;
  }
  return true;
}

// Keeps the list of reflex corners up to date for the corner k, whose neighbours have changed.
void PolygonTriangles::UpdateReflex(uint32_t k) {
  const bool reflex = Turn(points_[prev_[k]], points_[k], points_[next_[k]]) < 0;
  if (reflex == (isReflex_[k] != 0)) return;
  isReflex_[k] = reflex;
  if (reflex) {
    reflex_.push_back(k);
    return;
  }
  *std::find(reflex_.begin(), reflex_.end(), k) = reflex_.back();
  reflex_.pop_back();
}

}  // namespace quarvel
