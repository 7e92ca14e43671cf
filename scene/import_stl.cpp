// Reading STL files, binary and ASCII, into the scene's mesh (see model_formats.h).
//
// Which kind a file is: one whose size is exactly 84 + 50 * (the count at bytes 80 to 83) is
// binary, even when it begins with "solid" as many binary files do; otherwise one that begins
// with "solid" (any case, after optional blanks, and after a UTF-8 byte order mark that some
// editors write) is ASCII; anything else is refused. A binary file is checked whole before
// anything is allocated for it, so that a count its size does not match (2^32 - 1 triangles in
// 84 bytes) is refused at once.
//
// STL shares no vertices: each triangle's three corners go into the pool as they are, in file
// order, and the triangle (a, b, c) is added as (c, b, a) over the scene points (x, z, y). The
// normals and the attribute words are not used. A vertex coordinate that is not a finite number
// (NaN or infinite; in ASCII also a number too large for a float) refuses the file, and so does
// every departure from the ASCII grammar:
//   solid [name]
//     facet [normal nx ny nz]      (the normal may be left out; its numbers are not checked)
//       outer loop
//         vertex x y z             (exactly three)
//       endloop
//     endfacet
//   endsolid [name]
// Keywords are matched in any case; several solids may follow one another; numbers are read with
// std::from_chars, exactly rounded to float and independent of the locale (a leading "+" is
// allowed, a number too small for a float is its zero). The errors are "Error parsing STL file"
// with what was found, and its line for ASCII, as the reason. A file that fails as ASCII but holds
// control bytes is taken for a binary file of the wrong size and reported as such.
//
// A failed load adds nothing to the mesh. A cancel (AbortRequested) keeps the triangles read
// before it.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "base/file_io.h"
#include "import_finish.h"
#include "import_text.h"
#include "model_formats.h"

namespace quarvel {
namespace {

using import_text::IsKeyword;
using import_text::Number;
using import_text::Quoted;

constexpr uint64_t kBinaryHeader = 84;
constexpr uint64_t kBinaryRecord = 50;
// Each triangle brings three vertices, and the pool's indices are 32-bit.
constexpr uint64_t kMaxTriangles = 0xFFFFFFFFull / 3;
// The triangles handed to the mesh at once when a binary file is read.
constexpr size_t kBatch = 4096;

struct Failure {
  std::string detail;
};

bool Aborted() {
  return AbortRequested.load(std::memory_order_relaxed) != 0;
}

bool BeginsWithSolid(std::span<const uint8_t> file) {
  file = import_text::AfterByteOrderMark(file);
  size_t i = 0;
  while (i < file.size() && import_text::IsBlank(static_cast<char>(file[i])))
    ++i;
  if (file.size() - i < 5) return false;
  return IsKeyword(std::string_view(reinterpret_cast<const char*>(file.data() + i), 5), "solid");
}

// Bytes no text file holds: NUL and the control characters other than blanks.
bool HasControlBytes(std::span<const uint8_t> file) {
  for (const uint8_t c : file)
    if (c < 0x20 && !import_text::IsBlank(static_cast<char>(c))) return true;
  return false;
}

std::string BinarySizeMismatch(std::span<const uint8_t> file) {
  const uint32_t count = LeU32(file.data() + 80);
  return "the file holds " + std::to_string(file.size()) + " bytes, where a binary STL file of " +
         std::to_string(count) + " triangles has " +
         std::to_string(kBinaryHeader + kBinaryRecord * count);
}

class Reader {
 public:
  Reader(Scene& scene, std::span<const uint8_t> file, const Feedback& fb)
      : scene_(scene), file_(file), fb_(fb) {}

