#include "gltf_load.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <new>
#include <string_view>
#include <utility>

#include "glb_layout.h"
#include "gltf_draco.h"
#include "gltf_files.h"
#include "gltf_json_fixes.h"
#include "gltf_meshopt.h"
#include "gltf_refusals.h"
#include "gltf_version.h"
#include "json_shape.h"

namespace quarvel {
namespace {

// glTF's own objects nest about ten levels deep; the rest is room for extensions and extras.
constexpr size_t kMaxJsonDepth = 128;

// What parsing a JSON text of this shape may cost at most: each element of a top-level array
// becomes tinygltf's struct for it, any other object may become a map of tinygltf's own values,
// and every value a node of the parser's tree.
size_t ParseCost(const JsonShape& shape) {
  const std::pair<std::string_view, size_t> kStructs[] = {
      {"accessors", sizeof(tinygltf::Accessor)}, {"animations", sizeof(tinygltf::Animation)},
      {"buffers", sizeof(tinygltf::Buffer)},     {"bufferViews", sizeof(tinygltf::BufferView)},
      {"cameras", sizeof(tinygltf::Camera)},     {"images", sizeof(tinygltf::Image)},
      {"materials", sizeof(tinygltf::Material)}, {"meshes", sizeof(tinygltf::Mesh)},
      {"nodes", sizeof(tinygltf::Node)},         {"samplers", sizeof(tinygltf::Sampler)},
      {"scenes", sizeof(tinygltf::Scene)},       {"skins", sizeof(tinygltf::Skin)},
      {"textures", sizeof(tinygltf::Texture)},
  };
  size_t cost = shape.objects * 512 + shape.separators * 256;
  for (const auto& [name, size] : kStructs)
    if (const auto it = shape.topLevelElements.find(name); it != shape.topLevelElements.end())
      cost += it->second * size;
  return cost;
}

// The most a parse may cost: a small multiple of the text, and room for any ordinary file.
size_t ParseBudget(size_t jsonBytes) {
  return 64 * jsonBytes + (size_t(16) << 20);
}

// Images are not needed for depth masks: their bytes are dropped undecoded.
bool SkipImage(tinygltf::Image*, const int, std::string*, std::string*, int, int,
               const unsigned char*, int, void*) {
  return true;
}

// The first line of tinygltf's error as a message shows it. It may quote the file (a uri, a
// name, the bytes where the JSON broke off), so every byte that is not printable ASCII becomes
// "?", and a long line is cut.
std::string FirstLine(std::string_view text) {
  constexpr size_t kMaxLength = 200;
  const std::string_view line = text.substr(0, text.find('\n'));
  if (line.empty()) return "tinygltf refused the file";
  std::string shown;
  for (size_t i = 0; i < line.size() && i < kMaxLength; ++i)
    shown += line[i] >= 0x20 && line[i] < 0x7F ? line[i] : '?';
  return line.size() > kMaxLength ? shown + "..." : shown;
}

// tinygltf copies the first byteLength bytes of a .glb's binary chunk for every buffer without a
// uri: together they may not claim more than the chunk holds. Returns why they do, or empty.
std::string CheckChunkClaims(const std::vector<JsonBuffer>& buffers, uint32_t binLength) {
  uint64_t claimed = 0;
  for (const JsonBuffer& buffer : buffers) {
    if (buffer.uri && !buffer.uri->empty()) continue;
    // Each term at most one more than the chunk, so the sum cannot overflow.
    claimed += std::min<uint64_t>(buffer.byteLength.value_or(0), uint64_t(binLength) + 1);
    if (claimed > binLength)
      return "its buffers without a uri claim more than the " + std::to_string(binLength) +
             " bytes of its binary chunk";
  }
  return "";
}

constexpr const char* kGltf1 = "glTF 1.0 is not supported; convert it to glTF 2.0";

// The .glb with `json` as its JSON chunk (padded with blanks) and the rest of `file` after it.
std::vector<uint8_t> WithJsonChunk(std::span<const uint8_t> file, const GlbLayout& layout,
                                   const std::string& json) {
  constexpr size_t kHeaders = 20;  // the file's header and the JSON chunk's
  const size_t padded = (json.size() + 3) / 4 * 4;
  const std::span<const uint8_t> rest =
      file.subspan(kHeaders + layout.json.size(), layout.length - kHeaders - layout.json.size());
  std::vector<uint8_t> glb(kHeaders + padded + rest.size(), ' ');
  const auto put = [&glb](size_t at, uint32_t v) {
    for (size_t i = 0; i < 4; ++i)
      glb[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  std::copy_n(file.begin(), 8, glb.begin());  // the magic and the version
  put(8, static_cast<uint32_t>(glb.size()));
  put(12, static_cast<uint32_t>(padded));
  std::copy_n("JSON", 4, glb.begin() + 16);
  std::copy(json.begin(), json.end(), glb.begin() + kHeaders);
  std::copy(rest.begin(), rest.end(), glb.begin() + kHeaders + padded);
  return glb;
}

const std::string_view kDecodedExtensions[] = {"EXT_meshopt_compression", "KHR_meshopt_compression",
                                               "KHR_draco_mesh_compression"};

// Decodes the compressed views and primitives of a loaded model, so that the rest of the reader
// sees a plain one that uses none of those extensions; `budget` gets what is left for the mesh.
// All the reader holds, the file and its buffers with what is decoded and made of them, stays
// within kGltfMaxGrowth times the bytes of the file and of the buffer files read beside it (a
// .glb's binary chunk and a data: uri are bytes of the file). Returns why it cannot, empty when
// it did.
std::string DecodeCompressed(tinygltf::Model& model, size_t fileBytes, uint64_t& budget) {
  DropPlaceholders(model);
  uint64_t input = fileBytes, held = fileBytes;
  for (const tinygltf::Buffer& buffer : model.buffers) {
    held += buffer.data.size();
    if (!buffer.uri.empty() && !buffer.uri.starts_with("data:")) input += buffer.data.size();
  }
  budget = kGltfMaxGrowth * input - std::min(held, kGltfMaxGrowth * input);
  std::string why = DecodeMeshoptViews(model, budget);
  if (why.empty()) why = DecodeDracoPrimitives(model, budget);
  if (!why.empty()) return why;
  for (std::vector<std::string>* names : {&model.extensionsUsed, &model.extensionsRequired})
    std::erase_if(*names, [](const std::string& name) {
      return std::ranges::find(kDecodedExtensions, name) != std::end(kDecodedExtensions);
    });
  return "";
}

// LoadGltfModel, with the changes to the JSON text made first when `fixJson`.
std::string LoadModel(std::span<const uint8_t> file, bool binary, const std::string& baseDir,
                      tinygltf::Model& model, uint64_t& budget, bool fixJson) {
  // tinygltf takes the length as 32 bits.
  if (file.size() > std::numeric_limits<uint32_t>::max()) return "the file is larger than 4 GiB";
  GlbLayout layout;
  if (binary) {
    layout = CheckGlbLayout(file);
    if (!layout.error.empty()) return layout.error;
  } else {
    layout.json = file;  // a .gltf is all JSON
    layout.length = static_cast<uint32_t>(file.size());
  }
  const std::span<const uint8_t> json = layout.json;
  const JsonShape shape = ScanJson({reinterpret_cast<const char*>(json.data()), json.size()});
  if (shape.depth > kMaxJsonDepth)
    return "its JSON nests more than " + std::to_string(kMaxJsonDepth) + " levels deep";
  if (ParseCost(shape) > ParseBudget(json.size()))
    return "its JSON holds more objects and values than " + std::to_string(json.size()) +
           " bytes of a glTF file take";
  // What tinygltf would refuse in a compressed file is changed, and the file read again so.
  if (const auto text =
          fixJson ? FixedForTinygltf({reinterpret_cast<const char*>(json.data()), json.size()})
                  : std::nullopt) {
    if (!binary)
      return LoadModel({reinterpret_cast<const uint8_t*>(text->data()), text->size()}, false,
                       baseDir, model, budget, false);
    if (text->size() + 3 > std::numeric_limits<uint32_t>::max() - layout.length)
      return "the file is larger than 4 GiB";
    return LoadModel(WithJsonChunk(file, layout, *text), true, baseDir, model, budget, false);
  }
  if (binary) {
    const std::string claims = CheckChunkClaims(shape.buffers, layout.binLength);
    if (!claims.empty()) return claims;
  }

  tinygltf::TinyGLTF loader;
  GltfFolder folder{baseDir, ExternalBufferFiles(shape.buffers), {}, ""};
  loader.SetFsCallbacks(FolderFileAccess(folder));
  loader.SetImageLoader(SkipImage, nullptr);
  std::string error, warning;
  try {
    const bool loaded = binary
                            ? loader.LoadBinaryFromMemory(&model, &error, &warning, file.data(),
                                                          layout.length, baseDir)
                            : loader.LoadASCIIFromString(&model, &error, &warning,
                                                         reinterpret_cast<const char*>(file.data()),
                                                         layout.length, baseDir);
    if (loaded)
      return IsGltf1Version(model.asset.version) ? kGltf1
                                                 : DecodeCompressed(model, file.size(), budget);
    if (IsGltf1Json({reinterpret_cast<const char*>(json.data()), json.size()})) return kGltf1;
    // A buffer file refused says why in its own words, which name the file.
    if (!folder.error.empty()) return folder.error;
    return ClearerRefusal({reinterpret_cast<const char*>(json.data()), json.size()},
                          FirstLine(error));
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    // tinygltf lets some exceptions of the standard library through, such as std::out_of_range
    // for a .glb buffer of no bytes.
    return FirstLine(e.what());
  }
}

}  // namespace

std::string LoadGltfModel(std::span<const uint8_t> file, bool binary, const std::string& baseDir,
                          tinygltf::Model& model, uint64_t& budget) {
  budget = 0;
  return LoadModel(file, binary, baseDir, model, budget, true);
}

}  // namespace quarvel
