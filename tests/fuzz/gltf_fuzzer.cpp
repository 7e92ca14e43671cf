// Feeds arbitrary bytes to the glTF reader, as a .glb and as a .gltf text, with no folder for
// external files, and, when they import, fits the model and renders a small mask, as the .3ds
// fuzzer does.
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

void ImportAndRender(std::span<const uint8_t> bytes, bool binary) {
  static const quarvel::Feedback feedback = CheckingFeedback();
  quarvel::Scene scene;
  const quarvel::ImportResult result =
      quarvel::ImportGLTFFromMemory(scene, bytes, binary, "", feedback);
  // The import reports exactly the faces it added to the fresh scene's mesh.
  if (result.faces != scene.ModelMesh->FaceCount()) std::abort();
  if (!result.ok || scene.ModelMesh->FaceCount() > kMaxRenderedFaces) return;

  scene.FitModel();
  scene.ModelTransform = scene.ModelFrame->GetTransform();
  scene.ReferenceDepth = scene.ModelTransform.m[3][2];
  quarvel::RenderState state;
  quarvel::MaskImage mask;
  quarvel::RenderObject(scene, state, mask, kMaskSize, kMaskSize, feedback);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  ImportAndRender(bytes, true);
  ImportAndRender(bytes, false);
  return 0;
}
