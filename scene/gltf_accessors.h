// Where a glTF accessor's elements lie in the bytes tinygltf loaded, found only after every offset,
// length, stride and count was checked against the buffer view and the buffer, so that reading
// the elements cannot leave the buffer however large the numbers in the file; the numbers its
// components stand for; and the reader that locates (or, when sparse, builds) them for an import.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <tiny_gltf.h>

#include "base/file_io.h"

namespace quarvel {

struct AccessorElements {
  const uint8_t* first = nullptr;  // the first element's bytes
  size_t count = 0;
  size_t stride = 0;  // the bytes from one element to the next
  const uint8_t* At(size_t i) const { return first + i * stride; }
};

// What makes a glTF file unusable, found while its accessors are read or its meshes planned.
struct GltfError {
  std::string why;
};

// Locates the elements of `accessor`, each `elementSize` bytes, in its buffer view (tightly
// packed when the view gives no stride), leaving aside any sparse substitutes. Returns why they
// cannot be read, empty when they can: no buffer view, a view or buffer that does not exist, a
// stride smaller than an element, a view that runs past its buffer or elements that run past
// their view.
std::string LocateElements(const tinygltf::Model& model, const tinygltf::Accessor& accessor,
                           size_t elementSize, AccessorElements& out);

// The bytes of one component of a glTF component type (BYTE to FLOAT), 0 for any other type.
size_t ComponentSize(int componentType);
// The bytes of an index of an unsigned component type (1, 2 or 4), 0 for any other type.
size_t IndexSize(int componentType);
// An index of `size` bytes (1, 2 or 4). Inline: the reader calls it for every corner.
inline uint32_t IndexValue(const uint8_t* bytes, size_t size) {
  return size == 1 ? uint32_t(*bytes) : size == 2 ? uint32_t(LeU16(bytes)) : LeU32(bytes);
}
// One component as a number; a normalized integer as glTF maps it to [0, 1] or [-1, 1] (the
// most negative signed value clamped to -1).
double ComponentValue(const uint8_t* bytes, int componentType, bool normalized);

// Reads the model's accessors for one import: each located once, a sparse one materialised into
// bytes of the reader's own. Everything the import makes is charged against one budget of bytes,
// so that accessors and repetitions together stay within a multiple of the file's size.
class AccessorReader {
 public:
  AccessorReader(const tinygltf::Model& model, uint64_t budget) : model_(model), budget_(budget) {}

  // The accessor, which must exist. Throws GltfError.
  const tinygltf::Accessor& At(int index) const;
  // Its elements of `elementSize` bytes, which stay valid as long as the reader. Throws GltfError.
  AccessorElements Elements(int index, size_t elementSize);
  // Counts `bytes` against the budget; throws GltfError{why} once it is spent.
  void Charge(uint64_t bytes, const std::string& why);

 private:
  const tinygltf::Model& model_;
  const uint64_t budget_;
  uint64_t spent_ = 0;
  std::map<std::pair<int, size_t>, AccessorElements> located_;  // by index and element size
  std::deque<std::vector<uint8_t>> materialised_;               // the bytes of the sparse accessors
};

}  // namespace quarvel
