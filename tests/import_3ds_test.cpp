#include <gtest/gtest.h>

#include <map>

#include "fixtures.h"
#include "scene/import_3ds.h"

namespace quarvel {
namespace {

using test::LoadBytes;
using test::SmallestModel;
using test::Triangles;

std::vector<Vec3> FaceVertices(const Mesh& mesh, size_t i) {
  const Face f = mesh.GetFace(i);
  return {f.GetVertex(0), f.GetVertex(1), f.GetVertex(2)};
}

// Records what the import reports, field by field.
struct StatusLog {
  std::vector<std::pair<int, std::string>> texts;
  std::vector<int> percents;
  Feedback feedback() {
    Feedback fb;
    fb.status = [this](int field, const std::string& t) { texts.emplace_back(field, t); };
    fb.progress = [this](int p) { percents.push_back(p); };
    return fb;
  }
  bool Showed(int field, const std::string& text) const {
    for (const auto& [f, t] : texts)
      if (f == field && t == text) return true;
    return false;
  }
};

TEST(Import3DS, SmallestFileLoadsOneFaceInReversedOrderWithAxesExchanged) {
  const auto bytes = SmallestModel();
  ASSERT_EQ(bytes.size(), 88u);
  Scene scene;
  StatusLog log;
  ASSERT_TRUE(Import3DSFromMemory(scene, bytes, log.feedback()).ok);
  ASSERT_EQ(scene.ModelMesh->FaceCount(), 1u);
  EXPECT_EQ(FaceVertices(*scene.ModelMesh, 0),
            (std::vector<Vec3>{{0, 0, 1}, {1, 0, 0}, {0, 0, 0}}));
  EXPECT_TRUE(log.Showed(0, "Tri"));
  EXPECT_TRUE(log.Showed(0, "1 faces imported"));
  EXPECT_FALSE(log.Showed(2, " Press ESC to skip"));

  // The fit step then centres and scales it by 9.
  scene.FitModel();
  EXPECT_EQ(scene.FitScale, 9.0f);
  EXPECT_EQ(FaceVertices(*scene.ModelMesh, 0),
            (std::vector<Vec3>{{-4.5f, 0, 4.5f}, {4.5f, 0, -4.5f}, {-4.5f, 0, -4.5f}}));
}

TEST(Import3DS, VertexAndFaceConversion) {
  Scene scene;
  const auto bytes = Write3DS({{"A", {{1, 2, 3}, {4, 5, 6}, {7, 8, 10}}, {{0, 1, 2}}}});
  ASSERT_TRUE(Import3DSFromMemory(scene, bytes, {}).ok);
  EXPECT_EQ(FaceVertices(*scene.ModelMesh, 0),
            (std::vector<Vec3>{{7, 10, 8}, {4, 6, 5}, {1, 3, 2}}));
}

TEST(Import3DS, ObjectsAddUpInFileOrderIntoOneMesh) {
  Scene scene;
  StatusLog log;
  const auto result = Import3DSFromMemory(
      scene, Write3DS({Triangles("First", 100), Triangles("Second", 50)}), log.feedback());
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.faces, 150u);
  EXPECT_EQ(scene.ModelMesh->FaceCount(), 150u);
  EXPECT_TRUE(log.Showed(0, "150 faces imported"));
  EXPECT_TRUE(log.Showed(2, " Press ESC to skip"));
  // The second object's first face comes right after the first object's last.
  EXPECT_EQ(FaceVertices(*scene.ModelMesh, 100)[2], (Vec3{0, 0, 0}));
  EXPECT_EQ(scene.ModelMesh->color(), ColorToRgb(kDefaultObjColor));
  EXPECT_EQ(scene.ModelMesh->material().power, 35000.0f);
}

TEST(Import3DS, EscHintFromTwelveFaces) {
  for (int faces : {11, 12}) {
    Scene scene;
    StatusLog log;
    ASSERT_TRUE(Import3DSFromMemory(scene, Write3DS({Triangles("T", faces)}), log.feedback()).ok);
    EXPECT_EQ(log.Showed(2, " Press ESC to skip"), faces == 12) << faces;
    EXPECT_TRUE(log.Showed(2, "")) << "the hint is cleared at the end";
  }
}

TEST(Import3DS, ExtensionCheck) {
  EXPECT_EQ(IsSupportedFile("/models/MODEL.3DS"), "");
  EXPECT_EQ(IsSupportedFile("teapot.3ds"), "");
  EXPECT_EQ(IsSupportedFile("model.3ds.bak"), "Unsupported input file type");
  EXPECT_EQ(IsSupportedFile("model"), "Unsupported input file type");
  EXPECT_EQ(IsSupportedFile("/dir.3ds/model"), "Unsupported input file type");
  EXPECT_EQ(IsSupportedFile(""), "Unsupported input file type");
}

TEST(Import3DS, MainChunkLengthMustBeTheFileSize) {
  for (int delta : {-1, +1}) {
    auto bytes = SmallestModel();
    bytes[2] = static_cast<uint8_t>(88 + delta);
    Scene scene;
    const auto result = Import3DSFromMemory(scene, bytes, {});
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error.text, "Error parsing 3DS file");
    EXPECT_EQ(scene.ModelMesh->FaceCount(), 0u);
  }
}

