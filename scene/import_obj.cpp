// Reading Wavefront .obj files into the scene's mesh: geometry only. tinyobjloader parses the text
// line by line and hands over each vertex and each face as it reads them, so that nothing but the
// mesh itself is kept; its whole-file interface would keep about 180 bytes per face besides.
// Polygons are split into triangles here (see PolygonTriangles). Material libraries (mtllib) are
// never read, so the library opens no file. Each line is checked before the library reads it, for
// what the library would let through without a word or hold in memory at length (see LineCheck);
// a line that ends in a backslash goes on on the next line, which the library does not know, so
// the two are joined before it reads them. A UTF-8 byte order mark at the start is skipped; a
// UTF-16 file (with its byte order mark) is read as the ASCII it holds.
#include <tiny_obj_loader.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <istream>
#include <limits>
#include <streambuf>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "import_finish.h"
#include "import_text.h"
#include "model_formats.h"
#include "polygon_triangles.h"

namespace quarvel {
namespace {

// The library's numbers are floats, the type the mesh stores: its parser reads each one as a
// double and rounds it once to the float.
static_assert(std::is_same_v<tinyobj::real_t, float>);

constexpr const char* kParseError = "Error parsing OBJ file";
// The parser gets the file in pieces of about this size; between two pieces the import reports
// its progress, processes pending messages and looks for a cancel.
constexpr ptrdiff_t kPieceBytes = ptrdiff_t(1) << 16;
// The library holds a line whole, and lists as long as the line besides (its corners, 12 bytes
// for every 2 bytes of a polygon's line; its group names, 32 bytes for every 2 bytes of a "g"
// line): a line may be at most this long.
constexpr size_t kMaxLineBytes = size_t(1) << 20;

using import_text::Number;
using import_text::Quoted;

bool Aborted() {
  return AbortRequested.load(std::memory_order_relaxed) != 0;
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t';
}

// The next token of a line as the parser splits one, at blanks and tabs.
bool NextToken(std::string_view& rest, std::string_view& token) {
  size_t start = 0;
  while (start < rest.size() && IsSpace(rest[start]))
    ++start;
  if (start == rest.size()) return false;
  size_t stop = start;
  while (stop < rest.size() && !IsSpace(rest[stop]))
    ++stop;
  token = rest.substr(start, stop - start);
  rest.remove_prefix(stop);
  return true;
}

enum class Coordinate { Ok, NotNumber, NotFinite };

// What a coordinate's token is: a number the parser reads as a finite float, or one that is not a
// finite float ("nan", "inf", "1e99999", "1e39"), which the parser would turn into 0 or an
// infinity without a word, or no number at all ("x", "1.2.3"), which it reads as 0. A short token
// of digits and at most a point after an optional sign is a finite float as it stands: most
// tokens are told without being read.
Coordinate CoordinateOf(std::string_view token) {
  const std::string_view digits = token.substr(token.starts_with('-') || token.starts_with('+'));
  const bool plain = token.size() < 39 &&
                     digits.find_first_not_of("0123456789.") == std::string_view::npos &&
                     digits.find_first_of("0123456789") != std::string_view::npos &&
                     digits.find('.') == digits.rfind('.');
  if (plain) return Coordinate::Ok;
  if (token.size() > 1 && token[0] == '+') token.remove_prefix(1);
  float value = 0;
  const Number n = import_text::ParseReal(token, value);
  if (n == Number::Bad) return Coordinate::NotNumber;
  return n == Number::Overflow || !std::isfinite(value) ? Coordinate::NotFinite : Coordinate::Ok;
}

// The checks each line passes before the parser reads it, with the parser's own rules for telling
// lines apart: after blanks, "v" and a blank start a vertex, whose first three tokens are its x, y
// and z; "f" and a blank start a polygon, whose every token is a corner; a line ends at a NUL
// byte. A line is at most kMaxLineBytes long, every coordinate is a finite float, every corner's
// vertex (the token up to a "/") a whole number that names a vertex, and the file makes no more
// vertices and triangles than the bound on the mesh allows (a polygon of n corners counted as
// n - 2 triangles). A corner may name a vertex that comes later in the file: whether it names
// one at all is known at the end (see PastTheVertices).
class LineCheck {
 public:
  explicit LineCheck(uint64_t fileBytes)
      : fileBytes_(fileBytes), allowed_(MeshItemsAllowed(fileBytes)) {}

