#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "fixtures.h"
#include "scene/model_formats.h"

namespace quarvel {
namespace {

using test::StatusLog;

enum class Encoding { Ascii, Little, Big };
const Encoding kEncodings[] = {Encoding::Ascii, Encoding::Little, Encoding::Big};

const char* Name(Encoding e) {
  return e == Encoding::Ascii    ? "ascii"
         : e == Encoding::Little ? "binary_little_endian"
                                 : "binary_big_endian";
}

struct PlyProperty {
  std::string type;  // the scalar's or the items' type
  std::string name;
  std::string countType = {};  // a list's count type; empty for a scalar
};

// An element's records: for each property, one value for a scalar and the items for a list.
using Record = std::vector<std::vector<double>>;

struct PlyElement {
  std::string name;
  std::vector<PlyProperty> properties;
  std::vector<Record> records;
};

template <typename T>
void Put(std::vector<uint8_t>& out, T value, bool big) {
  uint8_t b[sizeof(T)];
  std::memcpy(b, &value, sizeof(T));
  if (big) std::reverse(b, b + sizeof(T));
  out.insert(out.end(), b, b + sizeof(T));
}

void PutValue(std::vector<uint8_t>& out, const std::string& type, double v, Encoding e) {
  if (e == Encoding::Ascii) {
    char text[40];
    if (type == "float" || type == "float32")
      std::snprintf(text, sizeof text, "%.9g", double(static_cast<float>(v)));
    else if (type == "double" || type == "float64")
      std::snprintf(text, sizeof text, "%.17g", v);
    else
      std::snprintf(text, sizeof text, "%lld", static_cast<long long>(v));
    out.insert(out.end(), text, text + std::strlen(text));
    out.push_back(' ');
    return;
  }
  const bool big = e == Encoding::Big;
  if (type == "char" || type == "int8")
    Put(out, static_cast<int8_t>(v), big);
  else if (type == "uchar" || type == "uint8")
    Put(out, static_cast<uint8_t>(v), big);
  else if (type == "short" || type == "int16")
    Put(out, static_cast<int16_t>(v), big);
  else if (type == "ushort" || type == "uint16")
    Put(out, static_cast<uint16_t>(v), big);
  else if (type == "int" || type == "int32")
    Put(out, static_cast<int32_t>(v), big);
  else if (type == "uint" || type == "uint32")
    Put(out, static_cast<uint32_t>(v), big);
  else if (type == "float" || type == "float32")
    Put(out, static_cast<float>(v), big);
  else if (type == "double" || type == "float64")
    Put(out, v, big);
  else
    ADD_FAILURE() << "no type " << type;
}

std::string HeaderOf(Encoding e, const std::vector<PlyElement>& elements) {
  std::string h = "ply\nformat " + std::string(Name(e)) + " 1.0\ncomment made by a test\n";
  for (const PlyElement& el : elements) {
    h += "element " + el.name + " " + std::to_string(el.records.size()) + "\n";
    for (const PlyProperty& p : el.properties)
      h += p.countType.empty()
               ? "property " + p.type + " " + p.name + "\n"
               : "property list " + p.countType + " " + p.type + " " + p.name + "\n";
  }
  return h + "end_header\n";
}

std::vector<uint8_t> WritePLY(Encoding e, const std::vector<PlyElement>& elements) {
  const std::string header = HeaderOf(e, elements);
  std::vector<uint8_t> out(header.begin(), header.end());
  for (const PlyElement& el : elements) {
    for (const Record& r : el.records) {
      for (size_t i = 0; i < el.properties.size(); ++i) {
        const PlyProperty& p = el.properties[i];
        if (!p.countType.empty()) PutValue(out, p.countType, double(r[i].size()), e);
        for (double v : r[i])
          PutValue(out, p.type, v, e);
      }
      if (e == Encoding::Ascii) out.back() = '\n';
    }
  }
  return out;
}

std::vector<uint8_t> Bytes(const std::string& text) {
  return {text.begin(), text.end()};
}

PlyElement Vertices(const std::vector<Vec3>& points, const std::string& type = "float") {
  PlyElement e{"vertex", {{type, "x"}, {type, "y"}, {type, "z"}}, {}};
  for (const Vec3& p : points)
    e.records.push_back({{p.x}, {p.y}, {p.z}});
  return e;
}

PlyElement Faces(const std::vector<std::vector<double>>& polygons) {
  PlyElement e{"face", {{"int", "vertex_indices", "uchar"}}, {}};
  for (const auto& p : polygons)
    e.records.push_back({p});
  return e;
}

const std::vector<Vec3> kPoints = {
    {0, 0, 0}, {1, 0, 0}, {1, 1, 0.5f}, {0, 1, 0.25f}, {-0.5f, 0.5f, 2}};
// A triangle, a quad, a line and an empty polygon.
const std::vector<std::vector<double>> kPolygons = {{0, 1, 2}, {0, 2, 3, 4}, {1, 2}, {}};
// What the scene holds of them: the quad fanned from its first corner, (0, 2, 3) and (0, 3, 4),
// and each triangle's corners reversed.
const std::vector<FaceIndices> kSceneFaces = {{2, 1, 0}, {3, 2, 0}, {4, 3, 0}};

void ExpectPool(const Mesh& mesh, const std::vector<Vec3>& filePoints) {
  ASSERT_EQ(mesh.vertices().size(), filePoints.size());
  for (size_t i = 0; i < filePoints.size(); ++i) {
    const Vec3& f = filePoints[i];
    EXPECT_EQ(mesh.vertices()[i], (Vec3{f.x, f.z, f.y})) << i;
  }
}

std::vector<FaceIndices> FacesOf(const Mesh& mesh) {
  return {mesh.faces().begin(), mesh.faces().end()};
}

ImportResult Import(Scene& scene, const std::vector<uint8_t>& bytes, const Feedback& fb = {}) {
  return ImportPLYFromMemory(scene, bytes, fb);
}

std::string ErrorOf(const std::vector<uint8_t>& bytes) {
  return test::ReaderError(ImportPLYFromMemory, bytes);
}

TEST(ImportPLY, AllThreeEncodingsGiveTheSameMesh) {
  for (const Encoding e : kEncodings) {
    Scene scene;
    StatusLog log;
    const ImportResult r =
        Import(scene, WritePLY(e, {Vertices(kPoints), Faces(kPolygons)}), log.feedback());
    ASSERT_TRUE(r.ok) << Name(e) << ": " << r.error.text;
    EXPECT_EQ(r.faces, 3u) << Name(e);
    ExpectPool(*scene.ModelMesh, kPoints);
    EXPECT_EQ(FacesOf(*scene.ModelMesh), kSceneFaces) << Name(e);
    EXPECT_TRUE(log.Showed(0, "3 faces imported")) << Name(e);
    EXPECT_EQ(scene.ModelMesh->color(), ColorToRgb(kDefaultObjColor));
    EXPECT_EQ(scene.ModelMesh->material().power, 35000.0f);
  }
}

TEST(ImportPLY, ATriangleBecomesTheSameSceneTriangleAsIn3ds) {
  // The smallest .3ds model's triangle (0,0,0), (1,0,0), (0,1,0), z-up like PLY.
  Scene reference;
  ASSERT_TRUE(Import3DSFromMemory(reference, test::SmallestModel(), {}).ok);
  for (const Encoding e : kEncodings) {
    Scene scene;
    ASSERT_TRUE(Import(scene, WritePLY(e, {Vertices({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}),
                                           Faces({{0, 1, 2}})}))
                    .ok);
    ASSERT_EQ(scene.ModelMesh->FaceCount(), 1u);
    for (int k = 0; k < 3; ++k)
      EXPECT_EQ(scene.ModelMesh->GetFace(0).GetVertex(k),
                reference.ModelMesh->GetFace(0).GetVertex(k));
  }
}

TEST(ImportPLY, AQuadIsFannedIntoTwoTriangles) {
  Scene scene;
  const std::string text =
      "ply\nformat ascii 1.0\nelement vertex 4\nproperty float x\nproperty float y\n"
      "property float z\nelement face 1\nproperty list uchar uint vertex_index\nend_header\n"
      "0 0 0\n1 0 0\n1 1 0\n0 1 0\n4 0 1 2 3\n";
  const ImportResult r = Import(scene, Bytes(text));
  ASSERT_TRUE(r.ok) << r.error.text;
  EXPECT_EQ(r.faces, 2u);
  EXPECT_EQ(FacesOf(*scene.ModelMesh), (std::vector<FaceIndices>{{2, 1, 0}, {3, 2, 0}}));
  ExpectPool(*scene.ModelMesh, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
}

TEST(ImportPLY, StripsAndConcavePolygonsBecomeTheTrianglesThatFillThem) {
  // A dart, whose fan from its first corner would fill its notch, and a point off it.
  const std::vector<Vec3> dart = {{0, 0, 0}, {4, 2, 0}, {0, 4, 0}, {1, 2, 0}, {9, 9, 9}};
  // Strips 0 1 2 3 and 4 3 2 after a -1; then 1 2 2 3 4, whose repeated corner makes no triangle.
  const PlyElement strips{"tristrips",
                          {{"int", "vertex_indices", "uchar"}},
                          {{{0, 1, 2, 3, -1, 4, 3, 2}}, {{1, 2, 2, 3, 4}}}};
  const std::pair<PlyElement, std::vector<FaceIndices>> cases[] = {
      {strips, {{2, 1, 0}, {3, 1, 2}, {2, 3, 4}, {4, 3, 2}}},
      {Faces({{0, 1, 2, 3}}), {{1, 0, 3}, {1, 3, 2}}},
  };
  for (const Encoding e : kEncodings) {
    for (const auto& [element, faces] : cases) {
      Scene scene;
      ASSERT_TRUE(Import(scene, WritePLY(e, {Vertices(dart), element})).ok) << Name(e);
      EXPECT_EQ(FacesOf(*scene.ModelMesh), faces) << Name(e) << " " << element.name;
    }
  }
}

TEST(ImportPLY, OtherElementsPropertiesAndListsAreSkipped) {
  PlyElement material{"material", {{"float", "ambient"}, {"int", "ids", "uchar"}}, {}};
  material.records = {{{0.5}, {1, 2, 3}}, {{0.25}, {}}};
  PlyElement vertex{"vertex",
                    {{"float", "nx"},
                     {"float", "x"},
                     {"double", "tex", "ushort"},
                     {"float", "y"},
                     {"uchar", "red"},
                     {"float", "z"},
                     {"int16", "extra"}},
                    {}};
  for (const Vec3& p : kPoints)
    vertex.records.push_back({{7}, {p.x}, {0.5, 0.25, 1e300}, {p.y}, {255}, {p.z}, {-3}});
  PlyElement face{"face",
                  {{"uchar", "flags"},
                   {"uint8", "vertex_indices", "uint8"},
                   {"short", "tex", "int"},
                   {"int", "vertex_index", "uchar"}},
                  {}};
  for (const auto& polygon : kPolygons)
    face.records.push_back({{1}, polygon, {9, 8, 7, 6, 5}, {4, 3, 2}});
  PlyElement edge{"edge", {{"int", "vertex1"}, {"int", "vertex2"}}, {{{0}, {1}}, {{1}, {2}}}};
  for (const Encoding e : kEncodings) {
    const auto bytes = WritePLY(e, {material, vertex, face, edge});
    Scene scene;
    const ImportResult r = Import(scene, bytes);
    ASSERT_TRUE(r.ok) << Name(e) << ": " << r.error.text;
    ExpectPool(*scene.ModelMesh, kPoints);
    EXPECT_EQ(FacesOf(*scene.ModelMesh), kSceneFaces) << Name(e);

    // The file cut short anywhere before its last byte (a line break in ASCII) is refused.
    for (size_t size = 0; size + 1 < bytes.size(); ++size) {
      Scene cut;
      const ImportResult rc = Import(cut, {bytes.begin(), bytes.begin() + long(size)});
      EXPECT_FALSE(rc.ok) << Name(e) << " " << size;
      EXPECT_EQ(rc.error.text, "Error parsing PLY file") << size;
    }
  }
}

TEST(ImportPLY, FacesBeforeVerticesAndPointClouds) {
  for (const Encoding e : kEncodings) {
    Scene scene;
    ImportResult r = Import(scene, WritePLY(e, {Faces(kPolygons), Vertices(kPoints)}));
    ASSERT_TRUE(r.ok) << r.error.text;
    EXPECT_EQ(FacesOf(*scene.ModelMesh), kSceneFaces) << Name(e);

    Scene cloud;
    r = Import(cloud, WritePLY(e, {Vertices(kPoints)}));
    ASSERT_TRUE(r.ok) << r.error.text;
    EXPECT_EQ(r.faces, 0u);
    ExpectPool(*cloud.ModelMesh, kPoints);
  }
}

TEST(ImportPLY, BigEndianDoublesAndEveryTypeBecomeFloatsAsACastWould) {
  const std::vector<double> values = {0.1, -1e10, 123456789.123, 1e-300, -0.0, 16777217};
  PlyElement doubles{"vertex", {{"double", "x"}, {"float64", "y"}, {"double", "z"}}, {}};
  for (size_t i = 0; i + 2 < values.size(); ++i)
    doubles.records.push_back({{values[i]}, {values[i + 1]}, {values[i + 2]}});
  const auto bytes = WritePLY(Encoding::Big, {doubles});
  // Spot-check the layout: the first x, 0.1, as big-endian bytes right after the header.
  const size_t body = HeaderOf(Encoding::Big, {doubles}).size();
  EXPECT_EQ(bytes[body], 0x3F);
  EXPECT_EQ(bytes[body + 7], 0x9A);
  for (const Encoding e : kEncodings) {
    Scene scene;
    const ImportResult r = Import(scene, WritePLY(e, {doubles}));
    ASSERT_TRUE(r.ok) << Name(e) << ": " << r.error.text;
    const auto v = scene.ModelMesh->vertices();
    ASSERT_EQ(v.size(), values.size() - 2);
    for (size_t i = 0; i < v.size(); ++i) {
      EXPECT_EQ(v[i].x, static_cast<float>(values[i])) << Name(e) << " " << i;
      EXPECT_EQ(v[i].z, static_cast<float>(values[i + 1])) << Name(e) << " " << i;
      EXPECT_EQ(v[i].y, static_cast<float>(values[i + 2])) << Name(e) << " " << i;
    }
    EXPECT_TRUE(std::signbit(v[3].z)) << "-0 stays -0";
  }

  PlyElement integers{"vertex", {{"int", "x"}, {"uint32", "y"}, {"char", "z"}}, {}};
  integers.records = {{{16777217}, {4294967295.0}, {-128}}, {{-2147483648.0}, {0}, {127}}};
  PlyElement small{"vertex", {{"uchar", "x"}, {"int16", "y"}, {"ushort", "z"}}, {}};
  small.records = {{{255}, {-32768}, {65535}}};
  for (const Encoding e : kEncodings) {
    Scene scene;
    ASSERT_TRUE(Import(scene, WritePLY(e, {integers})).ok) << Name(e);
    EXPECT_EQ(scene.ModelMesh->vertices()[0], (Vec3{16777216.0f, -128, 4294967296.0f}));
    EXPECT_EQ(scene.ModelMesh->vertices()[1], (Vec3{-2147483648.0f, 127, 0}));
    Scene scene2;
    ASSERT_TRUE(Import(scene2, WritePLY(e, {small})).ok) << Name(e);
    EXPECT_EQ(scene2.ModelMesh->vertices()[0], (Vec3{255, 65535, -32768}));
  }
}

TEST(ImportPLY, FacesWithIndicesOutsideTheVertexListAreDropped) {
  PlyElement faces{"face", {{"int", "vertex_indices", "int"}}, {}};
  faces.records = {{{0, 1, 5}}, {{-1, 0, 1}}, {{2, 1, 0}}, {{0, 1, 2, 9}}};
  PlyElement reals{"face", {{"float", "vertex_indices", "short"}}, {}};
  reals.records = {{{0, 1.5, 2}}, {{1, 2, 0}}};
  for (const Encoding e : kEncodings) {
    Scene scene;
    const ImportResult r = Import(scene, WritePLY(e, {Vertices(kPoints), faces, reals}));
    ASSERT_TRUE(r.ok) << Name(e) << ": " << r.error.text;
    // Of the quad (0, 1, 2, 9) only its first triangle stays; of the reals only (1, 2, 0).
    EXPECT_EQ(r.faces, 3u);
    EXPECT_EQ(FacesOf(*scene.ModelMesh),
              (std::vector<FaceIndices>{{0, 1, 2}, {2, 1, 0}, {0, 2, 1}}))
        << Name(e);
    EXPECT_EQ(scene.ModelMesh->vertices().size(), kPoints.size());
  }
}

TEST(ImportPLY, HeaderVariants) {
  // CR LF line ends, blank lines, obj_info, aliases, extra blanks and no line break after the
  // last number.
  const std::string text =
      "ply\r\nformat   ascii 1.0\r\n\r\nobj_info a thing\r\nelement vertex 3\r\n"
      "property float32 x\r\nproperty float32 y\r\nproperty float32 z\r\n"
      "element face 1\r\ncomment here too\r\nproperty list uint8 int32 vertex_indices\r\n"
      "end_header\r\n 0 0 0\r\n1 0 0\r\n0 1 0\r\n3 0 1 2";
  Scene scene;
  const ImportResult r = Import(scene, Bytes(text));
  ASSERT_TRUE(r.ok) << r.error.text;
  EXPECT_EQ(r.faces, 1u);

  // The last record with no line break after it may be as short as its numbers and the blanks
  // between them; one byte less cannot hold it.
  const std::string point =
      "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\n"
      "property float y\nproperty float z\nend_header\n";
  Scene cloud;
  EXPECT_TRUE(Import(cloud, Bytes(point + "1 2 3")).ok);
  EXPECT_EQ(ErrorOf(Bytes(point + "1 23")),
            "Error parsing PLY file: the 1 records of element 'vertex' cannot fit in the 4 bytes "
            "left");
}

TEST(ImportPLY, HeaderErrorsNameTheirLine) {
  const std::string v = "element vertex 1\nproperty float x\nproperty float y\nproperty float z\n";
  const std::map<std::string, std::string> cases = {
      {"PLY\nformat ascii 1.0\n" + v + "end_header\n0 0 0\n",
       "the file does not begin with a \"ply\" line"},
      {"ply\nformat ascii 1.0\n" + v, "the header has no \"end_header\" line"},
      {"ply\n" + v + "end_header\n", "an \"element\" line before the \"format\" line at line 2"},
      {"ply\nend_header\n", "the header has no \"format\" line"},
      {"ply\nformat text 1.0\n", "unknown format 'text' at line 2"},
      {"ply\nformat ascii 2.0\n", "unsupported version '2.0' at line 2"},
      {"ply\nformat ascii 1.0\nproperty float x\n",
       "a \"property\" line before any \"element\" line at line 3"},
      {"ply\nformat ascii 1.0\nelement vertex 1\nproperty float128 x\n",
       "unknown type 'float128' at line 4"},
      {"ply\nformat ascii 1.0\nelement face 1\nproperty list uchar long vertex_indices\n",
       "unknown type 'long' at line 4"},
      {"ply\nformat ascii 1.0\nelement face 1\nproperty list float int vertex_indices\n",
       "a list count of type float at line 4"},
      {"ply\nformat ascii 1.0\nelement vertex -1\n",
       "an element count that is not a number of records ('-1') at line 3"},
      {"ply\nformat ascii 1.0\nelement vertex 99999999999999999999\n",
       "an element count that is not a number of records ('99999999999999999999') at line 3"},
      {"ply\nformat ascii 1.0\n" + v + v, "a second \"vertex\" element at line 7"},
      {"ply\nformat ascii 1.0\nelement vertex 0\nproperty float x\nproperty float y\n"
       "end_header\n",
       "the \"vertex\" element has no x, y or z property"},
      {"ply\nformat ascii 1.0\nelement face 0\nend_header\n", "the file has no \"vertex\" element"},
      {"ply\nformat ascii 1.0\nvertex 1\n", "unknown header line 'vertex' at line 3"},
      {"ply\nformat ascii 1.0\nelement vertex 1 2\n",
       "an \"element\" line without its name and count at line 3"},
      {"ply\nformat ascii 1.0\n" + v + "end_header now\n",
       "\"end_header\" with more on its line at line 7"},
  };
  for (const auto& [text, error] : cases)
    EXPECT_EQ(ErrorOf(Bytes(text)), "Error parsing PLY file: " + error) << text;
}

TEST(ImportPLY, AsciiNumbersMustSuitTheirTypes) {
  const std::string head =
      "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nproperty float y\n"
      "property uchar z\nend_header\n";
  EXPECT_EQ(ErrorOf(Bytes(head + "0 0 1.5\n")),
            "Error parsing PLY file: an integer expected, found '1.5' at line 8");
  EXPECT_EQ(ErrorOf(Bytes(head + "0 0 256\n")),
            "Error parsing PLY file: '256' out of the range of uchar at line 8");
  EXPECT_EQ(ErrorOf(Bytes(head + "0 0,5 1\n")),
            "Error parsing PLY file: a number expected, found '0,5' at line 8");
  EXPECT_EQ(ErrorOf(Bytes(head + "0 1e39 1\n")),
            "Error parsing PLY file: a vertex coordinate that is not a finite number in record 1 "
            "of 1 of element 'vertex'");
  EXPECT_EQ(ErrorOf(Bytes(head + "nan 0 1\n")),
            "Error parsing PLY file: a vertex coordinate that is not a finite number in record 1 "
            "of 1 of element 'vertex'");
  Scene scene;
  ASSERT_TRUE(Import(scene, Bytes(head + "+1e-50 -.5 +7\n")).ok);
  EXPECT_EQ(scene.ModelMesh->vertices()[0], (Vec3{0, 7, -0.5f}));
}

TEST(ImportPLY, NonFiniteBinaryCoordinatesAreRefused) {
  for (const double bad :
       {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(), 1e300}) {
    for (const std::string type : {"float", "double"}) {
      if (type == "float" && bad == 1e300) continue;
      for (const Encoding e : {Encoding::Little, Encoding::Big}) {
        PlyElement v = Vertices(kPoints, type);
        v.records[2][1] = {bad};
        EXPECT_EQ(ErrorOf(WritePLY(e, {v, Faces(kPolygons)})),
                  "Error parsing PLY file: a vertex coordinate that is not a finite number in "
                  "record 3 of 5 of element 'vertex'")
            << type << " " << bad;
      }
    }
  }
}

TEST(ImportPLY, ACancelKeepsWhatWasReadBeforeIt) {
  std::vector<std::vector<double>> triangles;
  for (int i = 0; i < 20; ++i)
    triangles.push_back({0, 1, 2});
  for (const Encoding e : kEncodings) {
    Scene scene;
    StatusLog log;
    Feedback fb = log.feedback();
    int calls = 0;
    // The vertices take five calls, then each face one.
    fb.processMessages = [&] {
      if (++calls == 5 + 8) AbortRequested = -1;
    };
    const ImportResult r = Import(scene, WritePLY(e, {Vertices(kPoints), Faces(triangles)}), fb);
    ASSERT_TRUE(r.ok) << Name(e);
    EXPECT_EQ(r.faces, 7u) << Name(e);
    EXPECT_EQ(scene.ModelMesh->vertices().size(), kPoints.size());
    EXPECT_EQ(AbortRequested.load(), 0);
    EXPECT_TRUE(log.Showed(2, " Press ESC to skip"));
    EXPECT_EQ(log.texts.back(), (std::pair<int, std::string>{2, ""}));
  }
}

// --- Hostile files ---------------------------------------------------------------------------

std::string GuardedOutcome(const std::vector<uint8_t>& bytes) {
  return test::GuardedReaderError(ImportPLYFromMemory, bytes);
}

TEST(ImportPLYHostile, AHeaderPromisingATrillionVerticesIsRefusedAtOnce) {
  for (const Encoding e : kEncodings) {
    const std::string header = "ply\nformat " + std::string(Name(e)) +
                               " 1.0\nelement vertex 1000000000000\nproperty float x\n"
                               "property float y\nproperty float z\nend_header\n";
    auto bytes = Bytes(header);
    bytes.resize(bytes.size() + 120, e == Encoding::Ascii ? '0' : 0);
    EXPECT_EQ(GuardedOutcome(bytes),
              "Error parsing PLY file: the 1000000000000 records of element 'vertex' cannot fit "
              "in the 120 bytes left quick small")
        << Name(e);
  }
}

TEST(ImportPLYHostile, ATrillionFacesAfterGoodVerticesAreRefusedAtOnce) {
  for (const Encoding e : kEncodings) {
    PlyElement faces = Faces({{0, 1, 2}});
    auto bytes = WritePLY(e, {Vertices(kPoints), faces});
    const std::string one = "element face 1\n";
    const auto at = std::search(bytes.begin(), bytes.end(), one.begin(), one.end());
    ASSERT_NE(at, bytes.end());
    const std::string trillion = "element face 1000000000000\n";
    bytes.erase(at, at + long(one.size()));
    bytes.insert(at, trillion.begin(), trillion.end());
    const std::string outcome = GuardedOutcome(bytes);
    EXPECT_EQ(outcome.find("Error parsing PLY file: the 1000000000000 records of element 'face' "
                           "cannot fit in the "),
              0u)
        << outcome;
    EXPECT_NE(outcome.find(" quick small"), std::string::npos) << outcome;
  }
}

TEST(ImportPLYHostile, AListCountPastTheEndIsRefused) {
  for (const Encoding e : kEncodings) {
    auto bytes = WritePLY(e, {Vertices(kPoints), Faces({{0, 1, 2}, {0, 2, 3}})});
    // The second face's count: 200 items where 3 follow.
    if (e == Encoding::Ascii) {
      const std::string last = "3 0 2 3\n";
      bytes.resize(bytes.size() - last.size());
      const std::string longer = "200 0 2 3\n";
      bytes.insert(bytes.end(), longer.begin(), longer.end());
      EXPECT_EQ(ErrorOf(bytes),
                "Error parsing PLY file: a list of 200 items runs past the end of the file at "
                "line 17");
    } else {
      bytes[bytes.size() - 13] = 200;
      EXPECT_EQ(ErrorOf(bytes),
                "Error parsing PLY file: a list of 200 items runs past the end of the file in "
                "record 2 of 2 of element 'face'");
    }
  }
  // A count of 4 billion in a uint list count, with 12 bytes left.
  PlyElement face{"face", {{"int", "vertex_indices", "uint"}}, {{{0, 1, 2}}}};
  auto bytes = WritePLY(Encoding::Little, {Vertices(kPoints), face});
  for (size_t i = bytes.size() - 16; i < bytes.size() - 12; ++i)
    bytes[i] = 0xFF;
  EXPECT_EQ(GuardedOutcome(bytes),
            "Error parsing PLY file: a list of 4294967295 items runs past the end of the file "
            "in record 1 of 1 of element 'face' quick small");
  // A negative count.
  PlyElement signedFace{"face", {{"int", "vertex_indices", "char"}}, {{{0, 1, 2}}}};
  bytes = WritePLY(Encoding::Big, {Vertices(kPoints), signedFace});
  bytes[bytes.size() - 13] = 0xFF;
  EXPECT_EQ(ErrorOf(bytes),
            "Error parsing PLY file: a negative list count in record 1 of 1 of element 'face'");
}

TEST(ImportPLYHostile, PolygonsOfShortIndicesMakeNoMoreThanTheFilesSizeAllows) {
  // 4998 triangles from a polygon of 5000 one-byte corners: more than a file of about 5 KB may
  // make. 4000 corners make few enough, unless 200 vertices follow them.
  std::vector<double> corners(5000);
  for (size_t k = 0; k < corners.size(); ++k)
    corners[k] = double(k % 3);
  const PlyElement polygon{"face", {{"uchar", "vertex_indices", "ushort"}}, {{corners}}};
  PlyElement smaller = polygon;
  smaller.records[0][0].resize(4000);
  const std::vector<Vec3> many(200, Vec3{1, 2, 3});
  const std::string more = "Error parsing PLY file: more vertices and triangles than the ";
  const std::pair<std::vector<uint8_t>, std::string> cases[] = {
      {WritePLY(Encoding::Little, {Vertices(kPoints), polygon}),
       more + "4096 a file of 5257 bytes may make in record 1 of 1 of element 'face'"},
      {WritePLY(Encoding::Ascii, {Vertices(kPoints), polygon}),
       more + "4096 a file of 10225 bytes may make in record 1 of 1 of element 'face'"},
      {WritePLY(Encoding::Big, {smaller, Vertices(many, "uchar")}),
       more + "4096 a file of 4796 bytes may make in record 1 of 200 of element 'vertex'"},
  };
  for (const auto& [bytes, error] : cases)
    EXPECT_EQ(ErrorOf(bytes), error);
  Scene scene;
  EXPECT_EQ(Import(scene, WritePLY(Encoding::Big, {smaller, Vertices(kPoints, "uchar")})).faces,
            3998u);
}

TEST(ImportPLYHostile, ManyElementsWithoutPropertiesCostNothing) {
  // Elements without properties take no bytes, whatever their counts.
  std::string text = "ply\nformat binary_little_endian 1.0\n";
  for (int i = 0; i < 1000; ++i)
    text += "element nothing" + std::to_string(i) + " 18446744073709551615\n";
  text += "element vertex 0\nproperty float x\nproperty float y\nproperty float z\nend_header\n";
  EXPECT_EQ(GuardedOutcome(Bytes(text)), "ok quick small");
}

TEST(ImportPLYHostile, LargeMeshesLoadWithProgress) {
  std::vector<Vec3> points;
  std::vector<std::vector<double>> polygons;
  for (int i = 0; i < 3000; ++i) {
    points.push_back({float(i % 50), float(i / 50), float(i % 7)});
    if (i >= 3) polygons.push_back({double(i - 3), double(i - 2), double(i - 1), double(i)});
  }
  for (const Encoding e : kEncodings) {
    Scene scene;
    StatusLog log;
    const ImportResult r =
        Import(scene, WritePLY(e, {Vertices(points), Faces(polygons)}), log.feedback());
    ASSERT_TRUE(r.ok) << r.error.text;
    EXPECT_EQ(r.faces, 2 * polygons.size());
    ExpectPool(*scene.ModelMesh, points);
    ASSERT_FALSE(log.percents.empty());
    for (size_t i = 0; i + 2 < log.percents.size(); ++i)
      EXPECT_LT(log.percents[i], log.percents[i + 1]) << Name(e);
    EXPECT_EQ(log.percents.back(), 0);
    for (int p : log.percents)
      EXPECT_TRUE(p >= 0 && p <= 100);
  }
}

}  // namespace
}  // namespace quarvel
