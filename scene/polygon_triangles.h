// The triangles that fill a model file's polygon of any number of corners, found in the
// polygon's own plane. A convex polygon is fanned from its first corner, the triangles the
// readers have always made of it; a concave one (an L, a dart, a notch) is cut into ears, so that
// nothing is filled across its notches. Polygons that have no plane or no clean outline
// (collinear, repeated or crossing corners) are fanned as well: they lose no faces and cost no
// more than their corners.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "mesh.h"

namespace quarvel {

// A corner in the polygon's plane.
struct PlanePoint {
  double u = 0, v = 0;
};

class PolygonTriangles {
 public:
  // Appends the n - 2 triangles of the polygon of n >= 3 corners `corners` (indices into `pool`)
  // to `out`. Each triangle (a, b, c), in the polygon's own order, is added as (c, b, a), as the
  // readers add a file's triangles (see model_formats.h). A polygon with a corner outside the
  // pool (a vertex not read yet, or none at all) is fanned.
  void Append(std::span<const Vec3> pool, std::span<const uint32_t> corners,
              std::vector<FaceIndices>& out) {
    if (corners.size() == 3)  // most files' every polygon: no need to look at it
      out.push_back({corners[2], corners[1], corners[0]});
    else
      AppendPolygon(pool, corners, out);
  }

 private:
  void AppendPolygon(std::span<const Vec3> pool, std::span<const uint32_t> corners,
                     std::vector<FaceIndices>& out);
  bool Project(std::span<const Vec3> pool, std::span<const uint32_t> corners);
  bool Convex() const;
  bool ClipEars(std::span<const uint32_t> corners, std::vector<FaceIndices>& out);
  bool IsEar(uint32_t a, uint32_t b, uint32_t c) const;
  void UpdateReflex(uint32_t k);

  // The working lists of the last polygon, kept so that a file of many polygons allocates once.
  std::vector<PlanePoint> points_;  // the corners in the polygon's plane, turning counterclockwise
  std::vector<uint32_t> prev_, next_;  // the outline not yet cut off, as a ring of positions
  std::vector<uint8_t> isReflex_;
  std::vector<uint32_t> reflex_;  // the positions of the outline's reflex corners
};

}  // namespace quarvel
