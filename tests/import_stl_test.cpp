#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "fixtures.h"
#include "scene/model_formats.h"

namespace quarvel {
namespace {

using test::StatusLog;

using Triangle = std::array<Vec3, 3>;  // file points, in file order

std::vector<uint8_t> Bytes(const std::string& text) {
  return {text.begin(), text.end()};
}

void PutU32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutF32(std::vector<uint8_t>& b, float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, 4);
  PutU32(b, bits);
}

// A binary STL file: the 80-byte header (`header`, padded with zeros), the count and the
// records, each with a normal of (0, 0, 1) and an attribute word of 0.
std::vector<uint8_t> BinarySTL(const std::vector<Triangle>& triangles,
                               const std::string& header = "binary") {
  std::vector<uint8_t> b(80, 0);
  std::memcpy(b.data(), header.data(), std::min<size_t>(header.size(), 80));
  PutU32(b, static_cast<uint32_t>(triangles.size()));
  for (const Triangle& t : triangles) {
    for (float n : {0.f, 0.f, 1.f})
      PutF32(b, n);
    for (const Vec3& v : t)
      for (float c : {v.x, v.y, v.z})
        PutF32(b, c);
    b.push_back(0);
    b.push_back(0);
  }
  return b;
}

std::string Number(float f) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", double(f));
  return text;
}

std::string AsciiSTL(const std::vector<Triangle>& triangles, const std::string& name = "part") {
  std::string s = "solid " + name + "\n";
  for (const Triangle& t : triangles) {
    s += "  facet normal 0 0 1\n    outer loop\n";
    for (const Vec3& v : t)
      s += "      vertex " + Number(v.x) + " " + Number(v.y) + " " + Number(v.z) + "\n";
    s += "    endloop\n  endfacet\n";
  }
  return s + "endsolid " + name + "\n";
}

const std::vector<Triangle> kTwoTriangles = {
    Triangle{Vec3{1, 2, 3}, Vec3{4, 5, 6}, Vec3{7, 8, 10}},
    Triangle{Vec3{-1.5f, 0.25f, 100}, Vec3{0, 0, 0}, Vec3{3e-5f, -7, 2}}};

// The file's triangles as the scene should have them: the pool in file order with y and z
// exchanged, each face's corners reversed.
void ExpectTriangles(const Mesh& mesh, const std::vector<Triangle>& triangles) {
  ASSERT_EQ(mesh.vertices().size(), 3 * triangles.size());
  ASSERT_EQ(mesh.FaceCount(), triangles.size());
  for (size_t i = 0; i < triangles.size(); ++i) {
    for (size_t k = 0; k < 3; ++k) {
      const Vec3& f = triangles[i][k];
      EXPECT_EQ(mesh.vertices()[3 * i + k], (Vec3{f.x, f.z, f.y})) << i << " " << k;
    }
    const auto base = static_cast<uint32_t>(3 * i);
    EXPECT_EQ(mesh.faces()[i], (FaceIndices{base + 2, base + 1, base})) << i;
  }
}

ImportResult Import(Scene& scene, const std::vector<uint8_t>& bytes, const Feedback& fb = {}) {
  return ImportSTLFromMemory(scene, bytes, fb);
}

std::string ErrorOf(const std::vector<uint8_t>& bytes) {
  return test::ReaderError(ImportSTLFromMemory, bytes);
}

TEST(ImportSTL, BinaryTrianglesExchangeYAndZAndReverseTheirCorners) {
  Scene scene;
  StatusLog log;
  const auto bytes = BinarySTL(kTwoTriangles);
  ASSERT_EQ(bytes.size(), 84u + 100u);
  const ImportResult r = Import(scene, bytes, log.feedback());
  ASSERT_TRUE(r.ok) << r.error.text;
  EXPECT_EQ(r.faces, 2u);
  ExpectTriangles(*scene.ModelMesh, kTwoTriangles);
  EXPECT_TRUE(log.Showed(0, "2 faces imported"));
  EXPECT_FALSE(log.Showed(2, " Press ESC to skip"));
  EXPECT_EQ(scene.ModelMesh->color(), ColorToRgb(kDefaultObjColor));
  EXPECT_EQ(scene.ModelMesh->material().power, 35000.0f);
  for (int p : log.percents)
    EXPECT_TRUE(p >= 0 && p <= 100) << p;
}

