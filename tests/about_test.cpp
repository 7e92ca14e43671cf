// The about box's arithmetic: the text laid over the picture, the scroller's steps, and the
// box's place over the main window.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "ui/about_scroller.h"

namespace quarvel {
namespace {

TEST(AboutBox, TextCoversThePictureChannelByChannel) {
  // Three pixels: black text (the picture shows), a text colour with a zero green channel, and
  // the text colour itself.
  const std::vector<uint8_t> text = {0, 0, 0, 172, 0, 255, 172, 242, 255};
  const std::vector<uint8_t> picture = {10, 20, 30, 40, 50, 60, 70, 80, 90};
  std::vector<uint8_t> out(9, 0xEE);
  ComposeScroller(text, picture, out);
  EXPECT_EQ(out, (std::vector<uint8_t>{10, 20, 30, 172, 50, 255, 172, 242, 255}));

  // Only the bytes all three have: a shorter picture leaves the rest of the output alone.
  std::array<uint8_t, 4> shortOut = {1, 1, 1, 1};
  ComposeScroller(text, std::span(picture).first(3), shortOut);
  EXPECT_EQ(shortOut, (std::array<uint8_t, 4>{10, 20, 30, 1}));
}

TEST(AboutBox, TheTextComesInAgainFromBelowOnceItHasLeftAtTheTop) {
  const int height = 30;
  int top = 0;
  std::vector<int> tops;
  for (int step = 0; step < 40; ++step) {
    tops.push_back(top);
    top = NextScrollTop(top, height);
  }
  // Up one pixel a step while any row of the text is in the window...
  for (int step = 0; step < height; ++step)
    EXPECT_EQ(tops[size_t(step)], -step);
  // ...then the text starts again just below the window's bottom edge and moves up again.
  EXPECT_EQ(tops[height], kScrollerHeight);
  EXPECT_EQ(tops[height + 1], kScrollerHeight - 1);

  // From below, a whole pass: through the window and out at the top, back to the bottom edge.
  top = kScrollerHeight;
  int steps = 0;
  do {
    top = NextScrollTop(top, height);
    ++steps;
  } while (top != kScrollerHeight && steps < 1000);
  EXPECT_EQ(steps, kScrollerHeight + height);

  // No text at all still moves and comes back.
  EXPECT_EQ(NextScrollTop(0, 0), kScrollerHeight);
  EXPECT_EQ(NextScrollTop(5, 0), 4);
}

TEST(AboutBox, OpensCentredAndTwelvePixelsLowOverTheMainWindow) {
  const BoxPlace big = PlaceOverMain(100, 50, 900, 600, kAboutWidth, kAboutHeight);
  EXPECT_EQ(big.left, 100 + 270);
  EXPECT_EQ(big.top, 50 + 165 + 12);

  // A main window smaller than the box: the box reaches past it on every side, each half
  // rounded toward zero (-59 / 2 = -29, -69 / 2 = -34).
  const BoxPlace small = PlaceOverMain(100, 50, 301, 201, kAboutWidth, kAboutHeight);
  EXPECT_EQ(small.left, 71);
  EXPECT_EQ(small.top, 28);

  // Near the screen's top left corner the box may start above or left of the screen.
  const BoxPlace corner = PlaceOverMain(0, 0, 200, 100, kAboutWidth, kAboutHeight);
  EXPECT_EQ(corner.left, -80);
  EXPECT_EQ(corner.top, -73);
}

}  // namespace
}  // namespace quarvel
