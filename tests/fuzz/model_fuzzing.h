// What every model reader's fuzzer does around the reader: feedback that stops on a progress
// outside 0 to 100, and, for a model that imported, the fit and a small render, so that odd vertex
// values (NaN, infinities, huge numbers) reach the rasteriser too.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdlib>

#include "base/feedback.h"
#include "render/mask_image.h"
#include "render/rasterizer.h"
#include "scene/import_3ds.h"
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

// Stops unless the import reports exactly the faces it added to the fresh scene's mesh, a failed
// one added nothing and said why, and a good one has finite vertices only and faces over them.
// Returns whether the import succeeded.
inline bool CheckImport(const ImportResult& result, const Mesh& mesh) {
  if (result.faces != mesh.FaceCount()) std::abort();
  if (!result.ok) {
    if (mesh.FaceCount() != 0 || !mesh.vertices().empty() || result.error.text.empty())
      std::abort();
    return false;
  }
  for (const Vec3& v : mesh.vertices())
    if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) std::abort();
  for (const FaceIndices& f : mesh.faces())
    for (const uint32_t i : f)
      if (i >= mesh.vertices().size()) std::abort();
  return true;
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
