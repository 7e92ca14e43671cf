// The mask preview's geometry: how large a picture of the mask to keep for the preview pane,
// which mask pixel each preview pixel shows, and where the pane paints it.
#pragma once

#include <cstdint>
#include <vector>

#include "mask_image.h"

namespace quarvel {

struct Size2 {
  int w = 0, h = 0;
  friend bool operator==(const Size2&, const Size2&) = default;
};

struct Rect2 {
  int x = 0, y = 0, w = 0, h = 0;
  friend bool operator==(const Rect2&, const Rect2&) = default;
};

// The preview picture's size for a mask of `mask` pixels shown in a pane of `pane` pixels on a
// screen of `screen` pixels: the mask's own size, unless it is larger than the screen along the
// side that limits it in the pane, then shrunk to the screen in proportion.
Size2 PreviewSize(Size2 mask, Size2 pane, Size2 screen);

// The preview picture, top row first, `size.w` bytes a row: nearest-neighbour samples of the
// mask (preview row y shows mask row H * y / Q, column x shows column W * x / P).
std::vector<uint8_t> SamplePreview(const MaskImage& mask, Size2 size);

// Where the pane draws a picture of `picture` pixels: centred, at its own size when it fits,
// otherwise scaled down uniformly to fit; never enlarged.
Rect2 PaintRect(Size2 picture, Size2 client);

}  // namespace quarvel
