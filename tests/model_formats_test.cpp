// The readers beyond .3ds, end to end through quarvel-render: one set of triangles written in
// every format (each with its own axis convention) gives the .3ds file's mask byte for byte, a
// name that does not match the content is refused, and files written by a converter we did not
// write load and render.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fixtures.h"
#include "samples/shapes.h"
#include "samples/write_3ds.h"
#include "samples/write_models.h"
#include "scene/model_formats.h"

namespace quarvel {
namespace {

// The knot with its corners on a grid of eighths: every coordinate is a short decimal, which a
// text format writes and reads back exactly.
TriangleMesh GridKnot() {
  TriangleMesh m = TorusKnot(60, 8);
  for (Vec3& v : m.vertices)
    v = {std::round(v.x * 64) / 8, std::round(v.y * 64) / 8, std::round(v.z * 64) / 8};
  return m;
}

// The mask quarvel-render writes for `model`, or "exit N" when it fails.
std::string Render(const test::ScratchDir& dir, const std::string& model) {
  const std::string out = model + ".bmp";
  const int code = test::RunInDir(
      dir, "\"$R\" " + model + " -o " + out + " --size 320x240 --clicks x:7 --clicks y:-4");
  if (code != 0) return "exit " + std::to_string(code);
  const std::vector<uint8_t> bytes = test::ReadFile(dir.Path(out));
  return {bytes.begin(), bytes.end()};
}

TEST(ModelFormats, TheSameTrianglesInEveryFormatGiveTheSameMask) {
  test::ScratchDir dir;
  const TriangleMesh knot = GridKnot();
  ASSERT_TRUE(
      SaveBytes(dir.Path("knot.3ds"), Write3DS(SplitMesh("knot", knot.vertices, knot.faces))));
  const std::string expected = Render(dir, "knot.3ds");
  ASSERT_GT(expected.size(), 1078u);
  const std::pair<const char*, std::vector<uint8_t>> files[] = {
      {"knot.stl", WriteBinaryStl(knot)}, {"ascii.stl", WriteAsciiStl(knot)},
      {"knot.ply", WriteBinaryPly(knot)}, {"knot.obj", WriteObj(knot)},
      {"knot.glb", WriteGlb(knot)},
  };
  for (const auto& [name, bytes] : files) {
    ASSERT_TRUE(SaveBytes(dir.Path(name), bytes));
    EXPECT_TRUE(Render(dir, name) == expected) << name;
  }
}

TEST(ModelFormats, ANameThatDoesNotMatchTheContentIsRefusedWithBoth) {
  test::ScratchDir dir;
  const TriangleMesh knot = GridKnot();
  ASSERT_TRUE(SaveBytes(dir.Path("knot.stl"), WriteBinaryPly(knot)));
  EXPECT_EQ(test::RunInDir(dir, "\"$R\" knot.stl -o k.bmp"), 3);
  const auto err = test::ReadFile(dir.Path("err.txt"));
  EXPECT_NE(std::string(err.begin(), err.end())
                .find("knot.stl: Its content is a PLY model, not the STL model its name says"),
            std::string::npos);
  EXPECT_EQ(FormatOfName("a/b.C/KNOT.GlB"), ModelFormat::Glb);
  EXPECT_EQ(FormatOfName("a.3ds/knot"), std::nullopt);
  EXPECT_EQ(test::RunInDir(dir, "\"$R\" knot.dae -o k.bmp"), 3);
  EXPECT_FALSE(std::filesystem::exists(dir.Path("k.bmp")));
}

// The kind of each refusal, which gives quarvel-render's exit code: a file that cannot be opened
// is the file's failure, one that is no model of its type the import's.
TEST(ModelFormats, ARefusalIsAFilesOrAnImportsFailure) {
  test::ScratchDir dir;
  std::filesystem::create_directory(dir.Path("folder.stl"));
  const auto text = [](std::string_view t) { return std::vector<uint8_t>(t.begin(), t.end()); };
  const std::pair<std::string, ErrorKind> cases[] = {
      {dir.Path("missing.obj"), ErrorKind::File},
      {dir.Path("folder.stl"), ErrorKind::File},
      {dir.Write("knot.dae", text("<COLLADA/>")), ErrorKind::Import},
      {dir.Write("nan.obj", text("v nan 0 0\nv 0 1 0\nv 1 0 0\nf 1 2 3\n")), ErrorKind::Import},
      {dir.Write("short.stl", text("no model")), ErrorKind::Import},
      {dir.Write("short.ply", text("no model")), ErrorKind::Import},
      {dir.Write("short.glb", text("no model")), ErrorKind::Import},
      {dir.Write("short.gltf", text("no model")), ErrorKind::Import},
  };
  for (const auto& [path, kind] : cases) {
    Scene scene;
    const ImportResult r = LoadAnyModel(scene, path, {});
    EXPECT_EQ(r.ok ? ErrorKind::None : r.error.kind, kind) << path << ": " << r.error.text;
  }
}

TEST(ModelFormats, AConcavePolygonGivesTheMaskOfItsTriangles) {
  test::ScratchDir dir;
  // A U and a dart beside it, facing the viewer, and the same cut into triangles by hand.
  const std::string vertices =
      "v 0 0 0\nv 3 0 0\nv 3 2 0\nv 2 2 0\nv 2 1 0\nv 1 1 0\nv 1 2 0\nv 0 2 0\n"
      "v 4 0 0\nv 8 2 0\nv 4 4 0\nv 5 2 0\n";
  const auto text = [](const std::string& t) { return std::vector<uint8_t>(t.begin(), t.end()); };
  ASSERT_TRUE(SaveBytes(dir.Path("cut.obj"), text(vertices + "f 1 2 3 4 5 6 7 8\nf 9 10 11 12\n")));
  ASSERT_TRUE(SaveBytes(dir.Path("twin.obj"),
                        text(vertices + "f 2 3 4\nf 2 4 5\nf 1 2 5\nf 1 5 6\nf 8 1 6\nf 7 8 6\n"
                                        "f 12 9 10\nf 11 12 10\n")));
  const std::string expected = Render(dir, "twin.obj");
  ASSERT_GT(expected.size(), 1078u);
  EXPECT_TRUE(Render(dir, "cut.obj") == expected);
}

// A model that loads without a triangle is said to hold none, or, where its reader knows, to hold
// only lines and points.
TEST(ModelFormats, AModelWithoutTrianglesIsSaidToHoldNone) {
  test::ScratchDir dir;
  const auto text = [](std::string_view t) { return std::vector<uint8_t>(t.begin(), t.end()); };
  const std::string ply =
      "ply\nformat ascii 1.0\nelement vertex 2\nproperty float x\nproperty float y\n"
      "property float z\nelement edge 1\nproperty int vertex1\nproperty int vertex2\nend_header\n"
      "0 0 0\n1 0 0\n";
  const std::pair<std::string, std::vector<uint8_t>> cases[] = {
      {"empty.3ds", Write3DS({{"Points", {{0, 0, 0}, {1, 0, 0}}, {}}})},
      {"empty.stl", WriteBinaryStl({})},
      {"ascii.stl", text("solid empty\nendsolid empty\n")},
      {"cloud.ply", text(ply.substr(0, ply.find("element edge")) + "end_header\n0 0 0\n1 0 0\n")},
      {"points.obj", text("v 0 0 0\nv 1 0 0\n")},
      {"empty.gltf", text(R"({"asset": {"version": "2.0"}})")},
      {"edges.ply", text(ply + "0 1\n")},
      {"lines.obj", text("v 0 0 0\nv 1 0 0\nl 1 2\n")},
  };
  for (const auto& [name, bytes] : cases) {
    Scene scene;
    const ImportResult r = LoadAnyModel(scene, dir.Write(name, bytes), {});
    EXPECT_TRUE(r.ok) << name << ": " << r.error.text;
    EXPECT_EQ(r.warning, name.starts_with("edges") || name.starts_with("lines")
                             ? "only lines and points"
                             : "holds no triangles")
        << name;
  }
}

// Models written by another program's exporter: the real models of the test data, converted.
TEST(ModelFormats, FilesWrittenByAnotherExporterLoadAndRender) {
  if (std::system("command -v assimp >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "assimp (Debian's assimp-utils) is not installed";
  test::ScratchDir dir;
  for (const char* model : {"fels.3ds", "bunny-res4.3ds", "room.3ds"}) {
    const std::string from = std::string(QUARVEL_TEST_DATA) + "/" + model;
    for (const char* format : {"obj", "stl", "ply", "gltf2", "glb2"}) {
      std::string ext = format;
      if (ext.back() == '2') ext.pop_back();
      const std::string to = std::string(model) + "." + ext;
      ASSERT_EQ(
          test::RunInDir(dir, "assimp export " + from + " " + to + " -f" + format + " >/dev/null"),
          0)
          << to;
      const std::string mask = Render(dir, to);
      EXPECT_GT(mask.size(), 1078u) << to << ": " << mask;
      EXPECT_NE(mask.find_first_not_of('\0', 1078), std::string::npos) << to << " draws nothing";
    }
  }
}

}  // namespace
}  // namespace quarvel