TEST(ImportSTL, AsciiGivesTheSameMeshAsBinary) {
  Scene scene;
  StatusLog log;
  const ImportResult r = Import(scene, Bytes(AsciiSTL(kTwoTriangles, "my part")), log.feedback());
  ASSERT_TRUE(r.ok) << r.error.text;
  EXPECT_EQ(r.faces, 2u);
  ExpectTriangles(*scene.ModelMesh, kTwoTriangles);
  EXPECT_TRUE(log.Showed(0, "my part"));
  EXPECT_TRUE(log.Showed(0, "2 faces imported"));
}

TEST(ImportSTL, ATriangleBecomesTheSameSceneTriangleAsIn3ds) {
  // The smallest .3ds model's triangle (0,0,0), (1,0,0), (0,1,0), z-up like STL.
  Scene reference;
  ASSERT_TRUE(Import3DSFromMemory(reference, test::SmallestModel(), {}).ok);
  const std::vector<Triangle> tri = {Triangle{Vec3{0, 0, 0}, Vec3{1, 0, 0}, Vec3{0, 1, 0}}};
  for (const auto& bytes : {BinarySTL(tri), Bytes(AsciiSTL(tri))}) {
    Scene scene;
    ASSERT_TRUE(Import(scene, bytes).ok);
    ASSERT_EQ(scene.ModelMesh->FaceCount(), 1u);
    for (int k = 0; k < 3; ++k)
      EXPECT_EQ(scene.ModelMesh->GetFace(0).GetVertex(k),
                reference.ModelMesh->GetFace(0).GetVertex(k));
  }
}

TEST(ImportSTL, ABinaryFileMayBeginWithSolid) {
  for (const std::string header : {"solid part", "  solid", "SOLID"}) {
    Scene scene;
    const ImportResult r = Import(scene, BinarySTL(kTwoTriangles, header));
    ASSERT_TRUE(r.ok) << header << ": " << r.error.text;
    ExpectTriangles(*scene.ModelMesh, kTwoTriangles);
  }
}

TEST(ImportSTL, AnEmptyBinaryFileLoadsNothing) {
  Scene scene;
  const ImportResult r = Import(scene, BinarySTL({}));
  ASSERT_TRUE(r.ok) << r.error.text;
  EXPECT_EQ(r.faces, 0u);
  EXPECT_EQ(scene.ModelMesh->vertices().size(), 0u);
}

TEST(ImportSTL, AsciiVariants) {
  // Several solids, capital keywords, a facet without its normal, CR LF line ends, tabs, numbers
  // with "+", exponents and no digits before the point, and nothing after the last "endsolid".
  const std::string text =
      "  \r\nsolid\r\nFACET NORMAL 0 0 0\r\n OUTER LOOP\r\n\tVERTEX +1 2e0 .5\r\n"
      "VERTEX 4. 5 6\r\nVERTEX 7 8 -1E1\r\nENDLOOP\r\nENDFACET\r\nENDSOLID\r\n"
      "solid second\nfacet outer loop vertex 0 0 0 vertex 1 0 0 vertex 0 1 0 endloop endfacet\n"
      "endsolid second";
  Scene scene;
  const ImportResult r = Import(scene, Bytes(text));
  ASSERT_TRUE(r.ok) << r.error.text;
  ExpectTriangles(*scene.ModelMesh, {Triangle{Vec3{1, 2, 0.5f}, Vec3{4, 5, 6}, Vec3{7, 8, -10}},
                                     Triangle{Vec3{0, 0, 0}, Vec3{1, 0, 0}, Vec3{0, 1, 0}}});
}

