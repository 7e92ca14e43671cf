// Reading PLY files (ascii, binary_little_endian and binary_big_endian, version 1.0) into the
// scene's mesh (see model_formats.h).
//
// The header: "ply", then "format ENCODING 1.0", "element NAME COUNT", "property TYPE NAME",
// "property list COUNTTYPE ITEMTYPE NAME", "comment ..." and "obj_info ..." lines, up to
// "end_header"; lines end in LF or CR LF. The types are char uchar short ushort int uint float
// double and int8 uint8 int16 uint16 int32 uint32 float32 float64; a list's count has an integer
// type. Anything else in the header refuses the file, naming the line.
//
// The body is read element by element in file order. Of the element "vertex" (there is at most
// one, and it has scalar x, y and z of any type) each record gives the scene point (x, z, y),
// each coordinate converted to float as static_cast<float> of its value; a coordinate that is
// not a finite float then (NaN, infinite, or a double too large for a float) refuses the file.
// Every vertex goes into the pool. Of each element "face", the first list named "vertex_indices"
// or "vertex_index" gives the polygons: one of n >= 3 corners becomes n - 2 triangles (see
// PolygonTriangles), each triangle (a, b, c) added as (c, b, a); a polygon of fewer than 3
// corners is skipped. Of each element "tristrips", the same list gives triangle strips, -1
// starting a new strip: the strip's triangles (v_i, v_(i+1), v_(i+2)) for even i and
// (v_(i+1), v_i, v_(i+2)) for odd i, added the same way, those with a repeated corner (which join
// strips) left out. A face with an index outside the vertex list (also a negative one, or a
// fraction in a list of reals) is dropped, as Mesh::AddFaces drops it, and the file still loads.
// Every other element, property and list is skipped. Bytes after the last element are not read.
// A file that makes no triangles but has an "edge" element is said to hold only lines and points.
//
// Before an element is read, its COUNT records must fit in the bytes left: COUNT times the
// smallest record (the sizes of its scalars and of its lists' counts) in a binary file, two bytes
// for every scalar (a list counting as one) in an ASCII file, whose numbers are separated by
// blanks and read with std::from_chars: integers for the integer types (in their type's range),
// exactly rounded reals for float and double. A list whose items would run past the end refuses
// the file too, and so do more vertices and triangles than the bound on the mesh allows (about
// one for every 3 bytes of the file; see import_finish.h), counted before they are read. So
// memory stays a small multiple of the file's size, and a header promising 10^12 vertices or a
// polygon of 40 million one-byte corners is refused at once. The errors are "Error parsing PLY
// file" with what was found as the reason.
//
// A failed load adds nothing to the mesh. A cancel (AbortRequested) keeps the vertices and the
// faces read before it (faces over vertices not yet read are dropped).
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "import_finish.h"
#include "import_text.h"
#include "model_formats.h"
#include "polygon_triangles.h"

namespace quarvel {
namespace {

using import_text::Number;
using import_text::Quoted;

struct Failure {
  std::string detail;
};

bool Aborted() {
  return AbortRequested.load(std::memory_order_relaxed) != 0;
}

enum class Type : uint8_t { Int8, UInt8, Int16, UInt16, Int32, UInt32, Float32, Float64 };

struct TypeInfo {
  const char* name;
  const char* alias;
  uint8_t size;
  bool integral;
  double min, max;
};

constexpr TypeInfo kTypes[] = {
    {"char", "int8", 1, true, -128.0, 127.0},
    {"uchar", "uint8", 1, true, 0.0, 255.0},
    {"short", "int16", 2, true, -32768.0, 32767.0},
    {"ushort", "uint16", 2, true, 0.0, 65535.0},
    {"int", "int32", 4, true, -2147483648.0, 2147483647.0},
    {"uint", "uint32", 4, true, 0.0, 4294967295.0},
    {"float", "float32", 4, false, 0, 0},
    {"double", "float64", 8, false, 0, 0},
};

const TypeInfo& Info(Type t) {
  return kTypes[static_cast<int>(t)];
}

bool TypeOfName(std::string_view name, Type& type) {
  for (int i = 0; i < 8; ++i) {
    if (name == kTypes[i].name || name == kTypes[i].alias) {
      type = static_cast<Type>(i);
      return true;
    }
  }
  return false;
}

struct Property {
  std::string name;
  bool list = false;
  Type count = Type::UInt8;   // lists only
  Type type = Type::Float32;  // the scalar's or the list items' type
};

struct Element {
  std::string name;
  uint64_t count = 0;
  std::vector<Property> properties;
};

enum class Encoding { Ascii, LittleEndian, BigEndian };

// The header lines: the tokens of each line and its number.
class HeaderLines {
 public:
  explicit HeaderLines(std::span<const uint8_t> file)
      : p_(reinterpret_cast<const char*>(file.data())), end_(p_ + file.size()), begin_(p_) {}

