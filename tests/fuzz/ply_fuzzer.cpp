// Feeds arbitrary bytes to the PLY reader (ASCII and both binary encodings) and, when they
// import, fits the model and renders a small mask, as the .3ds fuzzer does.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "model_fuzzing.h"
#include "scene/feedback.h"
#include "scene/model_formats.h"
#include "scene/scene.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const quarvel::Feedback& feedback = quarvel::fuzz::CheckingFeedback();
  quarvel::Scene scene;
  const quarvel::ImportResult result =
      quarvel::ImportPLYFromMemory(scene, std::span<const uint8_t>(data, size), feedback);
  const quarvel::Mesh& mesh = *scene.ModelMesh;
  // The import reports exactly the faces it added to the fresh scene's mesh; a failed one adds
  // nothing, and a good one has finite vertices only and faces over them.
  if (result.faces != mesh.FaceCount()) std::abort();
  if (!result.ok) {
    if (mesh.FaceCount() != 0 || !mesh.vertices().empty() || result.error.text.empty())
      std::abort();
    return 0;
  }
  for (const quarvel::Vec3& v : mesh.vertices())
    if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) std::abort();
  for (const quarvel::FaceIndices& f : mesh.faces())
    for (const uint32_t i : f)
      if (i >= mesh.vertices().size()) std::abort();
  // Each face comes from at least one byte of the file (a list item).
  if (mesh.FaceCount() > size) std::abort();
  quarvel::fuzz::FitAndRender(scene);
  return 0;
}
