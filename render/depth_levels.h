// Grey levels from a depth render: the 8- and 16-bit pictures made from depths and a depth range,
// clamped at both ends instead of wrapping round as the 8-bit rasteriser does.
#pragma once

#include <cstdint>
#include <vector>

#include "depth_image.h"
#include "mask_image.h"
#include "rasterizer.h"

namespace quarvel {

// Depths along the view, in scene units, from the nearest to the farthest.
struct DepthRange {
  double near = 0, far = 0;
};

// The render's own range: NearZ to NearZ plus the depth extent that DepthScale is made from.
DepthRange RenderRange(const Scene& scene, const RenderState& state);

// How depths become levels 0 to `top`: `top` (white) at `near` and nearer, 0 at `far` and
// farther, in between top - RoundToInt((z - near) x scale). The background is 0.
struct LevelScale {
  DepthRange range;
  int top = 255;
  float scale = 0;  // top / (far - near), rounded to float
};

LevelScale MakeLevelScale(DepthRange range, int top);

// The level of a pixel of the depth render. A flat range (a model seen face-on: far equals near)
// is all `top`, as the 8-bit mask has it.
int DepthLevel(float z, const LevelScale& s);

// The 8-bit mask of a depth render, with `s.top` 255.
void LevelsToMask(const DepthImage& depth, const LevelScale& s, MaskImage& mask);

// A 16-bit greyscale picture, row 0 the top row.
struct Grey16Image {
  int width = 0, height = 0;
  std::vector<uint16_t> levels;  // width x height
};

// The 16-bit picture of a depth render, with `s.top` 65535.
Grey16Image LevelsToGrey16(const DepthImage& depth, const LevelScale& s);

}  // namespace quarvel
