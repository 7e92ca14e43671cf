#include "desktop_entry.h"

namespace quarvel {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

// Whether `s` is well-formed UTF-8 without control characters.
bool IsPrintableUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x20 || c == 0x7F) return false;
    size_t more = 0;
    uint32_t cp = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      more = 1, cp = c & 0x1Fu;
    } else if ((c & 0xF0) == 0xE0) {
      more = 2, cp = c & 0x0Fu;
    } else if ((c & 0xF8) == 0xF0) {
      more = 3, cp = c & 0x07u;
    } else {
      return false;
    }
    if (s.size() - i <= more) return false;
    for (size_t k = 1; k <= more; ++k) {
      const auto d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = cp << 6 | (d & 0x3Fu);
    }
    constexpr uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kLeast[more] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    if (cp >= 0x80 && cp < 0xA0) return false;  // C1 controls
    i += more + 1;
  }
  return true;
}

// The path as the first argument of an Exec line, escaped as a desktop file's string value. A
// path of plain characters stands as it is, since xdg-utils take the first word of an Exec line
// for the program without removing quotes; any other is quoted, with ", `, $ and \ taking a
// backslash inside the quotes. A % is doubled either way, and every backslash of the result is
// doubled again.
std::string ExecArgument(std::string_view path) {
  constexpr std::string_view kReserved = " \t\"'\\><~|&;$*?#()`=";
  const bool plain = path.find_first_of(kReserved) == std::string_view::npos;
  std::string argument = plain ? "" : "\"";
  for (const char c : path) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') argument += '\\';
    if (c == '%') argument += '%';
    argument += c;
  }
  if (!plain) argument += '"';
  std::string escaped;
  for (const char c : argument)
    escaped += c == '\\' ? std::string_view("\\\\") : std::string_view(&c, 1);
  return escaped;
}

}  // namespace

std::optional<std::string> DesktopExec(std::string_view file) {
  bool inEntry = false;
  while (!file.empty()) {
    const size_t nl = file.find('\n');
    const std::string_view line = Trim(file.substr(0, nl));
    file.remove_prefix(nl == std::string_view::npos ? file.size() : nl + 1);
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      inEntry = line == "[Desktop Entry]";
      continue;
    }
    const size_t eq = line.find('=');
    if (!inEntry || eq == std::string_view::npos || Trim(line.substr(0, eq)) != "Exec") continue;
    return std::string(Trim(line.substr(eq + 1)));
  }
  return std::nullopt;
}

std::optional<std::string> ProgramDesktopEntry(const std::string& executable,
                                               std::string_view mimeType) {
  if (executable.empty() || executable.front() != '/' || !IsPrintableUtf8(executable))
    return std::nullopt;
  std::string entry =
      "[Desktop Entry]\n"
      "Type=Application\n"
      "Name=Quarvel\n"
      "GenericName=Depth mask renderer\n"
      "Comment=Turn 3D models into depth masks for stereograms\n"
      "Exec=";
  entry += ExecArgument(executable) + " %f\n";
  entry +=
      "Icon=quarvel\n"
      "Terminal=false\n"
      "NoDisplay=true\n"
      "Categories=Graphics;3DGraphics;\n"
      "MimeType=";
  entry.append(mimeType).append(";\n");
  return entry;
}

}  // namespace quarvel
