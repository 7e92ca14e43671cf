// The placements the view control makes, shared by the desktop program's arrows and mouse drags
// and by the batch renderer's view options.
#pragma once

#include "scene/scene.h"

namespace quarvel {

constexpr float kClickAngle = 0.05f;  // radians per arrow click or mouse-move event

// Sets the model frame's rotation (axis in scene coordinates, theta radians per tick) and ticks
// the scene once.
inline void TurnModel(Scene& scene, float x, float y, float z, float theta) {
  scene.ModelFrame->SetRotation(x, y, z, theta);
  scene.SceneFrame->Move(1.0);
}

// Left-right and down-up moves shift the mesh inside the model frame, along its own axes.
inline void MoveMesh(Scene& scene, float x, float y, float z) {
  scene.ModelMesh->Translate(x, y, z);
  // FitOffset says where the mesh came from: the move, in scene units before the fit's scale.
  const Vec3& o = scene.FitOffset;
  scene.FitOffset = {Store(o.x + double(x) / scene.FitScale),
                     Store(o.y + double(y) / scene.FitScale),
                     Store(o.z + double(z) / scene.FitScale)};
}

// Towards-away moves shift the model frame along the viewing axis; the mask zooms with it.
inline void MoveFrameZ(Scene& scene, float dz) {
  const Vec3 p = scene.ModelFrame->GetPosition();
  scene.ModelFrame->SetPosition({p.x, p.y, Store(double(p.z) + dz)});
}

// One arrow click moves by 0.1 x FitScale, but at least 0.1.
inline float MoveStep(float fitScale) {
  const float s = Store(0.1 * fitScale);
  return s < 0.1f ? 0.1f : s;
}

}  // namespace quarvel
