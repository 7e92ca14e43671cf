// Feeds arbitrary bytes to the glTF reader, as a .glb and as a .gltf text, with no folder for
// external files, and, when they import, fits the model and renders a small mask, as the .3ds
// fuzzer does.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "base/feedback.h"
#include "model_fuzzing.h"
#include "scene/model_formats.h"
#include "scene/scene.h"

namespace {

void ImportAndRender(std::span<const uint8_t> bytes, bool binary) {
  const quarvel::Feedback& feedback = quarvel::fuzz::CheckingFeedback();
  quarvel::Scene scene;
  const quarvel::ImportResult result =
      quarvel::ImportGLTFFromMemory(scene, bytes, binary, "", feedback);
  // The import reports exactly the faces it added to the fresh scene's mesh.
  if (result.faces != scene.ModelMesh->FaceCount()) std::abort();
  if (result.ok) quarvel::fuzz::FitAndRender(scene);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  ImportAndRender(bytes, true);
  ImportAndRender(bytes, false);
  return 0;
}
