// What the text model readers (ASCII STL, ASCII PLY, OBJ) share: numbers read from one token with
// std::from_chars (exactly rounded whatever the locale), the byte order mark skipped, UTF-16 read
// as the ASCII it holds, and a scanner that splits text into blank-separated tokens and knows the
// line each one is on.
#pragma once

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

namespace quarvel::import_text {

// How a number token read.
enum class Number { Ok, Bad, Overflow };

// A real number of type T (float or double) that is the whole token: "1", "-2.5", ".5", "5.",
// "1e-3", also with a leading "+", and "nan" and "inf", which the caller can refuse. A value too
// small for T is its zero of the same sign, as rounding gives; one too large is Overflow.
template <typename T>
Number ParseReal(std::string_view token, T& value) {
  const char* first = token.data();
  const char* const last = token.data() + token.size();
  if (first != last && *first == '+' && last - first > 1 &&
      (first[1] == '.' || (first[1] >= '0' && first[1] <= '9')))
    ++first;
  if (first == last) return Number::Bad;
  const auto [end, ec] = std::from_chars(first, last, value, std::chars_format::general);
  if (end != last) return Number::Bad;
  if (ec == std::errc()) return Number::Ok;
  if (ec != std::errc::result_out_of_range) return Number::Bad;
  // The token is a well-formed number out of T's range: its decimal magnitude tells an
  // underflow (a value below 1) from an overflow.
  const char* p = first;
  const bool negative = *p == '-';
  if (negative) ++p;
  int64_t magnitude = 0;  // the power of ten of the first significant digit, plus one
  bool seenDigit = false;
  for (; p != last && *p >= '0' && *p <= '9'; ++p) {
    if (seenDigit || *p != '0') {
      seenDigit = true;
      ++magnitude;
    }
  }
  if (p != last && *p == '.') {
    for (++p; p != last && *p >= '0' && *p <= '9'; ++p) {
      if (seenDigit) continue;
      if (*p != '0')
        seenDigit = true;
      else
        --magnitude;
    }
  }
  if (p != last && (*p == 'e' || *p == 'E')) {
    ++p;
    const bool negativeExponent = p != last && *p == '-';
    if (p != last && (*p == '-' || *p == '+')) ++p;
    int64_t exponent = 0;
    for (; p != last && *p >= '0' && *p <= '9'; ++p)
      exponent = std::min<int64_t>(exponent * 10 + (*p - '0'), int64_t(1) << 40);
    magnitude += negativeExponent ? -exponent : exponent;
  }
  if (magnitude > 0) return Number::Overflow;
  value = negative ? -T(0) : T(0);
  return Number::Ok;
}

// An integer that is the whole token, also with a leading "+".
inline Number ParseInteger(std::string_view token, int64_t& value) {
  const char* first = token.data();
  const char* const last = token.data() + token.size();
  if (first != last && *first == '+' && last - first > 1 && first[1] >= '0' && first[1] <= '9')
    ++first;
  if (first == last) return Number::Bad;
  const auto [end, ec] = std::from_chars(first, last, value);
  if (end != last) return Number::Bad;
  if (ec == std::errc::result_out_of_range) return Number::Overflow;
  return ec == std::errc() ? Number::Ok : Number::Bad;
}

// A text's bytes after the UTF-8 byte order mark that some editors put at its start.
inline std::span<const uint8_t> AfterByteOrderMark(std::span<const uint8_t> text) {
  const bool marked = text.size() >= 3 && text[0] == 0xEF && text[1] == 0xBB && text[2] == 0xBF;
  return marked ? text.subspan(3) : text;
}

// Whether a text begins with a UTF-16 byte order mark: FF FE (little-endian) or FE FF
// (big-endian).
inline bool IsUtf16(std::span<const uint8_t> text) {
  return text.size() >= 2 &&
         ((text[0] == 0xFF && text[1] == 0xFE) || (text[0] == 0xFE && text[1] == 0xFF));
}

// The ASCII characters of a UTF-16 text that begins with its byte order mark, into `ascii`: a
// model file's text is ASCII, whatever an editor saved it as. Returns why the text is no such
// ASCII (a character beyond it, or a half character at the end), naming the line; empty when it
// is.
inline std::string Utf16ToAscii(std::span<const uint8_t> text, std::string& ascii) {
  const bool big = text[0] == 0xFE;
  ascii.clear();
  ascii.reserve(text.size() / 2);
  int64_t line = 1;
  size_t i = 2;
  for (; i + 1 < text.size(); i += 2) {
    const unsigned unit = big ? text[i] << 8 | text[i + 1] : text[i + 1] << 8 | text[i];
    if (unit >= 0x80) {
      char code[8];
      std::snprintf(code, sizeof code, "%04X", unit);
      return "a UTF-16 character beyond ASCII (U+" + std::string(code) + ") at line " +
             std::to_string(line);
    }
    line += unit == '\n';
    ascii += static_cast<char>(unit);
  }
  if (i != text.size()) return "a UTF-16 text that ends inside a character";
  return {};
}

inline bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// Case-insensitive comparison with a lowercase ASCII keyword.
inline bool IsKeyword(std::string_view token, std::string_view keyword) {
  if (token.size() != keyword.size()) return false;
  for (size_t i = 0; i < token.size(); ++i) {
    char c = token[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != keyword[i]) return false;
  }
  return true;
}

// A token as a message shows it: its first 24 bytes, anything but printable ASCII as "?".
inline std::string Quoted(std::string_view token) {
  std::string s = "'";
  for (size_t i = 0; i < token.size() && i < 24; ++i)
    s += token[i] >= 0x20 && token[i] < 0x7F ? token[i] : '?';
  if (token.size() > 24) s += "...";
  return s + "'";
}

// Blank-separated tokens of a text, each with the number of the line it is on (from 1). Every
// call moves forward, so a reader built on it always comes to the end.
class Scanner {
 public:
  Scanner(const char* begin, const char* end, int64_t firstLine = 1)
      : p_(begin), end_(end), line_(firstLine), tokenLine_(firstLine) {}

  // The next token, or false at the end of the text.
  bool Next(std::string_view& token) {
    SkipBlanks();
    if (p_ == end_) return false;
    const char* start = p_;
    while (p_ != end_ && !IsBlank(*p_))
      ++p_;
    token = std::string_view(start, size_t(p_ - start));
    tokenLine_ = line_;
    return true;
  }

  // The rest of the current line without its surrounding blanks; the scanner moves to the line
  // break (not past it).
  std::string_view RestOfLine() {
    while (p_ != end_ && *p_ != '\n' && IsBlank(*p_))
      ++p_;
    const char* start = p_;
    while (p_ != end_ && *p_ != '\n')
      ++p_;
    const char* stop = p_;
    while (stop != start && IsBlank(stop[-1]))
      --stop;
    return std::string_view(start, size_t(stop - start));
  }

  // The line of the last token given (the first line before any).
  int64_t TokenLine() const { return tokenLine_; }
  // The line the scanner is on now.
  int64_t Line() const { return line_; }
  const char* Position() const { return p_; }

 private:
  void SkipBlanks() {
    for (; p_ != end_ && IsBlank(*p_); ++p_)
      if (*p_ == '\n') ++line_;
  }

  const char* p_;
  const char* end_;
  int64_t line_;
  int64_t tokenLine_;
};

}  // namespace quarvel::import_text
