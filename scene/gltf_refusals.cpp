#include "gltf_refusals.h"

#include <nlohmann/json.hpp>

#include <cstdint>

namespace quarvel {
namespace {

// The first bufferView of `root` whose byteStride tinygltf refuses (an unsigned integer above
// 252 or not a multiple of 4), said with its value and index; empty when there is none.
std::string BadStride(const nlohmann::json& root) {
  const auto views = root.find("bufferViews");
  if (views == root.end() || !views->is_array()) return "";
  for (size_t i = 0; i < views->size(); ++i) {
    const nlohmann::json& view = (*views)[i];
    const auto stride = view.is_object() ? view.find("byteStride") : view.end();
    if (stride == view.end() || !stride->is_number_unsigned()) continue;
    const auto value = stride->get<uint64_t>();
    if (value > 252 || value % 4 != 0)
      return "byteStride " + std::to_string(value) + " of bufferView " + std::to_string(i) +
             " is not a multiple of 4 from 4 to 252";
  }
  return "";
}

}  // namespace

std::string ClearerRefusal(std::string_view json, const std::string& firstLine) {
  if (!firstLine.starts_with("Invalid `byteStride' value")) return firstLine;
  const nlohmann::json root = nlohmann::json::parse(json, nullptr, false);
  const std::string stride = root.is_object() ? BadStride(root) : "";
  return stride.empty() ? firstLine : stride;
}

}  // namespace quarvel
