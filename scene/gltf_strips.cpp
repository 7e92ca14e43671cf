#include "gltf_strips.h"

#include <tiny_gltf.h>

namespace quarvel {

size_t TriangleCount(int mode, size_t corners) {
  if (mode == TINYGLTF_MODE_TRIANGLES) return corners / 3;
  return corners < 3 ? 0 : corners - 2;
}

std::array<size_t, 3> TriangleCorners(int mode, size_t t) {
  switch (mode) {
    case TINYGLTF_MODE_TRIANGLE_STRIP:
      return t % 2 == 0 ? std::array<size_t, 3>{t, t + 1, t + 2}
                        : std::array<size_t, 3>{t, t + 2, t + 1};
    case TINYGLTF_MODE_TRIANGLE_FAN:
      return {t + 1, t + 2, 0};
    default:
      return {3 * t, 3 * t + 1, 3 * t + 2};
  }
}

}  // namespace quarvel
