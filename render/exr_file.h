// OpenEXR files of the depth render, made in memory: one 32-bit float channel "Z" holding the
// depth along the view in scene units, +infinity for the background, top row first.
#pragma once

#include <cstdint>
#include <vector>

#include "depth_image.h"

namespace quarvel {

// The depth render as a scan-line EXR file with ZIP compression (lossless). Throws
// std::bad_alloc when memory runs out and std::exception for a picture OpenEXR refuses (one of
// 0 pixels).
std::vector<uint8_t> ExrBytes(const DepthImage& depth);

}  // namespace quarvel
