#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "fixtures.h"
#include "scene/model_formats.h"

namespace quarvel {
namespace {

using test::StatusLog;

constexpr int kUnsignedByte = 5121;
constexpr int kByte = 5120;
constexpr int kShort = 5122;
constexpr int kUnsignedShort = 5123;
constexpr int kUnsignedInt = 5125;
constexpr int kFloat = 5126;

void PutU32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

std::vector<uint8_t> Floats(const std::vector<float>& values) {
  std::vector<uint8_t> b(values.size() * 4);
  std::memcpy(b.data(), values.data(), b.size());
  return b;
}

// Unsigned integers of `size` bytes each, little-endian.
std::vector<uint8_t> Uints(const std::vector<uint32_t>& values, size_t size) {
  std::vector<uint8_t> b;
  for (const uint32_t v : values)
    for (size_t i = 0; i < size; ++i)
      b.push_back(static_cast<uint8_t>(v >> (8 * i)));
  return b;
}

std::string Base64(const std::vector<uint8_t>& bytes) {
  static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string s;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const uint32_t n = uint32_t(bytes[i]) << 16 |
                       (i + 1 < bytes.size() ? uint32_t(bytes[i + 1]) << 8 : 0) |
                       (i + 2 < bytes.size() ? bytes[i + 2] : 0);
    for (size_t k = 0; k < 4; ++k)
      s += k <= bytes.size() - i ? digits[(n >> (18 - 6 * k)) & 63] : '=';
  }
  return s;
}

// A .glb: the header, the JSON chunk padded with blanks and the BIN chunk (when `bin` is not
// empty) padded with zeros.
std::vector<uint8_t> Glb(std::string json, std::vector<uint8_t> bin) {
  json.append((4 - json.size() % 4) % 4, ' ');
  bin.resize((bin.size() + 3) / 4 * 4);
  std::vector<uint8_t> b = {'g', 'l', 'T', 'F'};
  PutU32(b, 2);
  PutU32(b, uint32_t(12 + 8 + json.size() + (bin.empty() ? 0 : 8 + bin.size())));
  PutU32(b, uint32_t(json.size()));
  PutU32(b, 0x4E4F534A);
  b.insert(b.end(), json.begin(), json.end());
  if (!bin.empty()) {
    PutU32(b, uint32_t(bin.size()));
    PutU32(b, 0x004E4942);
    b.insert(b.end(), bin.begin(), bin.end());
  }
  return b;
}

// A glTF model written in code: one buffer, a buffer view and an accessor for each block of data
// added to it, and the rest of the JSON (meshes, nodes, scenes) as given.
struct GltfModel {
  std::vector<uint8_t> buffer;
  std::vector<std::string> views, accessors;
  std::string rest;

  // Appends `bytes` (from a 4-byte boundary) with a view over them, and an accessor of `count`
  // elements; `view` and `accessor` add members to the two. Returns the accessor's index.
  int Add(const std::vector<uint8_t>& bytes, int componentType, const std::string& type,
          size_t count, const std::string& accessor = "", const std::string& view = "") {
    buffer.resize((buffer.size() + 3) / 4 * 4);
    views.push_back(R"({"buffer":0,"byteOffset":)" + std::to_string(buffer.size()) +
                    R"(,"byteLength":)" + std::to_string(bytes.size()) + view + "}");
    buffer.insert(buffer.end(), bytes.begin(), bytes.end());
    accessors.push_back(R"({"bufferView":)" + std::to_string(views.size() - 1) +
                        R"(,"componentType":)" + std::to_string(componentType) + R"(,"count":)" +
                        std::to_string(count) + R"(,"type":")" + type + "\"" + accessor + "}");
    return int(accessors.size() - 1);
  }

  // The JSON with the buffer at `uri`, or with no uri (a .glb's BIN chunk).
  std::string Json(const std::string& uri) const {
    auto list = [](const std::vector<std::string>& items) {
      std::string s;
      for (const std::string& item : items)
        s += (s.empty() ? "" : ",") + item;
      return "[" + s + "]";
    };
    return R"({"asset":{"version":"2.0"},"buffers":[{"byteLength":)" +
           std::to_string(buffer.size()) + (uri.empty() ? "" : R"(,"uri":")" + uri + "\"") +
           R"(}],"bufferViews":)" + list(views) + R"(,"accessors":)" + list(accessors) +
           (rest.empty() ? "" : "," + rest) + "}";
  }
  std::vector<uint8_t> Text() const {
    const std::string json = Json("data:application/octet-stream;base64," + Base64(buffer));
    return {json.begin(), json.end()};
  }
  std::vector<uint8_t> Binary() const { return Glb(Json(""), buffer); }
};

// One mesh of one primitive (positions `position`, indices `indices` or none, and the members
// `primitive`) on one node with the transform members `node`, the scene's only node.
std::string OneNode(int position, int indices, const std::string& node = "",
                    const std::string& primitive = "") {
  return R"("meshes":[{"primitives":[{"attributes":{"POSITION":)" + std::to_string(position) + "}" +
         (indices >= 0 ? R"(,"indices":)" + std::to_string(indices) : "") +
         (primitive.empty() ? "" : "," + primitive) + R"(}]}],"nodes":[{"mesh":0)" + node +
         R"(}],"scenes":[{"nodes":[0]}],"scene":0)";
}

// The triangle (0, 0, 0), (1, 0, 0), (0, 1, 0), without indices, on one node with `node`'s
// transform members.
GltfModel Triangle(const std::string& node = "") {
  GltfModel m;
  m.Add(Floats({0, 0, 0, 1, 0, 0, 0, 1, 0}), kFloat, "VEC3", 3);
  m.rest = OneNode(0, -1, node);
  return m;
}