  // Checks the next line; false when it refuses the file.
  bool Check(std::string_view line) {
    ++line_;
    if (line.size() > kMaxLineBytes)
      return Refuse("a line longer than " + std::to_string(kMaxLineBytes) + " bytes");
    line = line.substr(0, line.find('\0'));
    size_t start = 0;
    while (start < line.size() && IsSpace(line[start]))
      ++start;
    if (start + 1 >= line.size() || !IsSpace(line[start + 1])) return true;
    linesOrPoints_ = linesOrPoints_ || line[start] == 'l' || line[start] == 'p';
    std::string_view rest = line.substr(start + 2);
    std::string_view token;
    if (line[start] == 'v') {
      for (int k = 0; k < 3 && NextToken(rest, token); ++k)
        switch (CoordinateOf(token)) {
          case Coordinate::NotNumber:
            return Refuse("a vertex coordinate that is not a number (" + Quoted(token) + ")");
          case Coordinate::NotFinite:
            return Refuse("a vertex coordinate that is not a finite number (" + Quoted(token) +
                          ")");
          case Coordinate::Ok:
            break;
        }
      ++vertices_;
      return Count(1);
    }
    if (line[start] != 'f') return true;
    uint64_t corners = 0;
    for (; NextToken(rest, token); ++corners)
      if (!CheckCorner(token)) return false;
    if (corners >= 3) return Count(corners - 2);
    if (shortFaces_++ == 0) firstShortFace_ = line_;
    return true;
  }

  // Counts the lines that the last one checked went on to.
  void Continued(uint64_t lines) { line_ += lines; }

  // Why a line refused the file; empty when none did.
  const std::string& refusal() const { return refusal_; }
  // Why a corner names no vertex once the file's every vertex is read: the first that names one
  // past them, with its line. Empty when none does.
  std::string PastTheVertices() const {
    for (const Forward& f : forward_)
      if (f.vertex > vertices_)
        return "a face corner past the file's " + std::to_string(vertices_) + " vertices ('" +
               std::to_string(f.vertex) + "') at line " + std::to_string(f.line);
    return "";
  }
  // What the parser passed over that draws nothing: polylines ("l") and points ("p"), which the
  // mesh has no use for, and polygons of fewer than three corners. Empty when nothing was.
  std::string Skipped(uint32_t faces) const {
    std::string skipped;
    if (linesOrPoints_)
      skipped = faces == 0 ? "only lines and points" : "its lines and points draw nothing";
    if (shortFaces_ != 0)
      skipped += (skipped.empty() ? "" : "; ") +
                 (shortFaces_ == 1 ? std::string("a face of fewer than three corners draws nothing")
                                   : std::to_string(shortFaces_) +
                                         " faces of fewer than three corners draw nothing") +
                 (shortFaces_ == 1 ? " (line " : " (the first at line ") +
                 std::to_string(firstShortFace_) + ")";
    return skipped;
  }

 private:
  // A corner that names a vertex not read yet, and its line.
  struct Forward {
    uint64_t line;
    uint64_t vertex;
  };

  bool Refuse(const std::string& why) {
    refusal_ = why + " at line " + std::to_string(line_);
    return false;
  }

  bool Count(uint64_t items) {
    if (items > allowed_ - items_) return Refuse(MeshTooLarge(fileBytes_));
    items_ += items;
    return true;
  }

  // A corner's vertex counts from 1, or back from the last vertex read so far when negative, as
  // the parser reads it (a whole number of an int). One past the vertices read so far is noted
  // when it names a later vertex than any noted before: the first corner past all of them is
  // then among those noted.
  bool CheckCorner(std::string_view corner) {
    const std::string_view number = corner.substr(0, corner.find('/'));
    const bool negative = number.starts_with('-');
    const std::string_view digits = number.substr(negative || number.starts_with('+'));
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos)
      return Refuse("a face corner that is not a vertex number (" + Quoted(number) + ")");
    uint64_t vertex = 0;
    for (const char c : digits)
      vertex = std::min<uint64_t>(vertex * 10 + uint64_t(c - '0'), uint64_t(1) << 40);
    if (vertex == 0) return Refuse("a face corner that names no vertex (" + Quoted(number) + ")");
    if (negative && vertex > vertices_)
      return Refuse("a face corner before the first vertex (" + Quoted(number) + ")");
    // The parser keeps an int: a larger number would name another vertex.
    if (vertex > uint64_t(std::numeric_limits<int>::max()))
      return Refuse("a face corner past any vertex (" + Quoted(number) + ")");
    if (!negative && vertex > vertices_ && (forward_.empty() || vertex > forward_.back().vertex))
      forward_.push_back({line_, vertex});
    return true;
  }