TEST(ImportSTL, AnAsciiFileMayBeginWithAByteOrderMark) {
  const std::string mark = "\xEF\xBB\xBF";
  const std::pair<std::string, std::string> cases[] = {
      {mark + AsciiSTL(kTwoTriangles), "ok 2"},
      {mark + " \nSOLID\nendsolid\n", "ok 0"},
      {mark + "solid s\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nendloop\n",
       "a facet without three vertices at line 2"},
  };
  for (const auto& [text, outcome] : cases) {
    Scene scene;
    const ImportResult r = Import(scene, Bytes(text));
    EXPECT_EQ(r.ok ? "ok " + std::to_string(r.faces) : r.error.reason, outcome) << text;
    if (r.faces == 2) ExpectTriangles(*scene.ModelMesh, kTwoTriangles);
  }
}

TEST(ImportSTL, AsciiNumbersAreExactlyRoundedFloats) {
  // 1 + 2^-24 is halfway between two floats and rounds to even (1); a hair above it rounds up,
  // which reading a double first and then rounding it to float would miss. A number too small
  // for a float is zero.
  const std::string text =
      "solid n\nfacet normal 0 0 0\nouter loop\n"
      "vertex 0.1 1.000000059604644775390625 1.0000000596046447753906250001\n"
      "vertex 16777217 3.4028234e38 1e-50\nvertex -1e-50 1e-45 -0\n"
      "endloop\nendfacet\nendsolid n\n";
  Scene scene;
  const ImportResult r = Import(scene, Bytes(text));
  ASSERT_TRUE(r.ok) << r.error.text;
  const auto v = scene.ModelMesh->vertices();
  ASSERT_EQ(v.size(), 3u);
  EXPECT_EQ(v[0].x, 0.1f);
  EXPECT_EQ(v[0].z, 1.0f);
  EXPECT_EQ(v[0].y, std::nextafter(1.0f, 2.0f));
  EXPECT_EQ(v[1].x, 16777216.0f);
  EXPECT_EQ(v[1].z, 3.4028234e38f);
  EXPECT_EQ(v[1].y, 0.0f);
  EXPECT_EQ(v[2].x, 0.0f);
  EXPECT_TRUE(std::signbit(v[2].x));
  EXPECT_EQ(v[2].z, std::numeric_limits<float>::denorm_min());
}

TEST(ImportSTL, AFacetWithoutThreeVerticesNamesItsLine) {
  const std::string start = "solid s\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\n";
  EXPECT_EQ(ErrorOf(Bytes(start + "endloop\nendfacet\nendsolid s\n")),
            "Error parsing STL file: a facet without three vertices at line 2");
  EXPECT_EQ(ErrorOf(Bytes(start + "endfacet\nendsolid s\n")),
            "Error parsing STL file: a facet without three vertices at line 2");
  EXPECT_EQ(ErrorOf(Bytes(start)),
            "Error parsing STL file: the file ends where \"vertex\" or \"endloop\" was expected "
            "at line 6");
  EXPECT_EQ(ErrorOf(Bytes(start + "vertex 0 1 0\nvertex 1 1 0\nendloop\nendfacet\nendsolid\n")),
            "Error parsing STL file: a facet with more than three vertices at line 2");
}

