#include "json_text.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <stdexcept>

namespace quarvel {

namespace {

bool InRange(uint8_t c, uint8_t lo, uint8_t hi) {
  return c >= lo && c <= hi;
}

// The length of the valid UTF-8 sequence starting at text[at] (a byte of 0x80 or more), or 0
// when it is not one: no overlong forms, no surrogates, nothing beyond U+10FFFF.
size_t Utf8SequenceLength(std::string_view text, size_t at) {
  const auto byte = [&](size_t k) { return static_cast<uint8_t>(text[at + k]); };
  const uint8_t lead = byte(0);
  size_t length = 0;
  uint8_t lo = 0x80, hi = 0xBF;  // the range of the second byte
  if (InRange(lead, 0xC2, 0xDF)) {
    length = 2;
  } else if (InRange(lead, 0xE0, 0xEF)) {
    length = 3;
    if (lead == 0xE0) lo = 0xA0;
    if (lead == 0xED) hi = 0x9F;
  } else if (InRange(lead, 0xF0, 0xF4)) {
    length = 4;
    if (lead == 0xF0) lo = 0x90;
    if (lead == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (text.size() - at < length || !InRange(byte(1), lo, hi)) return 0;
  for (size_t k = 2; k < length; ++k)
    if (!InRange(byte(k), 0x80, 0xBF)) return 0;
  return length;
}

}  // namespace

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<uint8_t>(text[i]);
    if (c >= 0x80) {
      const size_t length = Utf8SequenceLength(text, i);
      out += length == 0 ? std::string_view("\\ufffd") : text.substr(i, length);
      i += length == 0 ? 1 : length;
      continue;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(c));
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
    ++i;
  }
  return out + "\"";
}

std::string JsonNumber(double value, int digits) {
  if (!std::isfinite(value))
    throw std::range_error("a number that is not finite cannot be written in JSON");
  char text[40];
  std::snprintf(text, sizeof text, "%.*g", digits, value);
  return text;
}

}  // namespace quarvel
