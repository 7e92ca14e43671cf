// The file and byte helpers shared by every layer: replacing a file whole, reading a file whole,
// and little-endian numbers out of a byte buffer.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>

namespace quarvel {

// Replacing a file whole: the new bytes go to a temporary file beside it, which is then renamed
// over it, so a crash or a full disk leaves the old file or the new one, never half of either.
enum class ReplaceResult { Ok, CannotCreate, WriteFailed };

// Writes the parts, in order, as the file at `path` with the permissions `mode`.
ReplaceResult ReplaceFile(const std::string& path,
                          std::initializer_list<std::span<const uint8_t>> parts, mode_t mode);

// A whole file in memory. The buffer is not cleared first: every byte of it is read.
struct FileBytes {
  std::unique_ptr<uint8_t[]> data;
  size_t size = 0;
  std::span<const uint8_t> span() const { return {data.get(), size}; }
};

enum class FileRead { Ok, CannotOpen, ReadError };

// Reads a regular file whole into `bytes`.
FileRead ReadWholeFile(const std::string& path, FileBytes& bytes);

// Little-endian numbers at `p`; the caller has checked that the bytes are there.
inline uint16_t LeU16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t LeU32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline float LeFloat(const uint8_t* p) {
  const uint32_t bits = LeU32(p);
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

}  // namespace quarvel
