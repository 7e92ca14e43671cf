// The instances a node's EXT_mesh_gpu_instancing extension asks for: its mesh drawn once for
// each, placed by the node's transform times the instance's own translation, rotation and scale.
#pragma once

#include <cstddef>
#include <optional>

#include "gltf_accessors.h"
#include "gltf_nodes.h"

namespace quarvel {

class GpuInstances {
 public:
  // Reads the node's TRANSLATION (VEC3), ROTATION (VEC4, a quaternion) and SCALE (VEC3)
  // accessors, each optional, floats or integers (normalized or not), all of the same count.
  // Throws GltfError when they cannot be used.
  GpuInstances(AccessorReader& reader, const tinygltf::Node& node, size_t nodeIndex);

  // Whether the node has the extension with at least one attribute.
  bool present() const { return present_; }
  size_t count() const { return count_; }
  // Instance i's T * R * S (each the identity when its attribute is missing).
  GltfMatrix Transform(size_t i) const;

 private:
  struct Attribute {
    AccessorElements elements;
    int componentType = 0;
    bool normalized = false;
  };
  std::optional<Attribute> Read(AccessorReader& reader, const tinygltf::Value& attributes,
                                const char* name, int type, size_t components);
  template <size_t N>
  void Fill(const std::optional<Attribute>& a, size_t i, std::array<double, N>& values) const;

  const std::string node_;  // "node N", to name it in errors
  bool present_ = false;
  size_t count_ = 0;
  std::optional<Attribute> translation_, rotation_, scale_;
};

}  // namespace quarvel
