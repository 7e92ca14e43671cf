#include "write_3ds.h"

#include <cstring>
#include <fstream>
#include <unordered_map>

namespace quarvel {

void ChunkWriter::U16(uint16_t v) {
  bytes_.push_back(static_cast<uint8_t>(v));
  bytes_.push_back(static_cast<uint8_t>(v >> 8));
}

void ChunkWriter::U32(uint32_t v) {
  for (int i = 0; i < 4; ++i)
    bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void ChunkWriter::F32(float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, 4);
  U32(bits);
}

void ChunkWriter::Text(std::string_view s) {
  bytes_.insert(bytes_.end(), s.begin(), s.end());
  bytes_.push_back(0);
}

void ChunkWriter::Begin(uint16_t id) {
  open_.push_back(bytes_.size());
  U16(id);
  U32(0);
}

void ChunkWriter::End() {
  const size_t start = open_.back();
  open_.pop_back();
  const auto length = static_cast<uint32_t>(bytes_.size() - start);
  for (int i = 0; i < 4; ++i)
    bytes_[start + 2 + i] = static_cast<uint8_t>(length >> (8 * i));
}

std::vector<uint8_t> Write3DS(const std::vector<ModelObject>& objects) {
  ChunkWriter w;
  w.Begin(0x4D4D);
  w.Begin(0x3D3D);
  for (const ModelObject& o : objects) {
    w.Begin(0x4000);
    w.Text(o.name);
    w.Begin(0x4100);
    w.Begin(0x4110);
    w.U16(static_cast<uint16_t>(o.vertices.size()));
    for (const Vec3& v : o.vertices) {
      w.F32(v.x);
      w.F32(v.y);
      w.F32(v.z);
    }
    w.End();
    w.Begin(0x4120);
    w.U16(static_cast<uint16_t>(o.faces.size()));
    for (const auto& f : o.faces) {
      w.U16(f[0]);
      w.U16(f[1]);
      w.U16(f[2]);
      w.U16(0);  // flags
    }
    w.End();
    w.End();
    w.End();
  }
  w.End();
  w.End();
  return w.bytes();
}

std::vector<ModelObject> SplitMesh(const std::string& name, std::span<const Vec3> vertices,
                                   std::span<const std::array<uint32_t, 3>> faces) {
  constexpr size_t kMax = 65535;
  std::vector<ModelObject> objects;
  std::unordered_map<uint32_t, uint16_t> local;  // vertex index -> index in the current object
  for (const auto& f : faces) {
    if (objects.empty() || objects.back().faces.size() == kMax ||
        objects.back().vertices.size() + 3 > kMax) {
      objects.push_back({name + std::to_string(objects.size()), {}, {}});
      local.clear();
    }
    ModelObject& o = objects.back();
    std::array<uint16_t, 3> g;
    for (int k = 0; k < 3; ++k) {
      auto [it, added] = local.try_emplace(f[k], static_cast<uint16_t>(o.vertices.size()));
      if (added) o.vertices.push_back(vertices[f[k]]);
      g[k] = it->second;
    }
    o.faces.push_back(g);
  }
  return objects;
}

bool SaveBytes(const std::string& path, std::span<const uint8_t> bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

}  // namespace quarvel