ImportResult Import(Scene& scene, const std::vector<uint8_t>& bytes, bool binary,
                    const std::string& baseDir = "", const Feedback& fb = {}) {
  return ImportGLTFFromMemory(scene, bytes, binary, baseDir, fb);
}

// What an import reported: its error text and reason, and the faces it added.
std::string Outcome(const ImportResult& r) {
  return (r.ok ? "ok" : r.error.text + "|" + r.error.reason) + " faces " + std::to_string(r.faces);
}

std::string Refusal(const std::string& reason) {
  return "Error parsing glTF file|" + reason + " faces 0";
}

std::string TextOutcome(const std::string& json, const std::string& baseDir = "") {
  Scene scene;
  return Outcome(Import(scene, {json.begin(), json.end()}, false, baseDir));
}

std::vector<Vec3> Pool(const Scene& scene) {
  const auto v = scene.ModelMesh->vertices();
  return {v.begin(), v.end()};
}

std::vector<FaceIndices> Faces(const Scene& scene) {
  const auto f = scene.ModelMesh->faces();
  return {f.begin(), f.end()};
}

bool SameBits(float a, float b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// --- Meshes --------------------------------------------------------------------------------

TEST(ImportGLTF, TextWithADataUriAndGlbGiveTheSameMeshWithTheFilesFloats) {
  // The fourth vertex is used by no triangle; the floats include the smallest and largest ones.
  const std::vector<float> positions = {
      1, 2, 3, 4, 5, 6, 7, 8, -10, 0.1f, 1e-45f, -0.0f, 3.40282347e38f, 1.17549435e-38f, -1.0f / 3};
  GltfModel m;
  const int p = m.Add(Floats(positions), kFloat, "VEC3", 5);
  const int i = m.Add(Uints({0, 1, 2}, 2), kUnsignedShort, "SCALAR", 3);
  m.rest = OneNode(p, i);
  for (const bool binary : {false, true}) {
    Scene scene;
    StatusLog log;
    const auto result = Import(scene, binary ? m.Binary() : m.Text(), binary, "", log.feedback());
    ASSERT_TRUE(result.ok) << Outcome(result);
    EXPECT_EQ(result.faces, 1u);
    const std::vector<Vec3> pool = Pool(scene);
    ASSERT_EQ(pool.size(), 5u);
    for (size_t k = 0; k < 5; ++k) {
      EXPECT_TRUE(SameBits(pool[k].x, positions[3 * k])) << k;
      EXPECT_TRUE(SameBits(pool[k].y, positions[3 * k + 1])) << k;
      EXPECT_TRUE(SameBits(pool[k].z, -positions[3 * k + 2])) << k;
    }
    EXPECT_EQ(Faces(scene), (std::vector<FaceIndices>{{2, 1, 0}}));
    EXPECT_TRUE(log.Showed(0, "1 faces imported"));
    EXPECT_EQ(scene.ModelMesh->color(), ColorToRgb(kDefaultObjColor));
  }
}

TEST(ImportGLTF, IndicesOfOneTwoAndFourBytes) {
  for (const auto& [type, size] :
       {std::pair{kUnsignedByte, 1}, std::pair{kUnsignedShort, 2}, std::pair{kUnsignedInt, 4}}) {
    GltfModel m;
    m.Add(Floats({0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0}), kFloat, "VEC3", 4);
    // The second triangle names a vertex that does not exist; the seventh index is left over.
    m.Add(Uints({0, 1, 2, 2, 1, 200, 2, 1, 3, 0}, size_t(size)), type, "SCALAR", 10);
    m.rest = OneNode(0, 1);
    Scene scene;
    const auto result = Import(scene, m.Text(), false);
    EXPECT_EQ(Outcome(result), "ok faces 2") << size;
    EXPECT_EQ(Faces(scene), (std::vector<FaceIndices>{{2, 1, 0}, {3, 1, 2}})) << size;
  }
  GltfModel m;
  m.Add(Floats({0, 0, 0, 1, 0, 0, 0, 1, 0}), kFloat, "VEC3", 3);
  m.Add(Uints({0, 1, 2}, 2), kShort, "SCALAR", 3);
  m.rest = OneNode(0, 1);
  Scene scene;
  EXPECT_EQ(Outcome(Import(scene, m.Text(), false)),
            Refusal("accessor 1: indices are not unsigned integers"));
}

TEST(ImportGLTF, OnlyTrianglePrimitivesAreAddedAndWhatDrawsNothingIsSaidOnce) {
  GltfModel m;
  m.Add(Floats({0, 0, 0, 1, 0, 0, 0, 1, 0}), kFloat, "VEC3", 3);
  // Lines, points, a strip, explicit triangles, triangles by default, no positions.
  m.rest = R"("meshes":[{"primitives":[{"attributes":{"POSITION":0},"mode":1},)"
           R"({"attributes":{"POSITION":0},"mode":0},{"attributes":{"POSITION":0},"mode":5},)"
           R"({"attributes":{"POSITION":0},"mode":4},{"attributes":{"POSITION":0}},)"
           R"({"attributes":{}}]}],"nodes":[{"mesh":0}],"scenes":[{"nodes":[0]}])";
  Scene scene;
  StatusLog log;
  const auto result = Import(scene, m.Text(), false, "", log.feedback());
  EXPECT_EQ(Outcome(result), "ok faces 3");
  EXPECT_EQ(result.warning, "its lines and points draw nothing");
  EXPECT_EQ(Pool(scene).size(), 9u);
  EXPECT_TRUE(log.Showed(2, " Press ESC to skip"));
  EXPECT_TRUE(log.Showed(2, ""));
  for (const auto& [modes, warning] : std::initializer_list<std::pair<std::string, std::string>>{
           {R"("mode":1},{"attributes":{"POSITION":0},"mode":3)", "only lines and points"},
           {R"("mode":7)", "holds no triangles"}}) {
    m.rest = OneNode(0, -1, "", modes);
    Scene lines;
    EXPECT_EQ(Import(lines, m.Text(), false).warning, warning) << modes;
  }

  GltfModel ints;
  ints.Add(Uints({0, 0, 0, 1, 0, 0, 0, 1, 0}, 4), kUnsignedInt, "VEC3", 3);
  ints.rest = OneNode(0, -1);
  Scene q;
  EXPECT_EQ(Outcome(Import(q, ints.Text(), false)),
            Refusal("accessor 0: positions are not floats, bytes or shorts"));
}

// --- Nodes and scenes ----------------------------------------------------------------------

std::vector<Vec3> Placed(const std::string& rest) {
  GltfModel m = Triangle();
  m.rest = rest;
  Scene scene;
  const auto result = Import(scene, m.Text(), false);
  EXPECT_TRUE(result.ok) << Outcome(result);
  return Pool(scene);
}

std::string Nodes(const std::string& nodes, const std::string& scenes = R"([{"nodes":[0]}])") {
  return R"("meshes":[{"primitives":[{"attributes":{"POSITION":0}}]}],"nodes":)" + nodes +
         R"(,"scenes":)" + scenes;
}

TEST(ImportGLTF, NodeTransformsPlaceTheirMeshes) {
  // Scene points are the file's with z mirrored.
  EXPECT_EQ(Placed(Nodes(R"([{"mesh":0,"translation":[1,2,3]}])")),
            (std::vector<Vec3>{{1, 2, -3}, {2, 2, -3}, {1, 3, -3}}));
  EXPECT_EQ(Placed(Nodes(R"([{"mesh":0,"scale":[2,3,4]}])")),
            (std::vector<Vec3>{{0, 0, 0}, {2, 0, 0}, {0, 3, 0}}));
  // Half a turn about z.
  EXPECT_EQ(Placed(Nodes(R"([{"mesh":0,"rotation":[0,0,1,0]}])")),
            (std::vector<Vec3>{{0, 0, 0}, {-1, 0, 0}, {0, -1, 0}}));
  // Column after column: scale by 2, then move by (5, 6, 7).
  EXPECT_EQ(Placed(Nodes(R"([{"mesh":0,"matrix":[2,0,0,0,0,2,0,0,0,0,2,0,5,6,7,1]}])")),
            (std::vector<Vec3>{{5, 6, -7}, {7, 6, -7}, {5, 8, -7}}));
  // Translation, rotation and scale in one node: T * R * S.
  EXPECT_EQ(Placed(Nodes(R"([{"mesh":0,"translation":[1,0,0],"rotation":[0,0,1,0],)"
                         R"("scale":[3,3,3]}])")),
            (std::vector<Vec3>{{1, 0, 0}, {-2, 0, 0}, {1, -3, 0}}));
  // A chain: a parent's move, its child's scale, the grandchild's turn.
  EXPECT_EQ(Placed(Nodes(R"([{"translation":[10,0,0],"children":[1]},)"
                         R"({"scale":[2,2,2],"children":[2]},)"
                         R"({"mesh":0,"rotation":[0,0,1,0]}])")),
            (std::vector<Vec3>{{10, 0, 0}, {8, 0, 0}, {10, -2, 0}}));
}

TEST(ImportGLTF, TheSceneShownIsTheFilesSceneOrTheFirstOrEveryRoot) {
  const std::string nodes =
      R"([{"mesh":0,"translation":[10,0,0],"children":[1]},)"
      R"({"mesh":0,"translation":[20,0,0]},{"mesh":0,"translation":[30,0,0]}])";
  const std::string scenes = R"([{"nodes":[0]},{"nodes":[2]}])";
  auto firstXs = [](const std::vector<Vec3>& pool) {
    std::vector<float> xs;
    for (size_t i = 0; i < pool.size(); i += 3)
      xs.push_back(pool[i].x);
    return xs;
  };
  EXPECT_EQ(firstXs(Placed(Nodes(nodes, scenes) + R"(,"scene":1)")), (std::vector<float>{30}));
  EXPECT_EQ(firstXs(Placed(Nodes(nodes, scenes))), (std::vector<float>{10, 30}));
  EXPECT_EQ(firstXs(Placed(R"("meshes":[{"primitives":[{"attributes":{"POSITION":0}}]}],)"
                           R"("nodes":)" +
                           nodes)),
            (std::vector<float>{10, 30, 30}))
      << "without scenes, every root and its children";

  GltfModel m = Triangle();
  m.rest = Nodes(nodes, scenes) + R"(,"scene":2)";
  Scene scene;
  EXPECT_EQ(Outcome(Import(scene, m.Text(), false)), Refusal("its scene 2 does not exist"));
}

TEST(ImportGLTF, NodesMustFormTrees) {
  struct Case {
    std::string nodes, scenes, reason;
  };
  const std::string twice = " is met twice: the nodes have a cycle or a node with two parents";
  const std::vector<Case> broken = {
      {R"([{"children":[1]},{"mesh":0,"children":[0]}])", "[0]", "node 0" + twice},
      {R"([{"mesh":0,"children":[0]}])", "[0]", "node 0" + twice},
      {R"([{"children":[2]},{"children":[2]},{"mesh":0}])", "[0,1]", "node 2" + twice},
      {R"([{"mesh":0}])", "[0,0]", "node 0" + twice},
      {R"([{"mesh":0}])", "[1]", "the scene's node 1 does not exist"},
      {R"([{"mesh":0,"children":[7]}])", "[0]", "node 0: its child 7 does not exist"},
      {R"([{"mesh":3}])", "[0]", "node 0: its mesh 3 does not exist"},
      {R"([{"mesh":0,"scale":[1,2]}])", "[0]", "node 0: its scale is not 3 numbers"},
      {R"([{"mesh":0,"matrix":[1,0,0,0]}])", "[0]", "node 0: its matrix is not 16 numbers"}};
  for (const Case& c : broken) {
    GltfModel m = Triangle();
    m.rest = Nodes(c.nodes, R"([{"nodes":)" + c.scenes + "}]");
    Scene scene;
    EXPECT_EQ(Outcome(Import(scene, m.Text(), false)), Refusal(c.reason)) << c.nodes;
    EXPECT_EQ(scene.ModelMesh->vertices().size(), 0u) << c.nodes;
  }
}

TEST(ImportGLTF, PositionsMustStayFiniteOncePlaced) {
  for (const std::string nodes :
       {R"([{"mesh":0,"scale":[1e39,1,1]}])", R"([{"scale":[1e300,1,1],"children":[1]},)"
                                              R"({"mesh":0,"scale":[1e300,1,1]}])"}) {
    GltfModel m = Triangle();
    m.rest = Nodes(nodes);
    Scene scene;
    EXPECT_EQ(Outcome(Import(scene, m.Text(), false)),
              Refusal("a position is not a finite float once placed by its node"))
        << nodes;
  }
}

TEST(ImportGLTF, ALongChainOfNodesIsWalkedWithoutRecursion) {
  std::string nodes = "[";
  const int length = 20000;
  for (int i = 0; i + 1 < length; ++i)
    nodes += R"({"translation":[1,0,0],"children":[)" + std::to_string(i + 1) + "]},";
  nodes += R"({"mesh":0}])";
  const std::vector<Vec3> pool = Placed(Nodes(nodes));
  ASSERT_EQ(pool.size(), 3u);
  EXPECT_EQ(pool[0], (Vec3{length - 1, 0, 0}));
}

// Appends an accessor of `head`'s members whose elements at `at` are replaced by `values`, and
// returns its index.
int AddSparse(GltfModel& m, const std::string& head, const std::vector<uint32_t>& at,
              const std::vector<uint8_t>& values, size_t count) {
  m.Add(Uints(at, 2), kUnsignedShort, "SCALAR", at.size());
  const std::string indices = std::to_string(m.views.size() - 1);
  m.Add(values, kUnsignedByte, "SCALAR", 1);
  m.accessors.push_back("{" + head + R"(,"sparse":{"count":)" + std::to_string(count) +
                        R"(,"indices":{"bufferView":)" + indices +
                        R"(,"componentType":5123},"values":{"bufferView":)" +
                        std::to_string(m.views.size() - 1) + "}}}");
  return int(m.accessors.size() - 1);
}

std::string Vec3s(size_t count) {
  return R"("componentType":5126,"count":)" + std::to_string(count) + R"(,"type":"VEC3")";
}

// A mesh of `count` positions (floats unless `type`) on one node, as the positions' file builds
// them and with the node and primitive members given.
GltfModel Positions(const std::vector<uint8_t>& bytes, int type, const std::string& members,
                    const std::string& node = "", const std::string& primitive = "",
                    const std::vector<uint32_t>& indices = {}) {
  GltfModel m;
  const size_t size = type == kFloat ? 4 : type == kByte ? 1 : 2;
  m.Add(bytes, type, "VEC3", bytes.size() / (3 * size), members);
  const int i =
      indices.empty() ? -1 : m.Add(Uints(indices, 1), kUnsignedByte, "SCALAR", indices.size());
  m.rest = OneNode(0, i, node, primitive);
  return m;
}

TEST(ImportGLTF, EveryFormOfAMeshGivesTheMeshOfItsPlainTwin) {
  struct Case {
    std::string what;
    GltfModel form, plain;
  };
  const std::vector<float> square = {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0, 2, 1, 0};
  GltfModel sparse = Triangle(), zeros = Triangle(),
            sparseIndices = Positions(Floats(square), kFloat, "");
  sparse.Add(Floats({0, 0, 0, 9, 9, 9, 9, 9, 9}), kFloat, "VEC3", 3);
  sparse.rest = OneNode(
      AddSparse(sparse, R"("bufferView":1,)" + Vec3s(3), {1, 2}, Floats({1, 0, 0, 0, 1, 0}), 2),
      -1);
  zeros.rest = OneNode(AddSparse(zeros, Vec3s(3), {1, 2}, Floats({1, 0, 0, 0, 1, 0}), 2), -1);
  sparseIndices.Add(Uints({0, 1, 2, 0, 0, 0}, 2), kUnsignedShort, "SCALAR", 6);
  sparseIndices.rest =
      OneNode(0, AddSparse(sparseIndices,
                           R"("bufferView":1,"componentType":5123,"count":6,"type":"SCALAR")",
                           {3, 4, 5}, Uints({2, 1, 3}, 2), 3));
  // Two instances below a parent, each T * R * S after the parent's move; the second rotation is
  // a normalized short quaternion.
  GltfModel instanced = Triangle();
  const int t = instanced.Add(Floats({1, 0, 0, 5, 0, 0}), kFloat, "VEC3", 2);
  const int r = instanced.Add(Uints({0, 0, 32767, 0, 0, 0, 0, 32767}, 2), kShort, "VEC4", 2,
                              R"(,"normalized":true)");
  const int s = instanced.Add(Floats({2, 2, 2, 1, 1, 1}), kFloat, "VEC3", 2);
  instanced.rest = Nodes(
      R"([{"translation":[0,0,10],"children":[1]},{"mesh":0,"extensions":{"EXT_mesh_gpu_instancing":)"
      R"({"attributes":{"TRANSLATION":)" +
      std::to_string(t) + R"(,"ROTATION":)" + std::to_string(r) + R"(,"SCALE":)" +
      std::to_string(s) + "}}}}]");
  GltfModel twoNodes = Triangle();
  twoNodes.rest = Nodes(R"([{"translation":[0,0,10],"children":[1,2]},)"
                        R"({"mesh":0,"translation":[1,0,0],"rotation":[0,0,1,0],"scale":[2,2,2]},)"
                        R"({"mesh":0,"translation":[5,0,0]}])");
  const std::vector<Case> cases = {
      {"normalized unsigned shorts scaled back by their node",
       Positions(Uints({0, 0, 0, 65535, 0, 0, 0, 65535, 0}, 2), kUnsignedShort,
                 R"(,"normalized":true)", R"(,"scale":[2,2,2])"),
       Positions(Floats({0, 0, 0, 2, 0, 0, 0, 2, 0}), kFloat, "")},
      {"normalized bytes, the most negative clamped to -1",
       Positions(Uints({0, 0, 0, 127, 0, 0, 128, 127, 0}, 1), kByte, R"(,"normalized":true)",
                 R"(,"translation":[1,0,0])"),
       Positions(Floats({1, 0, 0, 2, 0, 0, 0, 1, 0}), kFloat, "")},
      {"shorts",
       Positions(Uints({0, 0, 0, 3, 0, 0, 0, 65533, 0}, 2), kShort, "",
                 R"(,"scale":[0.5,0.5,0.5])"),
       Positions(Floats({0, 0, 0, 1.5f, 0, 0, 0, -1.5f, 0}), kFloat, "")},
      {"sparse positions over a view", sparse, Triangle()},
      {"sparse positions over zeros", zeros, Triangle()},
      {"sparse indices", sparseIndices,
       Positions(Floats(square), kFloat, "", "", "", {0, 1, 2, 2, 1, 3})},
      {"a strip", Positions(Floats(square), kFloat, "", "", R"("mode":5)"),
       Positions(Floats(square), kFloat, "", "", "", {0, 1, 2, 1, 3, 2, 2, 3, 4})},
      {"two strips joined by triangles that cover nothing",
       Positions(Floats(square), kFloat, "", "", R"("mode":5)", {0, 1, 2, 2, 1, 1, 3, 4}),
       Positions(Floats(square), kFloat, "", "", "", {0, 1, 2, 1, 4, 3})},
      {"a fan", Positions(Floats(square), kFloat, "", "", R"("mode":6)", {0, 1, 2, 3}),
       Positions(Floats(square), kFloat, "", "", "", {1, 2, 0, 2, 3, 0})},
      {"instances", instanced, twoNodes}};
  for (const Case& c : cases) {
    Scene form, plain;
    const auto result = Import(form, c.form.Binary(), true);
    EXPECT_EQ(Outcome(result), Outcome(Import(plain, c.plain.Text(), false))) << c.what;
    EXPECT_EQ(Pool(form), Pool(plain)) << c.what;
    EXPECT_EQ(Faces(form), Faces(plain)) << c.what;
  }
}

TEST(ImportGLTF, RequiredExtensionsMustBeOnesTheReaderReadsOrThatOnlyChangeTheLooks) {
  for (const auto& [required, outcome] : std::initializer_list<std::pair<std::string, std::string>>{
           {R"("KHR_mesh_quantization","KHR_materials_unlit","KHR_texture_transform")",
            "ok faces 1"},
           {R"("KHR_materials_unlit","EXT_foo_bar")",
            Refusal("it requires the glTF extension 'EXT_foo_bar', which Quarvel does not read")},
           {R"("KHR_\u001b[2J")",
            Refusal("it requires the glTF extension 'KHR_?[2J', which Quarvel does not read")},
           {"1,2", Refusal("its extensionsRequired is not a list of extension names")}}) {
    GltfModel m = Triangle();
    m.rest += R"(,"extensionsRequired":[)" + required + "]";
    Scene scene;
    EXPECT_EQ(Outcome(Import(scene, m.Text(), false)), outcome) << required;
  }
}

// --- Hostile files --------------------------------------------------------------------------

TEST(ImportGLTFHostile, AccessorsOutsideTheirBuffersAreRefusedBeforeAnythingIsRead) {
  const std::map<std::string, std::pair<std::string, std::string>> broken = {
      {"a trillion elements", {R"(,"count":1000000000000)", ""}},
      {"offset past the view", {R"(,"byteOffset":40)", ""}},
      {"last element past the view", {R"(,"byteOffset":4)", ""}},
      {"view past the buffer", {"", R"(,"byteOffset":0,"byteLength":4000)"}},
      {"stride too small", {"", R"(,"byteStride":8)"}},
      {"stride too large", {"", R"(,"byteStride":256)"}},
      {"largest stride", {"", R"(,"byteStride":252)"}},
      {"stride of no whole words", {"", R"(,"byteStride":14)"}}};
  const std::map<std::string, std::string> reasons = {
      {"a trillion elements",
       "accessor 0: its 1000000000000 elements run past the end of its buffer view"},
      {"offset past the view", "accessor 0: its 3 elements run past the end of its buffer view"},
      {"last element past the view",
       "accessor 0: its 3 elements run past the end of its buffer view"},
      {"view past the buffer", "accessor 0: its buffer view runs past the end of its buffer"},
      {"stride too small",
       "accessor 0: its stride of 8 bytes is smaller than its elements of 12 bytes"},
      {"stride too large", "byteStride 256 of bufferView 0 is not a multiple of 4 from 4 to 252"},
      {"largest stride", "accessor 0: its 3 elements run past the end of its buffer view"},
      {"stride of no whole words",
       "byteStride 14 of bufferView 0 is not a multiple of 4 from 4 to 252"}};
  for (const auto& [what, members] : broken) {
    GltfModel m;
    m.Add(Floats({0, 0, 0, 1, 0, 0, 0, 1, 0}), kFloat, "VEC3", 3);
    // The later member of the same name is the one the JSON reader keeps.
    m.accessors[0].insert(m.accessors[0].size() - 1, members.first);
    m.views[0].insert(m.views[0].size() - 1, members.second);
    m.rest = OneNode(0, -1);
    // In a child that may map only 64 MiB more: a reader that allocated for the count fails.
    const std::string outcome = test::InChild(
        [&] {
          Scene scene;
          return Outcome(Import(scene, m.Binary(), true)) + " pool " +
                 std::to_string(scene.ModelMesh->vertices().size());
        },
        uint64_t(64) << 20);
    EXPECT_EQ(outcome, Refusal(reasons.at(what)) + " pool 0") << what;
  }

  // Elements spaced by a stride larger than themselves.
  GltfModel spaced;
  spaced.Add(Floats({0, 0, 0, 9, 1, 0, 0, 9, 0, 1, 0, 9}), kFloat, "VEC3", 3, "",
             R"(,"byteStride":16)");
  spaced.rest = OneNode(0, -1);
  Scene scene;
  ASSERT_TRUE(Import(scene, spaced.Text(), false).ok);
  EXPECT_EQ(Pool(scene), (std::vector<Vec3>{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}));
}

TEST(ImportGLTFHostile, GlbChunksMustLieInsideTheFile) {
  const std::vector<uint8_t> good = Triangle().Binary();
  ASSERT_EQ(good.size() % 4, 0u);
  auto patched = [&](size_t at, uint32_t value) {
    std::vector<uint8_t> b = good;
    for (size_t i = 0; i < 4; ++i)
      b[at + i] = static_cast<uint8_t>(value >> (8 * i));
    return b;
  };
  const uint32_t jsonLength = good[12] | good[13] << 8;
  const size_t binHeader = 20 + jsonLength;
  const uint32_t binLength = good[binHeader] | good[binHeader + 1] << 8;
  const std::map<std::string, std::pair<std::vector<uint8_t>, std::string>> broken = {
      {"short",
       {std::vector<uint8_t>(good.begin(), good.begin() + 19),
        "the file is shorter than a binary glTF header"}},
      {"magic", {patched(0, 0x46546C66), "the file does not begin with a binary glTF header"}},
      {"version", {patched(4, 1), "binary glTF version 1 is not version 2"}},
      {"length",
       {patched(8, uint32_t(good.size() + 4)),
        "the header's length or the JSON chunk runs past the end of the file"}},
      {"json",
       {patched(12, uint32_t(good.size())),
        "the header's length or the JSON chunk runs past the end of the file"}},
      {"type", {patched(16, 0x004E4942), "the first chunk is not JSON"}},
      // The BIN chunk claims 8 bytes more than it has: its data would end where its header's 8
      // bytes were not counted.
      {"bin",
       {patched(binHeader, binLength + 8),
        "the chunk after the JSON chunk runs past the end of the file"}}};
  for (const auto& [what, file] : broken) {
    Scene scene;
    EXPECT_EQ(Outcome(Import(scene, file.first, true)), Refusal(file.second)) << what;
  }
  Scene scene;
  EXPECT_EQ(Outcome(Import(scene, good, true)), "ok faces 1");
  // Bytes after the header's length are not read.
  std::vector<uint8_t> longer = good;
  longer.resize(good.size() + 5, 0xEE);
  Scene more;
  EXPECT_EQ(Outcome(Import(more, longer, true)), "ok faces 1");
  // The text reader's bytes as a .glb, and the other way round.
  Scene text;
  EXPECT_FALSE(Import(text, Triangle().Text(), true).ok);
  EXPECT_FALSE(Import(text, good, false).ok);
}

TEST(ImportGLTFHostile, DeeplyNestedJsonIsRefusedBeforeItIsParsed) {
  auto nested = [](size_t depth) {
    GltfModel m = Triangle();
    // The root object is level 1, "asset" level 2, "extras" of the asset level 3.
    m.rest += R"(,"extras":)" + std::string(depth - 1, '[') + std::string(depth - 1, ']');
    return m;
  };
  // 128 levels in all are read; one more is refused.
  Scene scene;
  EXPECT_EQ(Outcome(Import(scene, nested(128).Text(), false)), "ok faces 1");
  EXPECT_EQ(Outcome(Import(scene, nested(129).Binary(), true)),
            Refusal("its JSON nests more than 128 levels deep"));
  // A megabyte of brackets, in a child so that a stack overflow would show as a signal.
  const std::string outcome = test::InChild([&] {
    Scene s;
    return Outcome(Import(s, nested(500000).Text(), false));
  });
  EXPECT_EQ(outcome, Refusal("its JSON nests more than 128 levels deep"));
  // Brackets inside strings do not nest.
  GltfModel named = Triangle();
  named.rest += R"(,"extras":{"text":")" + std::string(1000, '[') + R"(\"\\{"})";
  EXPECT_EQ(Outcome(Import(scene, named.Text(), false)), "ok faces 1");
}