  uint64_t fileBytes_;
  uint64_t allowed_;
  uint64_t line_ = 0;
  uint64_t items_ = 0;     // the vertices and triangles of the lines checked so far
  uint64_t vertices_ = 0;  // the vertices of those lines
  std::vector<Forward> forward_;
  uint64_t shortFaces_ = 0;  // polygons of fewer than three corners, and the line of the first
  uint64_t firstShortFace_ = 0;
  std::string refusal_;
  bool linesOrPoints_ = false;
};

// Whether the line break at p (CR, LF or CR LF) follows a backslash, which joins the next line
// to this one.
bool Continues(const char* begin, const char* p) {
  return p != begin && p[-1] == '\\';
}

// Where a line break that begins at p ends.
const char* AfterBreak(const char* p, const char* end) {
  return p + (*p == '\r' && p + 1 != end && p[1] == '\n' ? 2 : 1);
}

// The file's bytes as the parser's stream, handed over a piece at a time, each piece checked
// first. Each piece ends after a line break (or at the end of the file) that does not follow a
// backslash, so that a cancel between two pieces ends the text after a whole line: the parser
// then sees the end of its stream. A refused piece ends the stream the same way, before the parser
// reads any of it. A piece with lines that go on is handed over as a copy with each backslash and
// the line break after it made blanks.
class PieceBuffer : public std::streambuf {
 public:
  PieceBuffer(std::span<const uint8_t> text, uint64_t fileBytes, const Feedback& fb)
      : begin_(reinterpret_cast<const char*>(text.data())),
        end_(begin_ + text.size()),
        next_(begin_),
        check_(fileBytes),
        fb_(fb) {}

  // What the checks of the pieces handed over found.
  const LineCheck& check() const { return check_; }
  // Whether a cancel ended the stream before the end of the file.
  bool cancelled() const { return cancelled_; }

 protected:
  int_type underflow() override {
    if (next_ == end_ || !check_.refusal().empty() || cancelled_) return traits_type::eof();
    fb_.Progress(static_cast<int>((next_ - begin_) * 100 / (end_ - begin_)));
    fb_.ProcessMessages();
    cancelled_ = Aborted();
    if (cancelled_) return traits_type::eof();
    const char* last = PieceEnd();
    // The get area is only ever read: a stream buffer's interface takes it without const.
    char* first = const_cast<char*>(next_);
    char* stop = const_cast<char*>(last);
    joins_.clear();
    if (HasContinuedLine(next_, last)) {
      joined_.assign(next_, last);
      JoinLines();
      first = joined_.data();
      stop = first + joined_.size();
    }
    if (!CheckLines(first, stop)) return traits_type::eof();
    setg(first, first, stop);
    next_ = last;
    return traits_type::to_int_type(*first);
  }

 private:
  // The end of the piece that begins at next_: after the first line break past kPieceBytes that
  // does not follow a backslash. A line that goes on past kMaxLineBytes more is cut there, to be
  // refused as too long.
  const char* PieceEnd() const {
    const char* last = next_ + std::min(kPieceBytes, end_ - next_);
    for (;;) {
      while (last != end_ && last[-1] != '\n' && last[-1] != '\r')
        ++last;
      if (last == end_) return last;
      const char* eol = last - 1;
      if (*eol == '\r' && *last == '\n') ++last;
      if (last == end_ || !Continues(next_, eol) ||
          size_t(last - next_) > size_t(kPieceBytes) + kMaxLineBytes)
        return last;
      ++last;
    }
  }

  static bool HasContinuedLine(const char* p, const char* last) {
    while (const auto* slash = static_cast<const char*>(std::memchr(p, '\\', size_t(last - p)))) {
      p = slash + 1;
      if (p != last && (*p == '\n' || *p == '\r')) return true;
    }
    return false;
  }

  // Makes each backslash before a line break, and the break, blanks in joined_, and notes where
  // each such break was.
  void JoinLines() {
    char* const begin = joined_.data();
    char* const end = begin + joined_.size();
    for (char* p = begin; p != end; ++p) {
      if ((*p != '\n' && *p != '\r') || !Continues(begin, p)) continue;
      const char* after = AfterBreak(p, end);
      joins_.push_back(size_t(p - begin));
      p[-1] = ' ';
      for (; p + 1 != after; ++p)
        *p = ' ';
      *p = ' ';
    }
  }

  // Checks the lines of [p, last), which ends after a line break or at the end of the file.
  bool CheckLines(const char* p, const char* last) {
    const char* const begin = p;
    size_t join = 0;
    while (p != last) {
      const auto* eol = static_cast<const char*>(std::memchr(p, '\n', size_t(last - p)));
      if (eol == nullptr) eol = last;
      if (const void* cr = std::memchr(p, '\r', size_t(eol - p)))
        eol = static_cast<const char*>(cr);
      if (!check_.Check(std::string_view(p, size_t(eol - p)))) return false;
      const size_t joined = join;
      while (join != joins_.size() && joins_[join] < size_t(eol - begin))
        ++join;
      check_.Continued(join - joined);
      p = eol == last ? last : AfterBreak(eol, last);
    }
    return true;
  }

