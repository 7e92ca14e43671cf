#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>

#include "fixtures.h"
#include "scene/import_3ds.h"

namespace quarvel {
namespace {

using test::StatusLog;

using test::LoadBytes;
using test::SmallestModel;
using test::Triangles;

std::vector<Vec3> FaceVertices(const Mesh& mesh, size_t i) {
  const Face f = mesh.GetFace(i);
  return {f.GetVertex(0), f.GetVertex(1), f.GetVertex(2)};
}

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
  broken["empty"] = {};
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
    EXPECT_EQ(result.error.reason, bytes.empty() ? "the file is empty" : "") << what;
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

// --- Hostile files ---------------------------------------------------------------------------

// Runs quarvel-render on `model` with a hang guard of 20 s. Returns its exit code and what it
// printed on stderr; it never writes its mask.
std::pair<int, std::string> RunRender(const test::ScratchDir& dir, const std::string& model) {
  const int code = test::RunInDir(dir, "timeout 20 \"$R\" '" + model + "' -o out.bmp");
  EXPECT_FALSE(std::filesystem::exists(dir.Path("out.bmp")));
  const std::vector<uint8_t> text = test::ReadFile(dir.Path("err.txt"));
  return {code, std::string(text.begin(), text.end())};
}

// What a load reported: its error text, argument and reason, and the faces it added.
std::string Outcome(const ImportResult& r) {
  return (r.ok ? "ok" : r.error.text + "|" + r.error.arg + "|" + r.error.reason) + " faces " +
         std::to_string(r.faces);
}

// A triangle mesh whose lists overlap: each 12-byte unit is a vertex list chunk of length 6 and
// a face list chunk of length 6. The walk goes on 6 bytes after each list's start, so every list
// reads its count from the next chunk's id (16656 and more records) and the same bytes over and
// over again: without a bound, 40000 units (480 KB) would give a hundred million faces.
std::vector<uint8_t> OverlappingListUnits(int units) {
  ChunkWriter w;
  w.Begin(0x4D4D);
  w.Begin(0x3D3D);
  w.Begin(0x4000);
  w.Text("Units");
  w.Begin(0x4100);
  for (int i = 0; i < units; ++i) {
    w.U16(0x4110);
    w.U32(6);
    w.U16(0x4120);
    w.U32(6);
  }
  w.End();
  w.End();
  w.End();
  w.End();
  return w.bytes();
}

TEST(Import3DSHostile, ListsThatReadTheSameBytesAgainAreRefused) {
  const auto bytes = OverlappingListUnits(40000);
  ASSERT_GT(bytes.size(), 480000u);
  // In a child limited to 1 GiB more memory, so that a reader without the bound fails quickly.
  const std::string fromMemory = test::InChild(
      [&] {
        Scene scene;
        const ImportResult r = Import3DSFromMemory(scene, bytes, {});
        // Nothing more than the first vertex list and face list (together 333124 bytes) is read:
        // the second vertex list would take the lists past the file's 480 KB.
        return Outcome(r) + (r.faces <= 16656 ? " few" : " many");
      },
      uint64_t(1) << 30);
  EXPECT_EQ(fromMemory.substr(0, 24), "Error parsing 3DS file||") << fromMemory;
  EXPECT_NE(fromMemory.find(" few"), std::string::npos) << fromMemory;

  const std::string loaded = test::InChild(
      [&] {
        Scene scene;
        const ImportResult r = LoadBytes(scene, bytes);
        return Outcome(r) + " mesh " + std::to_string(scene.ModelMesh->FaceCount()) +
               (scene.ModelLoaded ? " loaded" : "");
      },
      uint64_t(1) << 30);
  EXPECT_EQ(loaded.substr(0, 24), "Error parsing 3DS file||") << loaded;
  EXPECT_NE(loaded.find(" mesh 0"), std::string::npos) << "the scene is left empty: " << loaded;
  EXPECT_EQ(loaded.find("loaded"), std::string::npos) << loaded;
}

// Two vertex lists, the second inside the first: the first list's chunk claims 8 + 12 bytes, so
// the walk finds the second list's header where the first list's second vertex lies. The lists
// read 2 + 5 * 12 and 2 + 3 * 12 bytes, 100 in all; the file is 93 bytes and the object's name.
std::vector<uint8_t> NestedVertexLists(size_t nameLength) {
  ChunkWriter w;
  w.Begin(0x4D4D);
  w.Begin(0x3D3D);
  w.Begin(0x4000);
  w.Text(std::string(nameLength, 'N'));
  w.Begin(0x4100);
  w.U16(0x4110);
  w.U32(8 + 12);  // one vertex, as far as the walk is concerned
  w.U16(5);
  for (int k = 0; k < 3; ++k)
    w.F32(1);
  w.U16(0x4110);  // the second list: its header and count, then three vertices
  w.U32(8 + 3 * 12);
  w.U16(3);
  for (int k = 0; k < 9; ++k)
    w.F32(2);
  w.F32(3);  // the first list's last 4 bytes; fewer than a header follows, so the walk ends
  w.End();
  w.End();
  w.End();
  w.End();
  return w.bytes();
}

TEST(Import3DSHostile, ListsMayReadAsManyBytesAsTheFileHoldsAndNoMore) {
  const auto exact = NestedVertexLists(7);
  ASSERT_EQ(exact.size(), 100u);
  Scene scene;
  const ImportResult fits = Import3DSFromMemory(scene, exact, {});
  EXPECT_TRUE(fits.ok) << "lists of 100 bytes in a 100-byte file: " << fits.error.text;

  const auto over = NestedVertexLists(6);
  ASSERT_EQ(over.size(), 99u);
  Scene scene2;
  EXPECT_EQ(Import3DSFromMemory(scene2, over, {}).error.text, "Error parsing 3DS file")
      << "lists of 100 bytes in a 99-byte file";
}

TEST(Import3DSHostile, ListsThatFillTheFileLoad) {
  // The largest lists one object can have: 65535 vertices and 65535 faces, all of the file but
  // its six chunk headers and the object's name.
  ModelObject o{"Full", {}, {}};
  for (int i = 0; i < 65535; ++i) {
    o.vertices.push_back({float(i % 256), float(i / 256), float(i % 7)});
    o.faces.push_back({uint16_t(i), uint16_t((i + 1) % 65535), uint16_t((i + 256) % 65535)});
  }
  const auto bytes = Write3DS({o});
  ASSERT_EQ(bytes.size(), 2 + 65535 * 12 + 2 + 65535 * 8 + 6 * 6 + 5u);
  Scene scene;
  const ImportResult result = LoadBytes(scene, bytes);
  EXPECT_TRUE(result.ok) << result.error.text;
  EXPECT_EQ(result.faces, 65535u);

  Scene scene2;
  EXPECT_EQ(LoadBytes(scene2, Write3DS({o, o})).faces, 2 * 65535u);
}

// A sparse file of `size` bytes in `dir` that begins with a main chunk header of `length`.
std::string SparseModel(const test::ScratchDir& dir, const std::string& name, int64_t size,
                        uint32_t length) {
  const std::string path = dir.Path(name);
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const uint8_t header[6] = {0x4D,
                             0x4D,
                             uint8_t(length),
                             uint8_t(length >> 8),
                             uint8_t(length >> 16),
                             uint8_t(length >> 24)};
  const bool ok = fd >= 0 && ::write(fd, header, 6) == 6 && ::ftruncate(fd, size) == 0;
  if (fd >= 0) ::close(fd);
  if (!ok) throw std::runtime_error("cannot make the sparse file " + path);
  return path;
}

TEST(Import3DSHostile, FilesLargerThanTheirMainChunkAreRefusedBeforeTheyAreRead) {
  test::ScratchDir dir;
  constexpr int64_t kGiB = int64_t(1) << 30;
  for (const int64_t size : {3 * kGiB, 40 * kGiB}) {
    // The size's low 32 bits (3 GiB: a negative length; 40 GiB: 0) and the largest length.
    for (const uint32_t length : {uint32_t(size), uint32_t(INT32_MAX)}) {
      const std::string what = std::to_string(size) + " bytes, length " + std::to_string(length);
      const std::string path = SparseModel(dir, "huge.3ds", size, length);
      // In a child that may map only 512 MiB more: reading the file whole cannot happen there.
      const std::string outcome = test::InChild(
          [&] {
            Scene scene;
            const std::string imported = Outcome(Import3DS(scene, path, {}));
            const std::string loaded = Outcome(LoadModel(scene, path, {}));
            return imported + "; " + loaded + (scene.ModelLoaded ? " loaded" : "");
          },
          uint64_t(512) << 20);
      EXPECT_EQ(outcome, "Error parsing 3DS file|| faces 0; Error parsing 3DS file|| faces 0")
          << what;
      const auto [code, printed] = RunRender(dir, path);
      EXPECT_EQ(code, 3) << what << ": " << printed;
      EXPECT_EQ(printed, "quarvel-render: " + path + ": Error parsing 3DS file\n") << what;
      std::filesystem::remove(path);
    }
  }
  // A file shorter than the header is still a read past the end.
  const std::string shortFile = dir.Write("short.3ds", {0x4D, 0x4D, 4, 0});
  Scene scene;
  EXPECT_EQ(Outcome(LoadModel(scene, shortFile, {})), "Stream read error|| faces 0");
}

TEST(Import3DSHostile, PathsThatAreNotRegularFilesAreRefusedWithoutWaiting) {
  test::ScratchDir dir;
  const std::string fifo = dir.Path("pipe.3ds");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string folder = dir.Path("folder.3ds");
  std::filesystem::create_directory(folder);
  const std::string device = dir.Path("null.3ds");  // only ever read
  std::filesystem::create_symlink("/dev/null", device);
  for (const std::string& path : {fifo, folder, device, std::string("/dev/null")}) {
    // In a child, so that an open that blocks ends with the hang guard's alarm.
    const std::string outcome = test::InChild([&] {
      Scene scene;
      const ImportResult r = LoadModel(scene, path, {});
      return Outcome(r) + (scene.ModelLoaded ? " loaded" : "");
    });
    EXPECT_EQ(outcome, "Cannot open file %s|" + path + "|Not a regular file faces 0");
  }
  for (const std::string& path : {fifo, device}) {
    const auto [code, printed] = RunRender(dir, path);
    EXPECT_EQ(code, 4) << path;
    EXPECT_EQ(printed,
              "quarvel-render: " + path + ": Cannot open file " + path + " (Not a regular file)\n");
  }
  // Other failures to open carry the system's reason.
  const std::string missing = dir.Path("missing.3ds");
  Scene scene;
  EXPECT_EQ(Outcome(LoadModel(scene, missing, {})),
            "Cannot open file %s|" + missing + "|" + std::strerror(ENOENT) + " faces 0");
  const auto [code, printed] = RunRender(dir, missing);
  EXPECT_EQ(code, 4);
  EXPECT_EQ(printed, "quarvel-render: " + missing + ": Cannot open file " + missing + " (" +
                         std::strerror(ENOENT) + ")\n");
}

}  // namespace
}  // namespace quarvel
