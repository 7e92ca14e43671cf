#include "progress_bar.h"

#include <algorithm>
#include <cmath>

namespace quarvel {

namespace {

constexpr int kBarWidth = 30;

// "about 12 s left", "about 3 min 5 s left", "about 2 h 10 min left".
std::string TimeLeft(double seconds) {
  const long s = std::lround(std::max(seconds, 1.0));
  const std::string text =
      s < 60     ? std::to_string(s) + " s"
      : s < 3600 ? std::to_string(s / 60) + " min " + std::to_string(s % 60) + " s"
                 : std::to_string(s / 3600) + " h " + std::to_string(s / 60 % 60) + " min";
  return "about " + text + " left";
}

}  // namespace

std::string ProgressLine(int percent, const std::string& step) {
  const int p = std::clamp(percent, 0, 100);
  const int filled = p * kBarWidth / 100;
  std::string line(size_t(kBarWidth) + 2, ' ');
  line.front() = '[';
  line.back() = ']';
  line.replace(1, size_t(filled), size_t(filled), '#');
  char number[8];
  std::snprintf(number, sizeof number, " %3d%% ", p);
  return line + number + step;
}

std::string FramesStep(int done, int total, double secondsSoFar) {
  std::string text = std::to_string(done) + " of " + std::to_string(total) + " frames written";
  if (done > 0 && done < total) text += ", " + TimeLeft(secondsSoFar / done * (total - done));
  return text;
}

void ProgressBar::Step(const std::string& step, int upTo) {
  percent_ = from_ = std::max(percent_, upTo_);  // the step before is done
  upTo_ = std::max(upTo, percent_);
  step_ = step;
  started_ = std::chrono::steady_clock::now();
  Draw();
}

void ProgressBar::Part(int percent) {
  percent_ = std::max(percent_, from_ + (upTo_ - from_) * std::clamp(percent, 0, 100) / 100);
  Draw();
}

void ProgressBar::Frames(int done, int total) {
  const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - started_;
  step_ = FramesStep(done, total, taken.count());
  Part(total > 0 ? done * 100 / total : 100);
}

void ProgressBar::Clear() {
  if (out_ && drawn_) std::fputs("\r\033[K", out_);
  drawn_ = false;
}

void ProgressBar::Draw() {
  if (!out_) return;
  std::fprintf(out_, "\r\033[K%s", ProgressLine(percent_, step_).c_str());
  std::fflush(out_);
  drawn_ = true;
}

}  // namespace quarvel
