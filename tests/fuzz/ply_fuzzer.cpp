// Feeds arbitrary bytes to the PLY reader (ASCII and both binary encodings) and, when they
// import, fits the model and renders a small mask, as the .3ds fuzzer does.
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
      quarvel::ImportPLYFromMemory(scene, std::span<const uint8_t>(data, size), feedback);
  if (!quarvel::fuzz::CheckImport(result, *scene.ModelMesh)) return 0;
  // Each face comes from at least one byte of the file (a list item).
  if (scene.ModelMesh->FaceCount() > size) std::abort();
  quarvel::fuzz::FitAndRender(scene);
  return 0;
}