// Empty objects and numbers cost the parser far more than the bytes they take: texts whose parse
// would cost more than a small multiple of their size are refused before they are parsed, in a
// child with 256 MiB more address space than it has.
TEST(ImportGLTFHostile, JsonThatWouldCostFarMoreThanItsSizeIsRefusedBeforeItIsParsed) {
  auto padded = [](const std::string& member, const std::string& item, size_t count) {
    GltfModel m = Triangle();
    std::string list;
    list.reserve(count * (item.size() + 1));
    for (size_t i = 0; i < count; ++i)
      list += (i ? "," : "") + item;
    m.rest += ",\"" + member + "\":[" + list + "]";
    return m.Text();
  };
  const std::string refused = "Error parsing glTF file|its JSON holds more objects and values than";
  for (const auto& [member, item] : std::initializer_list<std::pair<std::string, std::string>>{
           {"materials", "{}"}, {"extras", "{}"}, {"extras", "1"}, {"extras", "[]"}}) {
    const std::vector<uint8_t> file = padded(member, item, 2'000'000);
    const std::string outcome = test::InChild(
        [&] {
          Scene scene;
          return Outcome(Import(scene, file, false));
        },
        uint64_t(256) << 20);
    EXPECT_EQ(outcome.substr(0, refused.size()), refused) << member << " of " << item;
  }
  // An ordinary number of materials and extras is read.
  Scene scene;
  EXPECT_EQ(Outcome(Import(scene, padded("materials", "{}", 1000), false)), "ok faces 1");
}

