#include "gltf_meshopt.h"

#include <meshoptimizer.h>

#include <span>
#include <string_view>
#include <utility>
#include <vector>

namespace quarvel {
namespace {

constexpr std::string_view kExtNames[] = {"EXT_meshopt_compression", "KHR_meshopt_compression"};

// A compressed view's extension object, its members checked for type.
struct Compressed {
  std::string_view extension;
  int buffer = -1;
  uint64_t byteOffset = 0;
  uint64_t byteLength = 0;
  uint64_t byteStride = 0;
  uint64_t count = 0;
  std::string mode;
  std::string filter = "NONE";
};

// A whole number member up to 2^53, `fallback` when absent, -1 when it is not one.
int64_t Whole(const tinygltf::Value& object, const char* name, int64_t fallback) {
  if (!object.Has(name)) return fallback;
  const tinygltf::Value& v = object.Get(name);
  if (!v.IsNumber()) return -1;
  const double d = v.GetNumberAsDouble();
  return d >= 0 && d <= 0x1p53 && d == static_cast<double>(static_cast<int64_t>(d))
             ? static_cast<int64_t>(d)
             : -1;
}

std::string Text(const tinygltf::Value& object, const char* name, std::string fallback) {
  if (!object.Has(name)) return fallback;
  const tinygltf::Value& v = object.Get(name);
  return v.IsString() ? v.Get<std::string>() : std::string();
}

// Reads the extension's members; returns why they are unusable, empty when they are not.
std::string ReadExtension(std::string_view name, const tinygltf::Value& ext, Compressed& c) {
  c.extension = name;
  if (!ext.IsObject()) return "it is not an object";
  const int64_t buffer = Whole(ext, "buffer", -1), offset = Whole(ext, "byteOffset", 0),
                length = Whole(ext, "byteLength", -1), stride = Whole(ext, "byteStride", -1),
                count = Whole(ext, "count", -1);
  if (buffer < 0 || offset < 0 || length < 0 || stride < 0 || count < 0)
    return "buffer, byteOffset, byteLength, byteStride or count is not a whole number";
  c.buffer = buffer > INT32_MAX ? -1 : static_cast<int>(buffer);
  c.byteOffset = uint64_t(offset), c.byteLength = uint64_t(length);
  c.byteStride = uint64_t(stride), c.count = uint64_t(count);
  c.mode = Text(ext, "mode", "");
  c.filter = Text(ext, "filter", "NONE");
  return "";
}

// What the decoders need of stride, count and filter for each mode (they assert it, so a file
// that breaks it is refused first). Returns why it is broken, empty when it is not.
std::string CheckShape(const Compressed& c) {
  const bool indexStride = c.byteStride == 2 || c.byteStride == 4;
  if (c.mode == "ATTRIBUTES") {
    if (c.byteStride == 0 || c.byteStride > 256 || c.byteStride % 4 != 0)
      return "an ATTRIBUTES stride that is not a multiple of 4 up to 256";
    if (c.filter == "NONE") return "";
    if (c.filter == "OCTAHEDRAL" && c.byteStride != 4 && c.byteStride != 8)
      return "an OCTAHEDRAL filter on a stride other than 4 or 8";
    if (c.filter == "QUATERNION" && c.byteStride != 8)
      return "a QUATERNION filter on a stride other than 8";
    if (c.filter == "OCTAHEDRAL" || c.filter == "QUATERNION" || c.filter == "EXPONENTIAL")
      return "";
    return "the filter \"" + c.filter + "\", which this reader cannot decode";
  }
  if (c.filter != "NONE") return "a filter on indices";
  if (c.mode == "TRIANGLES") {
    if (!indexStride || c.count % 3 != 0)
      return "TRIANGLES of a stride other than 2 or 4, or a count not a multiple of 3";
    return "";
  }
  if (c.mode == "INDICES") return indexStride ? "" : "INDICES of a stride other than 2 or 4";
  return "the mode \"" + c.mode + "\"";
}

// Decodes `source`, the compressed stream, into `out` of count * byteStride bytes. Returns why
// it cannot be, empty when it was.
std::string Decode(const Compressed& c, std::span<const uint8_t> source,
                   std::vector<unsigned char>& out) {
  // The stream's first byte names its codec and version: version 0 is all this library reads
  // of vertex streams, which the KHR extension may also write as version 1.
  if (c.mode == "ATTRIBUTES" && !source.empty() && (source[0] & 0x0F) != 0)
    return "its vertex stream is of codec version " + std::to_string(source[0] & 0x0F) +
           ", which this reader cannot decode";
  int result = 0;
  if (c.mode == "ATTRIBUTES")
    result =
        meshopt_decodeVertexBuffer(out.data(), c.count, c.byteStride, source.data(), source.size());
  else if (c.mode == "TRIANGLES")
    result =
        meshopt_decodeIndexBuffer(out.data(), c.count, c.byteStride, source.data(), source.size());
  else
    result = meshopt_decodeIndexSequence(out.data(), c.count, c.byteStride, source.data(),
                                         source.size());
  if (result != 0) return "its compressed stream is corrupt";
  if (c.filter == "OCTAHEDRAL") meshopt_decodeFilterOct(out.data(), c.count, c.byteStride);
  if (c.filter == "QUATERNION") meshopt_decodeFilterQuat(out.data(), c.count, c.byteStride);
  if (c.filter == "EXPONENTIAL") meshopt_decodeFilterExp(out.data(), c.count, c.byteStride);
  return "";
}

// Decodes one view into a new buffer of the model. Returns why it cannot be, empty when it was.
std::string DecodeView(tinygltf::Model& model, size_t index, const Compressed& c,
                       uint64_t& budget) {
  const std::string shape = CheckShape(c);
  if (!shape.empty()) return shape;
  if (c.buffer < 0 || size_t(c.buffer) >= model.buffers.size())
    return "its compressed buffer " + std::to_string(c.buffer) + " does not exist";
  const std::vector<unsigned char>& data = model.buffers[size_t(c.buffer)].data;
  if (c.byteOffset > data.size() || c.byteLength > data.size() - c.byteOffset)
    return "its compressed bytes lie outside their buffer";
  // Each factor is below 2^54 and 2^9: the product cannot overflow.
  if (c.count > (uint64_t(1) << 54) || c.count * c.byteStride > budget)
    return "it decodes to more bytes than a file of its size may make";
  budget -= c.count * c.byteStride;
  tinygltf::Buffer decoded;
  decoded.data.resize(c.count * c.byteStride);
  const std::span<const uint8_t> source(data.data() + c.byteOffset, c.byteLength);
  const std::string why = Decode(c, source, decoded.data);
  if (!why.empty()) return why;
  tinygltf::BufferView& view = model.bufferViews[index];
  view.buffer = static_cast<int>(model.buffers.size());
  view.byteOffset = 0;
  view.byteLength = decoded.data.size();
  view.extensions.erase(std::string(c.extension));
  model.buffers.push_back(std::move(decoded));
  return "";
}

}  // namespace

std::string DecodeMeshoptViews(tinygltf::Model& model, uint64_t& budget) {
  for (size_t i = 0; i < model.bufferViews.size(); ++i)
    for (const std::string_view name : kExtNames) {
      const auto ext = model.bufferViews[i].extensions.find(std::string(name));
      if (ext == model.bufferViews[i].extensions.end()) continue;
      Compressed c;
      std::string why = ReadExtension(name, ext->second, c);
      if (why.empty()) why = DecodeView(model, i, c, budget);
      if (!why.empty())
        return "bufferView " + std::to_string(i) + " (" + std::string(name) + "): " + why;
      break;
    }
  return "";
}

}  // namespace quarvel
