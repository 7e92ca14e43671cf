// A one-line progress bar on standard error while it is a terminal: one bar for the whole run,
// which only grows, from reading the model to the last frame, with the step under way and, for
// an animation, the time left.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

namespace quarvel {

// "[#########                     ]  30% 3 of 10 frames written, about 12 s left".
std::string ProgressLine(int percent, const std::string& step);
// "3 of 10 frames written", with "about 12 s left" after it once a frame has taken its time.
std::string FramesStep(int done, int total, double secondsSoFar);

class ProgressBar {
 public:
  // Draws on `out`; null draws nothing.
  explicit ProgressBar(std::FILE* out) : out_(out) {}

  // Begins a step of the run, named by `step`, that takes the bar from the end of the step before
  // to `upTo` percent.
  void Step(const std::string& step, int upTo);
  // How far the step is, from 0 to 100. The bar never goes back, whatever it is told.
  void Part(int percent);
  // `done` of the animation's `total` frames are written; the step began with the first frame.
  void Frames(int done, int total);
  // Removes the line, so that a message can take its place; the next call draws it again as it
  // was.
  void Clear();

 private:
  void Draw();

  std::FILE* out_;
  bool drawn_ = false;
  int percent_ = 0, from_ = 0, upTo_ = 0;
  std::string step_;
  std::chrono::steady_clock::time_point started_;
};

}  // namespace quarvel
