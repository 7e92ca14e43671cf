// Decoding a JPEG picture held in memory with libjpeg, into plain RGB rows. The data is not
// trusted: damage of any kind (a truncated file included) is an error, never a picture with grey
// rows, and a picture too large for the limits is refused before any pixel memory is taken.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quarvel {

// Rows top to bottom, 3 bytes per pixel (red, green, blue), no padding.
struct RgbImage {
  int width = 0, height = 0;
  std::vector<uint8_t> pixels;

  uint8_t* Pixel(int x, int y) { return pixels.data() + (size_t(y) * size_t(width) + x) * 3; }
  const uint8_t* Pixel(int x, int y) const {
    return pixels.data() + (size_t(y) * size_t(width) + x) * 3;
  }
};

struct JpegLimits {
  int maxWidth = 4096, maxHeight = 4096;
  int maxScans = 100;                  // a progressive picture has about 10
  long maxDecoderMemory = 256L << 20;  // libjpeg's own buffers, in bytes
};

struct JpegResult {
  RgbImage image;
  std::string error;  // libjpeg's message or ours, in English; empty when decoded

  bool ok() const { return error.empty(); }
};

JpegResult DecodeJpeg(std::span<const uint8_t> data, const JpegLimits& limits = {});

}  // namespace quarvel