  // The next line's blank-separated tokens, at most kMaxTokens of them (no line the header may
  // have holds more than five); false at the end of the file.
  static constexpr size_t kMaxTokens = 6;
  bool Next(std::vector<std::string_view>& tokens) {
    if (p_ == end_) return false;
    ++line_;
    const char* stop = p_;
    while (stop != end_ && *stop != '\n')
      ++stop;
    tokens.clear();
    for (const char* q = p_; q != stop && tokens.size() < kMaxTokens;) {
      if (import_text::IsBlank(*q)) {
        ++q;
        continue;
      }
      const char* start = q;
      while (q != stop && !import_text::IsBlank(*q))
        ++q;
      tokens.emplace_back(start, size_t(q - start));
    }
    p_ = stop == end_ ? end_ : stop + 1;
    return true;
  }

  int64_t line() const { return line_; }
  // The bytes before the next line.
  size_t offset() const { return size_t(p_ - begin_); }

 private:
  const char* p_;
  const char* end_;
  const char* begin_;
  int64_t line_ = 0;
};

[[noreturn]] void Fail(const std::string& what) {
  throw Failure{what};
}

[[noreturn]] void FailAt(const std::string& what, int64_t line) {
  throw Failure{what + " at line " + std::to_string(line)};
}

struct Header {
  Encoding encoding = Encoding::Ascii;
  std::vector<Element> elements;
  size_t bodyOffset = 0;
  int64_t bodyLine = 1;  // the line the body begins on (ASCII)
};

Header ReadHeader(std::span<const uint8_t> file) {
  HeaderLines lines(file);
  std::vector<std::string_view> t;
  if (!lines.Next(t) || t.size() != 1 || t[0] != "ply")
    Fail("the file does not begin with a \"ply\" line");
  Header h;
  bool haveFormat = false;
  for (;;) {
    if (!lines.Next(t)) Fail("the header has no \"end_header\" line");
    const int64_t line = lines.line();
    if (t.empty()) continue;
    const std::string_view key = t[0];
    if (key == "comment" || key == "obj_info") continue;
    if (key == "end_header") {
      if (t.size() != 1) FailAt("\"end_header\" with more on its line", line);
      if (!haveFormat) Fail("the header has no \"format\" line");
      h.bodyOffset = lines.offset();
      h.bodyLine = line + 1;
      return h;
    }
    if (key == "format") {
      if (haveFormat || !h.elements.empty()) FailAt("a \"format\" line out of place", line);
      if (t.size() != 3) FailAt("a \"format\" line without its encoding and version", line);
      if (t[1] == "ascii") {
        h.encoding = Encoding::Ascii;
      } else if (t[1] == "binary_little_endian") {
        h.encoding = Encoding::LittleEndian;
      } else if (t[1] == "binary_big_endian") {
        h.encoding = Encoding::BigEndian;
      } else {
        FailAt("unknown format " + Quoted(t[1]), line);
      }
      if (t[2] != "1.0") FailAt("unsupported version " + Quoted(t[2]), line);
      haveFormat = true;
    } else if (key == "element") {
      if (!haveFormat) FailAt("an \"element\" line before the \"format\" line", line);
      if (t.size() != 3) FailAt("an \"element\" line without its name and count", line);
      Element e;
      e.name = std::string(t[1]);
      const auto [end, ec] = std::from_chars(t[2].data(), t[2].data() + t[2].size(), e.count);
      if (ec != std::errc() || end != t[2].data() + t[2].size())
        FailAt("an element count that is not a number of records (" + Quoted(t[2]) + ")", line);
      if (e.name == "vertex")
        for (const Element& other : h.elements)
          if (other.name == "vertex") FailAt("a second \"vertex\" element", line);
      h.elements.push_back(std::move(e));
    } else if (key == "property") {
      if (h.elements.empty()) FailAt("a \"property\" line before any \"element\" line", line);
      Property p;
      if (t.size() >= 2 && t[1] == "list") {
        if (t.size() != 5)
          FailAt(
              "a \"property list\" line without count type, item type and "
              "name",
              line);
        p.list = true;
        if (!TypeOfName(t[2], p.count)) FailAt("unknown type " + Quoted(t[2]), line);
        if (!TypeOfName(t[3], p.type)) FailAt("unknown type " + Quoted(t[3]), line);
        if (!Info(p.count).integral)
          FailAt("a list count of type " + std::string(Info(p.count).name), line);
        p.name = std::string(t[4]);
      } else {
        if (t.size() != 3) FailAt("a \"property\" line without its type and name", line);
        if (!TypeOfName(t[1], p.type)) FailAt("unknown type " + Quoted(t[1]), line);
        p.name = std::string(t[2]);
      }
      h.elements.back().properties.push_back(std::move(p));
    } else {
      FailAt("unknown header line " + Quoted(key), line);
    }
  }
}

// Where the records of an element are read from, and the number of the record being read, so
// that a failure can say where it is.
struct Place {
  const Element* element = nullptr;
  uint64_t record = 0;
  std::string Where() const {
    return "record " + std::to_string(record + 1) + " of " + std::to_string(element->count) +
           " of element " + Quoted(element->name);
  }
};

// The records of a binary body. Every number is read as a double, which holds each of the
// types' values exactly.
class BinarySource {
 public:
  BinarySource(std::span<const uint8_t> file, size_t offset, bool bigEndian, const Place& place)
      : file_(file),
        pos_(offset),
        swap_(bigEndian != (std::endian::native == std::endian::big)),
        place_(place) {}

