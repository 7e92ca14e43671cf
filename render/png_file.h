// PNG files made in memory: the 8-bit mask, the 16-bit levels and other pictures, top row first,
// without gamma or other colour chunks.
#pragma once

#include <cstdint>
#include <vector>

#include "depth_levels.h"
#include "mask_image.h"

namespace quarvel {

// The mask as an 8-bit greyscale PNG, with a pHYs chunk of that density when `pixelsPerMetre` is
// not 0. Throws std::bad_alloc when memory runs out and
// std::runtime_error when libpng refuses the picture (such as one of 0 pixels).
std::vector<uint8_t> PngBytes(const MaskImage& mask, uint32_t pixelsPerMetre = 0);

// The levels as a 16-bit greyscale PNG; the same failures.
std::vector<uint8_t> PngBytes(const Grey16Image& image, uint32_t pixelsPerMetre = 0);

// Fills `row` (the row's bytes as the file holds them, samples big-endian) with row r of
// `picture`, counted from the top.
using PngRowFill = void (*)(const void* picture, int r, uint8_t* row);

// Any picture of width x height pixels of `channels` samples (1: grey, 3: RGB) of `bitDepth`
// bits, its rows given by `fill`; the same failures.
std::vector<uint8_t> PngBytes(const void* picture, int width, int height, int bitDepth,
                              int channels, uint32_t pixelsPerMetre, PngRowFill fill);

}  // namespace quarvel
