#include "gltf_json_fixes.h"

#include <nlohmann/json.hpp>

#include <vector>

namespace quarvel {
namespace {

// One zero byte: tinygltf takes no buffer of none.
constexpr const char* kPlaceholderUri = "data:application/octet-stream;base64,AA==";

constexpr const char* kExtensions[] = {"EXT_meshopt_compression", "KHR_meshopt_compression"};

bool IsFallback(const nlohmann::json& extensions) {
  for (const char* name : kExtensions) {
    const auto ext = extensions.find(name);
    if (ext == extensions.end() || !ext->is_object()) continue;
    const auto fallback = ext->find("fallback");
    if (fallback != ext->end() && *fallback == true) return true;
  }
  return false;
}

bool IsFallback(const tinygltf::ExtensionMap& extensions) {
  for (const char* name : kExtensions) {
    const auto ext = extensions.find(name);
    if (ext == extensions.end() || !ext->second.Has("fallback")) continue;
    const tinygltf::Value& fallback = ext->second.Get("fallback");
    if (fallback.IsBool() && fallback.Get<bool>()) return true;
  }
  return false;
}

// The elements of the array `name` of `object` that are objects themselves.
std::vector<nlohmann::json*> Objects(nlohmann::json& object, const char* name) {
  std::vector<nlohmann::json*> objects;
  const auto array = object.find(name);
  if (array != object.end() && array->is_array())
    for (nlohmann::json& element : *array)
      if (element.is_object()) objects.push_back(&element);
  return objects;
}

// Gives each fallback buffer the placeholder; returns whether there was one.
bool PlaceFallbacks(nlohmann::json& root) {
  bool changed = false;
  for (nlohmann::json* buffer : Objects(root, "buffers")) {
    const auto extensions = buffer->find("extensions");
    if (buffer->contains("uri") || extensions == buffer->end() || !extensions->is_object() ||
        !IsFallback(*extensions))
      continue;
    (*buffer)["uri"] = kPlaceholderUri;
    (*buffer)["byteLength"] = 1;
    changed = true;
  }
  return changed;
}

// Moves the indices of each Draco primitive into its extension object; returns whether there
// was one.
bool MoveDracoIndices(nlohmann::json& root) {
  bool changed = false;
  for (nlohmann::json* mesh : Objects(root, "meshes"))
    for (nlohmann::json* primitive : Objects(*mesh, "primitives")) {
      const auto extensions = primitive->find("extensions");
      if (!primitive->contains("indices") || extensions == primitive->end() ||
          !extensions->is_object())
        continue;
      const auto draco = extensions->find("KHR_draco_mesh_compression");
      if (draco == extensions->end() || !draco->is_object()) continue;
      (*draco)[kDracoIndices] = (*primitive)["indices"];
      primitive->erase("indices");
      changed = true;
    }
  return changed;
}

}  // namespace

std::optional<std::string> FixedForTinygltf(std::string_view json) {
  if (json.find("fallback") == std::string_view::npos &&
      json.find("KHR_draco_mesh_compression") == std::string_view::npos)
    return std::nullopt;
  nlohmann::json root = nlohmann::json::parse(json, nullptr, false);
  if (!root.is_object()) return std::nullopt;
  const bool buffers = PlaceFallbacks(root), primitives = MoveDracoIndices(root);
  if (!buffers && !primitives) return std::nullopt;
  return root.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void DropPlaceholders(tinygltf::Model& model) {
  for (tinygltf::Buffer& buffer : model.buffers)
    if (buffer.uri == kPlaceholderUri && IsFallback(buffer.extensions)) buffer.data.clear();
}

}  // namespace quarvel
