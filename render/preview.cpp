#include "preview.h"

#include <algorithm>
#include <cmath>

namespace quarvel {

Size2 PreviewSize(Size2 m, Size2 pane, Size2 screen) {
  if (m.w <= 0 || m.h <= 0 || pane.w <= 0 || pane.h <= 0) return {};
  const int64_t w = m.w, h = m.h;
  // The mask is relatively at least as wide as the pane: its width limits it there.
  if (double(m.w) / m.h >= double(pane.w) / pane.h) {
    if (m.h > screen.h) return {screen.w, int(h * screen.w / w)};
  } else if (m.w > screen.w) {
    return {int(w * screen.h / h), screen.h};
  }
  return m;
}

std::vector<uint8_t> SamplePreview(const MaskImage& mask, Size2 size) {
  if (size.w <= 0 || size.h <= 0 || mask.Width() <= 0 || mask.Height() <= 0) return {};
  std::vector<int> columns(size.w);
  for (int x = 0; x < size.w; ++x)
    columns[x] = int(int64_t(mask.Width()) * x / size.w);
  std::vector<uint8_t> out(size_t(size.w) * size_t(size.h));
  for (int y = 0; y < size.h; ++y) {
    const uint8_t* row = mask.Row(int(int64_t(mask.Height()) * y / size.h));
    uint8_t* dst = out.data() + size_t(y) * size_t(size.w);
    for (int x = 0; x < size.w; ++x)
      dst[x] = row[columns[x]];
  }
  return out;
}

Rect2 PaintRect(Size2 picture, Size2 client) {
  if (picture.w <= 0 || picture.h <= 0) return {};
  int w = picture.w, h = picture.h;
  if (w > client.w || h > client.h) {
    const double scale = std::min(double(client.w) / w, double(client.h) / h);
    w = int(std::lround(w * scale));
    h = int(std::lround(h * scale));
  }
  return {(client.w - w) / 2, (client.h - h) / 2, w, h};
}

}  // namespace quarvel
