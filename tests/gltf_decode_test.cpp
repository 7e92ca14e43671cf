#include <gtest/gtest.h>

#include <draco/compression/encode.h>
#include <draco/mesh/triangle_soup_mesh_builder.h>
#include <meshoptimizer.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "fixtures.h"
#include "scene/model_formats.h"

namespace quarvel {
namespace {

using Bytes = std::vector<uint8_t>;
using Triangle = std::array<float, 9>;

// A 4 x 4 grid of points, bent so that no two share a height: 18 triangles.
std::vector<float> GridPoints() {
  std::vector<float> p;
  for (int i = 0; i < 16; ++i)
    p.insert(p.end(), {float(i % 4), float(i / 4), 0.25f * float(i)});
  return p;
}
std::vector<uint32_t> GridCorners() {
  std::vector<uint32_t> c;
  for (uint32_t y = 0; y < 3; ++y)
    for (uint32_t x = 0; x < 3; ++x)
      c.insert(c.end(), {4 * y + x, 4 * y + x + 1, 4 * y + x + 4, 4 * y + x + 1, 4 * y + x + 5,
                         4 * y + x + 4});
  return c;
}

template <typename T>
Bytes BytesOf(const std::vector<T>& v) {
  Bytes b(v.size() * sizeof(T));
  std::memcpy(b.data(), v.data(), b.size());
  return b;
}

void Put32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    b.push_back(uint8_t(v >> (8 * i)));
}

// A .glb of `json` and the binary chunk `bin`.
Bytes Glb(std::string json, Bytes bin) {
  json.append((4 - json.size() % 4) % 4, ' ');
  bin.resize((bin.size() + 3) / 4 * 4);
  Bytes b = {'g', 'l', 'T', 'F'};
  Put32(b, 2);
  Put32(b, uint32_t(28 + json.size() + bin.size()));
  Put32(b, uint32_t(json.size()));
  Put32(b, 0x4E4F534A);
  b.insert(b.end(), json.begin(), json.end());
  Put32(b, uint32_t(bin.size()));
  Put32(b, 0x004E4942);
  b.insert(b.end(), bin.begin(), bin.end());
  return b;
}

const std::string kScene =
    R"("nodes":[{"mesh":0}],"scenes":[{"nodes":[0]}],"asset":{"version":"2.0"})";

// The grid with its views compressed by meshopt, their bytes in the binary chunk and their
// uncompressed size declared by a fallback buffer; `vertexCount` as the positions' stream says,
// the last `cut` bytes of that stream left out of its view.
Bytes MeshoptGlb(const std::string& ext, size_t vertexCount, uint8_t firstByte = 0,
                 size_t cut = 0) {
  const std::vector<float> points = GridPoints();
  const std::vector<uint32_t> corners = GridCorners();
  Bytes bin(meshopt_encodeVertexBufferBound(16, 12) + meshopt_encodeIndexBufferBound(54, 16));
  const size_t v = meshopt_encodeVertexBuffer(bin.data(), bin.size(), points.data(), 16, 12);
  const size_t i = meshopt_encodeIndexBuffer(bin.data() + v, bin.size() - v, corners.data(), 54);
  bin.resize(v + i);
  if (firstByte) bin[0] = firstByte;
  const auto view = [&](size_t offset, size_t length, size_t stride, size_t count, const char* mode,
                        size_t plain) {
    return R"({"buffer":1,"byteLength":)" + std::to_string(plain) + R"(,"extensions":{")" + ext +
           R"(":{"buffer":0,"byteOffset":)" + std::to_string(offset) + R"(,"byteLength":)" +
           std::to_string(length) + R"(,"byteStride":)" + std::to_string(stride) + R"(,"count":)" +
           std::to_string(count) + R"(,"mode":")" + mode + "\"}}}";
  };
  return Glb(R"({"buffers":[{"byteLength":)" + std::to_string(bin.size()) +
                 R"(},{"byteLength":408,"extensions":{")" + ext +
                 R"(":{"fallback":true}}}],"bufferViews":[)" +
                 view(0, v - cut, 12, vertexCount, "ATTRIBUTES", 192) + "," +
                 view(v, i, 4, 54, "TRIANGLES", 216) +
                 R"(],"accessors":[{"bufferView":0,"componentType":5126,"count":16,"type":"VEC3"},)"
                 R"({"bufferView":1,"componentType":5125,"count":54,"type":"SCALAR"}],)"
                 R"("meshes":[{"primitives":[{"attributes":{"POSITION":0},"indices":1}]}],)" +
                 R"("extensionsUsed":[")" + ext + R"("],"extensionsRequired":[")" + ext + "\"]," +
                 kScene + "}",
             bin);
}

