// Reading Wavefront .obj files into the scene's mesh: geometry only. tinyobjloader parses the text
// line by line and hands over each vertex and each face as it reads them, so that nothing but the
// mesh itself is kept; its whole-file interface would keep about 180 bytes per face besides.
// Polygons are fanned here from their first corner. Material libraries (mtllib) are never read,
// so the library opens no file.
#include <tiny_obj_loader.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <istream>
#include <limits>
#include <optional>
#include <streambuf>
#include <type_traits>
#include <vector>

#include "import_finish.h"
#include "model_formats.h"

namespace quarvel {
namespace {

// The library's numbers are floats, the type the mesh stores: its parser reads each one as a
// double and rounds it once to the float.
static_assert(std::is_same_v<tinyobj::real_t, float>);

constexpr const char* kParseError = "Error parsing OBJ file";
// The parser gets the file in pieces of about this size; between two pieces the import reports
// its progress, processes pending messages and looks for a cancel.
constexpr ptrdiff_t kPieceBytes = ptrdiff_t(1) << 16;
// Pool indices and face counts are 32-bit.
constexpr size_t kMaxCount = std::numeric_limits<uint32_t>::max();

bool Aborted() {
  return AbortRequested.load(std::memory_order_relaxed) != 0;
}

// The file's bytes as the parser's stream, handed over a piece at a time. Each piece ends after a
// line break (or at the end of the file), so that a cancel between two pieces ends the text after
// a whole line: the parser then sees the end of its stream.
class PieceBuffer : public std::streambuf {
 public:
  PieceBuffer(std::span<const uint8_t> file, const Feedback& fb)
      : begin_(reinterpret_cast<const char*>(file.data())),
        end_(begin_ + file.size()),
        next_(begin_),
        fb_(fb) {}

 protected:
  int_type underflow() override {
    if (next_ == end_) return traits_type::eof();
    fb_.Progress(static_cast<int>((next_ - begin_) * 100 / (end_ - begin_)));
    fb_.ProcessMessages();
    if (Aborted()) return traits_type::eof();
    const char* last = next_ + std::min(kPieceBytes, end_ - next_);
    while (last != end_ && last[-1] != '\n' && last[-1] != '\r')
      ++last;
    // The get area is only ever read: a stream buffer's interface takes it without const.
    char* first = const_cast<char*>(next_);
    setg(first, first, const_cast<char*>(last));
    next_ = last;
    return traits_type::to_int_type(*first);
  }

 private:
  const char* begin_;
  const char* end_;
  const char* next_;  // the first byte not yet handed over
  const Feedback& fb_;
};

// What the parser's callbacks collect: every vertex in scene coordinates and the triangles over
// them, with what makes the file unusable.
struct ObjContents {
  std::vector<Vec3> vertices;
  std::vector<FaceIndices> triangles;
  std::vector<uint32_t> corners;  // the current polygon's corners as pool indices
  bool finite = true;             // every coordinate is a finite float
  bool tooMany = false;           // more vertices or triangles than 32-bit counts hold
};

// The file's y-up, right-handed point (x, y, z) is the scene point (x, y, -z).
void OnVertex(void* data, float x, float y, float z, float /*w*/) {
  ObjContents& c = *static_cast<ObjContents*>(data);
  c.finite = c.finite && std::isfinite(x) && std::isfinite(y) && std::isfinite(z);
  if (c.vertices.size() == kMaxCount) {
    c.tooMany = true;
    return;
  }
  c.vertices.push_back({x, y, -z});
}

// A corner's vertex as a pool index. The file counts from 1; a negative index counts back from
// the last vertex read so far. 0 and indices before the first vertex name no vertex. An index past
// the last vertex is kept: the mesh drops the faces that use it.
std::optional<uint32_t> PoolIndex(int index, size_t verticesSoFar) {
  if (index > 0) return static_cast<uint32_t>(index - 1);
  const auto back = static_cast<size_t>(-int64_t(index));
  if (index < 0 && back <= verticesSoFar) return static_cast<uint32_t>(verticesSoFar - back);
  return std::nullopt;
}

// A polygon of n corners is n - 2 triangles fanned from its first corner. Each triangle (a, b, c)
// is added as (c, b, a), which keeps its front on the same side once z is mirrored. A polygon with
// a corner that names no vertex is dropped whole.
void OnFace(void* data, tinyobj::index_t* indices, int count) {
  ObjContents& c = *static_cast<ObjContents*>(data);
  c.corners.clear();
  for (int k = 0; k < count; ++k) {
    const std::optional<uint32_t> index = PoolIndex(indices[k].vertex_index, c.vertices.size());
    if (!index) return;
    c.corners.push_back(*index);
  }
  if (count < 3) return;
  if (c.triangles.size() + size_t(count - 2) > kMaxCount) {
    c.tooMany = true;
    return;
  }
  for (size_t k = 1; k + 1 < c.corners.size(); ++k)
    c.triangles.push_back({c.corners[k + 1], c.corners[k], c.corners[0]});
}

// Why the collected contents cannot be used; empty when they can.
std::string Unusable(const ObjContents& c) {
  if (!c.finite) return "a vertex coordinate is out of the range of a float";
  if (c.tooMany) return "more than 4294967295 vertices or triangles";
  return "";
}

}  // namespace

ImportResult ImportOBJFromMemory(Scene& scene, std::span<const uint8_t> file, const Feedback& fb) {
  AbortRequested = 0;
  if (ptrdiff_t(file.size()) > kPieceBytes) fb.Status(2, fb.Tr(" Press ESC to skip"));
  ObjContents contents;
  PieceBuffer pieces(file, fb);
  std::istream text(&pieces);
  tinyobj::callback_t callbacks;
  callbacks.vertex_cb = OnVertex;
  callbacks.index_cb = OnFace;
  // Without a material reader the parser skips mtllib lines.
  const bool parsed = tinyobj::LoadObjWithCallback(text, callbacks, &contents);
  AbortRequested = 0;
  const std::string why = parsed ? Unusable(contents) : "the parser refused the file";
  if (!why.empty()) {
    fb.Status(2, "");
    fb.Progress(0);
    return {false, 0, {kParseError, "", why}};
  }
  Mesh& mesh = *scene.ModelMesh;
  mesh.Reserve(mesh.vertices().size() + contents.vertices.size(),
               mesh.faces().size() + contents.triangles.size());
  const auto faces = static_cast<uint32_t>(mesh.AddFaces(contents.vertices, contents.triangles));
  FinishImport(scene, faces, fb);
  return {true, faces, {}};
}

}  // namespace quarvel
