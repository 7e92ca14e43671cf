// Files of the normals picture, made in memory: camera-space unit normals per pixel, top row
// first, (0, 0, 0) where no face covers the pixel.
#pragma once

#include <cstdint>
#include <vector>

#include "pinhole_render.h"

namespace quarvel {

// The normals as a scan-line EXR file with ZIP compression (lossless): three 32-bit float
// channels R, G and B holding x, y and z. Throws std::invalid_argument for a picture whose size
// does not match its floats, std::bad_alloc when memory runs out and std::exception for one
// OpenEXR refuses (one of 0 pixels).
std::vector<uint8_t> NormalsExrBytes(const NormalImage& normals);

// The normals as a 16-bit RGB PNG: each component c as round((c + 1) / 2 x 65535), clamped to
// 0..65535, and (0, 0, 0) as 0, 0, 0. The same failures (libpng's as std::runtime_error).
std::vector<uint8_t> NormalsPngBytes(const NormalImage& normals);

}  // namespace quarvel