TEST(ImportGLTFHostile, RepeatedMeshesAreBoundedByTheFilesSize) {
  // A mesh of 1000 vertices shown by `nodes` nodes.
  auto instanced = [](int nodes) {
    GltfModel m;
    std::vector<float> grid;
    for (int i = 0; i < 1000; ++i)
      grid.insert(grid.end(), {float(i), float(i % 7), 0});
    m.Add(Floats(grid), kFloat, "VEC3", 1000);
    std::string list = "[", roots = "[";
    for (int i = 0; i < nodes; ++i) {
      list += i ? R"(,{"mesh":0})" : R"({"mesh":0})";
      if (i) roots += ',';
      roots += std::to_string(i);
    }
    m.rest = Nodes(list + "]", R"([{"nodes":)" + roots + "]}]");
    return m;
  };
  Scene few;
  EXPECT_EQ(Outcome(Import(few, instanced(20).Binary(), true)), "ok faces 6660");
  Scene many;
  EXPECT_EQ(Outcome(Import(many, instanced(3000).Binary(), true)),
            Refusal("its nodes repeat more geometry than a file of its size may make"));
}

TEST(ImportGLTFHostile, SparseAndInstanceAccessorsAreCheckedAndBoundedByTheFilesSize) {
  // A mesh of 1000 vertices on one node, with a sparse accessor of `values` zeros at `at` as its
  // positions or as its instances' translations (with the other attributes `more`).
  auto build = [](const std::string& head, const std::vector<uint32_t>& at, size_t values,
                  size_t count, bool instanced, const std::string& more = "") {
    GltfModel m;
    std::vector<float> grid;
    for (int i = 0; i < 1000; ++i)
      grid.insert(grid.end(), {float(i), float(i % 7), 0});
    m.Add(Floats(grid), kFloat, "VEC3", 1000);
    const int s = AddSparse(m, head, at, Floats(std::vector<float>(3 * values)), count);
    const std::string extension = R"(,"extensions":{"EXT_mesh_gpu_instancing":{"attributes":)"
                                  R"({"TRANSLATION":)" +
                                  std::to_string(s) + more + "}}}";
    m.rest = OneNode(instanced ? 0 : s, -1, instanced ? extension : "");
    return m;
  };
  const std::string tooMany = "its sparse elements make more than a file of its size may";
  const std::string disorder = "its sparse indices are not strictly increasing below 1000";
  struct Case {
    std::string what;
    GltfModel model;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {"a billion positions", build(Vec3s(1000000000), {1}, 1, 1, false), "accessor 3: " + tooMany},
      {"indices out of order", build(Vec3s(1000), {5, 4}, 2, 2, false), "accessor 3: " + disorder},
      {"an index past the count", build(Vec3s(1000), {5, 1000}, 2, 2, false),
       "accessor 3: " + disorder},
      {"more values than elements", build(Vec3s(1), {0, 1}, 2, 2, false),
       "accessor 3: its sparse count of 2 is not between 0 and its 1 elements"},
      {"values past their view", build(Vec3s(1000), {1, 2}, 1, 2, false),
       "accessor 3: its sparse values: its 2 elements run past the end of its buffer view"},
      {"a billion instances", build(Vec3s(1000000000), {1}, 1, 1, true), "accessor 3: " + tooMany},
      {"more instances than the file may make", build(Vec3s(3000), {1}, 1, 1, true),
       "its nodes repeat more geometry than a file of its size may make"},
      {"instance counts that differ", build(Vec3s(2), {1}, 1, 1, true, R"(,"SCALE":0)"),
       "node 0: its instances' SCALE has 1000 elements, not 2"}};
  for (const Case& c : cases) {
    const std::string outcome = test::InChild(
        [&] {
          Scene scene;
          return Outcome(Import(scene, c.model.Binary(), true));
        },
        uint64_t(64) << 20);
    EXPECT_EQ(outcome, Refusal(c.reason)) << c.what;
  }
  Scene few;
  EXPECT_EQ(Outcome(Import(few, build(Vec3s(20), {1}, 1, 1, true).Binary(), true)),
            "ok faces 6660");
}

