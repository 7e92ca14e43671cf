// The model's mesh: a vertex pool and an ordered list of triangles over it, with one colour and
// one material for all faces.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "geometry.h"

namespace quarvel {

struct Rgb {
  float r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

struct Material {
  float power = 0;
  Rgb specular, emissive;
};

// A triangle as three indices into the mesh's vertex pool, in the order the face was added.
using FaceIndices = std::array<uint32_t, 3>;

class Mesh;

// One face of a mesh, as the renderer reads it.
struct Face {
  const Mesh* mesh;
  uint32_t index;
  Vec3 GetVertex(int k) const;
};

class Mesh {
 public:
  // Appends `vertices` to the pool and the faces over them, in order. Face indices are relative
  // to `vertices`; a face with an index outside it is not added. Returns the number added.
  size_t AddFaces(std::span<const Vec3> vertices, std::span<const FaceIndices> faces);
  // The same for a reader's whole buffers: an empty mesh takes their storage over instead of
  // copying it, so that a large model is never held twice.
  size_t TakeFaces(std::vector<Vec3>&& vertices, std::vector<FaceIndices>&& faces);

  void Reserve(size_t vertices, size_t faces) {
    vertices_.reserve(vertices);
    faces_.reserve(faces);
  }

  // The box of every vertex in the pool (also those no face uses); all zero when it is empty.
  Box GetBox() const;
  void Translate(float x, float y, float z);
  void Scale(float x, float y, float z);
  void SetColorRGB(Rgb c) { color_ = c; }
  void SetMaterial(const Material& m) { material_ = m; }

  size_t FaceCount() const { return faces_.size(); }
  Face GetFace(size_t i) const { return {this, static_cast<uint32_t>(i)}; }

  Rgb color() const { return color_; }
  const Material& material() const { return material_; }
  std::span<const Vec3> vertices() const { return vertices_; }
  std::span<const FaceIndices> faces() const { return faces_; }

 private:
  std::vector<Vec3> vertices_;
  std::vector<FaceIndices> faces_;
  Rgb color_;
  Material material_;
};

inline Vec3 Face::GetVertex(int k) const {
  return mesh->vertices()[mesh->faces()[index][k]];
}

}  // namespace quarvel
