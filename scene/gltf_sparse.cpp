#include "gltf_sparse.h"

#include <cstring>

#include "gltf_accessors.h"

namespace quarvel {
namespace {

// Locates `count` elements at `byteOffset` in the buffer view `bufferView`, as an accessor of
// them would be. Returns why they cannot be read, empty when they can.
std::string LocateList(const tinygltf::Model& model, int bufferView, int byteOffset, size_t count,
                       size_t elementSize, AccessorElements& out) {
  if (byteOffset < 0) return "its byteOffset of " + std::to_string(byteOffset) + " is negative";
  tinygltf::Accessor list;
  list.bufferView = bufferView;
  list.byteOffset = size_t(byteOffset);
  list.count = count;
  return LocateElements(model, list, elementSize, out);
}

}  // namespace

std::string MaterialiseSparse(const tinygltf::Model& model, const tinygltf::Accessor& accessor,
                              size_t elementSize, std::vector<uint8_t>& out) {
  const auto& sparse = accessor.sparse;
  if (sparse.count < 0 || size_t(sparse.count) > accessor.count)
    return "its sparse count of " + std::to_string(sparse.count) + " is not between 0 and its " +
           std::to_string(accessor.count) + " elements";
  const size_t count = size_t(sparse.count);
  const size_t indexSize = IndexSize(sparse.indices.componentType);
  if (indexSize == 0) return "its sparse indices are not unsigned integers";
  AccessorElements indices, values, base;
  std::string why = LocateList(model, sparse.indices.bufferView, sparse.indices.byteOffset, count,
                               indexSize, indices);
  if (!why.empty()) return "its sparse indices: " + why;
  why = LocateList(model, sparse.values.bufferView, sparse.values.byteOffset, count, elementSize,
                   values);
  if (!why.empty()) return "its sparse values: " + why;
  for (size_t i = 0; i < count; ++i) {
    const uint32_t index = IndexValue(indices.At(i), indexSize);
    if (index >= accessor.count || (i > 0 && index <= IndexValue(indices.At(i - 1), indexSize)))
      return "its sparse indices are not strictly increasing below " +
             std::to_string(accessor.count);
  }
  if (accessor.bufferView >= 0) {
    why = LocateElements(model, accessor, elementSize, base);
    if (!why.empty()) return why;
  }
  out.assign(accessor.count * elementSize, 0);
  for (size_t i = 0; i < base.count; ++i)
    std::memcpy(out.data() + i * elementSize, base.At(i), elementSize);
  for (size_t i = 0; i < count; ++i)
    std::memcpy(out.data() + IndexValue(indices.At(i), indexSize) * elementSize, values.At(i),
                elementSize);
  return "";
}

}  // namespace quarvel
