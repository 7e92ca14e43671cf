// PFM files of the depth render: the greyscale portable float map ("Pf"), little-endian floats,
// the bottom row first, each the depth along the view in scene units, +infinity for the
// background.
#pragma once

#include <cstdint>
#include <vector>

#include "depth_image.h"

namespace quarvel {

std::vector<uint8_t> PfmBytes(const DepthImage& depth);

}  // namespace quarvel
