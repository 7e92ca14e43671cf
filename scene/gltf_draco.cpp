#include "gltf_draco.h"

#include <draco/compression/mesh/mesh_edgebreaker_decoder.h>
#include <draco/compression/mesh/mesh_sequential_decoder.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <span>
#include <utility>
#include <vector>

#include "gltf_json_fixes.h"

namespace quarvel {
namespace {

constexpr const char* kExtension = "KHR_draco_mesh_compression";
// What the library's objects for one attribute take besides its values: its description, its
// decoder and their tables.
constexpr uint64_t kAttributeBytes = 1024;

// What a Draco mesh stream declares before its data, read here because the library allocates
// for these counts before it finds out whether the data holds them.
struct DracoCounts {
  uint64_t faces = 0;
  uint64_t points = 0;    // the points, for a sequential stream
  uint64_t vertices = 0;  // the connectivity's vertices and split symbols, for an edgebreaker one
  uint64_t symbols = 0;
  bool sequential = true;
};

class StreamReader {
 public:
  explicit StreamReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  bool Byte(uint8_t& out) {
    if (at_ >= bytes_.size()) return false;
    out = bytes_[at_++];
    return true;
  }
  // An unsigned 32-bit number in 7-bit groups, lowest first, each but the last with its top bit
  // set: at most five groups.
  bool Varint(uint64_t& out) {
    out = 0;
    for (int shift = 0; shift < 35; shift += 7) {
      uint8_t b = 0;
      if (!Byte(b)) return false;
      out |= uint64_t(b & 0x7F) << shift;
      if ((b & 0x80) == 0) return out <= UINT32_MAX;
    }
    return false;
  }

