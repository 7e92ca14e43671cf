// Replacing a file whole: the new bytes go to a temporary file beside it, which is then renamed
// over it, so a crash or a full disk leaves the old file or the new one, never half of either.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>

namespace quarvel {

enum class ReplaceResult { Ok, CannotCreate, WriteFailed };

// Writes the parts, in order, as the file at `path` with the permissions `mode`.
ReplaceResult ReplaceFile(const std::string& path,
                          std::initializer_list<std::span<const uint8_t>> parts, mode_t mode);

}  // namespace quarvel
