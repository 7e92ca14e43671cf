#include "ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <optional>
#include <vector>

#include "base/file_io.h"
#include "text_util.h"

namespace quarvel {

namespace {

// One line of the file as it stands, with what it means.
struct Line {
  std::string text;  // without its line end
  enum Kind { Other, Section, Entry } kind = Other;
  std::string name;  // section name or key, trimmed
  std::string value;
};

Line ParseLine(std::string text) {
  Line line;
  line.text = std::move(text);
  const std::string_view t = Trim(line.text);
  if (t.empty() || t[0] == ';') return line;
  if (t[0] == '[') {
    const size_t close = t.find(']');
    line.kind = Line::Section;
    line.name = Trim(t.substr(1, close == std::string_view::npos ? t.npos : close - 1));
  } else if (const size_t eq = t.find('='); eq != std::string_view::npos) {
    line.kind = Line::Entry;
    line.name = Trim(t.substr(0, eq));
    line.value = Trim(t.substr(eq + 1));
  }
  return line;
}

struct Contents {
  std::vector<Line> lines;
  std::string eol = "\n";
  bool exists = false;
};

// Reads and splits the file. Returns nothing when it exists but cannot be read.
std::optional<Contents> Load(const std::string& path) {
  Contents c;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return c;
    return std::nullopt;
  }
  std::string data;
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    data.append(buf, size_t(n));
  }
  ::close(fd);
  c.exists = true;
  size_t start = data.starts_with("\xEF\xBB\xBF") ? 3 : 0;  // skip a UTF-8 byte-order mark
  while (start < data.size()) {
    size_t end = data.find('\n', start);
    if (end == std::string::npos) end = data.size();
    std::string text = data.substr(start, end - start);
    if (!text.empty() && text.back() == '\r') {
      text.pop_back();
      if (c.lines.empty()) c.eol = "\r\n";  // keep the file's own line ends
    }
    c.lines.push_back(ParseLine(std::move(text)));
    start = end + 1;
  }
  return c;
}

bool Writable(const struct stat& st) {
  return (st.st_mode & 0222) != 0;
}

// Replaces the file with `c`, unless it or its folder is read-only.
bool SaveContents(const std::string& path, const Contents& c) {
  std::string target = path;
  struct stat st {};
  mode_t mode = 0644;
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char real[PATH_MAX];
    if (!::realpath(path.c_str(), real)) return false;
    target = real;
  }
  if (::stat(target.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode) || !Writable(st)) return false;
    mode = st.st_mode & 07777;
  }
  const size_t slash = target.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  if (::stat(folder.c_str(), &st) != 0 || !Writable(st)) return false;

  std::string text;
  for (const Line& line : c.lines)
    text += line.text + c.eol;
  const std::span bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  return ReplaceFile(target, {bytes}, mode) == ReplaceResult::Ok;
}

// Values with blanks at either end, or that would lose a pair of quotes, keep them in quotes.
std::string Quoted(std::string_view value) {
  std::string v(value);
  for (char& ch : v)
    if (ch == '\n' || ch == '\r') ch = ' ';  // a value is one line
  const bool needsQuotes =
      !v.empty() && (Trim(v).size() != v.size() || (v.size() >= 2 && v.front() == v.back() &&
                                                    (v.front() == '"' || v.front() == '\'')));
  return needsQuotes ? '"' + v + '"' : v;
}

std::string Unquoted(std::string value) {
  if (value.size() >= 2 && value.front() == value.back() &&
      (value.front() == '"' || value.front() == '\''))
    value = value.substr(1, value.size() - 2);
  if (value.size() > kMaxIniValue) {
    value.resize(kMaxIniValue);
    // Do not leave half of a UTF-8 character at the cut.
    size_t end = value.size();
    while (end > 0 && (uint8_t(value[end - 1]) & 0xC0) == 0x80)
      --end;
    if (end > 0 && uint8_t(value[end - 1]) >= 0xC0) {
      const auto lead = uint8_t(value[end - 1]);
      const size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
      if (value.size() - (end - 1) < need) value.resize(end - 1);
    }
  }
  return value;
}

// The index of the line of the first section named `section`, or -1.
long FindSection(const Contents& c, std::string_view section) {
  section = Trim(section);
  for (size_t i = 0; i < c.lines.size(); ++i)
    if (c.lines[i].kind == Line::Section && EqualsNoCase(c.lines[i].name, section)) return long(i);
  return -1;
}

// One past the last line of the section starting at `header`.
size_t SectionEnd(const Contents& c, size_t header) {
  size_t i = header + 1;
  while (i < c.lines.size() && c.lines[i].kind != Line::Section)
    ++i;
  return i;
}

}  // namespace

std::string IniFile::Read(std::string_view section, std::string_view key,
                          std::string_view def) const {
  const auto c = Load(path_);
  if (!c) return std::string(def);
  const long header = FindSection(*c, section);
  if (header < 0) return std::string(def);
  for (size_t i = header + 1; i < SectionEnd(*c, header); ++i) {
    const Line& line = c->lines[i];
    if (line.kind == Line::Entry && EqualsNoCase(line.name, Trim(key))) return Unquoted(line.value);
  }
  return std::string(def);
}

bool IniFile::Write(std::string_view section, std::string_view key, std::string_view value) {
  auto c = Load(path_);
  if (!c) return false;
  std::string text(key);
  text.append("=").append(Quoted(value));
  Line entry = ParseLine(std::move(text));
  const long header = FindSection(*c, section);
  if (header < 0) {
    if (!c->lines.empty() && !c->lines.back().text.empty()) c->lines.push_back(ParseLine(""));
    std::string name = "[";
    name.append(section).append("]");
    c->lines.push_back(ParseLine(std::move(name)));
    c->lines.push_back(std::move(entry));
    return SaveContents(path_, *c);
  }
  const size_t end = SectionEnd(*c, header);
  size_t insertAt = header + 1;
  for (size_t i = header + 1; i < end; ++i) {
    Line& line = c->lines[i];
    if (line.kind == Line::Entry && EqualsNoCase(line.name, entry.name)) {
      line = std::move(entry);
      return SaveContents(path_, *c);
    }
    if (!Trim(line.text).empty()) insertAt = i + 1;  // after the section's last non-blank line
  }
  c->lines.insert(c->lines.begin() + long(insertAt), std::move(entry));
  return SaveContents(path_, *c);
}

bool IniFile::EraseSection(std::string_view section) {
  auto c = Load(path_);
  if (!c) return false;
  bool changed = false;
  for (long header; (header = FindSection(*c, section)) >= 0; changed = true)
    c->lines.erase(c->lines.begin() + header, c->lines.begin() + long(SectionEnd(*c, header)));
  return !changed || SaveContents(path_, *c);
}

bool IniFile::DeleteKey(std::string_view section, std::string_view key) {
  auto c = Load(path_);
  if (!c) return false;
  const long header = FindSection(*c, section);
  if (header < 0) return true;
  const size_t before = c->lines.size();
  const auto first = c->lines.begin() + header + 1;
  const auto last = c->lines.begin() + long(SectionEnd(*c, header));
  c->lines.erase(std::remove_if(first, last,
                                [&](const Line& l) {
                                  return l.kind == Line::Entry && EqualsNoCase(l.name, Trim(key));
                                }),
                 last);
  return c->lines.size() == before || SaveContents(path_, *c);
}

}  // namespace quarvel
