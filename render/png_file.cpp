#include "png_file.h"

#include <png.h>

#include <csetjmp>
#include <new>
#include <stdexcept>

namespace quarvel {

namespace {

// Where libpng's output goes, and why it stopped when it did.
struct PngSink {
  std::vector<uint8_t> bytes;
  bool outOfMemory = false;
};

void AppendToSink(png_structp png, png_bytep data, size_t length) {
  auto* sink = static_cast<PngSink*>(png_get_io_ptr(png));
  bool appended = true;
  try {
    sink->bytes.insert(sink->bytes.end(), data, data + length);
  } catch (const std::bad_alloc&) {
    appended = false;
  }
  if (!appended) {
    sink->outOfMemory = true;
    png_error(png, "out of memory");  // leaves through the encoder's setjmp
  }
}

void FlushSink(png_structp) {}

// libpng's errors end the encoding silently (the caller reports them); warnings are dropped.
[[noreturn]] void OnPngError(png_structp png, png_const_charp) {
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// Encodes a picture of `channels` samples of `bitDepth` bits per pixel (1: grey, 3: RGB), with
// its density in a pHYs chunk when `pixelsPerMetre` is not 0. Only plain data lives in this
// function's frame, so that libpng's longjmp out of an error skips no destructor; `row` holds the
// bytes of one row.
bool EncodePicture(PngSink& sink, const void* picture, int width, int height, int bitDepth,
                   int channels, uint32_t pixelsPerMetre, PngRowFill fill,
                   std::vector<uint8_t>& row) {
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, &sink, AppendToSink, FlushSink);
  png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), bitDepth,
               channels == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (pixelsPerMetre != 0)
    png_set_pHYs(png, info, pixelsPerMetre, pixelsPerMetre, PNG_RESOLUTION_METER);
  png_write_info(png, info);
  for (int r = 0; r < height; ++r) {
    fill(picture, r, row.data());
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

std::vector<uint8_t> PngBytes(const void* picture, int width, int height, int bitDepth,
                              int channels, uint32_t pixelsPerMetre, PngRowFill fill) {
  if (channels != 1 && channels != 3) throw std::invalid_argument("PNG pictures are grey or RGB");
  PngSink sink;
  std::vector<uint8_t> row(size_t(width) * size_t(channels) * size_t(bitDepth / 8));
  if (!EncodePicture(sink, picture, width, height, bitDepth, channels, pixelsPerMetre, fill, row)) {
    if (sink.outOfMemory) throw std::bad_alloc();
    throw std::runtime_error("the PNG encoder refused the picture");
  }
  return std::move(sink.bytes);
}

std::vector<uint8_t> PngBytes(const MaskImage& mask, uint32_t pixelsPerMetre) {
  return PngBytes(&mask, mask.Width(), mask.Height(), 8, 1, pixelsPerMetre,
                  [](const void* picture, int r, uint8_t* row) {
                    const auto& m = *static_cast<const MaskImage*>(picture);
                    std::copy_n(m.Row(r), m.Width(), row);
                  });
}

std::vector<uint8_t> PngBytes(const Grey16Image& image, uint32_t pixelsPerMetre) {
  if (image.levels.size() != size_t(image.width) * size_t(image.height))
    throw std::invalid_argument("16-bit picture of the wrong size");
  return PngBytes(&image, image.width, image.height, 16, 1, pixelsPerMetre,
                  [](const void* picture, int r, uint8_t* row) {
                    const auto& g = *static_cast<const Grey16Image*>(picture);
                    const uint16_t* from = g.levels.data() + size_t(r) * size_t(g.width);
                    for (int c = 0; c < g.width; ++c) {  // PNG samples are big-endian
                      row[2 * c] = static_cast<uint8_t>(from[c] >> 8);
                      row[2 * c + 1] = static_cast<uint8_t>(from[c]);
                    }
                  });
}

}  // namespace quarvel
