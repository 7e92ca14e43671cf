// Small text helpers shared by the settings and language code.
#pragma once

#include <string>
#include <string_view>

namespace quarvel {

// Without blanks (spaces and tabs) at either end.
inline std::string_view Trim(std::string_view s) {
  const size_t first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

inline char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// Equal when compared without regard to (ASCII) letter case.
inline bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

// Every occurrence of `from` replaced by `to`, scanning left to right; inserted text is not
// scanned again.
inline std::string ReplaceAll(std::string_view s, std::string_view from, std::string_view to) {
  std::string out;
  size_t pos = 0;
  for (size_t at; (at = s.find(from, pos)) != std::string_view::npos; pos = at + from.size()) {
    out.append(s, pos, at - pos);
    out.append(to);
  }
  out.append(s.substr(pos));
  return out;
}

}  // namespace quarvel
