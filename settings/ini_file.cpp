#include "ini_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <optional>

#include "base/file_io.h"
#include "text_file.h"
#include "text_util.h"

namespace quarvel {

namespace {

ErrorText Unwritable(const std::string& path, const std::string& reason) {
  return {ErrorKind::File, "Unable to write to %s", path, reason};
}

bool Writable(const struct stat& st) {
  return (st.st_mode & 0222) != 0;
}

// Whether the file at `target` (no link) may be replaced: a regular file with write permission,
// or none, in a folder with write permission. Returns 0 when it may, else the errno that says
// why not.
int MayReplace(const std::string& target) {
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0 && (!S_ISREG(st.st_mode) || !Writable(st)))
    return S_ISDIR(st.st_mode) ? EISDIR : EACCES;
  const size_t slash = target.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  if (::stat(folder.c_str(), &st) != 0) return errno;
  return Writable(st) ? 0 : EACCES;
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

std::string Unquoted(std::string_view quoted) {
  std::string value(quoted);
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

// What a line is: a section header with its name, an entry with its key and value (all
// trimmed), or anything else (blank, a comment, text without "=").
struct LineView {
  enum Kind { Other, Section, Entry } kind = Other;
  std::string_view name, value;
};

LineView ScanLine(std::string_view text) {
  const std::string_view t = Trim(text);
  if (t.empty() || t[0] == ';') return {};
  if (t[0] == '[') {
    const size_t close = t.find(']');
    return {LineView::Section,
            Trim(t.substr(1, close == std::string_view::npos ? t.npos : close - 1)),
            {}};
  }
  const size_t eq = t.find('=');
  if (eq == std::string_view::npos) return {};
  return {LineView::Entry, Trim(t.substr(0, eq)), Trim(t.substr(eq + 1))};
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The line end of the file's first line: the file's own, which its edited lines keep.
std::string LineEnd(std::string_view text) {
  return text.substr(0, text.find('\n')).ends_with('\r') ? "\r\n" : "\n";
}

// Gives `take` each line of a file's text, without a UTF-8 byte-order mark at the start and
// without line ends, until it returns true.
template <typename Take>
void ForEachLine(std::string_view text, Take take) {
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  while (!text.empty()) {
    const size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (take(line)) return;
  }
}

// Looks for the first entry of a key in the first section of a name, given the lines in order.
class EntryFinder {
 public:
  EntryFinder(std::string_view section, std::string_view key)
      : section_(Trim(section)), key_(Trim(key)) {}

  // Takes the next line; true once the entry is found or its section has ended.
  bool Take(std::string_view text) {
    const LineView line = ScanLine(text);
    if (line.kind == LineView::Section) {
      if (inSection_) return true;
      inSection_ = EqualsNoCase(line.name, section_);
    } else if (inSection_ && line.kind == LineView::Entry && EqualsNoCase(line.name, key_)) {
      value_ = line.value;
      return true;
    }
    return false;
  }

  std::string Value(std::string_view def) const {
    return value_ ? Unquoted(*value_) : std::string(def);
  }

 private:
  std::string_view section_, key_;
  bool inSection_ = false;
  std::optional<std::string_view> value_;
};

}  // namespace

ErrorText IniDocument::Load(const std::string& path) {
  const TextFile file = ReadTextFile(path, kMaxIniFile);
  if (!file.read) return {ErrorKind::File, "Cannot open file %s", path, file.reason};
  lines_.clear();
  changed_ = false;
  eol_ = LineEnd(file.text);
  ForEachLine(file.text, [this](std::string_view line) {
    lines_.emplace_back(line);
    return false;
  });
  return {};
}

size_t IniDocument::FindSection(std::string_view section) const {
  section = Trim(section);
  for (size_t i = 0; i < lines_.size(); ++i) {
    const LineView line = ScanLine(lines_[i]);
    if (line.kind == LineView::Section && EqualsNoCase(line.name, section)) return i;
  }
  return std::string::npos;
}

// One past the last line of the section starting at `header`.
size_t IniDocument::SectionEnd(size_t header) const {
  size_t i = header + 1;
  while (i < lines_.size() && ScanLine(lines_[i]).kind != LineView::Section)
    ++i;
  return i;
}

std::string IniDocument::Read(std::string_view section, std::string_view key,
                              std::string_view def) const {
  EntryFinder find(section, key);
  for (const std::string& line : lines_)
    if (find.Take(line)) break;
  return find.Value(def);
}

void IniDocument::Write(std::string_view section, std::string_view key, std::string_view value) {
  changed_ = true;
  std::string entry(key);
  entry.append("=").append(Quoted(value));
  const size_t header = FindSection(section);
  if (header == std::string::npos) {
    if (!lines_.empty() && !lines_.back().empty()) lines_.emplace_back();
    std::string name = "[";
    lines_.push_back(std::move(name.append(section).append("]")));
    lines_.push_back(std::move(entry));
    return;
  }
  const std::string name(ScanLine(entry).name);
  const size_t end = SectionEnd(header);
  size_t insertAt = header + 1;
  for (size_t i = header + 1; i < end; ++i) {
    const LineView line = ScanLine(lines_[i]);
    if (line.kind == LineView::Entry && EqualsNoCase(line.name, name)) {
      lines_[i] = std::move(entry);
      return;
    }
    if (!Trim(lines_[i]).empty()) insertAt = i + 1;  // after the section's last non-blank line
  }
  lines_.insert(lines_.begin() + long(insertAt), std::move(entry));
}

// One pass: a header of that name starts lines to drop, any other header ends them.
void IniDocument::EraseSection(std::string_view section) {
  section = Trim(section);
  bool erasing = false;
  size_t kept = 0;
  for (size_t i = 0; i < lines_.size(); ++i) {
    const LineView line = ScanLine(lines_[i]);
    if (line.kind == LineView::Section) erasing = EqualsNoCase(line.name, section);
    if (erasing) continue;
    if (kept != i) lines_[kept] = std::move(lines_[i]);
    ++kept;
  }
  if (kept == lines_.size()) return;
  lines_.resize(kept);
  changed_ = true;
}

void IniDocument::DeleteKey(std::string_view section, std::string_view key) {
  const size_t header = FindSection(section);
  if (header == std::string::npos) return;
  key = Trim(key);
  const auto first = lines_.begin() + long(header) + 1;
  const auto last = lines_.begin() + long(SectionEnd(header));
  const auto kept = std::remove_if(first, last, [&](const std::string& text) {
    const LineView line = ScanLine(text);
    return line.kind == LineView::Entry && EqualsNoCase(line.name, key);
  });
  if (kept == last) return;
  lines_.erase(kept, last);
  changed_ = true;
}

ErrorText IniDocument::Save(const std::string& path) const {
  // The permissions looked at are those of the file a link at `path` leads to and of its
  // folder, where the new file is made; the replacement itself is given `path`.
  if (const int error = MayReplace(LinkTarget(path)); error != 0)
    return Unwritable(path, ErrorReason(error));
  size_t size = 0;
  for (const std::string& line : lines_)
    size += line.size() + eol_.size();
  if (size > kMaxIniFile) return Unwritable(path, ErrorReason(EFBIG));  // not to be read back
  std::string text;
  text.reserve(size);
  for (const std::string& line : lines_)
    text.append(line).append(eol_);
  const std::span bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  const ReplaceStatus s = ReplaceFile(path, {bytes});
  return s.result == ReplaceResult::Ok ? ErrorText{} : Unwritable(path, ErrorReason(s.error));
}

std::string IniFile::Read(std::string_view section, std::string_view key,
                          std::string_view def) const {
  // Looked up in the file's text as it is, without building a document.
  const TextFile file = ReadTextFile(path_, kMaxIniFile);
  if (!file.read) return std::string(def);
  EntryFinder find(section, key);
  ForEachLine(file.text, [&find](std::string_view line) { return find.Take(line); });
  return find.Value(def);
}

ErrorText IniFile::Write(std::string_view section, std::string_view key, std::string_view value) {
  return Update([&](IniDocument& d) { d.Write(section, key, value); });
}

ErrorText IniFile::EraseSection(std::string_view section) {
  return Update([&](IniDocument& d) { d.EraseSection(section); });
}

ErrorText IniFile::DeleteKey(std::string_view section, std::string_view key) {
  return Update([&](IniDocument& d) { d.DeleteKey(section, key); });
}

ErrorText IniFile::Update(const std::function<void(IniDocument&)>& edits) {
  IniDocument d;
  // A file that is refused is not written either.
  if (const ErrorText loaded = d.Load(path_); !loaded.empty())
    return Unwritable(path_, loaded.reason);
  edits(d);
  return d.Changed() ? d.Save(path_) : ErrorText{};
}

}  // namespace quarvel
