// Writers of the other model formats the batch renderer reads, for the tests and benchmarks: one
// triangle mesh in the .3ds file's coordinates (z up) written with each format's own convention,
// so that every file holds the same scene triangles. Coordinates are written with 9 significant
// digits in the text formats; binary formats hold the floats themselves.
#pragma once

#include <cstdint>
#include <vector>

#include "shapes.h"

namespace quarvel {

// z-up formats: the .3ds file's coordinates and corner order.
std::vector<uint8_t> WriteBinaryStl(const TriangleMesh& m);
std::vector<uint8_t> WriteAsciiStl(const TriangleMesh& m);
std::vector<uint8_t> WriteBinaryPly(const TriangleMesh& m);

// y-up right-handed formats, seen from their front: the .3ds file's (x, y, z) is their
// (x, z, -y), in the same corner order.
std::vector<uint8_t> WriteObj(const TriangleMesh& m);
std::vector<uint8_t> WriteGlb(const TriangleMesh& m);

}  // namespace quarvel