// The grid as a Draco stream of the encoding `method`, with the count of its faces written as
// `faces` when that is not 0.
Bytes DracoStream(draco::MeshEncoderMethod method, uint32_t& positionId, uint32_t faces = 0) {
  const std::vector<float> points = GridPoints();
  const std::vector<uint32_t> corners = GridCorners();
  draco::TriangleSoupMeshBuilder builder;
  builder.Start(18);
  const int att = builder.AddAttribute(draco::GeometryAttribute::POSITION, 3, draco::DT_FLOAT32);
  for (uint32_t f = 0; f < 18; ++f)
    builder.SetAttributeValuesForFace(att, draco::FaceIndex(f), &points[3 * corners[3 * f]],
                                      &points[3 * corners[3 * f + 1]],
                                      &points[3 * corners[3 * f + 2]]);
  const std::unique_ptr<draco::Mesh> mesh = builder.Finalize();
  positionId = mesh->attribute(att)->unique_id();
  draco::Encoder encoder;
  encoder.SetEncodingMethod(method);
  draco::EncoderBuffer out;
  EXPECT_TRUE(encoder.EncodeMeshToBuffer(*mesh, &out).ok());
  Bytes stream(out.data(), out.data() + out.size());
  if (faces != 0) {  // the sequential stream's face count, a varint at byte 11
    stream.erase(stream.begin() + 11);
    stream.insert(stream.begin() + 11, {uint8_t(faces | 0x80), uint8_t(faces >> 7 | 0x80),
                                        uint8_t(faces >> 14 | 0x80), uint8_t(faces >> 21)});
  }
  return stream;
}

// A .glb of `meshes` meshes with one primitive each, all compressed as `stream`, of which the
// scene shows the first; its binary chunk holds the stream and zeros up to `chunkBytes`.
Bytes DracoGlb(Bytes stream, uint32_t positionId, size_t points, size_t corners, int meshes = 1,
               size_t chunkBytes = 0) {
  const size_t streamBytes = stream.size();
  stream.resize(std::max(streamBytes, chunkBytes));
  std::string primitives;
  for (int m = 0; m < meshes; ++m)
    primitives += std::string(m ? "," : "") +
                  R"({"primitives":[{"attributes":{"POSITION":0},"indices":1,"extensions":)"
                  R"({"KHR_draco_mesh_compression":{"bufferView":0,"attributes":{"POSITION":)" +
                  std::to_string(positionId) + "}}}}]}";
  return Glb(R"({"buffers":[{"byteLength":)" + std::to_string(stream.size()) +
                 R"(}],"bufferViews":[{"buffer":0,"byteLength":)" + std::to_string(streamBytes) +
                 R"(}],"accessors":[{"componentType":5126,"count":)" + std::to_string(points) +
                 R"(,"type":"VEC3"},{"componentType":5125,"count":)" + std::to_string(corners) +
                 R"(,"type":"SCALAR"}],"meshes":[)" + primitives +
                 R"(],"extensionsRequired":["KHR_draco_mesh_compression"],)" + kScene + "}",
             stream);
}

