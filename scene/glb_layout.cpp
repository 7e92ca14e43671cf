#include "glb_layout.h"

#include "base/file_io.h"

namespace quarvel {
namespace {

constexpr uint32_t kMagic = 0x46546C67;      // "glTF"
constexpr uint32_t kJsonChunk = 0x4E4F534A;  // "JSON"
constexpr uint64_t kFileHeader = 12;
constexpr uint64_t kChunkHeader = 8;

}  // namespace

GlbLayout CheckGlbLayout(std::span<const uint8_t> file) {
  GlbLayout layout;
  if (file.size() < kFileHeader + kChunkHeader) {
    layout.error = "the file is shorter than a binary glTF header";
    return layout;
  }
  const uint8_t* p = file.data();
  if (LeU32(p) != kMagic) {
    layout.error = "the file does not begin with a binary glTF header";
    return layout;
  }
  if (LeU32(p + 4) != 2) {
    layout.error = "binary glTF version " + std::to_string(LeU32(p + 4)) + " is not version 2";
    return layout;
  }
  const uint64_t length = LeU32(p + 8);
  const uint64_t jsonLength = LeU32(p + 12);
  const uint64_t jsonEnd = kFileHeader + kChunkHeader + jsonLength;
  if (length > file.size() || jsonEnd > length) {
    layout.error = "the header's length or the JSON chunk runs past the end of the file";
    return layout;
  }
  if (LeU32(p + 16) != kJsonChunk) {
    layout.error = "the first chunk is not JSON";
    return layout;
  }
  if (jsonEnd < length &&
      (jsonEnd + kChunkHeader > length || jsonEnd + kChunkHeader + LeU32(p + jsonEnd) > length)) {
    layout.error = "the chunk after the JSON chunk runs past the end of the file";
    return layout;
  }
  layout.json = file.subspan(kFileHeader + kChunkHeader, jsonLength);
  layout.length = static_cast<uint32_t>(length);
  if (jsonEnd < length) layout.binLength = LeU32(p + jsonEnd);
  return layout;
}

}  // namespace quarvel
