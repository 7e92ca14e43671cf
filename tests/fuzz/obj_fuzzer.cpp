// Feeds arbitrary bytes to the OBJ reader and, when they import, fits the model and renders a
// small mask, as the .3ds fuzzer does.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "base/feedback.h"
#include "model_fuzzing.h"
#include "scene/model_formats.h"
#include "scene/scene.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const quarvel::Feedback& feedback = quarvel::fuzz::CheckingFeedback();
  quarvel::Scene scene;
  const quarvel::ImportResult result =
      quarvel::ImportOBJFromMemory(scene, std::span<const uint8_t>(data, size), feedback);
  // The import reports exactly the faces it added to the fresh scene's mesh.
  if (result.faces != scene.ModelMesh->FaceCount()) std::abort();
  if (result.ok) quarvel::fuzz::FitAndRender(scene);
  return 0;
}
