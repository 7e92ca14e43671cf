// Reading glTF 2.0 files (.gltf text and .glb binary) into the scene's mesh: the triangles of every
// mesh the file's scene shows, each placed by its node's transform. tinygltf reads the JSON and the
// buffers; every accessor is checked against its buffer here before a byte of it is read.
#include <array>
#include <cmath>
#include <deque>
#include <limits>
#include <utility>
#include <vector>

#include "gltf_accessors.h"
#include "gltf_extensions.h"
#include "gltf_instancing.h"
#include "gltf_load.h"
#include "gltf_nodes.h"
#include "gltf_strips.h"
#include "import_finish.h"
#include "model_formats.h"

namespace quarvel {
namespace {

constexpr const char* kParseError = "Error parsing glTF file";
// Pool indices and face counts are 32-bit.
constexpr uint64_t kMaxCount = std::numeric_limits<uint32_t>::max();
// Nodes may show one mesh many times, and accessors may share bytes, so the mesh a file makes is
// bounded apart from its size: at 12 bytes a vertex and 12 a triangle, with the plan of each
// primitive to add, each instance's transform and the bytes of the sparse accessors, within what
// decoding the file's compressed views and primitives left of the bound on what it makes.
constexpr const char* kRepeats = "its nodes repeat more geometry than a file of its size may make";

bool Aborted() {
  return AbortRequested.load(std::memory_order_relaxed) != 0;
}

// A point through a transform, in double, stored as floats; with the identity the file's floats
// come out as they are.
Vec3 Place(const GltfMatrix& m, bool identity, double x, double y, double z) {
  if (identity) return {Store(x), Store(y), Store(z)};
  return {Store(m[0] * x + m[4] * y + m[8] * z + m[12]),
          Store(m[1] * x + m[5] * y + m[9] * z + m[13]),
          Store(m[2] * x + m[6] * y + m[10] * z + m[14])};
}

// A triangle primitive of one mesh instance, checked and counted, ready to be added.
struct PlannedPrimitive {
  AccessorElements positions;
  int positionType = 0;      // their component type: floats, or integers of a quantized mesh
  bool normalized = false;   // whether those integers stand for [0, 1] or [-1, 1]
  AccessorElements indices;  // the positions themselves when the primitive has no indices
  size_t indexSize = 0;      // 1, 2 or 4 bytes, 0 without indices
  int mode = TINYGLTF_MODE_TRIANGLES;  // a list, a strip or a fan
  const GltfMatrix* toFile = nullptr;
};

// What the scene's meshes add, found before anything is added.
struct Plan {
  std::vector<PlannedPrimitive> primitives;
  std::deque<GltfMatrix> instances;  // the transforms of the nodes' GPU instances
  uint64_t vertices = 0;
  uint64_t triangles = 0;
  bool linesOrPoints = false;  // a primitive of points or lines, which draw nothing, was left out
};

// Checks every primitive the instances show and counts what the triangle primitives add, against
// the pool's 32-bit indices and the bound on the mesh's size. Throws GltfError.
class Planner {
 public:
  Planner(const tinygltf::Model& model, uint64_t budget) : model_(model), reader_(model, budget) {}

  // The plan holds pointers into the reader's bytes and into `instances`: both must outlive it.
  Plan Run(const std::vector<MeshInstance>& instances) {
    for (const MeshInstance& instance : instances) {
      const GpuInstances gpu(reader_, model_.nodes[instance.node], instance.node);
      if (!gpu.present()) {
        AddMesh(instance.mesh, instance.toFile);
        continue;
      }
      for (size_t i = 0; i < gpu.count(); ++i) {
        reader_.Charge(sizeof(GltfMatrix), kRepeats);
        AddMesh(instance.mesh,
                plan_.instances.emplace_back(Multiply(instance.toFile, gpu.Transform(i))));
      }
    }
    return std::move(plan_);
  }

 private:
  void AddMesh(size_t mesh, const GltfMatrix& toFile) {
    for (const tinygltf::Primitive& primitive : model_.meshes[mesh].primitives)
      Add(primitive, toFile);
  }

  // Triangle lists, strips and fans with positions; points and lines are noted and skipped.
  // Without indices, the positions in order are the corners.
  void Add(const tinygltf::Primitive& primitive, const GltfMatrix& toFile) {
    const auto position = primitive.attributes.find("POSITION");
    if (position == primitive.attributes.end()) return;
    if (primitive.mode >= TINYGLTF_MODE_POINTS && primitive.mode <= TINYGLTF_MODE_LINE_STRIP) {
      plan_.linesOrPoints = true;
      return;
    }
    if (primitive.mode < TINYGLTF_MODE_TRIANGLES || primitive.mode > TINYGLTF_MODE_TRIANGLE_FAN)
      return;
    PlannedPrimitive p;
    p.positions = Positions(position->second, p);
    p.indices = primitive.indices >= 0 ? Indices(primitive.indices, p.indexSize) : p.positions;
    p.mode = primitive.mode;
    p.toFile = &toFile;
    const uint64_t triangles = TriangleCount(p.mode, p.indices.count);
    plan_.vertices += p.positions.count;
    plan_.triangles += triangles;
    if (plan_.vertices > kMaxCount || plan_.triangles > kMaxCount)
      throw GltfError{"more than 4294967295 vertices or triangles"};
    reader_.Charge(sizeof p + 12 * (p.positions.count + triangles), kRepeats);
    plan_.primitives.push_back(p);
  }

