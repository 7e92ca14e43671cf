#include "depth_levels.h"

#include <algorithm>

namespace quarvel {

DepthRange RenderRange(const Scene& scene, const RenderState& state) {
  return {state.NearZ, double(state.NearZ) + scene.ExtentZ};
}

LevelScale MakeLevelScale(DepthRange range, int top) {
  return {range, top, Store(top / (range.far - range.near))};
}

int DepthLevel(float z, const LevelScale& s) {
  if (z == kNoDepth) return 0;
  const double near = s.range.near, far = s.range.far;
  if (!(z > near) || !(far > near)) return s.top;
  if (z >= far) return 0;
  // Strictly inside the range: the level the rasteriser's rule gives, kept within 0 to top.
  return s.top - std::clamp(RoundToInt((z - near) * double(s.scale)), 0, s.top);
}

void LevelsToMask(const DepthImage& depth, const LevelScale& s, MaskImage& mask) {
  mask.SetSize(depth.width, depth.height);
  for (int r = 0; r < depth.height; ++r) {
    const float* from = depth.Row(r);
    uint8_t* to = mask.Row(r);
    for (int c = 0; c < depth.width; ++c)
      to[c] = static_cast<uint8_t>(DepthLevel(from[c], s));
  }
}

Grey16Image LevelsToGrey16(const DepthImage& depth, const LevelScale& s) {
  Grey16Image out{depth.width, depth.height, std::vector<uint16_t>(depth.depth.size())};
  std::transform(depth.depth.begin(), depth.depth.end(), out.levels.begin(),
                 [&s](float z) { return static_cast<uint16_t>(DepthLevel(z, s)); });
  return out;
}

}  // namespace quarvel
