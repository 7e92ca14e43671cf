// Procedural shapes for the bundled sample and for generated benchmark and test models.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "scene/geometry.h"

namespace quarvel {

struct TriangleMesh {
  std::vector<Vec3> vertices;  // in the file's coordinates: z up
  std::vector<std::array<uint32_t, 3>> faces;
};

// A (p, q) torus knot tube: `segments` rings of `sides` vertices along the curve, two triangles
// per quad, 2 x segments x sides triangles in all.
TriangleMesh TorusKnot(int segments, int sides, int p = 2, int q = 3);

}  // namespace quarvel
