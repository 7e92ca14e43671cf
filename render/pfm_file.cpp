#include "pfm_file.h"

#include <bit>
#include <stdexcept>
#include <string>

namespace quarvel {

std::vector<uint8_t> PfmBytes(const DepthImage& depth) {
  if (depth.depth.size() != size_t(depth.width) * size_t(depth.height))
    throw std::invalid_argument("depth image of the wrong size");
  // A negative scale says the floats are little-endian.
  const std::string header =
      "Pf\n" + std::to_string(depth.width) + " " + std::to_string(depth.height) + "\n-1.0\n";
  std::vector<uint8_t> bytes(header.begin(), header.end());
  bytes.reserve(header.size() + depth.depth.size() * 4);
  for (int r = depth.height - 1; r >= 0; --r) {
    const float* row = depth.Row(r);
    for (int c = 0; c < depth.width; ++c) {
      const auto bits = std::bit_cast<uint32_t>(row[c]);
      for (int k = 0; k < 4; ++k)
        bytes.push_back(static_cast<uint8_t>(bits >> (8 * k)));
    }
  }
  return bytes;
}

}  // namespace quarvel
