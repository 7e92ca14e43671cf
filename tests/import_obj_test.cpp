#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "fixtures.h"
#include "scene/model_formats.h"

namespace quarvel {
namespace {

using test::StatusLog;

std::vector<uint8_t> Bytes(const std::string& text) {
  return {text.begin(), text.end()};
}

ImportResult Import(Scene& scene, const std::string& text, const Feedback& fb = {}) {
  return ImportOBJFromMemory(scene, Bytes(text), fb);
}

std::vector<Vec3> FaceVertices(const Mesh& mesh, size_t i) {
  const Face f = mesh.GetFace(i);
  return {f.GetVertex(0), f.GetVertex(1), f.GetVertex(2)};
}

std::vector<FaceIndices> Faces(const Mesh& mesh) {
  return {mesh.faces().begin(), mesh.faces().end()};
}

bool SameBits(float a, float b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// What an import reported: its error text and reason, the faces it added and its warning.
std::string Outcome(const ImportResult& r) {
  return (r.ok ? "ok" : r.error.text + "|" + r.error.reason) + " faces " + std::to_string(r.faces) +
         (r.warning.empty() ? "" : " " + r.warning);
}

// Records what the import reports.
TEST(ImportOBJ, TrianglesAreMirroredInZWithTheirCornersReversedAndEveryVertexInThePool) {
  Scene scene;
  StatusLog log;
  const auto result = Import(scene,
                             "# a triangle and a vertex no face uses\n"
                             "v 1 2 3\n"
                             "v 4 5 6\n"
                             "v 7 8 -10\n"
                             "v 100 -100 100\n"
                             "f 1 2 3\n",
                             log.feedback());
  ASSERT_TRUE(result.ok) << Outcome(result);
  EXPECT_EQ(result.faces, 1u);
  const Mesh& mesh = *scene.ModelMesh;
  EXPECT_EQ(std::vector<Vec3>(mesh.vertices().begin(), mesh.vertices().end()),
            (std::vector<Vec3>{{1, 2, -3}, {4, 5, -6}, {7, 8, 10}, {100, -100, -100}}));
  ASSERT_EQ(mesh.FaceCount(), 1u);
  EXPECT_EQ(FaceVertices(mesh, 0), (std::vector<Vec3>{{7, 8, 10}, {4, 5, -6}, {1, 2, -3}}));
  EXPECT_EQ(mesh.GetBox(), (Box{{1, -100, -100}, {100, 8, 10}})) << "the unused vertex counts";
  EXPECT_TRUE(log.Showed(0, "1 faces imported"));
  EXPECT_TRUE(log.Showed(2, ""));
  EXPECT_FALSE(log.Showed(2, " Press ESC to skip")) << "a small file is read in one piece";
  EXPECT_EQ(mesh.color(), ColorToRgb(kDefaultObjColor));
  EXPECT_EQ(mesh.material().power, 35000.0f);
}

TEST(ImportOBJ, NumbersReadAsTheNearestFloat) {
  Scene scene;
  ASSERT_TRUE(Import(scene, "v 1.625 -3.5 0.1\nv 1e-3 -2.5E+2 .75\n").ok);
  const auto v = scene.ModelMesh->vertices();
  ASSERT_EQ(v.size(), 2u);
  EXPECT_TRUE(SameBits(v[0].x, 1.625f) && SameBits(v[0].y, -3.5f) && SameBits(v[0].z, -0.1f));
  EXPECT_TRUE(SameBits(v[1].x, 0.001f) && SameBits(v[1].y, -250.0f) && SameBits(v[1].z, -0.75f));

  // Every float written with 9 significant digits comes back as itself, also the smallest and
  // the largest.
  std::mt19937 random(7);
  std::vector<float> values = {1.0f / 3, 0.1f, 1e-45f, 1.17549435e-38f, 3.40282347e38f, -0.0f};
  while (values.size() < 30000) {
    const auto bits = static_cast<uint32_t>(random());
    float f;
    std::memcpy(&f, &bits, sizeof f);
    if (std::isfinite(f)) values.push_back(f);
  }
  std::string text;
  char number[40];
  for (const float f : values) {
    std::snprintf(number, sizeof number, "v %.9g 0 0\n", double(f));
    text += number;
  }
  Scene all;
  ASSERT_TRUE(Import(all, text).ok);
  const auto read = all.ModelMesh->vertices();
  ASSERT_EQ(read.size(), values.size());
  size_t different = 0;
  for (size_t i = 0; i < values.size(); ++i)
    if (!SameBits(read[i].x, values[i])) ++different;
  EXPECT_EQ(different, 0u);
}

TEST(ImportOBJ, PolygonsAreFannedFromTheirFirstCorner) {
  Scene scene;
  const auto result = Import(scene,
                             "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv -1 0.5 0\n"
                             "f 1 2 3 4\n"
                             "f 1 2 3 4 5\n");
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.faces, 5u);
  EXPECT_EQ(Faces(*scene.ModelMesh),
            (std::vector<FaceIndices>{{2, 1, 0}, {3, 2, 0}, {2, 1, 0}, {3, 2, 0}, {4, 3, 0}}));

  // A polygon of more corners than a byte counts.
  std::string big = "v 0 0 0\nv 1 0 0\nf";
  for (int k = 0; k < 300; ++k)
    big += k % 2 ? " 2" : " 1";
  Scene large;
  EXPECT_EQ(Import(large, big + "\n").faces, 298u);
}

TEST(ImportOBJ, ConcavePolygonsGiveTheTrianglesThatFillThemAndTheOthersTheirFan) {
  const std::string l = "v 0 0 0\nv 2 0 0\nv 2 1 0\nv 1 1 0\nv 1 2 0\nv 0 2 0\n";
  const std::string standingL = "v 0 0 0\nv 0 2 0\nv 0 2 1\nv 0 1 1\nv 0 1 2\nv 0 0 2\n";
  const std::string u = "v 0 0 0\nv 3 0 0\nv 3 2 0\nv 2 2 0\nv 2 1 0\nv 1 1 0\nv 1 2 0\nv 0 2 0\n";
  const std::string dart = "v 0 0 0\nv 4 2 0\nv 0 4 0\nv 1 2 0\n";
  const std::string star = "v 0 4 0\nv 4 1 0\nv 2 -3 0\nv -2 -3 0\nv -4 1 0\n";
  const std::string lTriangles = "f 2 3 4\nf 1 2 4\nf 6 1 4\nf 5 6 4\n";
  // Each polygon and the triangles it must give, written by hand.
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {l, "f 3 4 5 6 1 2\n", lTriangles},
      {standingL, "f 3 4 5 6 1 2\n", lTriangles},
      {dart, "f 1 2 3 4\n", "f 4 1 2\nf 3 4 2\n"},
      {u, "f 1 2 3 4 5 6 7 8\n", "f 2 3 4\nf 2 4 5\nf 1 2 5\nf 1 5 6\nf 8 1 6\nf 7 8 6\n"},
      // Convex, repeated, on one line, crossing itself: the fan from the first corner.
      {l, "f 1 2 3 5 6\n", "f 1 2 3\nf 1 3 5\nf 1 5 6\n"},
      {u, "f 1 2 3 8 8\n", "f 1 2 3\nf 1 3 8\nf 1 8 8\n"},
      {"v 0 0 0\nv 1 1 0\nv 2 2 0\nv 3 3 0\n", "f 1 2 3 4\n", "f 1 2 3\nf 1 3 4\n"},
      {l, "f 1 3 2 6\n", "f 1 3 2\nf 1 2 6\n"},
      {star, "f 1 3 5 2 4\n", "f 1 3 5\nf 1 5 2\nf 1 2 4\n"},
  };
  for (const auto& [vertices, polygon, triangles] : cases) {
    Scene cut, twin;
    ASSERT_TRUE(Import(cut, vertices + polygon).ok);
    ASSERT_TRUE(Import(twin, vertices + triangles).ok);
    EXPECT_EQ(Faces(*cut.ModelMesh), Faces(*twin.ModelMesh)) << vertices << polygon;
  }
}

TEST(ImportOBJ, NegativeIndicesCountBackFromTheLastVertexReadSoFar) {
  Scene scene;
  const auto result = Import(scene,
                             "v 0 0 0\nv 1 0 0\nv 0 1 0\n"
                             "f -3 -2 -1\n"
                             "v 5 5 5\n"
                             "f -1 -2 -3\n"
                             "f 1/1/1 2//2 -1/3\n");
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(Faces(*scene.ModelMesh), (std::vector<FaceIndices>{{2, 1, 0}, {1, 2, 3}, {3, 1, 0}}));
}

// Unknown lines are passed over in silence; what the parser skips of the lines it knows is said.
TEST(ImportOBJ, LinesItDoesNotKnowOrCannotUseAreSkipped) {
  Scene scene;
  const auto result = Import(scene,
                             "mtllib materials.mtl\r\n"
                             "o Box\r\n"
                             "g side\r\n"
                             "usemtl red\r\n"
                             "s 1\r\n"
                             "hello world\r\n"
                             "vt 0.5 0.5\r"
                             "vn 0 0 1\r"
                             "   \t \n"
                             "v 2\n"
                             "v 0 3\n"
                             "v\t0 0 4\n"
                             "vp 1 2 3\n"
                             "l 1 2\n"
                             "p 1\n"
                             "f 1 2\n"
                             "f\n"
                             "f 3\n"
                             "f 1 2 3\n"
                             "\x01\xff\xfe binary bytes \x7f\n"
                             "v 1 1");
  EXPECT_EQ(Outcome(result),
            "ok faces 1 its lines and points draw nothing; 2 faces of fewer than three corners "
            "draw nothing (the first at line 16)");
  const auto v = scene.ModelMesh->vertices();
  EXPECT_EQ(std::vector<Vec3>(v.begin(), v.end()),
            (std::vector<Vec3>{{2, 0, 0}, {0, 3, 0}, {0, 0, -4}, {1, 1, 0}}));

  Scene empty;
  const auto nothing = Import(empty, "");
  EXPECT_TRUE(nothing.ok);
  EXPECT_EQ(nothing.faces, 0u);
}

TEST(ImportOBJ, MaterialLibrariesAreNeverOpened) {
  // A FIFO blocks whoever opens it for reading: the hang guard would end the child.
  test::ScratchDir dir;
  const std::string fifo = dir.Path("materials.mtl");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string outcome = test::InChild([&] {
    Scene scene;
    return Outcome(Import(scene, "mtllib " + fifo + "\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"));
  });
  EXPECT_EQ(outcome, "ok faces 1");
}

TEST(ImportOBJ, LinesTheParserWouldMisreadOrHoldAtLengthRefuseTheFileNamingTheirLine) {
  const std::string head = "v 0 0 0\nv 1 0 0\n";
  const std::string error = "Error parsing OBJ file|";
  const std::string notFinite = error + "a vertex coordinate that is not a finite ";
  const std::string corner = error + "a face corner ";
  const std::string mesh = "Error parsing OBJ file|more vertices and triangles than the ";
  // A polygon of 5000 corners over two vertices makes more triangles than a file of its size may.
  std::string fan = head + "f";
  for (int k = 0; k < 2500; ++k)
    fan += " 1 2";
  const std::string longLine = head + "# " + std::string(size_t(1) << 20, 'x') + "\nf 1 2 1\n";
  const std::pair<std::string, std::string> cases[] = {
      {head + "v 0 nan 0\nf 1 2 3\n", notFinite + "number ('nan') at line 3 faces 0"},
      {head + "v\t0 0 -INF\n", notFinite + "number ('-INF') at line 3 faces 0"},
      {head + "v +inf 0 0\n", notFinite + "number ('+inf') at line 3 faces 0"},
      {"\r\n" + head + "  v 0 0 infinity 1\n", notFinite + "number ('infinity') at line 4 faces 0"},
      {head + "v 0 1e99999 0\n", notFinite + "number ('1e99999') at line 3 faces 0"},
      {head + "v 0 1e39 0\n", notFinite + "number ('1e39') at line 3 faces 0"},
      {"v 0 0 -4e38\r" + head, notFinite + "number ('-4e38') at line 1 faces 0"},
      {head + "v 0 0 0 nan\nvn nan 0 0\nvt inf 0\nf 1 2 3\n", "ok faces 1"},
      {head + "v 3.40282347e38 -3.40282347e38 1e-46\nf 1 2 3\n", "ok faces 1"},
      {head + "v 1 x 0\n",
       error + "a vertex coordinate that is not a number ('x') at line 3 faces 0"},
      {head + "v 1.2.3 0 0\n",
       error + "a vertex coordinate that is not a number ('1.2.3') at line 3 faces 0"},
      {head + "v 0 0 -\n",
       error + "a vertex coordinate that is not a number ('-') at line 3 faces 0"},
      // A corner names a vertex read before it, counted from 1 or back from the last; or one
      // read later, which the file must then hold.
      {head + "v 0 1 0\nf 1 2 9\n", corner + "past the file's 3 vertices ('9') at line 4 faces 0"},
      {head + "f 1 2 3\nf -1 -2 -3\nv 0 1 0\n",
       corner + "before the first vertex ('-3') at line 4 faces 0"},
      {head + "f 0 1 2\n", corner + "that names no vertex ('0') at line 3 faces 0"},
      {head + "f 1 2 -0\n", corner + "that names no vertex ('-0') at line 3 faces 0"},
      {head + "f 1 x 2\n", corner + "that is not a vertex number ('x') at line 3 faces 0"},
      {head + "f 1 //2 2\n", corner + "that is not a vertex number ('') at line 3 faces 0"},
      {head + "f 1 2 2147483648\n", corner + "past any vertex ('2147483648') at line 3 faces 0"},
      {head + "f 1 2 3\nv 0 1 0\nf -1/1 -3//1 1/2/3\n", "ok faces 2"},
      {head + "f 1 2 4\nf 1 2 9\nf 1 2 5\nv 0 1 0\nv 1 1 0\n",
       corner + "past the file's 4 vertices ('9') at line 4 faces 0"},
      {fan + "\n", mesh + "4096 a file of 10018 bytes may make at line 3 faces 0"},
      {longLine, "Error parsing OBJ file|a line longer than 1048576 bytes at line 3 faces 0"},
      {"\xEF\xBB\xBFv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", "ok faces 1"},
  };
  for (const auto& [text, outcome] : cases) {
    Scene scene;
    EXPECT_EQ(Outcome(Import(scene, text)), outcome) << text.substr(0, 60);
    if (outcome.starts_with("ok")) continue;
    EXPECT_EQ(scene.ModelMesh->vertices().size(), 0u) << text.substr(0, 60);
    EXPECT_EQ(AbortRequested.load(), 0);
  }
}

// Lines that go on after a backslash, also across a piece of the parser's input; UTF-16 text;
// lines and points without a face.
TEST(ImportOBJ, ContinuedLinesUtf16AndFilesWithoutFaces) {
  const std::string head = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
  // A comment up to three bytes before the end of the first piece.
  std::string pad((size_t(1) << 16) - 3 - head.size(), '#');
  pad.back() = '\n';
  const auto utf16 = [](const std::string& text, bool big) {
    std::string out = big ? "\xFE\xFF" : "\xFF\xFE";
    for (const char c : text)
      out += big ? std::string{'\0', c} : std::string{c, '\0'};
    return out;
  };
  const std::string triangle = head + "f 1 2 3\n";
  const std::string error = "Error parsing OBJ file|";
  const std::pair<std::string, std::string> cases[] = {
      {head + "f 1 2 \\\n3\n", "ok faces 1"},
      {head + "f 1\\\r\n2\\\r3 \\\n\n", "ok faces 1"},
      {"v 0 \\\n0 0\nv 1 0 0\nv 0 \\\n1 0\nf 1 2 3\n", "ok faces 1"},
      {head + pad + "f 1 2 \\\n3\n", "ok faces 1"},
      {"v 0 0 \\\n0\nv nan 0 0\n", error +
                                       "a vertex coordinate that is not a finite number ('nan') "
                                       "at line 3 faces 0"},
      {utf16(triangle, false), "ok faces 1"},
      {utf16(triangle, true), "ok faces 1"},
      {utf16(head + "# caf\xE9\n", false),
       error + "a UTF-16 character beyond ASCII (U+00E9) at line 4 faces 0"},
      {utf16(triangle, true) + '\0', error + "a UTF-16 text that ends inside a character faces 0"},
      {head + "l 1 2\np 3\n", "ok faces 0 only lines and points"},
      {head + "l 1 2\nf 1 2 3\n", "ok faces 1 its lines and points draw nothing"},
  };
  for (const auto& [text, outcome] : cases) {
    Scene scene;
    EXPECT_EQ(Outcome(Import(scene, text)), outcome) << text.substr(0, 60);
  }
}

// A file of `quads` quads over four vertices, larger than one piece of the parser's input.
std::string Quads(int quads) {
  std::string text = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n";
  for (int i = 0; i < quads; ++i)
    text += "f 1 2 3 4\n";
  return text;
}

TEST(ImportOBJ, ACancelKeepsTheWholeLinesReadBeforeIt) {
  const std::string text = Quads(30000);  // 300 KB
  Scene scene;
  StatusLog log;
  Feedback fb = log.feedback();
  int calls = 0;
  fb.processMessages = [&] {
    if (++calls == 2) AbortRequested = -1;
  };
  const auto result = Import(scene, text, fb);
  ASSERT_TRUE(result.ok);
  EXPECT_GT(result.faces, 0u);
  EXPECT_LT(result.faces, 60000u);
  EXPECT_EQ(result.faces % 2, 0u) << "a quad is read whole or not at all";
  EXPECT_EQ(scene.ModelMesh->FaceCount(), result.faces);
  EXPECT_EQ(scene.ModelMesh->vertices().size(), 4u);
  EXPECT_EQ(AbortRequested.load(), 0);
  EXPECT_TRUE(log.Showed(2, " Press ESC to skip"));
  EXPECT_TRUE(log.Showed(2, ""));
  EXPECT_TRUE(log.Showed(0, std::to_string(result.faces) + " faces imported"));

  // Without a cancel, the whole file, with progress from 0 to below 100 and back to 0.
  Scene whole;
  StatusLog all;
  EXPECT_EQ(Import(whole, text, all.feedback()).faces, 60000u);
  ASSERT_GT(all.percents.size(), 2u);
  for (const int p : all.percents)
    EXPECT_TRUE(p >= 0 && p < 100) << p;
  EXPECT_EQ(all.percents.back(), 0);
}

}  // namespace
}  // namespace quarvel
