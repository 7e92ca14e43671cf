// The about box's arithmetic, apart from its window: where the box goes over the main window,
// how the scrolling text is laid over the picture, and where the text moves on each step.
#pragma once

#include <cstdint>
#include <span>

namespace quarvel {

// The box and the scroller window inside it, in pixels.
constexpr int kAboutWidth = 360, kAboutHeight = 270;
constexpr int kScrollerLeft = 56, kScrollerTop = 124;
constexpr int kScrollerWidth = 249, kScrollerHeight = 99;

// The text colour of the scroller and the labels, as 0x00BBGGRR: red 172, green 242, blue 255.
constexpr uint32_t kAboutTextColor = 16773804;

// Timer intervals: the text stands still this long after the box opens, then moves one pixel
// per step.
constexpr int kScrollFirstDelayMs = 1500, kScrollStepMs = 50;

struct BoxPlace {
  int left = 0, top = 0;
};

// Centred horizontally over the main window and 12 px below its vertical centre; each half
// rounds toward zero, so a main window smaller than the box gives a box that reaches past it on
// both sides.
BoxPlace PlaceOverMain(int mainLeft, int mainTop, int mainWidth, int mainHeight, int boxWidth,
                       int boxHeight);

// Lays the text image over the background, byte by byte: a byte of the text image that is not 0
// wins, a 0 lets the background's byte through, so black is transparent and a text colour with a
// zero channel shows the background in that channel. Covers the bytes the three have in common.
void ComposeScroller(std::span<const uint8_t> text, std::span<const uint8_t> background,
                     std::span<uint8_t> out);

// The text's offset for the next step: one pixel higher, and once the whole text (textHeight
// pixels) has left the window at the top, back to the window's bottom edge so that it comes in
// again from below.
int NextScrollTop(int scrollTop, int textHeight, int windowHeight = kScrollerHeight);

}  // namespace quarvel