  // Reads the file, or throws Failure.
  void Run() {
    if (file_.size() >= kBinaryHeader &&
        file_.size() == kBinaryHeader + kBinaryRecord * LeU32(file_.data() + 80)) {
      ReadBinary(LeU32(file_.data() + 80));
    } else if (BeginsWithSolid(file_)) {
      try {
        ReadAscii();
      } catch (const Failure&) {
        if (file_.size() >= kBinaryHeader && HasControlBytes(file_))
          throw Failure{BinarySizeMismatch(file_)};
        throw;
      }
    } else if (file_.size() >= kBinaryHeader) {
      throw Failure{BinarySizeMismatch(file_)};
    } else {
      throw Failure{
          "the file is shorter than a binary STL header and does not begin with "
          "\"solid\""};
    }
  }

  uint32_t faces() const { return faces_; }

 private:
  void ShowProgress(size_t position) {
    const int percent = static_cast<int>(uint64_t(position) * 100 / file_.size());
    if (percent != percent_) fb_.Progress(percent_ = percent);
  }

  void ReadBinary(uint32_t count) {
    if (count > kMaxTriangles)
      throw Failure{"the file has more triangles (" + std::to_string(count) +
                    ") than a mesh can hold"};
    const uint8_t* const records = file_.data() + kBinaryHeader;
    // Every coordinate is checked before anything is added.
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* p = records + kBinaryRecord * i + 12;
      for (int k = 0; k < 9; ++k)
        if (!std::isfinite(LeFloat(p + 4 * k)))
          throw Failure{"a vertex coordinate that is not a finite number in triangle " +
                        std::to_string(uint64_t(i) + 1)};
    }
    if (count > 11) fb_.Status(2, fb_.Tr(" Press ESC to skip"));
    Mesh& mesh = *scene_.ModelMesh;
    mesh.Reserve(mesh.vertices().size() + 3 * size_t(count), mesh.FaceCount() + count);
    std::vector<Vec3> vertices;
    std::vector<FaceIndices> faces;
    vertices.reserve(3 * std::min<size_t>(count, kBatch));
    faces.reserve(std::min<size_t>(count, kBatch));
    for (uint32_t i = 0; i < count; ++i) {
      fb_.ProcessMessages();
      if (Aborted()) break;
      const uint8_t* p = records + kBinaryRecord * i + 12;
      const auto base = static_cast<uint32_t>(vertices.size());
      for (int k = 0; k < 3; ++k, p += 12)
        vertices.push_back({LeFloat(p), LeFloat(p + 8), LeFloat(p + 4)});
      faces.push_back({base + 2, base + 1, base});
      if (faces.size() == kBatch) {
        Flush(vertices, faces);
        ShowProgress(kBinaryHeader + kBinaryRecord * (uint64_t(i) + 1));
      }
    }
    Flush(vertices, faces);
  }

  void Flush(std::vector<Vec3>& vertices, std::vector<FaceIndices>& faces) {
    faces_ += static_cast<uint32_t>(scene_.ModelMesh->AddFaces(vertices, faces));
    vertices.clear();
    faces.clear();
  }

  [[noreturn]] void Fail(const std::string& what, int64_t line) {
    throw Failure{what + " at line " + std::to_string(line)};
  }

  // The next token, which must be there.
  std::string_view Expect(import_text::Scanner& s, const char* what) {
    std::string_view token;
    if (!s.Next(token))
      Fail(std::string("the file ends where ") + what + " was expected", s.Line());
    return token;
  }

  void ExpectKeyword(import_text::Scanner& s, const char* keyword) {
    const std::string_view token = Expect(s, keyword);
    if (!IsKeyword(token, keyword))
      Fail(std::string("\"") + keyword + "\" expected, found " + Quoted(token), s.TokenLine());
  }

  // One number of a normal (`vertex` false) or a vertex.
  float ReadNumber(import_text::Scanner& s, bool vertex) {
    const std::string_view token = Expect(s, "a number");
    float value = 0;
    const Number n = import_text::ParseReal(token, value);
    if (n == Number::Bad) Fail("a number expected, found " + Quoted(token), s.TokenLine());
    if (vertex && (n == Number::Overflow || !std::isfinite(value)))
      Fail("a vertex coordinate that is not a finite number (" + Quoted(token) + ")",
           s.TokenLine());
    return value;
  }

  void StartSolid(import_text::Scanner& s) {
    const std::string_view name = s.RestOfLine();
    if (!name.empty()) fb_.Status(0, std::string(name.substr(0, 70)));
  }

