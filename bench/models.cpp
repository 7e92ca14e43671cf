#include "models.h"

#include <map>

#include "samples/shapes.h"
#include "samples/write_3ds.h"
#include "samples/write_models.h"

namespace quarvel::bench {

namespace {

constexpr int kKnotSides = 40;

TriangleMesh Knot(int64_t faces) {
  return TorusKnot(static_cast<int>(faces / (2 * kKnotSides)), kKnotSides);
}

}  // namespace

const std::vector<uint8_t>& KnotFile(int64_t faces) {
  static std::map<int64_t, std::vector<uint8_t>> files;
  auto [it, added] = files.try_emplace(faces);
  if (added) {
    const TriangleMesh knot = Knot(faces);
    it->second = Write3DS(SplitMesh("Knot", knot.vertices, knot.faces));
  }
  return it->second;
}

const std::vector<uint8_t>& KnotFileAs(const std::string& format, int64_t faces) {
  static std::map<std::pair<std::string, int64_t>, std::vector<uint8_t>> files;
  auto [it, added] = files.try_emplace({format, faces});
  if (added) {
    const TriangleMesh knot = Knot(faces);
    if (format == "stl") it->second = WriteBinaryStl(knot);
    if (format == "stl-ascii") it->second = WriteAsciiStl(knot);
    if (format == "ply") it->second = WriteBinaryPly(knot);
    if (format == "obj") it->second = WriteObj(knot);
    if (format == "glb") it->second = WriteGlb(knot);
  }
  return it->second;
}

std::vector<uint8_t> CubeFile() {
  ModelObject cube{"Cube", {}, {}};
  // Corner k has x, y and z taken from bits 0, 1 and 2 of k.
  for (int k = 0; k < 8; ++k)
    cube.vertices.push_back({k & 1 ? 1.0f : -1.0f, k & 2 ? 1.0f : -1.0f, k & 4 ? 1.0f : -1.0f});
  constexpr uint16_t kQuads[6][4] = {{0, 4, 6, 2}, {1, 3, 7, 5}, {0, 1, 5, 4},
                                     {2, 6, 7, 3}, {0, 2, 3, 1}, {4, 5, 7, 6}};
  for (const auto& q : kQuads) {
    cube.faces.push_back({q[0], q[1], q[2]});
    cube.faces.push_back({q[0], q[2], q[3]});
  }
  return Write3DS({cube});
}

}  // namespace quarvel::bench
