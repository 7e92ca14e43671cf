#include "ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "base/file_io.h"
#include "text_util.h"

namespace quarvel {

namespace {

// Reads the file whole: an empty text when it is missing, nothing when it exists but cannot be
// read (errno tells why).
std::optional<std::string> ReadText(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return std::string();
    return std::nullopt;
  }
  std::string data;
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      ::close(fd);
      errno = error;
      return std::nullopt;
    }
    if (n == 0) break;
    data.append(buf, size_t(n));
  }
  ::close(fd);
  return data;
}

bool Writable(const struct stat& st) {
  return (st.st_mode & 0222) != 0;
}

// Whether the file at `target` (no link) may be replaced: a regular file with write permission,
// or none, in a folder with write permission. Sets errno when not.
bool MayReplace(const std::string& target) {
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0 && (!S_ISREG(st.st_mode) || !Writable(st))) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EACCES;
    return false;
  }
  const size_t slash = target.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  if (::stat(folder.c_str(), &st) != 0) return false;
  if (!Writable(st)) {
    errno = EACCES;
    return false;
  }
  return true;
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

}  // namespace

IniDocument::Line IniDocument::ParseLine(std::string text) {
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

std::optional<IniDocument> IniDocument::Load(const std::string& path) {
  const std::optional<std::string> data = ReadText(path);
  if (!data) return std::nullopt;
  IniDocument d;
  size_t start = data->starts_with("\xEF\xBB\xBF") ? 3 : 0;  // skip a UTF-8 byte-order mark
  while (start < data->size()) {
    size_t end = data->find('\n', start);
    if (end == std::string::npos) end = data->size();
    std::string text = data->substr(start, end - start);
    if (!text.empty() && text.back() == '\r') {
      text.pop_back();
      if (d.lines_.empty()) d.eol_ = "\r\n";  // keep the file's own line ends
    }
    d.lines_.push_back(ParseLine(std::move(text)));
    start = end + 1;
  }
  return d;
}

// The index of the line of the first section named `section`, or -1.
long IniDocument::FindSection(std::string_view section) const {
  section = Trim(section);
  for (size_t i = 0; i < lines_.size(); ++i)
    if (lines_[i].kind == Line::Section && EqualsNoCase(lines_[i].name, section)) return long(i);
  return -1;
}

// One past the last line of the section starting at `header`.
size_t IniDocument::SectionEnd(size_t header) const {
  size_t i = header + 1;
  while (i < lines_.size() && lines_[i].kind != Line::Section)
    ++i;
  return i;
}

std::string IniDocument::Read(std::string_view section, std::string_view key,
                              std::string_view def) const {
  const long header = FindSection(section);
  if (header < 0) return std::string(def);
  for (size_t i = header + 1; i < SectionEnd(header); ++i) {
    const Line& line = lines_[i];
    if (line.kind == Line::Entry && EqualsNoCase(line.name, Trim(key))) return Unquoted(line.value);
  }
  return std::string(def);
}

void IniDocument::Write(std::string_view section, std::string_view key, std::string_view value) {
  changed_ = true;
  std::string text(key);
  text.append("=").append(Quoted(value));
  Line entry = ParseLine(std::move(text));
  const long header = FindSection(section);
  if (header < 0) {
    if (!lines_.empty() && !lines_.back().text.empty()) lines_.push_back(ParseLine(""));
    std::string name = "[";
    name.append(section).append("]");
    lines_.push_back(ParseLine(std::move(name)));
    lines_.push_back(std::move(entry));
    return;
  }
  const size_t end = SectionEnd(header);
  size_t insertAt = header + 1;
  for (size_t i = header + 1; i < end; ++i) {
    Line& line = lines_[i];
    if (line.kind == Line::Entry && EqualsNoCase(line.name, entry.name)) {
      line = std::move(entry);
      return;
    }
    if (!Trim(line.text).empty()) insertAt = i + 1;  // after the section's last non-blank line
  }
  lines_.insert(lines_.begin() + long(insertAt), std::move(entry));
}

void IniDocument::EraseSection(std::string_view section) {
  for (long header; (header = FindSection(section)) >= 0; changed_ = true)
    lines_.erase(lines_.begin() + header, lines_.begin() + long(SectionEnd(size_t(header))));
}

void IniDocument::DeleteKey(std::string_view section, std::string_view key) {
  const long header = FindSection(section);
  if (header < 0) return;
  const size_t before = lines_.size();
  const auto first = lines_.begin() + header + 1;
  const auto last = lines_.begin() + long(SectionEnd(size_t(header)));
  lines_.erase(std::remove_if(first, last,
                              [&](const Line& l) {
                                return l.kind == Line::Entry && EqualsNoCase(l.name, Trim(key));
                              }),
               last);
  if (lines_.size() != before) changed_ = true;
}

bool IniDocument::Save(const std::string& path) const {
  const std::string target = LinkTarget(path);
  if (!MayReplace(target)) return false;
  std::string text;
  for (const Line& line : lines_)
    text += line.text + eol_;
  const std::span bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  const ReplaceStatus s = ReplaceFile(target, {bytes});
  errno = s.error;
  return s.result == ReplaceResult::Ok;
}

std::string IniFile::Read(std::string_view section, std::string_view key,
                          std::string_view def) const {
  const auto d = IniDocument::Load(path_);
  return d ? d->Read(section, key, def) : std::string(def);
}

bool IniFile::Write(std::string_view section, std::string_view key, std::string_view value) {
  return Update([&](IniDocument& d) { d.Write(section, key, value); });
}

bool IniFile::EraseSection(std::string_view section) {
  return Update([&](IniDocument& d) { d.EraseSection(section); });
}

bool IniFile::DeleteKey(std::string_view section, std::string_view key) {
  return Update([&](IniDocument& d) { d.DeleteKey(section, key); });
}

bool IniFile::Update(const std::function<void(IniDocument&)>& edits) {
  auto d = IniDocument::Load(path_);
  if (!d) return false;
  edits(*d);
  return !d->Changed() || d->Save(path_);
}

}  // namespace quarvel