TEST(ImportSTL, AsciiGrammarErrors) {
  const std::string facet =
      "facet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\nendloop\n"
      "endfacet\n";
  EXPECT_EQ(ErrorOf(Bytes("solid s\n" + facet)),
            "Error parsing STL file: the file ends without \"endsolid\" at line 9");
  EXPECT_EQ(ErrorOf(Bytes("solid s\n" + facet + "endsolid s\nfacet")),
            "Error parsing STL file: \"solid\" or the end of the file expected after "
            "\"endsolid\", found 'facet' at line 10");
  EXPECT_EQ(ErrorOf(Bytes("solid s\nfacet normal 0 0 1\nouter loop\nvertex 0 0,5 0\n")),
            "Error parsing STL file: a number expected, found '0,5' at line 4");
  EXPECT_EQ(ErrorOf(Bytes("solid s\nfacet normal 0 0 1\nouter lop\n")),
            "Error parsing STL file: \"loop\" expected, found 'lop' at line 3");
  EXPECT_EQ(ErrorOf(Bytes("solid s\nvertex 1 2 3\n")),
            "Error parsing STL file: \"facet\" or \"endsolid\" expected, found 'vertex' at line 2");
  EXPECT_EQ(ErrorOf(Bytes("solidworks\n")),
            "Error parsing STL file: \"solid\" expected, found 'solidworks' at line 1");
  EXPECT_EQ(ErrorOf(Bytes("solid s\n" + facet.substr(0, facet.size() - 9) + "endsolid\n")),
            "Error parsing STL file: \"endfacet\" expected, found 'endsolid' at line 8");
  EXPECT_EQ(ErrorOf(Bytes("not an stl")),
            "Error parsing STL file: the file is shorter than a binary STL header and does not "
            "begin with \"solid\"");
  EXPECT_EQ(ErrorOf({}),
            "Error parsing STL file: the file is shorter than a binary STL header and does not "
            "begin with \"solid\"");
}

TEST(ImportSTL, NonFiniteCoordinatesAreRefused) {
  for (const float bad :
       {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
        -std::numeric_limits<float>::infinity()}) {
    auto triangles = kTwoTriangles;
    triangles[1][2].y = bad;
    EXPECT_EQ(ErrorOf(BinarySTL(triangles)),
              "Error parsing STL file: a vertex coordinate that is not a finite number in "
              "triangle 2");
  }
  for (const std::string bad : {"nan", "inf", "-Infinity", "1e39", "-3.5e38"}) {
    const std::string text =
        "solid s\nfacet normal nan inf 1e39\nouter loop\nvertex 0 0 0\n"
        "vertex 1 " +
        bad + " 0\nvertex 0 1 0\nendloop\nendfacet\nendsolid\n";
    EXPECT_EQ(ErrorOf(Bytes(text)),
              "Error parsing STL file: a vertex coordinate that is not a finite number ('" + bad +
                  "') at line 5");
  }
}

TEST(ImportSTL, TruncatedBinaryFilesAreRefusedWithTheirSizes) {
  for (const std::string header : {"binary", "solid binary"}) {
    auto bytes = BinarySTL(kTwoTriangles, header);
    bytes.pop_back();
    EXPECT_EQ(ErrorOf(bytes),
              "Error parsing STL file: the file holds 183 bytes, where a binary STL file of 2 "
              "triangles has 184")
        << header;
    bytes.resize(90);
    EXPECT_EQ(ErrorOf(bytes),
              "Error parsing STL file: the file holds 90 bytes, where a binary STL file of 2 "
              "triangles has 184")
        << header;
  }
  auto bytes = BinarySTL(kTwoTriangles);
  bytes.resize(83);
  EXPECT_EQ(ErrorOf(bytes),
            "Error parsing STL file: the file is shorter than a binary STL header and does not "
            "begin with \"solid\"");
}

TEST(ImportSTL, TruncatedAsciiFilesAreRefused) {
  const std::string text = AsciiSTL(kTwoTriangles);
  // Cut anywhere before the last "endsolid", the file is refused; at any point after it, the
  // file still holds its two triangles.
  const size_t endsolid = text.rfind("endsolid");
  for (size_t size = 0; size < text.size(); ++size) {
    Scene scene;
    const ImportResult r = Import(scene, Bytes(text.substr(0, size)));
    EXPECT_EQ(r.ok, size >= endsolid + 8) << size << ": " << r.error.text;
    if (!r.ok) {
      EXPECT_EQ(r.error.text, "Error parsing STL file") << size;
    }
  }
}