  // Three numbers per vertex: floats, or bytes or shorts of a quantized mesh, whose node
  // transforms scale them back.
  AccessorElements Positions(int index, PlannedPrimitive& p) {
    const tinygltf::Accessor& a = reader_.At(index);
    if (a.type != TINYGLTF_TYPE_VEC3)
      throw GltfError{"accessor " + std::to_string(index) + ": positions are not VEC3"};
    const size_t size = ComponentSize(a.componentType);
    if (size == 0 || (size == 4 && a.componentType != TINYGLTF_COMPONENT_TYPE_FLOAT))
      throw GltfError{"accessor " + std::to_string(index) +
                      ": positions are not floats, bytes or shorts"};
    p.positionType = a.componentType;
    p.normalized = a.normalized;
    return reader_.Elements(index, 3 * size);
  }

  // Unsigned integers of 1, 2 or 4 bytes.
  AccessorElements Indices(int index, size_t& size) {
    const tinygltf::Accessor& a = reader_.At(index);
    size = IndexSize(a.componentType);
    if (size == 0)
      throw GltfError{"accessor " + std::to_string(index) + ": indices are not unsigned integers"};
    if (a.type != TINYGLTF_TYPE_SCALAR)
      throw GltfError{"accessor " + std::to_string(index) + ": indices are not SCALAR"};
    return reader_.Elements(index, size);
  }

  const tinygltf::Model& model_;
  AccessorReader reader_;
  Plan plan_;
};

// Adds a planned primitive: all of its positions into the pool, placed by the transform, and its
// triangles, each (a, b, c) as (c, b, a); a strip's or a fan's triangles with two corners on one
// vertex (where strips are joined) cover nothing and are left out. Returns the faces added.
// Throws GltfError, before it adds anything, when a placed position is not a finite float.
uint32_t AddPrimitive(Mesh& mesh, const PlannedPrimitive& p) {
  std::vector<Vec3> vertices(p.positions.count);
  const bool identity = *p.toFile == kGltfIdentity;
  const size_t size = ComponentSize(p.positionType);
  // Floats, by far the most common, are read here rather than through the rule for every type.
  const bool floats = p.positionType == TINYGLTF_COMPONENT_TYPE_FLOAT;
  auto component = [&](const uint8_t* bytes) -> double {
    return floats ? LeFloat(bytes) : ComponentValue(bytes, p.positionType, p.normalized);
  };
  for (size_t i = 0; i < vertices.size(); ++i) {
    const uint8_t* bytes = p.positions.At(i);
    const Vec3 v = Place(*p.toFile, identity, component(bytes), component(bytes + size),
                         component(bytes + 2 * size));
    if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z))
      throw GltfError{"a position is not a finite float once placed by its node"};
    vertices[i] = {v.x, v.y, -v.z};  // the file's y-up right-handed z is the scene's -z
  }
  const size_t count = TriangleCount(p.mode, p.indices.count);
  auto corner = [&](size_t i) {
    return p.indexSize == 0 ? static_cast<uint32_t>(i) : IndexValue(p.indices.At(i), p.indexSize);
  };
  std::vector<FaceIndices> triangles;
  if (p.mode == TINYGLTF_MODE_TRIANGLES) {
    triangles.resize(count);
    for (size_t t = 0; t < count; ++t)
      triangles[t] = {corner(3 * t + 2), corner(3 * t + 1), corner(3 * t)};
  } else {
    triangles.reserve(count);
  }
  for (size_t t = 0; p.mode != TINYGLTF_MODE_TRIANGLES && t < count; ++t) {
    const std::array<size_t, 3> c = TriangleCorners(p.mode, t);
    const FaceIndices f = {corner(c[2]), corner(c[1]), corner(c[0])};
    if (f[0] != f[1] && f[1] != f[2] && f[2] != f[0]) triangles.push_back(f);
  }
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

// What the model holds that draws nothing, or that it holds nothing that draws.
std::string Warning(const Plan& plan) {
  if (plan.linesOrPoints)
    return plan.triangles == 0 ? "only lines and points" : "its lines and points draw nothing";
  return plan.triangles == 0 ? "holds no triangles" : "";
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
  uint64_t budget = 0;  // what the mesh may take
  const std::string loadError = LoadGltfModel(file, binary, baseDir, model, budget);
  if (!loadError.empty()) return Failure(loadError, 0, fb);
  const std::string unread = UnreadRequiredExtension(model);
  if (!unread.empty()) return Failure(unread, 0, fb);
  const SceneMeshes meshes = FindSceneMeshes(model);
  if (!meshes.error.empty()) return Failure(meshes.error, 0, fb);
  uint32_t faces = 0;
  std::string warning;
  try {
    Planner planner(model, budget);
    const Plan plan = planner.Run(meshes.instances);
    AddPlan(*scene.ModelMesh, plan, fb, faces);
    warning = Warning(plan);
  } catch (const GltfError& e) {
    AbortRequested = 0;
    return Failure(e.why, faces, fb);
  }
  AbortRequested = 0;
  FinishImport(scene, faces, fb);
  return {true, faces, {}, warning};
}

}  // namespace quarvel
