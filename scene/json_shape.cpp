#include "json_shape.h"

#include <algorithm>
#include <charconv>

namespace quarvel {
namespace {

// The code unit of the four hex digits at `at`, or -1 when there are not four.
int32_t CodeUnit(std::string_view raw, size_t at) {
  if (at + 4 > raw.size()) return -1;
  int32_t unit = 0;
  for (size_t k = at; k < at + 4; ++k) {
    const char c = raw[k];
    const int digit = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
    if (digit < 0) return -1;
    unit = unit * 16 + digit;
  }
  return unit;
}

// The character that a backslash and `e` stand for: '"', '\\' and '/' stand for themselves, as
// does the letter of a broken escape.
char SimpleEscape(char e) {
  switch (e) {
    case 'b':
      return '\b';
    case 'f':
      return '\f';
    case 'n':
      return '\n';
    case 'r':
      return '\r';
    case 't':
      return '\t';
    default:
      return e;
  }
}

void AppendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
    return;
  }
  const int tail = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
  const uint32_t lead[] = {0, 0xC0, 0xE0, 0xF0};
  out += static_cast<char>(lead[tail] | c >> (6 * tail));
  for (int k = tail - 1; k >= 0; --k)
    out += static_cast<char>(0x80 | (c >> (6 * k) & 0x3F));
}

// An unsigned integer token that fits in 64 bits, as the parser reads it.
std::optional<uint64_t> UnsignedToken(std::string_view token) {
  uint64_t value = 0;
  const char* end = token.data() + token.size();
  if (token.empty() || token[0] < '0' || token[0] > '9') return std::nullopt;
  const auto [stop, ec] = std::from_chars(token.data(), end, value);
  if (ec != std::errc() || stop != end) return std::nullopt;
  return value;
}

bool EndsToken(char c) {
  return c == ',' || c == '}' || c == ']' || c == ' ' || c == '\t' || c == '\n' || c == '\r' ||
         c == ':' || c == '{' || c == '[' || c == '"';
}

class Scanner {
 public:
  explicit Scanner(std::string_view json) : json_(json) {}

  JsonShape Run() {
    for (size_t i = 0; i < json_.size(); ++i) {
      const char c = json_[i];
      if (inString_) {
        InString(c, i);
        continue;
      }
      switch (c) {
        case '"':
          inString_ = true;
          stringStart_ = i + 1;
          CountElement();
          break;
        case '{':
        case '[':
          Open(c);
          break;
        case '}':
        case ']':
          if (!open_.empty()) open_.pop_back();
          if (open_.size() < 2) {
            elements_ = nullptr;
            inBuffers_ = false;
          }
          afterColon_ = false;
          break;
        case ',':
          ++shape_.separators;
          if (open_.size() == 2 && elements_) ++*elements_;
          afterColon_ = false;
          break;
        case ':':
          ++shape_.separators;
          if (open_.size() == 1 && lastKey_ == "buffers") shape_.buffers.clear();
          afterColon_ = InBufferObject();
          break;
        case ' ':
        case '\t':
        case '\n':
        case '\r':
          break;
        default:
          // A scalar: an element of a top-level array makes it non-empty; a buffer's member
          // value is noted.
          CountElement();
          if (afterColon_ && InBufferObject()) i = BufferScalar(i) - 1;
          break;
      }
    }
    return std::move(shape_);
  }

 private:
  void InString(char c, size_t i) {
    if (escaped_) {
      escaped_ = false;
    } else if (c == '\\') {
      escaped_ = true;
    } else if (c == '"') {
      inString_ = false;
      const std::string_view raw = json_.substr(stringStart_, i - stringStart_);
      if (open_.size() == 1) lastKey_ = UnescapeJsonString(raw);
      if (!InBufferObject()) return;
      if (afterColon_)
        SetMember(true, raw);
      else
        memberKey_ = UnescapeJsonString(raw);
    }
  }

  void Open(char c) {
    ++shape_.separators;
    if (c == '{') ++shape_.objects;
    CountElement();
    if (afterColon_ && InBufferObject()) SetMember(false, {});
    open_.push_back(c);
    shape_.depth = std::max(shape_.depth, open_.size());
    if (open_.size() == 2 && c == '[' && open_.front() == '{') {
      elements_ = &shape_.topLevelElements[lastKey_];
      inBuffers_ = lastKey_ == "buffers";
    }
    if (open_.size() == 3 && inBuffers_ && c == '{') {
      // A buffer takes at least the 16 bytes of {"byteLength":0}: the parser refuses an array of
      // more elements than that at one of them, and so never reaches those not noted.
      recording_ = shape_.buffers.size() <= json_.size() / 16;
      if (recording_) shape_.buffers.emplace_back();
      memberKey_.clear();
    }
  }

  // The first value in a top-level array makes its count one; each comma adds one more.
  void CountElement() {
    if (open_.size() == 2 && elements_ && *elements_ == 0) *elements_ = 1;
  }

  // In the object of a buffer noted, at the level of its members.
  bool InBufferObject() const {
    return inBuffers_ && recording_ && open_.size() == 3 && open_.back() == '{';
  }

  // Notes the scalar value that starts at `start`; returns where it ends.
  size_t BufferScalar(size_t start) {
    size_t end = start;
    while (end < json_.size() && !EndsToken(json_[end]))
      ++end;
    SetMember(false, json_.substr(start, end - start));
    return end;
  }

  // The value of the current member of a buffer: a string as written, a scalar token, or an
  // array or object (an empty token).
  void SetMember(bool isString, std::string_view value) {
    afterColon_ = false;
    JsonBuffer& buffer = shape_.buffers.back();
    if (memberKey_ == "uri") buffer.uri = isString ? std::optional(value) : std::nullopt;
    if (memberKey_ == "byteLength")
      buffer.byteLength = isString ? std::nullopt : UnsignedToken(value);
  }

  const std::string_view json_;
  JsonShape shape_;
  std::vector<char> open_;  // the brackets open now
  bool inString_ = false;
  bool escaped_ = false;  // the previous character of the string was an unescaped backslash
  size_t stringStart_ = 0;
  std::string lastKey_;         // the last string closed at the outermost object's level
  size_t* elements_ = nullptr;  // the count of the top-level array open now, if any
  bool inBuffers_ = false;      // the top-level array open now is "buffers"
  bool recording_ = false;      // the buffer open now is noted
  std::string memberKey_;       // the name of the buffer member being read
  bool afterColon_ = false;     // a buffer member's value comes next
};

}  // namespace

JsonShape ScanJson(std::string_view json) {
  return Scanner(json).Run();
}

std::string UnescapeJsonString(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '\\' || i + 1 == raw.size()) {
      out += raw[i];
      continue;
    }
    const char e = raw[++i];
    if (e != 'u') {
      out += SimpleEscape(e);
      continue;
    }
    const int32_t unit = CodeUnit(raw, i + 1);
    if (unit < 0) {
      out += e;
      continue;
    }
    i += 4;
    uint32_t c = static_cast<uint32_t>(unit);
    if (unit >= 0xD800 && unit < 0xDC00 && raw.substr(i + 1, 2) == "\\u") {
      const int32_t low = CodeUnit(raw, i + 3);
      if (low >= 0xDC00 && low < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + static_cast<uint32_t>(low - 0xDC00);
        i += 6;
      }
    }
    AppendUtf8(out, c);
  }
  return out;
}

}  // namespace quarvel
