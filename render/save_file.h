// Writing a file made in memory, with the program's messages for what fails.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "base/error_text.h"

namespace quarvel {

// Writes `parts`, one after the other, as the file at `path` through ReplaceFile (whole or not at
// all, permissions and links kept). Returns the error with the system's reason, empty on success.
ErrorText SaveFileBytes(const std::string& path,
                        std::initializer_list<std::span<const uint8_t>> parts);

// The same for a text, written as its bytes.
ErrorText SaveFileText(const std::string& path, std::string_view text);

}  // namespace quarvel