  void ReadAscii() {
    const std::span<const uint8_t> bytes = import_text::AfterByteOrderMark(file_);
    const char* const text = reinterpret_cast<const char*>(bytes.data());
    import_text::Scanner s(text, text + bytes.size());
    std::string_view token;
    s.Next(token);
    if (!IsKeyword(token, "solid")) Fail("\"solid\" expected, found " + Quoted(token), 1);
    StartSolid(s);
    for (;;) {
      if (!s.Next(token)) Fail("the file ends without \"endsolid\"", s.Line());
      if (IsKeyword(token, "facet")) {
        if (!ReadFacet(s)) break;
      } else if (IsKeyword(token, "endsolid")) {
        s.RestOfLine();
        if (!s.Next(token)) break;
        if (!IsKeyword(token, "solid"))
          Fail("\"solid\" or the end of the file expected after \"endsolid\", found " +
                   Quoted(token),
               s.TokenLine());
        StartSolid(s);
      } else {
        Fail("\"facet\" or \"endsolid\" expected, found " + Quoted(token), s.TokenLine());
      }
    }
    Mesh& mesh = *scene_.ModelMesh;
    mesh.Reserve(mesh.vertices().size() + asciiVertices_.size(),
                 mesh.FaceCount() + asciiFaces_.size());
    Flush(asciiVertices_, asciiFaces_);
  }

  // The facet after its "facet" keyword. Returns false on a cancel.
  bool ReadFacet(import_text::Scanner& s) {
    const int64_t facetLine = s.TokenLine();
    if (asciiFaces_.size() == 11) fb_.Status(2, fb_.Tr(" Press ESC to skip"));
    std::string_view token = Expect(s, "\"normal\" or \"outer\"");
    if (IsKeyword(token, "normal")) {
      for (int k = 0; k < 3; ++k)
        ReadNumber(s, false);
      token = Expect(s, "\"outer\"");
    }
    if (!IsKeyword(token, "outer"))
      Fail("\"outer\" expected, found " + Quoted(token), s.TokenLine());
    ExpectKeyword(s, "loop");
    Vec3 corners[3];
    int k = 0;
    for (;;) {
      token = Expect(s, "\"vertex\" or \"endloop\"");
      if (IsKeyword(token, "vertex")) {
        if (k == 3) Fail("a facet with more than three vertices", facetLine);
        const float x = ReadNumber(s, true);
        const float y = ReadNumber(s, true);
        const float z = ReadNumber(s, true);
        corners[k++] = {x, z, y};
      } else if (k < 3) {
        Fail("a facet without three vertices", facetLine);
      } else if (IsKeyword(token, "endloop")) {
        break;
      } else {
        Fail("\"endloop\" expected, found " + Quoted(token), s.TokenLine());
      }
    }
    ExpectKeyword(s, "endfacet");
    fb_.ProcessMessages();
    if (Aborted()) return false;
    const auto base = static_cast<uint32_t>(asciiVertices_.size());
    if (base > 0xFFFFFFFFu - 3) Fail("more vertices than a mesh can hold", facetLine);
    asciiVertices_.insert(asciiVertices_.end(), corners, corners + 3);
    asciiFaces_.push_back({base + 2, base + 1, base});
    ShowProgress(size_t(s.Position() - reinterpret_cast<const char*>(file_.data())));
    return true;
  }

  Scene& scene_;
  std::span<const uint8_t> file_;
  const Feedback& fb_;
  uint32_t faces_ = 0;  // added to the mesh
  int percent_ = 0;
  // An ASCII file's triangles until the file has been read.
  std::vector<Vec3> asciiVertices_;
  std::vector<FaceIndices> asciiFaces_;
};

}  // namespace

ImportResult ImportSTLFromMemory(Scene& scene, std::span<const uint8_t> file, const Feedback& fb) {
  Reader reader(scene, file, fb);
  return RunReader<Failure>(reader, scene, fb, "STL");
}

}  // namespace quarvel
