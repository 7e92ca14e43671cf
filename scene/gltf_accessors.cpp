#include "gltf_accessors.h"

namespace quarvel {

std::string LocateElements(const tinygltf::Model& model, const tinygltf::Accessor& accessor,
                           size_t elementSize, AccessorElements& out) {
  if (accessor.sparse.isSparse) return "sparse accessors are not supported";
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

}  // namespace quarvel
