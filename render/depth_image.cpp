#include "depth_image.h"

#include <stdexcept>

namespace quarvel {

void DepthImage::Reset(int w, int h) {
  if (w < 0 || h < 0) throw std::invalid_argument("negative depth image size");
  depth.assign(size_t(w) * size_t(h), kNoDepth);
  width = w;
  height = h;
}

}  // namespace quarvel
