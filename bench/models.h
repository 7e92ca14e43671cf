// The models the benchmarks load, generated in memory as .3ds file bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quarvel::bench {

// A torus knot tube of `faces` triangles (a multiple of 80: rings of 40 sides), cut into
// objects that fit 16-bit indices. Generated once per size and kept for the whole run.
const std::vector<uint8_t>& KnotFile(int64_t faces);

// The same knot written in another format the batch renderer reads: "stl" (binary), "stl-ascii",
// "ply" (binary), "obj" or "glb".
const std::vector<uint8_t>& KnotFileAs(const std::string& format, int64_t faces);

// A cube of 12 triangles: the smallest model that still covers a large part of the mask.
std::vector<uint8_t> CubeFile();

}  // namespace quarvel::bench