// What a hostile encoder makes: a stream of separate triangles over `points` points, all at the
// origin, with `extra` attributes of 255 unsigned 32-bit zeros a point besides the positions, all
// of which compress to almost nothing.
Bytes HostileStream(draco::MeshEncoderMethod method, uint32_t points, int extra,
                    uint32_t& positionId) {
  draco::Mesh mesh;
  mesh.set_num_points(points);
  for (uint32_t f = 0; f < points / 3; ++f)
    mesh.AddFace(
        {draco::PointIndex(3 * f), draco::PointIndex(3 * f + 1), draco::PointIndex(3 * f + 2)});
  for (int a = 0; a <= extra; ++a) {
    draco::GeometryAttribute ga;
    ga.Init(a == 0 ? draco::GeometryAttribute::POSITION : draco::GeometryAttribute::GENERIC,
            nullptr, a == 0 ? 3 : 255, a == 0 ? draco::DT_FLOAT32 : draco::DT_UINT32, false,
            a == 0 ? 12 : 1020, 0);
    const int id = mesh.AddAttribute(ga, true, points);
    if (a == 0) positionId = mesh.attribute(id)->unique_id();
  }
  draco::Encoder encoder;
  encoder.SetEncodingMethod(method);
  encoder.SetAttributeQuantization(draco::GeometryAttribute::POSITION, 8);
  draco::EncoderBuffer out;
  EXPECT_TRUE(encoder.EncodeMeshToBuffer(mesh, &out).ok());
  return Bytes(out.data(), out.data() + out.size());
}

std::string Outcome(const Bytes& file, std::vector<Triangle>* triangles = nullptr) {
  Scene scene;
  const ImportResult r = ImportGLTFFromMemory(scene, file, file[0] == 'g', "", {});
  if (!r.ok) return r.error.reason;
  if (triangles == nullptr) return "ok";
  const auto v = scene.ModelMesh->vertices();
  for (const FaceIndices& f : scene.ModelMesh->faces()) {
    std::array<Vec3, 3> c = {v[f[0]], v[f[1]], v[f[2]]};
    const auto less = [](const Vec3& p, const Vec3& q) {
      return std::tie(p.x, p.y, p.z) < std::tie(q.x, q.y, q.z);
    };
    std::rotate(c.begin(), std::min_element(c.begin(), c.end(), less), c.end());
    triangles->push_back({c[0].x, c[0].y, c[0].z, c[1].x, c[1].y, c[1].z, c[2].x, c[2].y, c[2].z});
  }
  std::sort(triangles->begin(), triangles->end());
  return "ok";
}

TEST(GltfDecode, CompressedFilesGiveTheTrianglesOfTheirPlainTwin) {
  const std::vector<float> points = GridPoints();
  const std::vector<uint32_t> corners = GridCorners();
  Bytes plainBin = BytesOf(points);
  const Bytes indexBytes = BytesOf(corners);
  plainBin.insert(plainBin.end(), indexBytes.begin(), indexBytes.end());
  const Bytes plain =
      Glb(R"({"buffers":[{"byteLength":408}],"bufferViews":[{"buffer":0,"byteLength":192},)"
          R"({"buffer":0,"byteOffset":192,"byteLength":216}],"accessors":[{"bufferView":0,)"
          R"("componentType":5126,"count":16,"type":"VEC3"},{"bufferView":1,"componentType":5125,)"
          R"("count":54,"type":"SCALAR"}],"meshes":[{"primitives":[{"attributes":{"POSITION":0},)"
          R"("indices":1}]}],)" +
              kScene + "}",
          plainBin);
  std::vector<Triangle> expected;
  ASSERT_EQ(Outcome(plain, &expected), "ok");
  uint32_t id = 0, id2 = 0;
  const Bytes sequential = DracoStream(draco::MESH_SEQUENTIAL_ENCODING, id);
  const Bytes edgebreaker = DracoStream(draco::MESH_EDGEBREAKER_ENCODING, id2);
  for (const Bytes& file :
       {MeshoptGlb("EXT_meshopt_compression", 16), MeshoptGlb("KHR_meshopt_compression", 16),
        DracoGlb(sequential, id, 16, 54), DracoGlb(edgebreaker, id2, 16, 54)}) {
    std::vector<Triangle> triangles;
    EXPECT_EQ(Outcome(file, &triangles), "ok");
    EXPECT_EQ(triangles, expected);
  }
}

