// An INI file read and written in place: sections and keys compared without regard to case and
// to blanks around them, the first matching entry wins, values trimmed and unquoted. Nothing is
// cached: every read and every write goes to the file, so a hand edit is seen by the next read.
#pragma once

#include <string>
#include <string_view>

namespace quarvel {

constexpr size_t kMaxIniValue = 1023;  // longer values are cut when read

class IniFile {
 public:
  explicit IniFile(std::string path) : path_(std::move(path)) {}
  const std::string& path() const { return path_; }

  // The value of `key` in `section`, or `def` when the file, section or key is missing.
  std::string Read(std::string_view section, std::string_view key, std::string_view def) const;

  // Replaces the key's value in place, or adds the key at the end of its section, or the section
  // at the end of the file (creating it). The file is replaced whole through a temporary file,
  // so it is never left half-written. Returns false when it cannot be written; a file or folder
  // without write permission is not written.
  bool Write(std::string_view section, std::string_view key, std::string_view value);

  // Removes every section of that name with its entries, or every entry of `key` in the
  // section. A file without them is left untouched.
  bool EraseSection(std::string_view section);
  bool DeleteKey(std::string_view section, std::string_view key);

 private:
  std::string path_;
};

}  // namespace quarvel
