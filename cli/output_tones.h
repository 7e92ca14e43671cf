// How the grey levels of bmp, png and png16 can be reshaped for the machines that read them: a
// power curve, farthest white instead of nearest, a few evenly spaced levels, and the level of
// the pixels no face covers.
#pragma once

#include <cstdint>
#include <vector>

#include "render/depth_image.h"
#include "render/depth_levels.h"
#include "render/mask_image.h"

namespace quarvel {

struct ToneOptions {
  bool invert = false;  // farthest white, nearest black
  int background = 0;   // the level of uncovered pixels, in the output's levels
  float gamma = 1;      // covered pixels: v^gamma on v in [0, 1], 1 nearest
  int levels = 0;       // 0: every level; else that many, evenly spaced from 0 to the top

  // Whether the levels differ from the plain ones: the plain picture is written as it is.
  bool Any() const { return invert || background != 0 || gamma != 1 || levels != 0; }
};

constexpr int kMinToneLevels = 2, kMaxToneLevels = 256;

// The level a covered pixel of plain level `plain` (0 to `top`, `top` nearest) is written with:
// the curve, then the inversion, then the quantisation, each rounded to the nearest level once.
int ToneLevel(int plain, int top, const ToneOptions& t);

// Every plain level's toned one, worked out once per picture rather than once per pixel.
std::vector<int> ToneTable(int top, const ToneOptions& t);

// Reshapes the levels of the pixels that `depth` covers and sets the others to the background
// (the mask's into a new mask `toned`).
// Which pixels are covered comes from the depth render, never from a grey value: a covered
// pixel at the far end has level 0, as the background does.
void ApplyTones(const MaskImage& plain, const DepthImage& depth, const ToneOptions& t,
                MaskImage& toned);
void ApplyTones(Grey16Image& grey, const DepthImage& depth, const ToneOptions& t);

}  // namespace quarvel