TEST(GltfDecode, CorruptOrLyingStreamsAreRefusedByName) {
  uint32_t id = 0;
  Bytes corrupt = DracoStream(draco::MESH_EDGEBREAKER_ENCODING, id);
  std::fill(corrupt.begin() + 20, corrupt.end(), 0xFF);
  const std::string meshopt = "bufferView 0 (EXT_meshopt_compression): ";
  const std::string khr = "bufferView 0 (KHR_meshopt_compression): ";
  const std::string draco = "mesh 0 primitive 0 (KHR_draco_mesh_compression): ";
  const std::pair<Bytes, std::string> cases[] = {
      {MeshoptGlb("EXT_meshopt_compression", 16, 0, 8),
       meshopt + "its compressed stream is corrupt"},
      {MeshoptGlb("EXT_meshopt_compression", 100000000),
       meshopt + "it decodes to more bytes than a file of its size may make"},
      {MeshoptGlb("KHR_meshopt_compression", 16, 0xA1),
       khr + "its vertex stream is of codec version 1, which this reader cannot decode"},
      {DracoGlb(corrupt, id, 16, 54), draco + "its Draco stream is corrupt"},
      {DracoGlb(DracoStream(draco::MESH_SEQUENTIAL_ENCODING, id), id, 16, 51),
       draco + "its Draco stream's face count differs from its indices"},
      {DracoGlb(DracoStream(draco::MESH_SEQUENTIAL_ENCODING, id), id, 17, 54),
       draco + "its Draco stream's point count differs from its POSITION"},
      {DracoGlb(DracoStream(draco::MESH_SEQUENTIAL_ENCODING, id, 100000000), id, 16, 300000000),
       draco + "its Draco stream would decode to 1144.5 MB, more than the 47 KB left of what a "
               "file of its size may make"},
  };
  for (const auto& [file, why] : cases)
    EXPECT_EQ(Outcome(file).substr(0, why.size()), why);
}

// A Draco file decodes within 64 times its size and 64 MiB more, counting every attribute its
// stream carries and each stream once however many primitives share it, or is refused at once.
TEST(GltfDecode, HostileDracoFilesDecodeWithinTheFilesBound) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers reserve more address space than any limit allows";
#endif
  struct Row {
    draco::MeshEncoderMethod method;
    size_t fileBytes;
    double decoded;  // what the stream decodes to, in the file's bounds (64 times its size)
    int extra;       // the attributes of 255 numbers a point besides the positions
    int meshes;      // those that share the stream
    std::string outcome;
  };
  const std::string refused =
      "mesh 0 primitive 0 (KHR_draco_mesh_compression): its Draco "
      "stream would decode to ";
  const Row rows[] = {
      {draco::MESH_EDGEBREAKER_ENCODING, 4 << 20, 0.95, 4, 1, "ok"},
      {draco::MESH_SEQUENTIAL_ENCODING, 1 << 20, 1.1, 4, 1, refused},
      {draco::MESH_SEQUENTIAL_ENCODING, 256 << 10, 8, 4, 1, refused},
      // Each decoding keeps more than an eighth of the bound: 28 could not be made.
      {draco::MESH_EDGEBREAKER_ENCODING, 1 << 20, 0.4, 0, 28, "ok"},
  };
  for (const Row& row : rows) {
    const double bound = 64.0 * double(row.fileBytes);
    // What each point takes decoded: 255 numbers of each extra attribute, in their type and as
    // the decoder's integers; the positions likewise; the order of the points; a third of a face.
    const auto points = uint32_t(row.decoded * bound / (2040.0 * row.extra + 24 + 16 + 8)) / 3 * 3;
    uint32_t id = 0;
    const Bytes stream = HostileStream(row.method, points, row.extra, id);
    const Bytes file = DracoGlb(stream, id, points, points, row.meshes, row.fileBytes - 8192);
    ASSERT_LT(file.size(), row.fileBytes);
    const std::string outcome =
        test::InChild([&] { return Outcome(file); }, 64 * file.size() + (64 << 20), 120);
    EXPECT_EQ(outcome.substr(0, row.outcome.size()), row.outcome)
        << row.method << " " << row.fileBytes << " " << row.decoded;
  }
}

TEST(GltfDecode, Gltf1IsRefusedByName) {
  for (const std::string json : {R"({"asset":{"version":"1.0"},"meshes":{"m":{"primitives":[]}}})",
                                 R"({"asset":{"version":"1.1"},"meshes":[]})",
                                 R"({"meshes":{"m":{}},"accessors":{"a":{}}})"})
    EXPECT_EQ(Outcome(Bytes(json.begin(), json.end())),
              "glTF 1.0 is not supported; convert it to glTF 2.0")
        << json;
}

}  // namespace
}  // namespace quarvel
