#include "gltf_nodes.h"

#include <algorithm>
#include <cstdint>

namespace quarvel {
namespace {

// Why a node cannot be used, empty when it can.
std::string NodeError(const tinygltf::Model& model, const tinygltf::Node& node) {
  if (node.mesh < -1 || node.mesh >= int64_t(model.meshes.size()))
    return "its mesh " + std::to_string(node.mesh) + " does not exist";
  for (const int child : node.children)
    if (child < 0 || size_t(child) >= model.nodes.size())
      return "its child " + std::to_string(child) + " does not exist";
  if (!node.matrix.empty() && node.matrix.size() != 16) return "its matrix is not 16 numbers";
  if (!node.translation.empty() && node.translation.size() != 3)
    return "its translation is not 3 numbers";
  if (!node.rotation.empty() && node.rotation.size() != 4) return "its rotation is not 4 numbers";
  if (!node.scale.empty() && node.scale.size() != 3) return "its scale is not 3 numbers";
  return "";
}

// The node's matrix, or T * R * S from its translation, rotation and scale, each the identity
// when the node does not give it.
GltfMatrix LocalTransform(const tinygltf::Node& node) {
  if (!node.matrix.empty()) {
    GltfMatrix m;
    std::copy(node.matrix.begin(), node.matrix.end(), m.begin());
    return m;
  }
  std::array<double, 3> t = {0, 0, 0}, s = {1, 1, 1};
  std::array<double, 4> q = {0, 0, 0, 1};
  std::copy(node.translation.begin(), node.translation.end(), t.begin());
  std::copy(node.rotation.begin(), node.rotation.end(), q.begin());
  std::copy(node.scale.begin(), node.scale.end(), s.begin());
  return TrsMatrix(t, q, s);
}

// The nodes the scene shows first: the chosen scene's, or the roots of every tree of nodes.
std::vector<int> RootNodes(const tinygltf::Model& model, std::string& error) {
  if (model.defaultScene < -1 || model.defaultScene >= int64_t(model.scenes.size())) {
    error = "its scene " + std::to_string(model.defaultScene) + " does not exist";
    return {};
  }
  if (!model.scenes.empty()) return model.scenes[size_t(std::max(model.defaultScene, 0))].nodes;
  std::vector<bool> isChild(model.nodes.size());
  for (const tinygltf::Node& node : model.nodes)
    for (const int child : node.children)
      isChild[size_t(child)] = true;
  std::vector<int> roots;
  for (size_t i = 0; i < model.nodes.size(); ++i)
    if (!isChild[i]) roots.push_back(static_cast<int>(i));
  return roots;
}

}  // namespace

GltfMatrix TrsMatrix(const std::array<double, 3>& t, const std::array<double, 4>& q,
                     const std::array<double, 3>& s) {
  const double x = q[0], y = q[1], z = q[2], w = q[3];
  // The rotation's rows.
  const double r[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)},
                          {2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)},
                          {2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)}};
  GltfMatrix m = kGltfIdentity;
  for (size_t column = 0; column < 3; ++column) {
    for (size_t row = 0; row < 3; ++row)
      m[column * 4 + row] = r[row][column] * s[column];
    m[12 + column] = t[column];
  }
  return m;
}

GltfMatrix Multiply(const GltfMatrix& a, const GltfMatrix& b) {
  GltfMatrix product{};
  for (size_t column = 0; column < 4; ++column)
    for (size_t row = 0; row < 4; ++row) {
      double sum = 0;
      for (size_t k = 0; k < 4; ++k)
        sum += a[k * 4 + row] * b[column * 4 + k];
      product[column * 4 + row] = sum;
    }
  return product;
}

SceneMeshes FindSceneMeshes(const tinygltf::Model& model) {
  SceneMeshes out;
  for (size_t i = 0; i < model.nodes.size(); ++i) {
    const std::string why = NodeError(model, model.nodes[i]);
    if (!why.empty()) {
      out.error = "node " + std::to_string(i) + ": " + why;
      return out;
    }
  }
  const std::vector<int> roots = RootNodes(model, out.error);
  if (!out.error.empty()) return out;

  // A stack of the nodes still to visit with their parents' transforms. Each node is pushed at
  // most once, so the stack never holds more than the file's nodes.
  struct Pending {
    int node;
    GltfMatrix parent;
  };
  std::vector<Pending> stack;
  std::vector<bool> met(model.nodes.size());
  auto push = [&](int node, const GltfMatrix& parent) {
    if (node < 0 || size_t(node) >= model.nodes.size()) {
      out.error = "the scene's node " + std::to_string(node) + " does not exist";
      return false;
    }
    if (met[size_t(node)]) {
      out.error = "node " + std::to_string(node) +
                  " is met twice: the nodes have a cycle or a node with two parents";
      return false;
    }
    met[size_t(node)] = true;
    stack.push_back({node, parent});
    return true;
  };
  for (auto root = roots.rbegin(); root != roots.rend(); ++root)
    if (!push(*root, kGltfIdentity)) return out;
  while (!stack.empty()) {
    const Pending pending = stack.back();
    stack.pop_back();
    const tinygltf::Node& node = model.nodes[size_t(pending.node)];
    const GltfMatrix toFile = Multiply(pending.parent, LocalTransform(node));
    if (node.mesh >= 0) out.instances.push_back({size_t(node.mesh), size_t(pending.node), toFile});
    for (auto child = node.children.rbegin(); child != node.children.rend(); ++child)
      if (!push(*child, toFile)) {
        out.instances.clear();
        return out;
      }
  }
  return out;
}

}  // namespace quarvel