  uint64_t Left() const { return file_.size() - pos_; }
  size_t Position() const { return pos_; }

  // Whether `count` records of at least `minRecord` bytes can fit in what is left.
  bool Fits(uint64_t count, uint64_t minRecord) const {
    return minRecord == 0 || count <= Left() / minRecord;
  }
  static uint64_t MinRecord(const Element& e) {
    uint64_t bytes = 0;
    for (const Property& p : e.properties)
      bytes += Info(p.list ? p.count : p.type).size;
    return bytes;
  }
  bool CanSkipWhole(const Element& e) const {
    for (const Property& p : e.properties)
      if (p.list) return false;
    return true;
  }
  // Skips `count` records of an element without lists (which fit).
  void SkipWhole(const Element& e) { pos_ += e.count * MinRecord(e); }

  double Scalar(Type t) {
    const uint8_t size = Info(t).size;
    if (size > Left()) Fail("the file ends inside " + place_.Where());
    uint8_t b[8];
    std::memcpy(b, file_.data() + pos_, size);
    pos_ += size;
    if (swap_)
      for (int i = 0; i < size / 2; ++i)
        std::swap(b[i], b[size - 1 - i]);
    switch (t) {
      case Type::Int8:
        return Get<int8_t>(b);
      case Type::UInt8:
        return Get<uint8_t>(b);
      case Type::Int16:
        return Get<int16_t>(b);
      case Type::UInt16:
        return Get<uint16_t>(b);
      case Type::Int32:
        return Get<int32_t>(b);
      case Type::UInt32:
        return Get<uint32_t>(b);
      case Type::Float32:
        return Get<float>(b);
      case Type::Float64:
        return Get<double>(b);
    }
    return 0;
  }

