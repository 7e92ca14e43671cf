// The retained scene: one model mesh on one model frame, a fixed camera at the origin looking
// along +z, a directional light and an ambient light. Rebuilt from scratch for every load.
#pragma once

#include <cstdint>
#include <memory>

#include "base/default_colors.h"
#include "frame.h"
#include "mesh.h"

namespace quarvel {

constexpr float kModelDepth = 15.0f;  // the model frame's distance from the camera at rest

Rgb ColorToRgb(uint32_t color);

struct Scene {
  Scene() { DXDrawInitialize(); }

  // Builds a fresh scene: a new scene frame and camera, the lights, the model frame at
  // (0, 0, 15) turning 0.05 rad per tick about y, and an empty mesh with the scene's material
  // and `ObjColor`. Everything of the previous scene is released.
  void DXDrawInitialize();

  // Centres the mesh on the model frame's origin and scales its largest side to 9 units. A
  // largest extent of 0 leaves the mesh unscaled, with `FitScale` 1.
  void FitModel();

  void SetColor(uint32_t color) { ModelMesh->SetColorRGB(ColorToRgb(color)); }

  // Sets the mesh colour and the colour of the scene frame's ambient light. Returns whether the
  // 3D view is due a redraw: false when the scene frame has no ambient light to change.
  bool SetColorBright(uint32_t objColor, uint32_t lightColor);

  std::unique_ptr<Frame> SceneFrame;
  Frame* CameraFrame = nullptr;
  Frame* LightFrame = nullptr;
  Frame* ModelFrame = nullptr;
  std::unique_ptr<Mesh> ModelMesh;

  float ExtentX = 0, ExtentY = 0, ExtentZ = 0;
  float FitScale = 1;
  // What FitModel added to every vertex before scaling it, and the moves along the model's own
  // axes since: a vertex v of the mesh came from the scene point v / FitScale - FitOffset.
  Vec3 FitOffset;
  Transform ModelTransform;
  float ReferenceDepth = kModelDepth;
  bool ModelLoaded = false;
  uint32_t ObjColor = kDefaultObjColor;
  uint32_t LightColor = kDefaultLightColor;
};

// The material every model gets: specular power 35000, specular 0.2, emissive 0.05.
Material SceneMaterial();

}  // namespace quarvel
