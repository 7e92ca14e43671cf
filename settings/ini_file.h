// An INI file read and written in place: sections and keys compared without regard to case and
// to blanks around them, the first matching entry wins, values trimmed and unquoted. Nothing is
// cached between calls: every read and every write goes to the file, so a hand edit is seen by
// the next read. Several edits can be made on one loaded copy and written with one replacement.
// Every call reads the file once and goes over its lines once.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/error_text.h"

namespace quarvel {

constexpr size_t kMaxIniValue = 1023;  // longer values are cut when read

// A larger file is refused: it reads as empty and is never replaced, so a file that is not
// ours is not lost to a fresh one. Real settings and language files are a few kilobytes.
constexpr uint64_t kMaxIniFile = 8 << 20;

// The file's lines in memory, read and edited by the rules above.
class IniDocument {
 public:
  // Takes the file's lines; a missing file gives an empty document. A file that cannot be read,
  // is not a regular file (a folder, a FIFO, a device) or is larger than kMaxIniFile is refused:
  // "Cannot open file %s" with the system's reason, "Not a regular file" or "File too large".
  ErrorText Load(const std::string& path);

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
  // left half-written; a symbolic link at `path` stays and its target is replaced. A file or
  // folder without write permission is not written, nor a document larger than kMaxIniFile:
  // "Unable to write to %s" with the reason.
  ErrorText Save(const std::string& path) const;

 private:
  size_t FindSection(std::string_view section) const;  // the first header's line, or npos
  size_t SectionEnd(size_t header) const;

  std::vector<std::string> lines_;  // without their line ends
  std::string eol_ = "\n";
  bool changed_ = false;
};

class IniFile {
 public:
  explicit IniFile(std::string path) : path_(std::move(path)) {}
  const std::string& path() const { return path_; }

  // The value of `key` in `section`, or `def` when the file, section or key is missing, or the
  // file is refused.
  std::string Read(std::string_view section, std::string_view key, std::string_view def) const;

  // Each of these loads the file, makes one edit and replaces the file when the edit changed
  // it (IniDocument tells how). A file that is refused or cannot be written fails, untouched:
  // "Unable to write to %s" with the reason.
  ErrorText Write(std::string_view section, std::string_view key, std::string_view value);
  ErrorText EraseSection(std::string_view section);
  ErrorText DeleteKey(std::string_view section, std::string_view key);

  // Loads the file once, runs `edits` on the copy and replaces the file once, when they changed
  // it.
  ErrorText Update(const std::function<void(IniDocument&)>& edits);

 private:
  std::string path_;
};

}  // namespace quarvel
