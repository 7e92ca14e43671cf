// Writing a file made in memory, with the program's messages for what fails.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "scene/feedback.h"

namespace quarvel {

// Writes `bytes` as the file at `path` through ReplaceFile (whole or not at all, permissions and
// links kept). Returns the error with the system's reason, empty on success.
ErrorText SaveFileBytes(const std::string& path, std::span<const uint8_t> bytes);

}  // namespace quarvel
