#include <gtest/gtest.h>

#include "render/preview.h"

namespace quarvel {
namespace {

TEST(Preview, SizeShrinksOnlyMasksLargerThanTheScreen) {
  const Size2 screen{1024, 768};
  EXPECT_EQ(PreviewSize({10000, 10000}, {200, 500}, screen), (Size2{1024, 1024}));
  EXPECT_EQ(PreviewSize({640, 480}, {200, 500}, screen), (Size2{640, 480}));
  // Relatively narrower than the pane: only a mask wider than the screen shrinks, to the
  // screen's height.
  EXPECT_EQ(PreviewSize({100, 10000}, {500, 200}, screen), (Size2{100, 10000}));
  EXPECT_EQ(PreviewSize({2000, 1000}, {500, 200}, screen), (Size2{1536, 768}));
  EXPECT_EQ(PreviewSize({640, 480}, {0, 500}, screen), (Size2{}));
}

TEST(Preview, SamplesTheNearestMaskPixel) {
  MaskImage mask;
  mask.SetSize(4, 2);
  for (int c = 0; c < 4; ++c) {
    mask.Row(0)[c] = uint8_t(10 + c);
    mask.Row(1)[c] = uint8_t(20 + c);
  }
  EXPECT_EQ(SamplePreview(mask, {2, 1}), (std::vector<uint8_t>{10, 12}));
  EXPECT_EQ(SamplePreview(mask, {8, 4}),
            (std::vector<uint8_t>{10, 10, 11, 11, 12, 12, 13, 13, 10, 10, 11, 11, 12, 12, 13, 13,
                                  20, 20, 21, 21, 22, 22, 23, 23, 20, 20, 21, 21, 22, 22, 23, 23}));
  EXPECT_TRUE(SamplePreview(MaskImage{}, {2, 2}).empty());
}

TEST(Preview, PaintsCentredAndNeverEnlarges) {
  EXPECT_EQ(PaintRect({100, 50}, {300, 200}), (Rect2{100, 75, 100, 50}));
  EXPECT_EQ(PaintRect({1000, 500}, {300, 200}), (Rect2{0, 25, 300, 150}));
  EXPECT_EQ(PaintRect({}, {300, 200}), (Rect2{}));
}

}  // namespace
}  // namespace quarvel