TEST(ImportGLTFHostile, BuffersAreReadOnlyFromFilesInsideTheModelsFolder) {
  test::ScratchDir dir;
  const GltfModel m = Triangle();
  dir.Write("tri.bin", m.buffer);
  std::filesystem::create_directory(dir.Path("sub"));
  ASSERT_EQ(::mkfifo(dir.Path("pipe.bin").c_str(), 0600), 0);
  const std::string folder = dir.Path("");
  const std::string sub = dir.Path("sub");
  EXPECT_EQ(TextOutcome(m.Json("tri.bin"), folder), "ok faces 1");
  EXPECT_EQ(TextOutcome(m.Json("sub/../sub/../tri.bin"), folder),
            Refusal("File not found : sub/../sub/../tri.bin"));
  EXPECT_EQ(TextOutcome(m.Json("tri.bin"), ""), Refusal("File not found : tri.bin"))
      << "no folder, no files";
  EXPECT_EQ(TextOutcome(m.Json("../tri.bin"), sub), Refusal("File not found : ../tri.bin"));
  EXPECT_EQ(TextOutcome(m.Json("%2E%2E/tri.bin"), sub), Refusal("File not found : ../tri.bin"));
  EXPECT_EQ(TextOutcome(m.Json(dir.Path("tri.bin")), sub),
            Refusal("File not found : " + dir.Path("tri.bin")));
  // A FIFO would block whoever opened it: the hang guard would end the child.
  const std::string fifo = test::InChild([&] { return TextOutcome(m.Json("pipe.bin"), folder); });
  EXPECT_EQ(fifo, Refusal("the buffer file 'pipe.bin' is not a regular file"));
}

