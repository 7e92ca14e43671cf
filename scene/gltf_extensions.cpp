#include "gltf_extensions.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "import_text.h"

namespace quarvel {
namespace {

constexpr std::array<std::string_view, 25> kReadable = {
    // Read: they change where the triangles are or how their bytes are stored.
    "KHR_mesh_quantization",
    "EXT_mesh_gpu_instancing",
    "KHR_draco_mesh_compression",
    "EXT_meshopt_compression",
    "KHR_meshopt_compression",
    // Left aside: materials, textures and lights change only how the surface looks.
    "KHR_materials_anisotropy",
    "KHR_materials_clearcoat",
    "KHR_materials_diffuse_transmission",
    "KHR_materials_dispersion",
    "KHR_materials_emissive_strength",
    "KHR_materials_ior",
    "KHR_materials_iridescence",
    "KHR_materials_pbrSpecularGlossiness",
    "KHR_materials_sheen",
    "KHR_materials_specular",
    "KHR_materials_transmission",
    "KHR_materials_unlit",
    "KHR_materials_variants",
    "KHR_materials_volume",
    "KHR_texture_basisu",
    "KHR_texture_transform",
    "EXT_texture_avif",
    "EXT_texture_webp",
    "KHR_lights_punctual",
    "EXT_lights_image_based",
};

}  // namespace

std::string UnreadRequiredExtension(const tinygltf::Model& model) {
  for (const std::string& name : model.extensionsRequired) {
    // tinygltf keeps an element that is not a string as an empty name.
    if (name.empty()) return "its extensionsRequired is not a list of extension names";
    if (std::find(kReadable.begin(), kReadable.end(), name) == kReadable.end())
      return "it requires the glTF extension " + import_text::Quoted(name) +
             ", which Quarvel does not read";
  }
  return "";
}

}  // namespace quarvel
