// Feeds arbitrary bytes to the .3ds reader and, when they import, fits the model and renders a
// small mask, so that odd vertex values (NaN, infinities, huge numbers) reach the rasteriser too.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "base/feedback.h"
#include "model_fuzzing.h"
#include "scene/import_3ds.h"
#include "scene/scene.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const quarvel::Feedback& feedback = quarvel::fuzz::CheckingFeedback();
  quarvel::Scene scene;
  const quarvel::ImportResult result =
      quarvel::Import3DSFromMemory(scene, std::span<const uint8_t>(data, size), feedback);
  // The import reports exactly the faces it added to the fresh scene's mesh.
  if (result.faces != scene.ModelMesh->FaceCount()) std::abort();
  if (result.ok) quarvel::fuzz::FitAndRender(scene);
  return 0;
}
