// A small .3ds writer: the sample models, the benchmarks' generated models and the tests'
// fixtures are written with it.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "scene/geometry.h"

namespace quarvel {

// Builds a chunk tree byte by byte. Begin() opens a chunk, End() closes the innermost one and
// fills in its length.
class ChunkWriter {
 public:
  void U16(uint16_t v);
  void U32(uint32_t v);
  void F32(float v);
  void Text(std::string_view s);  // the text and a terminating zero byte
  void Begin(uint16_t id);
  void End();
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  std::vector<size_t> open_;
};

// One named object holding one triangle mesh, in the file's own coordinates (z up).
struct ModelObject {
  std::string name;
  std::vector<Vec3> vertices;
  std::vector<std::array<uint16_t, 3>> faces;
};

// A whole file: the main chunk holding the editor chunk holding one named object per
// ModelObject, and nothing else.
std::vector<uint8_t> Write3DS(const std::vector<ModelObject>& objects);

// Cuts one indexed triangle mesh into objects whose vertex and face counts fit in 16 bits.
std::vector<ModelObject> SplitMesh(const std::string& name, std::span<const Vec3> vertices,
                                   std::span<const std::array<uint32_t, 3>> faces);

// Writes bytes to a file; false when it cannot be written whole.
bool SaveBytes(const std::string& path, std::span<const uint8_t> bytes);

}  // namespace quarvel
