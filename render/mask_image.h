// The depth mask: an 8-bit greyscale picture (palette entry i is grey level i), rows stored
// bottom-up with a stride of the width rounded up to 4 bytes, and its BMP file.
#pragma once

#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>

#include "base/error_text.h"
#include "base/file_io.h"

namespace quarvel {

constexpr size_t kBitmapInfoSize = 40 + 1024;  // BITMAPINFOHEADER and the colour table
constexpr size_t kBmpHeaderSize = 14 + kBitmapInfoSize;

class MaskImage {
 public:
  // Replaces the picture with a new one of w x h pixels, all 0 (row ends too). 0 x 0 is the
  // empty picture.
  void SetSize(int w, int h);

  // Makes this picture a copy of `other`, keeping its own block when the sizes match.
  void CopyFrom(const MaskImage& other);

  int Width() const { return width_; }
  int Height() const { return height_; }
  int Stride() const { return Stride(width_); }
  static int Stride(int w) { return (8 * w + 31) / 32 * 4; }

  // Row r counted from the top of the picture (row 0 is the top row, stored last).
  uint8_t* Row(int r);
  const uint8_t* Row(int r) const;

  // The pixel block as stored: bottom row first, Stride() x Height() bytes.
  std::span<const uint8_t> Pixels() const;

  // The 40-byte bitmap header followed by the grey colour table.
  std::array<uint8_t, kBitmapInfoSize> BitmapInfo() const;

  // Writes the picture as a BMP file at `path` in `folder`, replacing any file of that name (see
  // ReplaceFile: the file appears whole or not at all, keeps its permissions, and a link to it
  // stays a link in the working folder and is refused in an open one).
  // The empty picture writes a file of 0 bytes. `pixelsPerMetre` goes into the header's
  // biXPelsPerMeter and biYPelsPerMeter (0 leaves them 0). Returns the error with the system's
  // reason, empty on success.
  ErrorText SaveToFile(const std::string& path, uint32_t pixelsPerMetre = 0,
                       const OutFolder& folder = {}) const;

 private:
  int width_ = 0, height_ = 0;
  std::unique_ptr<uint8_t, decltype(&std::free)> pixels_{nullptr, &std::free};
};

}  // namespace quarvel
