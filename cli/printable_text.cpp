#include "printable_text.h"

#include <cstdint>
#include <cstdio>

namespace quarvel {

namespace {

// The length of the printable character that starts at `i`: one for printable ASCII other than
// the backslash, the sequence's length for a valid UTF-8 character from U+00A0 on, else 0.
size_t PrintableLength(std::string_view text, size_t i) {
  const unsigned char c = static_cast<unsigned char>(text[i]);
  if (c >= 0x20 && c < 0x7f) return c == '\\' ? 0 : 1;
  const size_t n = c >= 0xf0 ? 4 : c >= 0xe0 ? 3 : c >= 0xc0 ? 2 : 0;
  if (n == 0 || c > 0xf4 || n > text.size() - i) return 0;
  uint32_t code = c & (0x7fu >> n);
  for (size_t k = 1; k < n; ++k) {
    const unsigned char b = static_cast<unsigned char>(text[i + k]);
    if ((b & 0xc0) != 0x80) return 0;
    code = code << 6 | (b & 0x3f);
  }
  // Below these, a sequence is overlong, or (two bytes) a C1 control.
  constexpr uint32_t kLeast[] = {0, 0, 0xa0, 0x800, 0x10000};
  const bool surrogate = code >= 0xd800 && code < 0xe000;
  return code >= kLeast[n] && code <= 0x10ffff && !surrogate ? n : 0;
}

}  // namespace

std::string PrintableText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    if (const size_t n = PrintableLength(text, i); n > 0) {
      out.append(text, i, n);
      i += n;
      continue;
    }
    const unsigned char c = static_cast<unsigned char>(text[i++]);
    if (c == '\t' || c == '\n' || c == '\r' || c == '\\') {
      out += '\\';
      out += c == '\t' ? 't' : c == '\n' ? 'n' : c == '\r' ? 'r' : '\\';
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  return out;
}

}  // namespace quarvel
