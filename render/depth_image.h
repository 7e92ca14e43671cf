// The depth render: for each pixel the plane depth of the nearest face covering it, in scene
// units along the view, as the rasteriser computes it before mapping it to a grey level.
#pragma once

#include <limits>
#include <stdexcept>
#include <vector>

namespace quarvel {

constexpr float kNoDepth = std::numeric_limits<float>::infinity();  // no face covers the pixel

struct DepthImage {
  int width = 0, height = 0;
  std::vector<float> depth;  // width x height floats, row 0 the top row

  // Replaces the picture with one of w x h pixels, all kNoDepth.
  void Reset(int w, int h);
  // Row r counted from the top.
  float* Row(int r) { return const_cast<float*>(static_cast<const DepthImage*>(this)->Row(r)); }
  const float* Row(int r) const {
    if (r < 0 || r >= height) throw std::out_of_range("depth row out of range");
    return depth.data() + size_t(r) * size_t(width);
  }
};

}  // namespace quarvel
