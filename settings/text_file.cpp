#include "text_file.h"

#include <sys/stat.h>

#include <cerrno>

#include "base/file_io.h"

namespace quarvel {

TextFile ReadTextFile(const std::string& path, uint64_t limit) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR))
    return {true, {}, {}};
  FileBytes bytes;
  const FileCheck check{0,
                        [limit](uint64_t size, std::span<const uint8_t>) { return size <= limit; }};
  const FileReadResult r = ReadWholeFile(path, bytes, check);
  if (r.status == FileRead::Refused) return {false, {}, ErrorReason(EFBIG)};
  if (r.status != FileRead::Ok) return {false, {}, r.reason.empty() ? ErrorReason(EIO) : r.reason};
  return {true, std::string(reinterpret_cast<const char*>(bytes.data.get()), bytes.size), {}};
}

}  // namespace quarvel
