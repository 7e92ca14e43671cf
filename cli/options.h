// The batch renderer's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "scene/scene.h"

namespace quarvel {

struct ViewOp {
  enum Kind { Rotate, Clicks, MoveX, MoveY, MoveZ } kind;
  Vec3 axis;        // Rotate, Clicks
  float value = 0;  // Rotate: radians; moves: distance
  int clicks = 0;   // Clicks: positive for the left arrow (+0.05), negative for the right
};

struct RenderOptions {
  std::string model;
  std::string output;  // default: the model's name with ".bmp", in the current folder
  int width = 640, height = 480;
  std::vector<ViewOp> view;
  int threads = 0;  // 0: one per processor
  bool info = false;
  bool help = false;
};

constexpr int kMinSize = 100, kMaxSize = 10000;
constexpr int kMaxClicks = 1000000;

// Parses the arguments after the program's name. Returns the options, or sets `error` to a
// message for the user and returns nothing.
std::optional<RenderOptions> ParseRenderOptions(const std::vector<std::string>& args,
                                                std::string& error);

// Applies the view operations to a freshly loaded scene, in order.
void ApplyView(Scene& scene, const std::vector<ViewOp>& view);

extern const char* const kRenderUsage;

}  // namespace quarvel
