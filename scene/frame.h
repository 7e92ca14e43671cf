// A coordinate frame of the scene hierarchy: position and orientation relative to its parent, a
// rotation rate applied at each tick, and the lights it carries.
#pragma once

#include <memory>
#include <vector>

#include "geometry.h"
#include "mesh.h"  // Rgb

namespace quarvel {

enum class LightType { Ambient = 0, Directional = 3 };

struct Light {
  LightType type;
  Rgb color;
};

class Frame {
 public:
  Frame() = default;
  Frame(const Frame&) = delete;
  Frame& operator=(const Frame&) = delete;

  // A new child frame at the parent's origin with the parent's orientation.
  Frame& CreateFrame();

  // Position relative to the parent frame.
  void SetPosition(Vec3 p) { position_ = p; }
  Vec3 GetPosition() const { return position_; }

  // The turn applied at each tick: `theta` radians about (x, y, z), an axis given in the parent
  // frame's coordinates and passing through this frame's origin.
  void SetRotation(float x, float y, float z, float theta);

  // Sets the orientation outright: row i is where the frame's axis i points in the parent's
  // coordinates. Exact quarter turns need it, which turns by an angle only come near.
  void SetOrientation(const float (&m)[3][3]) {
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j)
        orientation_[i][j] = m[i][j];
  }

  // One tick of `delta` for this frame and all frames below it: every frame with a rotation rate
  // turns by rate x delta radians. Positions do not change.
  void Move(double delta);

  // The frame's transform relative to its parent.
  Transform GetTransform() const;

  void AddLight(Light l) { lights_.push_back(l); }
  std::vector<Light>& GetLights() { return lights_; }
  const std::vector<Light>& GetLights() const { return lights_; }
  const std::vector<std::unique_ptr<Frame>>& children() const { return children_; }

 private:
  void Turn(double theta);

  Vec3 position_;
  float orientation_[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  Vec3 axis_{0, 1, 0};
  float theta_ = 0;
  std::vector<Light> lights_;
  std::vector<std::unique_ptr<Frame>> children_;
};

}  // namespace quarvel
