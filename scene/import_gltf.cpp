// Reading glTF 2.0 files (.gltf text and .glb binary) into the scene's mesh: the triangles of every
// mesh the file's scene shows, each placed by its node's transform. tinygltf reads the JSON and the
// buffers; every accessor is checked against its buffer here before a byte of it is read.
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "base/file_io.h"
#include "gltf_accessors.h"
#include "gltf_load.h"
#include "gltf_nodes.h"
#include "import_finish.h"
#include "model_formats.h"

namespace quarvel {
namespace {

constexpr const char* kParseError = "Error parsing glTF file";
// Pool indices and face counts are 32-bit.
constexpr uint64_t kMaxCount = std::numeric_limits<uint32_t>::max();
// Nodes may show one mesh many times, and accessors may share bytes, so the mesh a file makes is
// bounded apart from its size: at 12 bytes a vertex and 12 a triangle, with the plan of each
// primitive to add, at most this many times the bytes of the file and its buffers together.
constexpr uint64_t kMaxGrowth = 64;

// What makes the file unusable, found while its meshes are planned or added.
struct GltfError {
  std::string why;
};

bool Aborted() {
  return AbortRequested.load(std::memory_order_relaxed) != 0;
}

// The bytes the file holds, with the buffers it loaded (those of a .glb's BIN chunk or of data:
// URIs a second time: the bound is generous).
uint64_t HeldBytes(std::span<const uint8_t> file, const tinygltf::Model& model) {
  uint64_t bytes = file.size();
  for (const tinygltf::Buffer& buffer : model.buffers)
    bytes += buffer.data.size();
  return bytes;
}

// A point through a transform, in double, stored as floats; with the identity the file's floats
// come out as they are.
Vec3 Place(const GltfMatrix& m, bool identity, float x, float y, float z) {
  if (identity) return {x, y, z};
  return {Store(m[0] * x + m[4] * y + m[8] * z + m[12]),
          Store(m[1] * x + m[5] * y + m[9] * z + m[13]),
          Store(m[2] * x + m[6] * y + m[10] * z + m[14])};
}

// A triangle primitive of one mesh instance, checked and counted, ready to be added.
struct PlannedPrimitive {
  AccessorElements positions;
  AccessorElements indices;  // the positions themselves when the primitive has no indices
  size_t indexSize = 0;      // 1, 2 or 4 bytes, 0 without indices
  const GltfMatrix* toFile = nullptr;
};

// What the scene's meshes add, found before anything is added.
struct Plan {
  std::vector<PlannedPrimitive> primitives;
  uint64_t vertices = 0;
  uint64_t triangles = 0;
};

// Checks every primitive the instances show and counts what the triangle primitives add, against
// the pool's 32-bit indices and the bound on the mesh's size. Throws GltfError.
class Planner {
 public:
  Planner(const tinygltf::Model& model, uint64_t heldBytes)
      : model_(model), budget_(kMaxGrowth * heldBytes) {}

  Plan Run(const std::vector<MeshInstance>& instances) {
    for (const MeshInstance& instance : instances)
      for (const tinygltf::Primitive& primitive : model_.meshes[instance.mesh].primitives)
        Add(primitive, instance.toFile);
    return std::move(plan_);
  }

 private:
  // Triangles only: points, lines, strips and fans are skipped, as are primitives without
  // positions. Without indices, each three positions in a row are a triangle.
  void Add(const tinygltf::Primitive& primitive, const GltfMatrix& toFile) {
    if (primitive.mode != TINYGLTF_MODE_TRIANGLES) return;
    const auto position = primitive.attributes.find("POSITION");
    if (position == primitive.attributes.end()) return;
    PlannedPrimitive p;
    p.positions = Positions(position->second);
    p.indices = primitive.indices >= 0 ? Indices(primitive.indices, p.indexSize) : p.positions;
    p.toFile = &toFile;
    plan_.vertices += p.positions.count;
    plan_.triangles += p.indices.count / 3;
    if (plan_.vertices > kMaxCount || plan_.triangles > kMaxCount)
      throw GltfError{"more than 4294967295 vertices or triangles"};
    bytes_ += sizeof p + 12 * (p.positions.count + p.indices.count / 3);
    if (bytes_ > budget_)
      throw GltfError{"its nodes repeat more geometry than a file of its size may make"};
    plan_.primitives.push_back(p);
  }

  const tinygltf::Accessor& AccessorAt(int index) const {
    if (index < 0 || size_t(index) >= model_.accessors.size())
      throw GltfError{"accessor " + std::to_string(index) + " does not exist"};
    return model_.accessors[size_t(index)];
  }

  AccessorElements Locate(int index, size_t elementSize) const {
    AccessorElements elements;
    const std::string why = LocateElements(model_, AccessorAt(index), elementSize, elements);
    if (!why.empty()) throw GltfError{"accessor " + std::to_string(index) + ": " + why};
    return elements;
  }

