// An INI file read and written in place: sections and keys compared without regard to case and
// to blanks around them, the first matching entry wins, values trimmed and unquoted. Nothing is
// cached between calls: every read and every write goes to the file, so a hand edit is seen by
// the next read. Several edits can be made on one loaded copy and written with one replacement.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarvel {

constexpr size_t kMaxIniValue = 1023;  // longer values are cut when read

// The file's lines in memory, read and edited by the rules above.
class IniDocument {
 public:
  // The file's lines; an empty document for a missing file, nothing for a file that exists but
  // cannot be read (errno tells why).
  static std::optional<IniDocument> Load(const std::string& path);

  std::string Read(std::string_view section, std::string_view key, std::string_view def) const;
  // Replaces the key's value in place, or adds the key at the end of its section, or the
  // section at the end of the document.
  void Write(std::string_view section, std::string_view key, std::string_view value);
  // Removes every section of that name with its entries, or every entry of `key` in the
  // section.
  void EraseSection(std::string_view section);
  void DeleteKey(std::string_view section, std::string_view key);

  // Whether an edit changed the lines since the document was loaded.
  bool Changed() const { return changed_; }
  // Replaces the file at `path` with the document, through a temporary file, so it is never
  // left half-written. Returns false, with errno telling why, when it cannot be written; a file
  // or folder without write permission is not written.
  bool Save(const std::string& path) const;

 private:
  struct Line {
    std::string text;  // without its line end
    enum Kind { Other, Section, Entry } kind = Other;
    std::string name;  // section name or key, trimmed
    std::string value;
  };
  static Line ParseLine(std::string text);
  long FindSection(std::string_view section) const;
  size_t SectionEnd(size_t header) const;

  std::vector<Line> lines_;
  std::string eol_ = "\n";
  bool changed_ = false;
};

class IniFile {
 public:
  explicit IniFile(std::string path) : path_(std::move(path)) {}
  const std::string& path() const { return path_; }

  // The value of `key` in `section`, or `def` when the file, section or key is missing.
  std::string Read(std::string_view section, std::string_view key, std::string_view def) const;

  // Each of these loads the file, makes one edit and replaces the file when the edit changed
  // it (IniDocument tells how). They return false, with errno telling why, when the file
  // cannot be read or written.
  bool Write(std::string_view section, std::string_view key, std::string_view value);
  bool EraseSection(std::string_view section);
  bool DeleteKey(std::string_view section, std::string_view key);

  // Loads the file once, runs `edits` on the copy and replaces the file once, when they changed
  // it. Returns false, with errno telling why, when the file cannot be read or written.
  bool Update(const std::function<void(IniDocument&)>& edits);

 private:
  std::string path_;
};

}  // namespace quarvel
