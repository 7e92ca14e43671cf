#include "output_tones.h"

#include <cmath>

namespace quarvel {

std::vector<int> ToneTable(int top, const ToneOptions& t) {
  std::vector<int> table(size_t(top) + 1);
  for (int plain = 0; plain <= top; ++plain)
    table[size_t(plain)] = ToneLevel(plain, top, t);
  return table;
}

int ToneLevel(int plain, int top, const ToneOptions& t) {
  double v = double(plain) / top;
  if (t.gamma != 1) v = std::pow(v, double(t.gamma));
  if (t.invert) v = 1 - v;
  if (t.levels == 0) return int(std::lround(v * top));
  // Step k of K lies at k x top / (K - 1), rounded in whole numbers so that the steps are exact.
  const long steps = t.levels - 1, k = std::lround(v * double(steps));
  return int((2 * k * top + steps) / (2 * steps));
}

void ApplyTones(const MaskImage& plain, const DepthImage& depth, const ToneOptions& t,
                MaskImage& toned) {
  const std::vector<int> table = ToneTable(255, t);
  toned.SetSize(depth.width, depth.height);
  for (int r = 0; r < depth.height; ++r) {
    const float* z = depth.Row(r);
    const uint8_t* from = plain.Row(r);
    uint8_t* to = toned.Row(r);
    for (int c = 0; c < depth.width; ++c)
      to[c] = static_cast<uint8_t>(z[c] == kNoDepth ? t.background : table[from[c]]);
  }
}

void ApplyTones(Grey16Image& grey, const DepthImage& depth, const ToneOptions& t) {
  const std::vector<int> table = ToneTable(65535, t);
  for (size_t k = 0; k < grey.levels.size(); ++k)
    grey.levels[k] =
        static_cast<uint16_t>(depth.depth[k] == kNoDepth ? t.background : table[grey.levels[k]]);
}

}  // namespace quarvel
