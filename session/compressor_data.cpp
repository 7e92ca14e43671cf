#include "compressor_data.h"

#include <array>
#include <limits>

#include "base/file_io.h"

namespace quarvel {

namespace {

// Two blocks of encoder settings never come near this; a larger file is not ours.
constexpr uint64_t kMaxDataFile = uint64_t(16) << 20;

// Takes the block at `at` (a signed 32-bit size, then that many bytes) into `block` and moves
// `at` past it. A block that does not fit in what is left of `bytes` is not taken.
bool TakeBlock(std::span<const uint8_t> bytes, size_t& at, std::vector<uint8_t>& block) {
  if (bytes.size() - at < 4) return false;
  const auto size = static_cast<int32_t>(LeU32(bytes.data() + at));
  at += 4;
  if (size < 0 || static_cast<size_t>(size) > bytes.size() - at) return false;
  block.assign(bytes.begin() + at, bytes.begin() + at + size);
  at += static_cast<size_t>(size);
  return true;
}

std::array<uint8_t, 4> LeBytes(uint32_t v) {
  return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

}  // namespace

bool ReadCompressorData(const std::string& path, CompressOptions& options) {
  options.format.clear();
  options.parms.clear();
  FileBytes file;
  const FileCheck check{
      0, [](uint64_t size, std::span<const uint8_t>) { return size <= kMaxDataFile; }};
  if (ReadWholeFile(path, file, check).status != FileRead::Ok) return false;
  size_t at = 0;
  return TakeBlock(file.span(), at, options.format) && TakeBlock(file.span(), at, options.parms);
}

bool WriteCompressorData(const std::string& path, const CompressOptions& options) {
  constexpr size_t kMaxBlock = std::numeric_limits<int32_t>::max();
  if (options.format.size() > kMaxBlock || options.parms.size() > kMaxBlock) return false;
  const auto formatSize = LeBytes(static_cast<uint32_t>(options.format.size()));
  const auto parmsSize = LeBytes(static_cast<uint32_t>(options.parms.size()));
  return ReplaceFile(path, {formatSize, options.format, parmsSize, options.parms}).result ==
         ReplaceResult::Ok;
}

CompressOptions LoadCompressOptions(const VideoSettings& video, const std::string& dataPath) {
  CompressOptions options;
  options.fccHandler = static_cast<uint32_t>(video.fccHandler);  // the same 32 bits
  options.dwKeyFrameEvery = video.dwKeyFrameEvery;
  options.dwQuality = video.dwQuality;
  options.dwBytesPerSecond = video.dwBytesPerSecond;
  options.dwFlags = video.dwFlags;
  options.dwInterleaveEvery = video.dwInterleaveEvery;
  ReadCompressorData(dataPath, options);
  return options;
}

void StoreCompressOptions(const CompressOptions& options, VideoSettings& video,
                          const std::string& dataPath) {
  video.fccHandler = static_cast<int32_t>(options.fccHandler);
  video.dwKeyFrameEvery = options.dwKeyFrameEvery;
  video.dwQuality = options.dwQuality;
  video.dwBytesPerSecond = options.dwBytesPerSecond;
  video.dwFlags = options.dwFlags;
  video.dwInterleaveEvery = options.dwInterleaveEvery;
  WriteCompressorData(dataPath, options);  // the options still hold without their blocks
}

}  // namespace quarvel