 private:
  std::span<const uint8_t> bytes_;
  size_t at_ = 0;
};

// Reads the header and the connectivity's counts of a version 2.2 triangle mesh stream, the
// version glTF's extension writes. Returns why the stream is refused, empty when it is read.
std::string ReadCounts(std::span<const uint8_t> stream, DracoCounts& counts) {
  if (stream.size() < 11 || std::memcmp(stream.data(), "DRACO", 5) != 0)
    return "its stream does not start with a Draco header";
  if (stream[5] != 2 || stream[6] != 2)
    return "its Draco stream is of version " + std::to_string(stream[5]) + "." +
           std::to_string(stream[6]) + ", not 2.2";
  if (stream[7] != 1) return "its Draco stream holds no triangle mesh";
  // The flags' top bit announces metadata, which lies before the counts.
  if (stream[10] & 0x80) return "its Draco stream carries metadata, which this reader cannot read";
  StreamReader in(stream.subspan(11));
  counts.sequential = stream[8] == 0;
  if (stream[8] > 1) return "its Draco stream is of an unknown encoding";
  uint8_t skipped = 0;
  uint64_t splits = 0;
  const bool read = counts.sequential ? in.Varint(counts.faces) && in.Varint(counts.points)
                                      : in.Byte(skipped) && in.Varint(counts.vertices) &&
                                            in.Varint(counts.faces) && in.Byte(skipped) &&
                                            in.Varint(counts.symbols) && in.Varint(splits);
  if (!read) return "its Draco stream ends in its header";
  if (!counts.sequential && (counts.symbols > counts.faces || splits > counts.symbols))
    return "its Draco stream declares more symbols than faces";
  counts.vertices += splits;
  return "";
}

// The count of the primitive's accessor `index`, or `fallback` when it has none.
uint64_t AccessorCount(const tinygltf::Model& model, int index, uint64_t fallback) {
  return index >= 0 && size_t(index) < model.accessors.size() ? model.accessors[size_t(index)].count
                                                              : fallback;
}

// Checks the stream's counts against the primitive's accessors, which glTF says they equal.
// Returns why they differ, empty when they do not.
std::string CheckCounts(const tinygltf::Model& model, const tinygltf::Primitive& primitive,
                        const tinygltf::Value& ext, const DracoCounts& counts) {
  const auto position = primitive.attributes.find("POSITION");
  if (position == primitive.attributes.end()) return "it has no POSITION";
  const uint64_t points = AccessorCount(model, position->second, UINT64_MAX);
  const tinygltf::Value& indices = ext.Get(kDracoIndices);
  const int indicesAccessor = indices.IsInt() ? indices.GetNumberAsInt() : primitive.indices;
  const uint64_t corners = AccessorCount(model, indicesAccessor, counts.faces * 3);
  if (counts.faces * 3 != corners) return "its Draco stream's face count differs from its indices";
  // Draco counts points in 32 bits.
  if ((counts.sequential && counts.points != points) || points > UINT32_MAX)
    return "its Draco stream's point count differs from its POSITION";
  if (counts.vertices > 3 * counts.faces)
    return "its Draco stream declares more vertices than its faces have corners";
  return "";
}

// A count of bytes in kilobytes below a megabyte, else in megabytes with one decimal, rounded up
// or down.
std::string Size(uint64_t bytes, bool up) {
  const bool kilobytes = bytes < (1 << 20);
  const double units = double(bytes) / (kilobytes ? 1 << 10 : 1 << 20) * (kilobytes ? 1 : 10);
  const double rounded = (up ? std::ceil(units) : std::floor(units)) / (kilobytes ? 1 : 10);
  char text[32];
  std::snprintf(text, sizeof text, kilobytes ? "%.0f KB" : "%.1f MB", rounded);
  return text;
}

std::string TooLarge(uint64_t bytes, uint64_t budget) {
  return "its Draco stream would decode to " + Size(bytes, true) + ", more than the " +
         Size(budget, false) + " left of what a file of its size may make";
}

// What the library's connectivity tables take before it reads the attributes: some tens of bytes
// a face, of which this is a bound on the order. The counts are checked: each is 32-bit.
uint64_t TableBytes(const tinygltf::Model& model, const tinygltf::Primitive& primitive,
                    const DracoCounts& counts) {
  const uint64_t points = AccessorCount(model, primitive.attributes.at("POSITION"), 0);
  return 12 * (points + counts.faces + counts.vertices);
}

// What decoding the attributes of `mesh`, whose connectivity is decoded, takes, and what is kept
// of it: the values of every attribute the stream carries, whether glTF names it or not, in their
// type and, as the library decodes them, as 32-bit integers, for every point; the points' order;
// the faces; the positions and triangles kept; and `tables`.
uint64_t DecodedBytes(const draco::Mesh& mesh, uint64_t tables) {
  const uint64_t points = mesh.num_points();
  // Each attribute adds less than 2^44 bytes: the sum stops short of overflowing.
  uint64_t bytes = tables + 16 * points + 24 * uint64_t(mesh.num_faces());
  for (int32_t i = 0; i < mesh.num_attributes() && bytes < (uint64_t(1) << 63); ++i) {
    const draco::PointAttribute& a = *mesh.attribute(i);
    const int length = draco::DataTypeLength(a.data_type());
    bytes +=
        kAttributeBytes + points * a.num_components() * uint64_t(4 + (length > 0 ? length : 8));
  }
  return bytes;
}

// The library's decoder of one encoding, which stops once it has read the connectivity and what
// attributes there are, before their values, when those would take more than `budget` bytes.
template <typename Decoder>
class BoundedDecoder : public Decoder {
 public:
  BoundedDecoder(uint64_t budget, uint64_t tables) : budget_(budget), tables_(tables) {}
  // Why it stopped before the values, empty when it did not.
  const std::string& refusal() const { return refusal_; }

 protected:
  bool DecodeAllAttributes() override {
    const uint64_t bytes =
        DecodedBytes(static_cast<const draco::Mesh&>(*this->point_cloud()), tables_);
    if (bytes > budget_) {
      refusal_ = TooLarge(bytes, budget_);
      return false;
    }
    return Decoder::DecodeAllAttributes();
  }