// Each case runs in a child that may map only 64 MiB more: a reader that read the 3 GiB file or
// copied the binary chunk for every buffer fails there.
TEST(ImportGLTFHostile, BufferFilesAndChunksAreCheckedBeforeTheyAreRead) {
  test::ScratchDir dir;
  const GltfModel m = Triangle();
  std::filesystem::create_directory(dir.Path("model"));
  dir.Write("outside.bin", m.buffer);
  dir.Write("model/tri.bin", m.buffer);
  dir.Write("model/huge.bin", {});
  std::filesystem::resize_file(dir.Path("model/huge.bin"), uint64_t(3) << 30);
  std::filesystem::create_symlink("tri.bin", dir.Path("model/in.bin"));
  std::filesystem::create_symlink("../outside.bin", dir.Path("model/up.bin"));
  std::filesystem::create_symlink(dir.Path("outside.bin"), dir.Path("model/abs.bin"));
  // The binary chunk of 1 MiB claimed whole by 100 buffers.
  GltfModel chunk = Triangle();
  chunk.buffer.resize(1 << 20);
  std::string claims = chunk.Json("");
  const std::string one = R"({"byteLength":1048576})";
  std::string many = one;
  for (int i = 1; i < 100; ++i)
    many += "," + one;
  claims.replace(claims.find(one), one.size(), many);
  std::string twice = m.Json("tri.bin");
  twice.insert(twice.find("]"), R"(,{"byteLength":36,"uri":"tri.bin"})");
  const std::string image = m.Json("tri.bin").insert(1, R"("images":[{"uri":"huge.bin"}],)");
  const std::string leaves = " is reached through a link that leaves the model's folder";
  struct Case {
    std::string what;
    std::vector<uint8_t> file;
    std::string outcome;
  };
  auto text = [](const std::string& json) {
    return std::vector<uint8_t>(json.begin(), json.end());
  };
  const std::vector<Case> cases = {
      {"link inside", text(m.Json("in.bin")), "ok faces 1"},
      {"relative link out", text(m.Json("up.bin")), Refusal("the buffer file 'up.bin'" + leaves)},
      {"absolute link out", text(m.Json("abs.bin")), Refusal("the buffer file 'abs.bin'" + leaves)},
      {"size", text(m.Json("huge.bin")),
       Refusal("the buffer file 'huge.bin' holds 3221225472 bytes, not the 36 of its buffer's "
               "byteLength")},
      {"two buffers", text(twice),
       Refusal("the buffer file 'tri.bin' is named by more than one "
               "buffer")},
      {"image never read", text(image), "ok faces 1"},
      {"chunk", Glb(claims, chunk.buffer),
       Refusal("its buffers without a uri claim more than the 1048576 bytes of its binary chunk")},
      {"escapes", text(m.Json(R"(\u001b[2J\u001b]0;x\u0007.bin)")),
       Refusal("the buffer file '?[2J?]0;x?.bin' cannot be opened: No such file or directory")},
      {"escapes outside", text(m.Json(R"(../\u001b[2J)")), Refusal("File not found : ../?[2J")}};
  for (const Case& c : cases) {
    const bool binary = c.file[0] == 'g';
    const std::string outcome = test::InChild(
        [&] {
          Scene scene;
          return Outcome(Import(scene, c.file, binary, dir.Path("model")));
        },
        uint64_t(64) << 20);
    EXPECT_EQ(outcome, c.outcome) << c.what;
  }
}