  // Checks that `n` items of type `t` are there.
  void ListFits(uint64_t n, Type t) const {
    if (n > Left() / Info(t).size)
      Fail("a list of " + std::to_string(n) + " items runs past the end of the file in " +
           place_.Where());
  }
  void SkipItems(uint64_t n, Type t) { pos_ += n * Info(t).size; }

 private:
  template <typename T>
  static double Get(const uint8_t* b) {
    T v;
    std::memcpy(&v, b, sizeof v);
    return static_cast<double>(v);
  }

  std::span<const uint8_t> file_;
  size_t pos_;
  bool swap_;
  const Place& place_;
};

// The records of an ASCII body: numbers separated by blanks.
class AsciiSource {
 public:
  AsciiSource(std::span<const uint8_t> file, size_t offset, int64_t line, const Place& place)
      : begin_(reinterpret_cast<const char*>(file.data())),
        scanner_(begin_ + offset, begin_ + file.size(), line),
        size_(file.size()),
        place_(place) {}

  uint64_t Left() const { return size_ - Position(); }
  size_t Position() const { return size_t(scanner_.Position() - begin_); }

  // Each scalar takes at least two bytes (a digit and a blank), but the file's last one may
  // have no blank after it.
  bool Fits(uint64_t count, uint64_t scalars) const {
    return scalars == 0 || count <= (Left() + 1) / 2 / scalars;
  }
  static uint64_t MinRecord(const Element& e) { return e.properties.size(); }
  bool CanSkipWhole(const Element& e) const { return e.properties.empty(); }
  void SkipWhole(const Element&) {}

  double Scalar(Type t) {
    std::string_view token;
    if (!scanner_.Next(token)) Fail("the file ends inside " + place_.Where());
    const TypeInfo& info = Info(t);
    if (info.integral) {
      int64_t v = 0;
      const Number n = import_text::ParseInteger(token, v);
      if (n == Number::Bad)
        FailAt("an integer expected, found " + Quoted(token), scanner_.TokenLine());
      if (n == Number::Overflow || double(v) < info.min || double(v) > info.max)
        FailAt(Quoted(token) + " out of the range of " + info.name, scanner_.TokenLine());
      return double(v);
    }
    if (t == Type::Float32) {
      float v = 0;
      const Number n = import_text::ParseReal(token, v);
      if (n == Number::Bad)
        FailAt("a number expected, found " + Quoted(token), scanner_.TokenLine());
      return n == Number::Overflow ? HUGE_VAL : double(v);
    }
    double v = 0;
    const Number n = import_text::ParseReal(token, v);
    if (n == Number::Bad) FailAt("a number expected, found " + Quoted(token), scanner_.TokenLine());
    return n == Number::Overflow ? HUGE_VAL : v;
  }

  void ListFits(uint64_t n, Type) const {
    if (n > (Left() + 1) / 2)
      FailAt("a list of " + std::to_string(n) + " items runs past the end of the file",
             scanner_.TokenLine());
  }
  void SkipItems(uint64_t n, Type t) {
    for (uint64_t i = 0; i < n; ++i)
      Scalar(t);
  }

 private:
  const char* begin_;
  import_text::Scanner scanner_;
  size_t size_;
  const Place& place_;
};

// An index as a list item gives it: a whole number in the pool's range, or one that no vertex
// list holds (the face is then dropped).
uint32_t IndexOf(double value) {
  if (value >= 0 && value < 4294967296.0 && value == std::floor(value))
    return static_cast<uint32_t>(value);
  return std::numeric_limits<uint32_t>::max();
}

class Reader {
 public:
  Reader(Scene& scene, std::span<const uint8_t> file, const Feedback& fb)
      : scene_(scene), file_(file), fb_(fb) {}

