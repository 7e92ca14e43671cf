#include "gltf_accessors.h"

#include <algorithm>

#include "base/file_io.h"
#include "gltf_sparse.h"

namespace quarvel {

std::string LocateElements(const tinygltf::Model& model, const tinygltf::Accessor& accessor,
                           size_t elementSize, AccessorElements& out) {
  if (accessor.bufferView < 0) return "it has no buffer view";
  if (size_t(accessor.bufferView) >= model.bufferViews.size())
    return "its buffer view " + std::to_string(accessor.bufferView) + " does not exist";
  const tinygltf::BufferView& view = model.bufferViews[size_t(accessor.bufferView)];
  if (view.buffer < 0 || size_t(view.buffer) >= model.buffers.size())
    return "its buffer " + std::to_string(view.buffer) + " does not exist";
  const std::vector<unsigned char>& buffer = model.buffers[size_t(view.buffer)].data;
  const size_t stride = view.byteStride != 0 ? view.byteStride : elementSize;
  if (stride < elementSize)
    return "its stride of " + std::to_string(stride) + " bytes is smaller than its elements of " +
           std::to_string(elementSize) + " bytes";
  if (view.byteOffset > buffer.size() || view.byteLength > buffer.size() - view.byteOffset)
    return "its buffer view runs past the end of its buffer";
  out = {buffer.data() + view.byteOffset, 0, stride};
  if (accessor.count == 0) return "";
  // The last element ends at byteOffset + (count - 1) * stride + elementSize, which must not
  // pass the view's end; the products are never formed, so nothing can overflow.
  const size_t length = view.byteLength;
  if (accessor.byteOffset > length || elementSize > length - accessor.byteOffset ||
      accessor.count - 1 > (length - accessor.byteOffset - elementSize) / stride)
    return "its " + std::to_string(accessor.count) +
           " elements run past the end of its buffer view";
  out = {buffer.data() + view.byteOffset + accessor.byteOffset, accessor.count, stride};
  return "";
}

size_t ComponentSize(int componentType) {
  switch (componentType) {
    case TINYGLTF_COMPONENT_TYPE_BYTE:
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE:
      return 1;
    case TINYGLTF_COMPONENT_TYPE_SHORT:
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT:
      return 2;
    case TINYGLTF_COMPONENT_TYPE_INT:
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT:
    case TINYGLTF_COMPONENT_TYPE_FLOAT:
      return 4;
    default:
      return 0;
  }
}

size_t IndexSize(int componentType) {
  const bool isUnsigned = componentType == TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE ||
                          componentType == TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT ||
                          componentType == TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT;
  return isUnsigned ? ComponentSize(componentType) : 0;
}

double ComponentValue(const uint8_t* bytes, int componentType, bool normalized) {
  switch (componentType) {
    case TINYGLTF_COMPONENT_TYPE_BYTE: {
      const double c = static_cast<int8_t>(*bytes);
      return normalized ? std::max(c / 127, -1.0) : c;
    }
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE:
      return normalized ? *bytes / 255.0 : *bytes;
    case TINYGLTF_COMPONENT_TYPE_SHORT: {
      const double c = static_cast<int16_t>(LeU16(bytes));
      return normalized ? std::max(c / 32767, -1.0) : c;
    }
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT:
      return normalized ? LeU16(bytes) / 65535.0 : LeU16(bytes);
    case TINYGLTF_COMPONENT_TYPE_INT:
      return static_cast<int32_t>(LeU32(bytes));
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT:
      return LeU32(bytes);
    default:
      return LeFloat(bytes);
  }
}

const tinygltf::Accessor& AccessorReader::At(int index) const {
  if (index < 0 || size_t(index) >= model_.accessors.size())
    throw GltfError{"accessor " + std::to_string(index) + " does not exist"};
  return model_.accessors[size_t(index)];
}

AccessorElements AccessorReader::Elements(int index, size_t elementSize) {
  const auto known = located_.find({index, elementSize});
  if (known != located_.end()) return known->second;
  const tinygltf::Accessor& accessor = At(index);
  const std::string name = "accessor " + std::to_string(index) + ": ";
  AccessorElements elements;
  if (!accessor.sparse.isSparse) {
    const std::string why = LocateElements(model_, accessor, elementSize, elements);
    if (!why.empty()) throw GltfError{name + why};
  } else {
    const std::string tooMany = name + "its sparse elements make more than a file of its size may";
    if (accessor.count > budget_ / elementSize) throw GltfError{tooMany};
    Charge(accessor.count * elementSize, tooMany);
    std::vector<uint8_t>& bytes = materialised_.emplace_back();
    const std::string why = MaterialiseSparse(model_, accessor, elementSize, bytes);
    if (!why.empty()) throw GltfError{name + why};
    elements = {bytes.data(), accessor.count, elementSize};
  }
  located_[{index, elementSize}] = elements;
  return elements;
}

void AccessorReader::Charge(uint64_t bytes, const std::string& why) {
  if (bytes > budget_ - spent_) throw GltfError{why};
  spent_ += bytes;
}

}  // namespace quarvel
