// The meshes a glTF scene shows, each with the transform that places it: the scene's nodes and
// all their descendants, walked without recursion, each node's transform (a matrix, or a
// translation, rotation and scale) composed down the hierarchy in double precision.
#pragma once

#include <array>
#include <string>
#include <vector>

#include <tiny_gltf.h>

namespace quarvel {

// A 4 x 4 matrix as glTF writes it: column after column, for column vectors (p' = M p).
using GltfMatrix = std::array<double, 16>;
constexpr GltfMatrix kGltfIdentity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

struct MeshInstance {
  size_t mesh = 0;      // an index into the model's meshes
  size_t node = 0;      // the node that shows it
  GltfMatrix toFile{};  // from the mesh's coordinates to the file's (the scene's root)
};

struct SceneMeshes {
  std::vector<MeshInstance> instances;  // in the order of a depth-first walk, children in order
  std::string error;                    // why the nodes cannot be used; empty when they can
};

// T * R * S from a translation, a rotation (a unit quaternion x, y, z, w) and a scale.
GltfMatrix TrsMatrix(const std::array<double, 3>& t, const std::array<double, 4>& q,
                     const std::array<double, 3>& s);
GltfMatrix Multiply(const GltfMatrix& a, const GltfMatrix& b);

// The scene shown is the file's `scene`, scene 0 when it names none, and every node that is no
// other node's child when the file has no scenes. The nodes must form trees: a node met twice in
// the walk (a cycle, a node with two parents, a root listed twice) makes the file unusable, as do
// indices of scenes, nodes or meshes that do not exist and transforms of the wrong size. (The JSON
// reader refuses numbers too large for a double, so every transform is finite; products of them
// may not be, which the reader of the positions sees.)
SceneMeshes FindSceneMeshes(const tinygltf::Model& model);

}  // namespace quarvel
