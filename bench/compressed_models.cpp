#include "compressed_models.h"

#include <draco/compression/encode.h>
#include <meshoptimizer.h>

#include <cstring>
#include <map>
#include <utility>

#include "models.h"

namespace quarvel::bench {
namespace {

// The positions (three floats each) and corners (32-bit indices) of the knot's plain .glb, whose
// binary chunk holds the one and then the other.
struct Arrays {
  std::vector<float> positions;
  std::vector<uint32_t> corners;
};

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  uint32_t v = 0;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}

Arrays KnotArrays(int64_t faces) {
  const std::vector<uint8_t>& glb = KnotFileAs("glb", faces);
  const size_t bin = 20 + Le32(glb, 12) + 8;
  const size_t cornerBytes = size_t(faces) * 12;
  const size_t positionBytes = Le32(glb, bin - 8) - cornerBytes;
  Arrays a{std::vector<float>(positionBytes / 4), std::vector<uint32_t>(size_t(faces) * 3)};
  std::memcpy(a.positions.data(), glb.data() + bin, positionBytes);
  std::memcpy(a.corners.data(), glb.data() + bin + positionBytes, cornerBytes);
  return a;
}

std::vector<uint8_t> Glb(std::string json, std::vector<uint8_t> bin) {
  json.resize((json.size() + 3) / 4 * 4, ' ');
  bin.resize((bin.size() + 3) / 4 * 4, 0);
  std::vector<uint8_t> out;
  const auto put = [&out](uint32_t v) {
    for (int i = 0; i < 4; ++i)
      out.push_back(uint8_t(v >> (8 * i)));
  };
  put(0x46546C67);  // "glTF"
  put(2);
  put(uint32_t(28 + json.size() + bin.size()));
  put(uint32_t(json.size()));
  put(0x4E4F534A);  // "JSON"
  out.insert(out.end(), json.begin(), json.end());
  put(uint32_t(bin.size()));
  put(0x004E4942);  // "BIN"
  out.insert(out.end(), bin.begin(), bin.end());
  return out;
}

const std::string kSceneJson =
    R"("asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],"nodes":[{"mesh":0}])";

std::string Accessors(size_t points, size_t corners, const std::string& views) {
  return R"("accessors":[{)" + views.substr(0, views.find('|')) +
         R"("componentType":5126,"count":)" + std::to_string(points) + R"(,"type":"VEC3"},{)" +
         views.substr(views.find('|') + 1) + R"("componentType":5125,"count":)" +
         std::to_string(corners) + R"(,"type":"SCALAR"}])";
}

std::vector<uint8_t> DracoGlb(const Arrays& a) {
  const size_t points = a.positions.size() / 3;
  draco::Mesh mesh;
  draco::GeometryAttribute position;
  position.Init(draco::GeometryAttribute::POSITION, nullptr, 3, draco::DT_FLOAT32, false, 12, 0);
  mesh.set_num_points(uint32_t(points));
  const int att = mesh.AddAttribute(position, true, uint32_t(points));
  for (size_t i = 0; i < points; ++i)
    mesh.attribute(att)->SetAttributeValue(draco::AttributeValueIndex(uint32_t(i)),
                                           &a.positions[3 * i]);
  for (size_t f = 0; f < a.corners.size(); f += 3)
    mesh.AddFace({draco::PointIndex(a.corners[f]), draco::PointIndex(a.corners[f + 1]),
                  draco::PointIndex(a.corners[f + 2])});
  draco::Encoder encoder;
  encoder.SetEncodingMethod(draco::MESH_EDGEBREAKER_ENCODING);
  encoder.SetSpeedOptions(5, 5);
  encoder.SetAttributeQuantization(draco::GeometryAttribute::POSITION, 14);
  draco::EncoderBuffer out;
  if (!encoder.EncodeMeshToBuffer(mesh, &out).ok()) return {};
  const std::string json =
      R"({"buffers":[{"byteLength":)" + std::to_string(out.size()) +
      R"(}],"bufferViews":[{"buffer":0,"byteLength":)" + std::to_string(out.size()) + "}]," +
      Accessors(points, a.corners.size(), "|") +
      R"(,"meshes":[{"primitives":[{"attributes":{"POSITION":0},"indices":1,"extensions":)"
      R"({"KHR_draco_mesh_compression":{"bufferView":0,"attributes":{"POSITION":)" +
      std::to_string(mesh.attribute(att)->unique_id()) +
      R"(}}}}]}],"extensionsUsed":["KHR_draco_mesh_compression"],)"
      R"("extensionsRequired":["KHR_draco_mesh_compression"],)" +
      kSceneJson + "}";
  return Glb(json, std::vector<uint8_t>(out.data(), out.data() + out.size()));
}

std::vector<uint8_t> MeshoptGlb(const Arrays& a) {
  const size_t points = a.positions.size() / 3, corners = a.corners.size();
  std::vector<uint8_t> bin(meshopt_encodeVertexBufferBound(points, 12) +
                           meshopt_encodeIndexBufferBound(corners, points));
  const size_t v =
      meshopt_encodeVertexBuffer(bin.data(), bin.size(), a.positions.data(), points, 12);
  const size_t v4 = (v + 3) / 4 * 4;
  const size_t i =
      meshopt_encodeIndexBuffer(bin.data() + v4, bin.size() - v4, a.corners.data(), corners);
  bin.resize(v4 + i);
  const auto view = [](size_t fallbackOffset, size_t offset, size_t length, size_t stride,
                       size_t count, const char* mode) {
    return R"({"buffer":1,"byteOffset":)" + std::to_string(fallbackOffset) + R"(,"byteLength":)" +
           std::to_string(count * stride) + R"(,"byteStride":)" + std::to_string(stride) +
           R"(,"extensions":{"EXT_meshopt_compression":{"buffer":0,)"
           R"("byteOffset":)" +
           std::to_string(offset) + R"(,"byteLength":)" + std::to_string(length) +
           R"(,"byteStride":)" + std::to_string(stride) + R"(,"count":)" + std::to_string(count) +
           R"(,"mode":")" + mode + "\"}}}";
  };
  const std::string json =
      R"({"buffers":[{"byteLength":)" + std::to_string(bin.size()) + R"(},{"byteLength":)" +
      std::to_string(12 * points + 4 * corners) +
      R"(,"extensions":{"EXT_meshopt_compression":{"fallback":true}}}],"bufferViews":[)" +
      view(0, 0, v, 12, points, "ATTRIBUTES") + "," +
      view(12 * points, v4, i, 4, corners, "TRIANGLES") + "]," +
      Accessors(points, corners, R"("bufferView":0,|"bufferView":1,)") +
      R"(,"meshes":[{"primitives":[{"attributes":{"POSITION":0},"indices":1}]}],)"
      R"("extensionsUsed":["EXT_meshopt_compression"],)"
      R"("extensionsRequired":["EXT_meshopt_compression"],)" +
      kSceneJson + "}";
  return Glb(json, std::move(bin));
}

}  // namespace

const std::vector<uint8_t>& CompressedKnotGlb(const std::string& codec, int64_t faces) {
  static std::map<std::pair<std::string, int64_t>, std::vector<uint8_t>> files;
  auto [it, added] = files.try_emplace({codec, faces});
  if (added)
    it->second = codec == "draco" ? DracoGlb(KnotArrays(faces)) : MeshoptGlb(KnotArrays(faces));
  return it->second;
}

}  // namespace quarvel::bench