TEST(Import3DS, ReadsPastTheEndAreStreamErrors) {
  const auto good = SmallestModel();
  std::map<std::string, std::vector<uint8_t>> broken;
  broken["shorter than a header"] = {0x4D, 0x4D, 5, 0};
  broken["bare main chunk"] = {0x4D, 0x4D, 6, 0, 0, 0};
  // Cut inside the face records, with the main length patched to the new size.
  broken["face records cut short"] = std::vector<uint8_t>(good.begin(), good.end() - 4);
  // A vertex count larger than the vertices the file holds.
  broken["vertex list runs past the end"] = good;
  broken["vertex list runs past the end"][34] = 200;
  // A name without its terminating zero.
  std::vector<uint8_t> name = {0x4D, 0x4D, 0, 0, 0, 0, 0x00, 0x40, 9, 0, 0, 0, 'A', 'B', 'C'};
  broken["name runs past the end"] = name;
  for (auto& [what, bytes] : broken) {
    if (bytes.size() >= 6) bytes[2] = static_cast<uint8_t>(bytes.size());
    Scene scene;
    const auto result = Import3DSFromMemory(scene, bytes, {});
    EXPECT_FALSE(result.ok) << what;
    EXPECT_EQ(result.error.text, "Stream read error") << what;
    EXPECT_EQ(AbortRequested.load(), 0) << what;
  }
}

TEST(Import3DS, LoadFailuresLeaveAnEmptySceneAndMissingFilesNameThemselves) {
  test::ScratchDir dir;
  Scene scene;
  ASSERT_TRUE(LoadBytes(scene, SmallestModel()).ok);
  ASSERT_TRUE(scene.ModelLoaded);

  auto truncated = SmallestModel();
  truncated.resize(80);
  truncated[2] = 80;
  const auto failed = LoadBytes(scene, truncated);
  EXPECT_EQ(failed.error.text, "Stream read error");
  EXPECT_FALSE(scene.ModelLoaded);
  EXPECT_EQ(scene.ModelMesh->FaceCount(), 0u);

  const std::string missing = dir.Path("missing.3ds");
  const auto result = LoadModel(scene, missing, {});
  EXPECT_EQ(result.error.Message({}), "Cannot open file " + missing);
  EXPECT_EQ(LoadModel(scene, dir.Path(""), {}).error.text, "Cannot open file %s") << "a folder";
}

TEST(Import3DS, BadListsAndChunksAreSkippedNotTrusted) {
  ChunkWriter w;
  w.Begin(0x4D4D);
  w.Begin(0x3D3D);
  w.Begin(0x4000);
  w.Text(std::string(100, 'N'));  // a name longer than 70 characters
  w.Begin(0x4100);
  w.Begin(0x4120);  // a face list before any vertex list: skipped
  w.U16(1);
  for (int v : {0, 1, 2, 0})
    w.U16(static_cast<uint16_t>(v));
  w.End();
  w.Begin(0x4110);
  w.U16(3);
  for (int k = 0; k < 9; ++k)
    w.F32(float(k == 0 || k == 4));
  w.End();
  w.Begin(0x4120);  // one good face and one with an index beyond the list
  w.U16(2);
  for (int v : {0, 1, 2, 0, 0, 1, 3, 0})
    w.U16(static_cast<uint16_t>(v));
  w.End();
  w.Begin(0x4120);  // a second face list: its vertex list was released
  w.U16(1);
  for (int v : {0, 1, 2, 0})
    w.U16(static_cast<uint16_t>(v));
  w.End();
  w.End();
  w.End();
  w.Begin(0x4000);  // an object whose sub-chunk has length 0 must not stall the walk
  w.Text("Zero");
  w.U16(0x4100);
  w.U32(0);
  w.End();
  w.End();
  w.End();
  Scene scene;
  StatusLog log;
  const auto result = Import3DSFromMemory(scene, w.bytes(), log.feedback());
  ASSERT_TRUE(result.ok) << result.error.text;
  EXPECT_EQ(result.faces, 1u);
  EXPECT_EQ(scene.ModelMesh->FaceCount(), 1u);
  EXPECT_TRUE(log.Showed(0, std::string(70, 'N')));
  EXPECT_TRUE(log.Showed(0, "Zero"));
}

