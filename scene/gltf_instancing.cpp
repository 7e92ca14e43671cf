#include "gltf_instancing.h"

namespace quarvel {

GpuInstances::GpuInstances(AccessorReader& reader, const tinygltf::Node& node, size_t nodeIndex)
    : node_("node " + std::to_string(nodeIndex)) {
  const auto extension = node.extensions.find("EXT_mesh_gpu_instancing");
  if (extension == node.extensions.end() || !extension->second.IsObject()) return;
  const tinygltf::Value& attributes = extension->second.Get("attributes");
  if (!attributes.IsObject()) return;
  translation_ = Read(reader, attributes, "TRANSLATION", TINYGLTF_TYPE_VEC3, 3);
  rotation_ = Read(reader, attributes, "ROTATION", TINYGLTF_TYPE_VEC4, 4);
  scale_ = Read(reader, attributes, "SCALE", TINYGLTF_TYPE_VEC3, 3);
}

std::optional<GpuInstances::Attribute> GpuInstances::Read(AccessorReader& reader,
                                                          const tinygltf::Value& attributes,
                                                          const char* name, int type,
                                                          size_t components) {
  if (!attributes.Has(name)) return std::nullopt;
  const tinygltf::Value& index = attributes.Get(name);
  const std::string what = node_ + ": its instances' " + name;
  if (!index.IsInt()) throw GltfError{what + " is not an accessor index"};
  const tinygltf::Accessor& accessor = reader.At(index.GetNumberAsInt());
  const size_t size = ComponentSize(accessor.componentType);
  if (accessor.type != type || size == 0)
    throw GltfError{what + " is not a VEC" + std::to_string(components) + " of numbers"};
  const AccessorElements elements = reader.Elements(index.GetNumberAsInt(), components * size);
  if (present_ && elements.count != count_)
    throw GltfError{what + " has " + std::to_string(elements.count) + " elements, not " +
                    std::to_string(count_)};
  present_ = true;
  count_ = elements.count;
  return Attribute{elements, accessor.componentType, accessor.normalized};
}

template <size_t N>
void GpuInstances::Fill(const std::optional<Attribute>& a, size_t i,
                        std::array<double, N>& values) const {
  if (!a) return;
  const size_t size = ComponentSize(a->componentType);
  for (size_t k = 0; k < N; ++k)
    values[k] = ComponentValue(a->elements.At(i) + k * size, a->componentType, a->normalized);
}

GltfMatrix GpuInstances::Transform(size_t i) const {
  std::array<double, 3> t = {0, 0, 0}, s = {1, 1, 1};
  std::array<double, 4> q = {0, 0, 0, 1};
  Fill(translation_, i, t);
  Fill(rotation_, i, q);
  Fill(scale_, i, s);
  return TrsMatrix(t, q, s);
}

}  // namespace quarvel