TEST(ImportSTL, ACancelKeepsTheTrianglesReadBeforeIt) {
  std::vector<Triangle> many;
  for (int i = 0; i < 20; ++i)
    many.push_back(Triangle{Vec3{float(i), 0, 0}, Vec3{float(i), 1, 0}, Vec3{float(i), 0, 1}});
  for (const bool ascii : {false, true}) {
    Scene scene;
    StatusLog log;
    Feedback fb = log.feedback();
    int calls = 0;
    fb.processMessages = [&] {
      if (++calls == 15) AbortRequested = -1;
    };
    const auto bytes = ascii ? Bytes(AsciiSTL(many)) : BinarySTL(many);
    const ImportResult r = Import(scene, bytes, fb);
    ASSERT_TRUE(r.ok) << ascii;
    EXPECT_EQ(r.faces, 14u) << ascii;
    EXPECT_EQ(scene.ModelMesh->FaceCount(), 14u) << ascii;
    EXPECT_EQ(scene.ModelMesh->vertices().size(), 42u) << ascii;
    EXPECT_EQ(AbortRequested.load(), 0);
    EXPECT_TRUE(log.Showed(2, " Press ESC to skip")) << ascii;
    EXPECT_EQ(log.texts.back(), (std::pair<int, std::string>{2, ""})) << ascii;
  }
}

TEST(ImportSTL, AnAbortLeftOverFromBeforeIsCleared) {
  AbortRequested = -1;
  Scene scene;
  const ImportResult r = Import(scene, BinarySTL(kTwoTriangles));
  EXPECT_EQ(r.faces, 2u);
  EXPECT_EQ(AbortRequested.load(), 0);
}

// --- Hostile files ---------------------------------------------------------------------------

TEST(ImportSTLHostile, FourBillionTrianglesInEightyFourBytesAreRefusedAtOnce) {
  for (const std::string header : {"binary", "solid binary"}) {
    std::vector<uint8_t> bytes(80, 0);
    std::memcpy(bytes.data(), header.data(), header.size());
    PutU32(bytes, 0xFFFFFFFFu);
    ASSERT_EQ(bytes.size(), 84u);
    // In a child that may map 64 MiB more, so that a reader that allocated for the count would
    // fail there.
    const std::string outcome = test::GuardedReaderError(ImportSTLFromMemory, bytes);
    EXPECT_EQ(outcome,
              "Error parsing STL file: the file holds 84 bytes, where a binary STL file of "
              "4294967295 triangles has 214748364834 quick small")
        << header;
  }
}

TEST(ImportSTLHostile, BinaryGarbageAfterSolidEndsWithAnError) {
  // Every byte value after "solid ": the ASCII reader must stop with an error, never hang.
  std::vector<uint8_t> bytes = Bytes("solid ");
  for (int i = 0; i < 256; ++i)
    bytes.push_back(static_cast<uint8_t>(i));
  const std::string outcome = test::InChild([&] { return ErrorOf(bytes); }, 0, 10);
  EXPECT_EQ(outcome.rfind("Error parsing STL file: the file holds 262 bytes", 0), 0u) << outcome;
}

TEST(ImportSTLHostile, ManyTrianglesLoadAndTheHintShows) {
  std::vector<Triangle> many;
  for (int i = 0; i < 5000; ++i)
    many.push_back(Triangle{Vec3{float(i), 0, 0}, Vec3{float(i), 1, 0}, Vec3{float(i % 7), 0, 1}});
  for (const bool ascii : {false, true}) {
    Scene scene;
    StatusLog log;
    const ImportResult r =
        Import(scene, ascii ? Bytes(AsciiSTL(many)) : BinarySTL(many), log.feedback());
    ASSERT_TRUE(r.ok) << r.error.text;
    ExpectTriangles(*scene.ModelMesh, many);
    EXPECT_TRUE(log.Showed(0, "5000 faces imported"));
    EXPECT_TRUE(log.Showed(2, " Press ESC to skip"));
    ASSERT_FALSE(log.percents.empty());
    for (size_t i = 0; i + 2 < log.percents.size(); ++i)
      EXPECT_LT(log.percents[i], log.percents[i + 1]) << "progress goes up until the end";
    EXPECT_EQ(log.percents.back(), 0);
  }
}

}  // namespace
}  // namespace quarvel
