#include "scene.h"

#include <algorithm>
#include <cmath>

namespace quarvel {

Rgb ColorToRgb(uint32_t color) {
  auto channel = [&](int shift) { return Store(((color >> shift) & 0xFF) * (1.0 / 255)); };
  return {channel(0), channel(8), channel(16)};
}

Material SceneMaterial() {
  return {35000.0f, {0.2f, 0.2f, 0.2f}, {0.05f, 0.05f, 0.05f}};
}

void Scene::DXDrawInitialize() {
  // The mesh of the previous scene is released only after the frames that refer to it.
  auto scene = std::make_unique<Frame>();
  CameraFrame = &scene->CreateFrame();
  LightFrame = &scene->CreateFrame();
  ModelFrame = &scene->CreateFrame();
  LightFrame->AddLight({LightType::Directional, {0.85f, 0.85f, 0.85f}});
  scene->AddLight({LightType::Ambient, ColorToRgb(LightColor)});
  LightFrame->SetPosition({2.0f, 0, -2.0f});
  CameraFrame->SetPosition({0, 0, 0});
  ModelFrame->SetPosition({0, 0, kModelDepth});
  ModelFrame->SetRotation(0, 1, 0, 0.05f);
  SceneFrame = std::move(scene);
  ModelMesh = std::make_unique<Mesh>();
  ModelMesh->SetMaterial(SceneMaterial());
  SetColor(ObjColor);
}

void Scene::FitModel() {
  const Box b = ModelMesh->GetBox();
  ExtentX = Extent(b.max.x, b.min.x);
  ExtentY = Extent(b.max.y, b.min.y);
  ExtentZ = Extent(b.max.z, b.min.z);
  ModelMesh->Translate(Store(ExtentX * 0.5 - b.max.x), Store(ExtentY * 0.5 - b.max.y),
                       Store(ExtentZ * 0.5 - b.max.z));
  // The same offsets, kept. Worked out after the call, from the extents as stored: GCC 12 built
  // them from the extents before their rounding to float when they were worked out once for both
  // (its vectoriser took a float conversion and its way back for no conversion at all), which
  // moved the model by a float step and changed pixels.
  FitOffset = {Store(ExtentX * 0.5 - b.max.x), Store(ExtentY * 0.5 - b.max.y),
               Store(ExtentZ * 0.5 - b.max.z)};
  const float largest = std::max({ExtentX, ExtentY, ExtentZ});
  // An empty or single-point model has no size to fit; a NaN extent has none either.
  FitScale = largest > 0 && std::isfinite(largest) ? Store(9.0 / largest) : 1.0f;
  if (FitScale != 1.0f) ModelMesh->Scale(FitScale, FitScale, FitScale);
}

bool Scene::SetColorBright(uint32_t objColor, uint32_t lightColor) {
  SetColor(objColor);
  for (Light& light : SceneFrame->GetLights()) {
    if (light.type != LightType::Ambient) continue;
    light.color = ColorToRgb(lightColor);
    return true;
  }
  return !SceneFrame->GetLights().empty();
}

}  // namespace quarvel
