// Feeds arbitrary bytes to the OBJ reader and, when they import, fits the model and renders a
// small mask, as the .3ds fuzzer does.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "render/mask_image.h"
#include "render/rasterizer.h"
#include "scene/feedback.h"
#include "scene/model_formats.h"
#include "scene/scene.h"

namespace {

// Render time grows with the face count; larger meshes are imported but not rendered, which
// keeps every run short.
constexpr size_t kMaxRenderedFaces = 5000;
constexpr int kMaskSize = 100;

// Progress is a percentage: anything outside 0 to 100 is a bug worth stopping for.
quarvel::Feedback CheckingFeedback() {
  quarvel::Feedback fb;
  fb.progress = [](int percent) {
    if (percent < 0 || percent > 100) std::abort();
  };
  return fb;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const quarvel::Feedback feedback = CheckingFeedback();
  quarvel::Scene scene;
  const quarvel::ImportResult result =
      quarvel::ImportOBJFromMemory(scene, std::span<const uint8_t>(data, size), feedback);
  // The import reports exactly the faces it added to the fresh scene's mesh.
  if (result.faces != scene.ModelMesh->FaceCount()) std::abort();
  if (!result.ok || scene.ModelMesh->FaceCount() > kMaxRenderedFaces) return 0;

  scene.FitModel();
  scene.ModelTransform = scene.ModelFrame->GetTransform();
  scene.ReferenceDepth = scene.ModelTransform.m[3][2];
  quarvel::RenderState state;
  quarvel::MaskImage mask;
  quarvel::RenderObject(scene, state, mask, kMaskSize, kMaskSize, feedback);
  return 0;
}
