// The program's settings file: typed values on top of the INI file. A write that fails raises
// SettingsWriteError, whose text is "Unable to write to %s" with the file's path and the
// system's reason, or why the file was refused: a settings file that is not a regular file, or is
// too large, reads as the defaults and is never replaced.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "base/error_text.h"
#include "ini_file.h"

namespace quarvel {

struct SettingsWriteError : std::runtime_error {
  explicit SettingsWriteError(ErrorText written)
      : std::runtime_error(written.Message({}) +
                           (written.reason.empty() ? "" : ": " + written.reason)),
        error(std::move(written)) {}
  ErrorText error;
};

// An integer as the settings file stores it: decimal with an optional sign, or hexadecimal
// after "0x", "0X" or "$". Nothing for any other text or a value beyond 32 bits.
std::optional<int32_t> ParseSettingsInteger(std::string_view text);

class SettingsFile {
 public:
  explicit SettingsFile(std::string path) : ini_(std::move(path)) {}
  const std::string& path() const { return ini_.path(); }

  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view def) const;
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t def) const;
  bool ReadBool(std::string_view section, std::string_view key, bool def) const;

  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, int32_t value);
  void WriteBool(std::string_view section, std::string_view key, bool value);
  void EraseSection(std::string_view section);
  void DeleteKey(std::string_view section, std::string_view key);

  // Makes the edits that `edits` does through this object on one copy of the file, which reads
  // inside see, and replaces the file once at the end (when they changed it). An Update inside
  // another one joins it. Writes outside an Update go to the file one by one. When `edits`
  // throws, the file is left as it was.
  void Update(const std::function<void()>& edits);

 private:
  static void Check(ErrorText written);
  IniFile ini_;
  IniDocument* batch_ = nullptr;  // the copy being edited inside Update
};

}  // namespace quarvel