TEST(Import3DS, ObjectsWithoutMeshesAddNothing) {
  ChunkWriter w;
  w.Begin(0x4D4D);
  w.Begin(0x3D3D);
  w.Begin(0x4000);
  w.Text("Camera01");
  w.Begin(0x4700);
  for (int k = 0; k < 8; ++k)
    w.F32(1);
  w.End();
  w.End();
  w.End();
  w.End();
  Scene scene;
  StatusLog log;
  const auto result = LoadBytes(scene, w.bytes(), log.feedback());
  ASSERT_TRUE(result.ok);
  EXPECT_TRUE(log.Showed(0, "Camera01"));
  EXPECT_TRUE(log.Showed(0, "0 faces imported"));
  EXPECT_EQ(scene.FitScale, 1.0f) << "an empty model is not scaled";
}

TEST(Import3DS, EscDuringTheSecondListKeepsTheFirst) {
  Scene scene;
  int facesSeen = 0;
  Feedback fb;
  fb.processMessages = [&] {
    if (++facesSeen == 105) AbortRequested = -1;  // the fifth face of the second list
  };
  StatusLog log;
  fb.status = log.feedback().status;
  const auto result =
      LoadBytes(scene, Write3DS({Triangles("A", 100), Triangles("B", 50), Triangles("C", 20)}), fb);
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.faces, 100u);
  EXPECT_EQ(scene.ModelMesh->FaceCount(), 100u);
  EXPECT_TRUE(log.Showed(0, "100 faces imported"));
  EXPECT_TRUE(log.Showed(0, "C")) << "the main walk still runs to the end";
  EXPECT_EQ(AbortRequested.load(), 0);
  EXPECT_TRUE(scene.ModelLoaded);
}

TEST(Import3DS, ASecondModelReplacesTheFirst) {
  Scene scene;
  ASSERT_TRUE(LoadBytes(scene, Write3DS({Triangles("A", 30)})).ok);
  scene.ModelFrame->SetPosition({0, 0, 40});
  ASSERT_TRUE(LoadBytes(scene, SmallestModel()).ok);
  EXPECT_EQ(scene.ModelMesh->FaceCount(), 1u);
  EXPECT_EQ(scene.ReferenceDepth, 15.0f);
  EXPECT_EQ(scene.ModelTransform.m[3][2], 15.0f);
}

TEST(Import3DS, RealModelsImportWithTheirTriangleCounts) {
  const std::map<std::string, uint32_t> counts = {
      {"CameraRollAnim.3ds", 12}, {"cubes_with_alpha.3DS", 60},    {"fels.3ds", 768},
      {"test1.3ds", 108},         {"cube_with_materials.3ds", 12}, {"bunny-res4.3ds", 1390},
      {"room.3ds", 156}};
  for (const auto& [name, faces] : counts) {
    Scene scene;
    const auto result = LoadModel(scene, std::string(QUARVEL_TEST_DATA) + "/" + name, {});
    EXPECT_TRUE(result.ok) << name;
    EXPECT_EQ(result.faces, faces) << name;
  }
  Scene scene;
  EXPECT_EQ(LoadModel(scene, QUARVEL_TEST_DATA "/wrong.3ds", {}).error.text,
            "Error parsing 3DS file");
  EXPECT_EQ(LoadModel(scene, QUARVEL_TEST_DATA "/empty.3ds", {}).error.text, "Stream read error");
  EXPECT_EQ(LoadModel(scene, QUARVEL_SAMPLES "/knot.3ds", {}).faces, 11520u);
}

}  // namespace
}  // namespace quarvel
