// A one-line progress bar on standard error, drawn only when it is a terminal.
#pragma once

#include <cstdio>
#include <string>

namespace quarvel {

class ProgressBar {
 public:
  explicit ProgressBar(bool enabled) : enabled_(enabled) {}

  void SetLabel(const std::string& label) {
    label_ = label;
    Draw();
  }
  void Show(int percent) {
    percent_ = percent < 0 ? 0 : percent > 100 ? 100 : percent;
    Draw();
  }
  void Clear() {
    if (enabled_ && drawn_) std::fputs("\r\033[K", stderr);
    drawn_ = false;
    percent_ = 0;
  }

 private:
  void Draw() {
    if (!enabled_) return;
    constexpr int kWidth = 30;
    const int filled = percent_ * kWidth / 100;
    std::fprintf(stderr, "\r\033[K[%s%s] %3d%% %s", std::string(filled, '#').c_str(),
                 std::string(kWidth - filled, ' ').c_str(), percent_, label_.c_str());
    std::fflush(stderr);
    drawn_ = true;
  }

  bool enabled_;
  bool drawn_ = false;
  int percent_ = 0;
  std::string label_;
};

}  // namespace quarvel