  // Three floats per vertex. Integer positions (quantized meshes) are refused.
  AccessorElements Positions(int index) const {
    const tinygltf::Accessor& a = AccessorAt(index);
    if (a.type != TINYGLTF_TYPE_VEC3)
      throw GltfError{"accessor " + std::to_string(index) + ": positions are not VEC3"};
    if (a.componentType != TINYGLTF_COMPONENT_TYPE_FLOAT)
      throw GltfError{"accessor " + std::to_string(index) +
                      ": positions are not floats (quantized positions are not supported)"};
    return Locate(index, 12);
  }

  // Unsigned integers of 1, 2 or 4 bytes.
  AccessorElements Indices(int index, size_t& size) const {
    const tinygltf::Accessor& a = AccessorAt(index);
    switch (a.componentType) {
      case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE:
        size = 1;
        break;
      case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT:
        size = 2;
        break;
      case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT:
        size = 4;
        break;
      default:
        throw GltfError{"accessor " + std::to_string(index) +
                        ": indices are not unsigned integers"};
    }
    if (a.type != TINYGLTF_TYPE_SCALAR)
      throw GltfError{"accessor " + std::to_string(index) + ": indices are not SCALAR"};
    return Locate(index, size);
  }

  const tinygltf::Model& model_;
  const uint64_t budget_;  // the most bytes the plan and the mesh may take
  uint64_t bytes_ = 0;     // the bytes they take so far
  Plan plan_;
};

// Adds a planned primitive: all of its positions into the pool, placed by the transform, and its
// triangles, each (a, b, c) as (c, b, a). Returns the faces added. Throws GltfError, before it
// adds anything, when a placed position is not a finite float.
uint32_t AddPrimitive(Mesh& mesh, const PlannedPrimitive& p) {
  std::vector<Vec3> vertices(p.positions.count);
  const bool identity = *p.toFile == kGltfIdentity;
  for (size_t i = 0; i < vertices.size(); ++i) {
    const uint8_t* bytes = p.positions.At(i);
    const Vec3 v =
        Place(*p.toFile, identity, LeFloat(bytes), LeFloat(bytes + 4), LeFloat(bytes + 8));
    if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z))
      throw GltfError{"a position is not a finite float once placed by its node"};
    vertices[i] = {v.x, v.y, -v.z};  // the file's y-up right-handed z is the scene's -z
  }
  std::vector<FaceIndices> triangles(p.indices.count / 3);
  auto corner = [&](size_t i) {
    if (p.indexSize == 0) return static_cast<uint32_t>(i);
    const uint8_t* bytes = p.indices.At(i);
    return p.indexSize == 1   ? uint32_t(*bytes)
           : p.indexSize == 2 ? uint32_t(LeU16(bytes))
                              : LeU32(bytes);
  };
  for (size_t t = 0; t < triangles.size(); ++t)
    triangles[t] = {corner(3 * t + 2), corner(3 * t + 1), corner(3 * t)};
  return static_cast<uint32_t>(mesh.AddFaces(vertices, triangles));
}

// Adds the planned primitives in order until the end or a cancel, counting the faces added in
// `faces`, which holds them also when a primitive throws.
void AddPlan(Mesh& mesh, const Plan& plan, const Feedback& fb, uint32_t& faces) {
  const size_t total = plan.primitives.size();
  if (total > 1) fb.Status(2, fb.Tr(" Press ESC to skip"));
  mesh.Reserve(mesh.vertices().size() + plan.vertices, mesh.faces().size() + plan.triangles);
  for (size_t done = 0; done < total; ++done) {
    fb.Progress(static_cast<int>(done * 100 / total));
    fb.ProcessMessages();
    if (Aborted()) break;
    faces += AddPrimitive(mesh, plan.primitives[done]);
  }
}

ImportResult Failure(const std::string& why, uint32_t faces, const Feedback& fb) {
  fb.Status(2, "");
  fb.Progress(0);
  return {false, faces, {ErrorKind::Import, kParseError, "", why}, {}};
}

}  // namespace

ImportResult ImportGLTFFromMemory(Scene& scene, std::span<const uint8_t> file, bool binary,
                                  const std::string& baseDir, const Feedback& fb) {
  AbortRequested = 0;
  tinygltf::Model model;
  const std::string loadError = LoadGltfModel(file, binary, baseDir, model);
  if (!loadError.empty()) return Failure(loadError, 0, fb);
  const SceneMeshes meshes = FindSceneMeshes(model);
  if (!meshes.error.empty()) return Failure(meshes.error, 0, fb);
  uint32_t faces = 0;
  try {
    const Plan plan = Planner(model, HeldBytes(file, model)).Run(meshes.instances);
    AddPlan(*scene.ModelMesh, plan, fb, faces);
  } catch (const GltfError& e) {
    AbortRequested = 0;
    return Failure(e.why, faces, fb);
  }
  AbortRequested = 0;
  FinishImport(scene, faces, fb);
  return {true, faces, {}, {}};
}

}  // namespace quarvel
