// A small text file that anyone may have put in the user's way (the settings file, a language
// file, the desktop's lists), read whole with care: only a regular file is opened, the open never
// waits on a FIFO or a device, and a file larger than its limit is refused before it is read.
#pragma once

#include <cstdint>
#include <string>

namespace quarvel {

struct TextFile {
  bool read = false;   // false: refused, and `reason` says why
  std::string text;    // the file's bytes; empty for a missing file
  std::string reason;  // the system's reason, "Not a regular file" or "File too large"
};

// The file at `path` (links followed). A missing file, or a path under one that is not a folder,
// reads as empty.
TextFile ReadTextFile(const std::string& path, uint64_t limit);

}  // namespace quarvel
