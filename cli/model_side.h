// The six sides quarvel-render can show a model from before any other view operation: exact
// quarter turns of the model's own axes (x to the right, y up, z away from the viewer, as every
// reader places the model), each matrix made of 0 and ±1 only, so that the turned mask is as
// exact as the front one.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "scene/scene.h"

namespace quarvel {

enum class ModelSide { Front, Back, Left, Right, Top, Bottom };

struct SideName {
  const char* name;
  ModelSide side;
};
constexpr std::array<SideName, 6> kSideNames = {{{"front", ModelSide::Front},
                                                 {"back", ModelSide::Back},
                                                 {"left", ModelSide::Left},
                                                 {"right", ModelSide::Right},
                                                 {"top", ModelSide::Top},
                                                 {"bottom", ModelSide::Bottom}}};

inline std::optional<ModelSide> SideByName(const std::string& name) {
  for (const SideName& s : kSideNames)
    if (name == s.name) return s.side;
  return std::nullopt;
}

// Turns the model frame to show that side, replacing its orientation. Row i is where the
// model's axis i points in the scene. The side shown faces the viewer (-z); left and right keep
// the model's top up, right shows its +x side; top shows its back (+z) at the top of the picture
// and bottom its front, as when the model is tipped towards or away from the viewer. The fit
// does not change: it takes the largest of the three extents, which a quarter turn only swaps.
inline void ShowSide(Scene& scene, ModelSide side) {
  using M = float[3][3];
  static constexpr M kFront = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  static constexpr M kBack = {{-1, 0, 0}, {0, 1, 0}, {0, 0, -1}};
  static constexpr M kLeft = {{0, 0, 1}, {0, 1, 0}, {-1, 0, 0}};
  static constexpr M kRight = {{0, 0, -1}, {0, 1, 0}, {1, 0, 0}};
  static constexpr M kTop = {{1, 0, 0}, {0, 0, -1}, {0, 1, 0}};
  static constexpr M kBottom = {{1, 0, 0}, {0, 0, 1}, {0, -1, 0}};
  static constexpr const M* kBySide[] = {&kFront, &kBack, &kLeft, &kRight, &kTop, &kBottom};
  scene.ModelFrame->SetOrientation(*kBySide[static_cast<int>(side)]);
}

}  // namespace quarvel