TEST(ImportGLTFHostile, FilesThatAreNotGltf) {
  EXPECT_EQ(TextOutcome(""), Refusal("JSON string too short."));
  EXPECT_EQ(TextOutcome("[1, 2, 3]").substr(0, 24), "Error parsing glTF file|");
  EXPECT_EQ(TextOutcome(R"({"asset":{"version":"2.0"}})"), "ok faces 0");
  EXPECT_EQ(
      TextOutcome(R"({"asset":{"version":"2.0"},"images":[{"uri":"data:image/png;base64,"}]})"),
      Refusal("Failed to decode 'uri' for image[0] name = []"));
  // tinygltf throws std::out_of_range for a .glb buffer of no bytes: a refusal too.
  Scene scene;
  const std::string empty = R"({"asset":{"version":"2.0"},"buffers":[{"byteLength":0}]})";
  EXPECT_EQ(Outcome(Import(scene, Glb(empty, {1, 2, 3, 4}), true)).substr(0, 24),
            "Error parsing glTF file|");
}

TEST(ImportGLTF, ACancelKeepsThePrimitivesAddedBeforeIt) {
  GltfModel m = Triangle();
  m.rest = R"("meshes":[{"primitives":[{"attributes":{"POSITION":0}},)"
           R"({"attributes":{"POSITION":0}},{"attributes":{"POSITION":0}}]}],)"
           R"("nodes":[{"mesh":0}],"scenes":[{"nodes":[0]}])";
  Scene scene;
  Feedback fb;
  int calls = 0;
  fb.processMessages = [&] {
    if (++calls == 2) AbortRequested = -1;
  };
  EXPECT_EQ(Outcome(Import(scene, m.Text(), false, "", fb)), "ok faces 1");
  EXPECT_EQ(scene.ModelMesh->FaceCount(), 1u);
  EXPECT_EQ(AbortRequested.load(), 0);
}

}  // namespace
}  // namespace quarvel
