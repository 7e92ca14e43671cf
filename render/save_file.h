// Writing a file made in memory, with the program's messages for what fails.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "base/error_text.h"
#include "base/file_io.h"

namespace quarvel {

// Writes `parts`, one after the other, as the file at `path` in `folder` through ReplaceFile
// (whole or not at all, permissions kept; links kept in the working folder, refused in an open
// one). Returns the error with the system's reason, empty on success.
ErrorText SaveFileBytes(const OutFolder& folder, const std::string& path,
                        std::initializer_list<std::span<const uint8_t>> parts);
inline ErrorText SaveFileBytes(const std::string& path,
                               std::initializer_list<std::span<const uint8_t>> parts) {
  return SaveFileBytes(OutFolder{}, path, parts);
}

// The same for a text, written as its bytes.
ErrorText SaveFileText(const OutFolder& folder, const std::string& path, std::string_view text);
inline ErrorText SaveFileText(const std::string& path, std::string_view text) {
  return SaveFileText(OutFolder{}, path, text);
}

}  // namespace quarvel
