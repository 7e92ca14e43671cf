// PNG files of greyscale pictures, made in memory: the 8-bit mask and the 16-bit levels, top row
// first, without gamma or other colour chunks.
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

}  // namespace quarvel