  void Run() {
    const Header header = ReadHeader(file_);
    if (header.encoding == Encoding::Ascii) {
      AsciiSource in(file_, header.bodyOffset, header.bodyLine, place_);
      ReadBody(header, in);
    } else {
      BinarySource in(file_, header.bodyOffset, header.encoding == Encoding::BigEndian, place_);
      ReadBody(header, in);
    }
    added_ =
        static_cast<uint32_t>(scene_.ModelMesh->TakeFaces(std::move(vertices_), std::move(faces_)));
  }

  uint32_t faces() const { return added_; }
  // Whether the file has edges, which the mesh has no use for.
  bool edges() const { return edges_; }

 private:
  template <typename Source>
  void ReadBody(const Header& header, Source& in) {
    bool haveVertices = false;
    for (const Element& e : header.elements) {
      place_ = {&e, 0};
      const uint64_t minRecord = Source::MinRecord(e);
      if (!in.Fits(e.count, minRecord))
        Fail("the " + std::to_string(e.count) + " records of element " + Quoted(e.name) +
             " cannot fit in the " + std::to_string(in.Left()) + " bytes left");
      edges_ = edges_ || (e.name == "edge" && e.count != 0);
      if (e.name == "vertex") {
        haveVertices = true;
        if (!ReadVertices(e, in)) return;
      } else if ((e.name == "face" || e.name == "tristrips") && FaceList(e) >= 0) {
        if (!ReadFaces(e, in, minRecord)) return;
      } else if (in.CanSkipWhole(e)) {
        in.SkipWhole(e);
      } else {
        for (place_.record = 0; place_.record < e.count; ++place_.record)
          for (const Property& p : e.properties)
            Skip(p, in);
      }
    }
    if (!haveVertices) Fail("the file has no \"vertex\" element");
  }

  template <typename Source>
  void Skip(const Property& p, Source& in) {
    if (!p.list) {
      in.Scalar(p.type);
      return;
    }
    const uint64_t n = ListCount(p, in);
    in.SkipItems(n, p.type);
  }

  template <typename Source>
  uint64_t ListCount(const Property& p, Source& in) {
    const double n = in.Scalar(p.count);
    if (n < 0) Fail("a negative list count in " + place_.Where());
    in.ListFits(uint64_t(n), p.type);
    return uint64_t(n);
  }

  // The position of the face element's list of vertex indices, or -1.
  static int FaceList(const Element& e) {
    for (size_t i = 0; i < e.properties.size(); ++i) {
      const Property& p = e.properties[i];
      if (p.list && (p.name == "vertex_indices" || p.name == "vertex_index")) return int(i);
    }
    return -1;
  }

  // Counts `items` more vertices or triangles against the bound on the mesh, before they are
  // read.
  void Count(uint64_t items) {
    if (items > allowed_ - items_) Fail(MeshTooLarge(file_.size()) + " in " + place_.Where());
    items_ += items;
  }

  void ShowProgress(size_t position) {
    const int percent = static_cast<int>(uint64_t(position) * 100 / file_.size());
    if (percent != percent_) fb_.Progress(percent_ = percent);
  }

  static constexpr const char* kAxes[3] = {"x", "y", "z"};

