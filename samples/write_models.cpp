#include "write_models.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace quarvel {

namespace {

void Append(std::vector<uint8_t>& out, const void* p, size_t n) {
  const size_t at = out.size();
  out.resize(at + n);
  std::memcpy(out.data() + at, p, n);
}

void AppendText(std::vector<uint8_t>& out, const std::string& s) {
  Append(out, s.data(), s.size());
}

template <typename T>
void AppendLe(std::vector<uint8_t>& out, T v) {
  Append(out, &v, sizeof v);  // as this machine holds it: little-endian, as these formats are
}

std::string Number(float v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", double(v));
  return text;
}

// y-up right-handed formats: the .3ds file's (x, y, z) is their (x, z, -y); both readers reverse
// the corners, so the corner order stays.
Vec3 YUp(Vec3 v) {
  return {v.x, v.z, -v.y};
}

}  // namespace

// z-up formats keep the .3ds file's coordinates and corner order.
std::vector<uint8_t> WriteBinaryStl(const TriangleMesh& m) {
  std::vector<uint8_t> out(80, ' ');
  AppendLe(out, uint32_t(m.faces.size()));
  for (const auto& f : m.faces) {
    const float normal[3] = {0, 0, 0};
    Append(out, normal, sizeof normal);
    for (uint32_t i : f)
      Append(out, &m.vertices[i], sizeof(Vec3));
    AppendLe(out, uint16_t(0));
  }
  return out;
}

std::vector<uint8_t> WriteAsciiStl(const TriangleMesh& m) {
  std::vector<uint8_t> out;
  AppendText(out, "solid knot\n");
  for (const auto& f : m.faces) {
    AppendText(out, "  facet normal 0 0 0\n    outer loop\n");
    for (uint32_t i : f) {
      const Vec3 v = m.vertices[i];
      AppendText(out, "      vertex " + Number(v.x) + " " + Number(v.y) + " " + Number(v.z) + "\n");
    }
    AppendText(out, "    endloop\n  endfacet\n");
  }
  AppendText(out, "endsolid knot\n");
  return out;
}

std::vector<uint8_t> WriteBinaryPly(const TriangleMesh& m) {
  std::vector<uint8_t> out;
  AppendText(out, "ply\nformat binary_little_endian 1.0\nelement vertex " +
                      std::to_string(m.vertices.size()) +
                      "\nproperty float x\nproperty float y\nproperty float z\nelement face " +
                      std::to_string(m.faces.size()) +
                      "\nproperty list uchar int vertex_indices\nend_header\n");
  for (const Vec3& v : m.vertices)
    Append(out, &v, sizeof v);
  for (const auto& f : m.faces) {
    AppendLe(out, uint8_t(3));
    for (uint32_t i : f)
      AppendLe(out, int32_t(i));
  }
  return out;
}

std::vector<uint8_t> WriteObj(const TriangleMesh& m) {
  std::vector<uint8_t> out;
  AppendText(out, "# knot\no knot\n");
  for (const Vec3& v : m.vertices) {
    const Vec3 p = YUp(v);
    AppendText(out, "v " + Number(p.x) + " " + Number(p.y) + " " + Number(p.z) + "\n");
  }
  for (const auto& f : m.faces)
    AppendText(out, "f " + std::to_string(f[0] + 1) + " " + std::to_string(f[1] + 1) + " " +
                        std::to_string(f[2] + 1) + "\n");
  return out;
}

std::vector<uint8_t> WriteGlb(const TriangleMesh& m) {
  std::vector<uint8_t> bin;
  for (const Vec3& v : m.vertices) {
    const Vec3 p = YUp(v);
    Append(bin, &p, sizeof p);
  }
  const size_t positions = bin.size();
  for (const auto& f : m.faces)
    for (uint32_t i : f)
      AppendLe(bin, i);
  const std::string json =
      R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],"nodes":[{"mesh":0}],)"
      R"("meshes":[{"primitives":[{"attributes":{"POSITION":0},"indices":1}]}],)"
      R"("buffers":[{"byteLength":)" +
      std::to_string(bin.size()) + R"(}],"bufferViews":[{"buffer":0,"byteLength":)" +
      std::to_string(positions) + R"(},{"buffer":0,"byteOffset":)" + std::to_string(positions) +
      R"(,"byteLength":)" + std::to_string(bin.size() - positions) +
      R"(}],"accessors":[{"bufferView":0,"componentType":5126,"count":)" +
      std::to_string(m.vertices.size()) +
      R"(,"type":"VEC3"},{"bufferView":1,"componentType":5125,"count":)" +
      std::to_string(m.faces.size() * 3) + R"(,"type":"SCALAR"}]})";
  std::vector<uint8_t> chunk(json.begin(), json.end());
  chunk.resize((chunk.size() + 3) / 4 * 4, ' ');
  bin.resize((bin.size() + 3) / 4 * 4, 0);
  std::vector<uint8_t> out;
  AppendText(out, "glTF");
  AppendLe(out, uint32_t(2));
  AppendLe(out, uint32_t(12 + 8 + chunk.size() + 8 + bin.size()));
  AppendLe(out, uint32_t(chunk.size()));
  AppendText(out, "JSON");
  Append(out, chunk.data(), chunk.size());
  AppendLe(out, uint32_t(bin.size()));
  Append(out, "BIN", 4);  // the fourth byte is the string's zero
  Append(out, bin.data(), bin.size());
  return out;
}

}  // namespace quarvel
