#include "ui/about_scroller.h"

#include <algorithm>

namespace quarvel {

BoxPlace PlaceOverMain(int mainLeft, int mainTop, int mainWidth, int mainHeight, int boxWidth,
                       int boxHeight) {
  return {mainLeft + (mainWidth - boxWidth) / 2, mainTop + (mainHeight - boxHeight) / 2 + 12};
}

void ComposeScroller(std::span<const uint8_t> text, std::span<const uint8_t> background,
                     std::span<uint8_t> out) {
  const size_t n = std::min({text.size(), background.size(), out.size()});
  for (size_t i = 0; i < n; ++i)
    out[i] = text[i] != 0 ? text[i] : background[i];
}

int NextScrollTop(int scrollTop, int textHeight, int windowHeight) {
  --scrollTop;
  return scrollTop <= -textHeight ? windowHeight : scrollTop;
}

}  // namespace quarvel