  // Returns false on a cancel.
  template <typename Source>
  bool ReadVertices(const Element& e, Source& in) {
    int axis[3] = {-1, -1, -1};
    for (size_t i = 0; i < e.properties.size(); ++i) {
      const Property& p = e.properties[i];
      for (int k = 0; k < 3; ++k)
        if (p.name == kAxes[k] && axis[k] < 0) {
          if (p.list) Fail("the vertex property " + Quoted(p.name) + " is a list");
          axis[k] = int(i);
        }
    }
    if (axis[0] < 0 || axis[1] < 0 || axis[2] < 0)
      Fail("the \"vertex\" element has no x, y or z property");
    Count(e.count);
    vertices_.reserve(e.count);
    float xyz[3] = {0, 0, 0};
    for (place_.record = 0; place_.record < e.count; ++place_.record) {
      fb_.ProcessMessages();
      if (Aborted()) return false;
      for (size_t i = 0; i < e.properties.size(); ++i) {
        const Property& p = e.properties[i];
        if (p.list) {
          Skip(p, in);
          continue;
        }
        const double value = in.Scalar(p.type);
        for (int k = 0; k < 3; ++k) {
          if (axis[k] != int(i)) continue;
          xyz[k] = static_cast<float>(value);
          if (!std::isfinite(xyz[k]))
            Fail("a vertex coordinate that is not a finite number in " + place_.Where());
        }
      }
      vertices_.push_back({xyz[0], xyz[2], xyz[1]});
      ShowProgress(in.Position());
    }
    return true;
  }

  // Returns false on a cancel.
  template <typename Source>
  bool ReadFaces(const Element& e, Source& in, uint64_t minRecord) {
    const int list = FaceList(e);
    const Type itemType = e.properties[size_t(list)].type;
    const bool strips = e.name == "tristrips";
    if (e.count > 11) fb_.Status(2, fb_.Tr(" Press ESC to skip"));
    // Room for as many triangles as the records could hold, three items each.
    uint64_t minTriangle = minRecord + 3 * Info(itemType).size;
    if constexpr (std::is_same_v<Source, AsciiSource>) minTriangle = 2 * (minRecord + 3);
    faces_.reserve(faces_.size() +
                   std::min({e.count, in.Left() / minTriangle + 1, allowed_ - items_}));
    for (place_.record = 0; place_.record < e.count; ++place_.record) {
      fb_.ProcessMessages();
      if (Aborted()) return false;
      for (size_t i = 0; i < e.properties.size(); ++i) {
        const Property& p = e.properties[i];
        if (int(i) != list) {
          Skip(p, in);
          continue;
        }
        const uint64_t n = ListCount(p, in);
        if (n >= 3) Count(n - 2);
        if (strips) {
          ReadStrips(n, p.type, in);
          continue;
        }
        corners_.clear();
        for (uint64_t k = 0; k < n; ++k)
          corners_.push_back(IndexOf(in.Scalar(p.type)));
        polygons_.Append(vertices_, corners_, faces_);
      }
      ShowProgress(in.Position());
    }
    return true;
  }

  // The triangles of a list of n strip indices.
  template <typename Source>
  void ReadStrips(uint64_t n, Type type, Source& in) {
    uint32_t a = 0, b = 0;
    uint64_t inStrip = 0;  // the corners of the strip so far
    for (uint64_t k = 0; k < n; ++k) {
      const double value = in.Scalar(type);
      if (value == -1) {
        inStrip = 0;
        continue;
      }
      const uint32_t c = IndexOf(value);
      if (inStrip >= 2 && a != b && b != c && a != c)
        faces_.push_back(inStrip % 2 == 0 ? FaceIndices{c, b, a} : FaceIndices{c, a, b});
      a = b;
      b = c;
      ++inStrip;
    }
  }

  Scene& scene_;
  std::span<const uint8_t> file_;
  const Feedback& fb_;
  Place place_;
  int percent_ = 0;
  std::vector<Vec3> vertices_;
  std::vector<FaceIndices> faces_;
  std::vector<uint32_t> corners_;  // the polygon being read
  PolygonTriangles polygons_;
  bool edges_ = false;
  const uint64_t allowed_ = MeshItemsAllowed(file_.size());
  uint64_t items_ = 0;  // the vertices and triangles counted so far
  uint32_t added_ = 0;
};

}  // namespace

ImportResult ImportPLYFromMemory(Scene& scene, std::span<const uint8_t> file, const Feedback& fb) {
  Reader reader(scene, file, fb);
  ImportResult result = RunReader<Failure>(reader, scene, fb, "PLY");
  if (result.ok && result.faces == 0 && reader.edges()) result.warning = "only lines and points";
  return result;
}

}  // namespace quarvel
