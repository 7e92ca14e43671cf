// What every model reader's fuzzer does around the reader: feedback that stops on a progress
// outside 0 to 100, and, for a model that imported, the fit and a small render, so that odd vertex
// values (NaN, infinities, huge numbers) reach the rasteriser too.
#pragma once

#include <cstddef>
#include <cstdlib>

#include "render/mask_image.h"
#include "render/rasterizer.h"
#include "scene/feedback.h"
#include "scene/scene.h"

namespace quarvel::fuzz {

// Progress is a percentage: anything outside 0 to 100 is a bug worth stopping for.
inline const Feedback& CheckingFeedback() {
  static const Feedback fb = [] {
    Feedback f;
    f.progress = [](int percent) {
      if (percent < 0 || percent > 100) std::abort();
    };
    return f;
  }();
  return fb;
}

// Fits the imported model and renders a 100 x 100 mask, as a load and a render do. Render time
// grows with the face count: larger meshes are imported but not rendered, which keeps every run
// short.
inline void FitAndRender(Scene& scene) {
  constexpr size_t kMaxRenderedFaces = 5000;
  if (scene.ModelMesh->FaceCount() > kMaxRenderedFaces) return;
  scene.FitModel();
  scene.ModelTransform = scene.ModelFrame->GetTransform();
  scene.ReferenceDepth = scene.ModelTransform.m[3][2];
  RenderState state;
  MaskImage mask;
  RenderObject(scene, state, mask, 100, 100, CheckingFeedback());
}

}  // namespace quarvel::fuzz