  const char* begin_;
  const char* end_;
  const char* next_;  // the first byte not yet handed over
  LineCheck check_;
  bool cancelled_ = false;
  const Feedback& fb_;
  std::string joined_;         // the piece handed over, when it has lines that go on
  std::vector<size_t> joins_;  // where in it each line break made blanks was
};

// What the parser's callbacks collect: every vertex in scene coordinates and the triangles over
// them, and whether a coordinate came out of the parser as no finite float, which the line checks
// let through only where the parser reads a number its own way ("0e400" is NaN to it).
struct ObjContents {
  std::vector<Vec3> vertices;
  std::vector<FaceIndices> triangles;
  bool finite = true;
  std::vector<uint32_t> corners;  // the polygon being split
  PolygonTriangles polygons;
};

// The file's y-up, right-handed point (x, y, z) is the scene point (x, y, -z).
void OnVertex(void* data, float x, float y, float z, float /*w*/) {
  ObjContents& c = *static_cast<ObjContents*>(data);
  c.finite = c.finite && std::isfinite(x) && std::isfinite(y) && std::isfinite(z);
  c.vertices.push_back({x, y, -z});
}

// A corner's vertex as a pool index. The file counts from 1; a negative index counts back from
// the last vertex read so far. The line checks let through only corners that name a vertex read
// so far or one later in the file: one past the file's last vertex refuses the file once it is
// read, or, after a cancel, is kept for the mesh to drop the faces that use it.
uint32_t PoolIndex(const tinyobj::index_t& corner, size_t verticesSoFar) {
  const int index = corner.vertex_index;
  return index > 0 ? uint32_t(index - 1) : uint32_t(verticesSoFar - size_t(-int64_t(index)));
}

// A polygon of n corners is n - 2 triangles. Each triangle (a, b, c) is added as (c, b, a), which
// keeps its front on the same side once z is mirrored.
void OnFace(void* data, tinyobj::index_t* indices, int count) {
  ObjContents& c = *static_cast<ObjContents*>(data);
  c.corners.clear();
  for (int k = 0; k < count; ++k)
    c.corners.push_back(PoolIndex(indices[k], c.vertices.size()));
  c.polygons.Append(c.vertices, c.corners, c.triangles);
}

}  // namespace

ImportResult ImportOBJFromMemory(Scene& scene, std::span<const uint8_t> file, const Feedback& fb) {
  AbortRequested = 0;
  std::string ascii;  // a UTF-16 file's text
  std::span<const uint8_t> text = import_text::AfterByteOrderMark(file);
  if (import_text::IsUtf16(file)) {
    if (std::string why = import_text::Utf16ToAscii(file, ascii); !why.empty())
      return {false, 0, {ErrorKind::Import, kParseError, "", why}, {}};
    text = {reinterpret_cast<const uint8_t*>(ascii.data()), ascii.size()};
  }
  if (ptrdiff_t(file.size()) > kPieceBytes) fb.Status(2, fb.Tr(" Press ESC to skip"));
  ObjContents contents;
  PieceBuffer pieces(text, file.size(), fb);
  std::istream stream(&pieces);
  tinyobj::callback_t callbacks;
  callbacks.vertex_cb = OnVertex;
  callbacks.index_cb = OnFace;
  // Without a material reader the parser skips mtllib lines.
  const bool parsed = tinyobj::LoadObjWithCallback(stream, callbacks, &contents);
  AbortRequested = 0;
  std::string why = pieces.check().refusal();
  if (!parsed) why = "the parser refused the file";
  // A cancel keeps the faces whole so far: those that name a vertex not read are dropped.
  if (why.empty() && !pieces.cancelled()) why = pieces.check().PastTheVertices();
  if (why.empty() && !contents.finite) why = "a vertex coordinate that is not a finite number";
  if (!why.empty()) {
    fb.Status(2, "");
    fb.Progress(0);
    return {false, 0, {ErrorKind::Import, kParseError, "", why}, {}};
  }
  const auto faces = static_cast<uint32_t>(
      scene.ModelMesh->TakeFaces(std::move(contents.vertices), std::move(contents.triangles)));
  FinishImport(scene, faces, fb);
  return {true, faces, {}, pieces.check().Skipped(faces)};
}

}  // namespace quarvel