 private:
  uint64_t budget_;
  uint64_t tables_;
  std::string refusal_;
};

// Decodes `stream` into `mesh` with the decoder of its encoding, within `budget` with the
// library's `tables`. Returns why it cannot, empty when it did.
template <typename Decoder>
std::string Decode(std::span<const uint8_t> stream, uint64_t budget, uint64_t tables,
                   draco::Mesh& mesh) {
  draco::DecoderBuffer in;
  in.Init(reinterpret_cast<const char*>(stream.data()), stream.size());
  const draco::DecoderOptions options;
  BoundedDecoder<Decoder> decoder(budget, tables);
  const draco::Status status = decoder.Decode(options, &in, &mesh);
  if (!decoder.refusal().empty()) return decoder.refusal();
  if (!status.ok()) return "its Draco stream is corrupt (" + status.error_msg_string() + ")";
  return "";
}

// Appends a view of `bytes` bytes at `offset` in buffer `buffer` and an accessor of `count`
// elements over it; returns the accessor's index.
int AddAccessor(tinygltf::Model& model, int buffer, size_t offset, size_t bytes, size_t count,
                int componentType, int type) {
  tinygltf::BufferView view;
  view.buffer = buffer;
  view.byteOffset = offset;
  view.byteLength = bytes;
  model.bufferViews.push_back(std::move(view));
  tinygltf::Accessor accessor;
  accessor.bufferView = static_cast<int>(model.bufferViews.size() - 1);
  accessor.componentType = componentType;
  accessor.type = type;
  accessor.count = count;
  model.accessors.push_back(std::move(accessor));
  return static_cast<int>(model.accessors.size() - 1);
}

// Writes the mesh's positions (three floats a point) and faces (three 32-bit indices each) into a
// new buffer. Returns why they cannot be, empty when they were.
std::string Store(const draco::Mesh& mesh, const draco::PointAttribute& position,
                  tinygltf::Buffer& out) {
  const size_t points = mesh.num_points(), faces = mesh.num_faces();
  out.data.resize(12 * points + 12 * faces);
  for (size_t i = 0; i < points; ++i) {
    const draco::AttributeValueIndex value = position.mapped_index(draco::PointIndex(uint32_t(i)));
    float xyz[3] = {0, 0, 0};
    if (value.value() >= position.size() || !position.ConvertValue<float>(value, 3, xyz))
      return "a point of its Draco stream has no position";
    if (!std::isfinite(xyz[0]) || !std::isfinite(xyz[1]) || !std::isfinite(xyz[2]))
      return "a position of its Draco stream is not a finite float";
    std::memcpy(out.data.data() + 12 * i, xyz, 12);
  }
  uint8_t* indices = out.data.data() + 12 * points;
  for (size_t f = 0; f < faces; ++f)
    for (size_t k = 0; k < 3; ++k) {
      const uint32_t corner = mesh.face(draco::FaceIndex(uint32_t(f)))[k].value();
      std::memcpy(indices + 12 * f + 4 * k, &corner, 4);
    }
  return "";
}

// The accessors of the positions and triangles decoded from a stream, by the stream's bufferView
// and its POSITION's id, so that primitives that share a stream share one decoding of it.
using DecodedStreams = std::map<std::pair<int, int>, std::pair<int, int>>;

// Points the primitive at the accessors of its positions and triangles.
void UseDecoded(tinygltf::Primitive& primitive, std::pair<int, int> accessors) {
  primitive.attributes["POSITION"] = accessors.first;
  primitive.indices = accessors.second;
  primitive.mode = TINYGLTF_MODE_TRIANGLES;
}

// Decodes one primitive, or takes the decoding of its stream made for an earlier one. Returns why
// it cannot be, empty when it was.
std::string DecodePrimitive(tinygltf::Model& model, tinygltf::Primitive& primitive,
                            const tinygltf::Value& ext, uint64_t& budget, DecodedStreams& decoded) {
  const tinygltf::Value& viewIndex = ext.Get("bufferView");
  const tinygltf::Value& positionId = ext.Get("attributes").Get("POSITION");
  if (!viewIndex.IsInt() || !positionId.IsInt() || positionId.GetNumberAsInt() < 0)
    return "its extension lacks bufferView or attributes.POSITION";
  const int v = viewIndex.GetNumberAsInt();
  if (v < 0 || size_t(v) >= model.bufferViews.size()) return "its bufferView does not exist";
  const tinygltf::BufferView& view = model.bufferViews[size_t(v)];
  if (view.buffer < 0 || size_t(view.buffer) >= model.buffers.size())
    return "its bufferView's buffer does not exist";
  const std::vector<unsigned char>& data = model.buffers[size_t(view.buffer)].data;
  if (view.byteOffset > data.size() || view.byteLength > data.size() - view.byteOffset)
    return "its bufferView lies outside its buffer";
  const std::span<const uint8_t> stream(data.data() + view.byteOffset, view.byteLength);
  DracoCounts counts;
  std::string why = ReadCounts(stream, counts);
  if (why.empty()) why = CheckCounts(model, primitive, ext, counts);
  if (!why.empty()) return why;
  const int positions = primitive.attributes.at("POSITION");
  const std::pair key(v, positionId.GetNumberAsInt());
  if (const auto it = decoded.find(key); it != decoded.end()) {
    if (model.accessors[size_t(it->second.first)].count != AccessorCount(model, positions, 0))
      return "its Draco stream decodes to other counts than its accessors'";
    UseDecoded(primitive, it->second);
    return "";
  }
  const uint64_t tables = TableBytes(model, primitive, counts);
  if (tables > budget) return TooLarge(tables, budget);

  draco::Mesh mesh;
  why = counts.sequential ? Decode<draco::MeshSequentialDecoder>(stream, budget, tables, mesh)
                          : Decode<draco::MeshEdgebreakerDecoder>(stream, budget, tables, mesh);
  if (!why.empty()) return why;
  const draco::PointAttribute* position =
      mesh.GetAttributeByUniqueId(uint32_t(positionId.GetNumberAsInt()));
  // Numbers only: Draco's conversion reads a bool as it is stored, whatever the byte holds.
  if (position == nullptr || position->num_components() != 3 ||
      position->data_type() == draco::DT_INVALID || position->data_type() >= draco::DT_BOOL)
    return "its Draco stream has no attribute of three numbers by POSITION's id";
  if (mesh.num_faces() != counts.faces ||
      mesh.num_points() != AccessorCount(model, positions, UINT64_MAX))
    return "its Draco stream decodes to other counts than its accessors'";
  budget -= 12 * (uint64_t(mesh.num_points()) + mesh.num_faces());

  tinygltf::Buffer buffer;
  why = Store(mesh, *position, buffer);
  if (!why.empty()) return why;
  const int b = static_cast<int>(model.buffers.size());
  const size_t positionBytes = 12 * size_t(mesh.num_points());
  model.buffers.push_back(std::move(buffer));
  const std::pair accessors(
      AddAccessor(model, b, 0, positionBytes, mesh.num_points(), TINYGLTF_COMPONENT_TYPE_FLOAT,
                  TINYGLTF_TYPE_VEC3),
      AddAccessor(model, b, positionBytes, 12 * size_t(mesh.num_faces()),
                  3 * size_t(mesh.num_faces()), TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT,
                  TINYGLTF_TYPE_SCALAR));
  decoded.emplace(key, accessors);
  UseDecoded(primitive, accessors);
  return "";
}

}  // namespace

std::string DecodeDracoPrimitives(tinygltf::Model& model, uint64_t& budget) {
  DecodedStreams decoded;
  for (size_t m = 0; m < model.meshes.size(); ++m)
    for (size_t p = 0; p < model.meshes[m].primitives.size(); ++p) {
      tinygltf::Primitive& primitive = model.meshes[m].primitives[p];
      const auto ext = primitive.extensions.find(kExtension);
      if (ext == primitive.extensions.end()) continue;
      const tinygltf::Value value = ext->second;
      primitive.extensions.erase(ext);
      const std::string why = DecodePrimitive(model, primitive, value, budget, decoded);
      if (!why.empty())
        return "mesh " + std::to_string(m) + " primitive " + std::to_string(p) + " (" + kExtension +
               "): " + why;
    }
  return "";
}

}  // namespace quarvel
