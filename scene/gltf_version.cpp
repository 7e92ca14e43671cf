#include "gltf_version.h"

#include <nlohmann/json.hpp>

namespace quarvel {

bool IsGltf1Version(std::string_view version) {
  return version == "1" || version.starts_with("1.");
}

bool IsGltf1Json(std::string_view json) {
  const nlohmann::json root = nlohmann::json::parse(json, nullptr, false);
  if (!root.is_object()) return false;
  if (const auto asset = root.find("asset"); asset != root.end()) {
    if (!asset->is_object() || !asset->contains("version")) return false;
    const nlohmann::json& version = (*asset)["version"];
    if (version.is_number()) return version.get<double>() < 2;
    return version.is_string() && IsGltf1Version(version.get<std::string>());
  }
  for (const char* name : {"accessors", "bufferViews", "buffers", "meshes", "nodes", "scenes"})
    if (const auto it = root.find(name); it != root.end() && it->is_object()) return true;
  return false;
}

}  // namespace quarvel
