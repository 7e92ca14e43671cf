#include "mesh.h"

#include <algorithm>
#include <utility>

namespace quarvel {

size_t Mesh::AddFaces(std::span<const Vec3> vertices, std::span<const FaceIndices> faces) {
  const auto base = static_cast<uint32_t>(vertices_.size());
  const auto count = static_cast<uint32_t>(vertices.size());
  vertices_.insert(vertices_.end(), vertices.begin(), vertices.end());
  const size_t before = faces_.size();
  for (const FaceIndices& f : faces) {
    if (f[0] >= count || f[1] >= count || f[2] >= count) continue;
    faces_.push_back({base + f[0], base + f[1], base + f[2]});
  }
  return faces_.size() - before;
}

size_t Mesh::TakeFaces(std::vector<Vec3>&& vertices, std::vector<FaceIndices>&& faces) {
  if (!vertices_.empty() || !faces_.empty()) return AddFaces(vertices, faces);
  const auto count = static_cast<uint32_t>(vertices.size());
  std::erase_if(faces, [count](const FaceIndices& f) {
    return f[0] >= count || f[1] >= count || f[2] >= count;
  });
  vertices_ = std::move(vertices);
  faces_ = std::move(faces);
  return faces_.size();
}

Box Mesh::GetBox() const {
  if (vertices_.empty()) return {};
  Box b{vertices_[0], vertices_[0]};
  for (const Vec3& v : vertices_) {
    b.min = {std::min(b.min.x, v.x), std::min(b.min.y, v.y), std::min(b.min.z, v.z)};
    b.max = {std::max(b.max.x, v.x), std::max(b.max.y, v.y), std::max(b.max.z, v.z)};
  }
  return b;
}

void Mesh::Translate(float x, float y, float z) {
  for (Vec3& v : vertices_)
    v = {Store(double(v.x) + x), Store(double(v.y) + y), Store(double(v.z) + z)};
}

void Mesh::Scale(float x, float y, float z) {
  for (Vec3& v : vertices_)
    v = {Store(double(v.x) * x), Store(double(v.y) * y), Store(double(v.z) * z)};
}

}  // namespace quarvel
