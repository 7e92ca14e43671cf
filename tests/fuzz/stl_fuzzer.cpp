// Feeds arbitrary bytes to the STL reader (binary and ASCII) and, when they import, fits the
// model and renders a small mask, as the .3ds fuzzer does.
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
      quarvel::ImportSTLFromMemory(scene, std::span<const uint8_t>(data, size), feedback);
  const quarvel::Mesh& mesh = *scene.ModelMesh;
  // The import reports exactly the faces it added to the fresh scene's mesh; a failed one adds
  // nothing, and a good one has three vertices of its own for each face, all finite.
  if (result.faces != mesh.FaceCount()) std::abort();
  if (!result.ok) {
    if (mesh.FaceCount() != 0 || !mesh.vertices().empty() || result.error.text.empty())
      std::abort();
    return 0;
  }
  if (mesh.vertices().size() != 3 * mesh.FaceCount()) std::abort();
  for (const quarvel::Vec3& v : mesh.vertices())
    if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) std::abort();
  for (size_t i = 0; i < mesh.FaceCount(); ++i) {
    const auto base = static_cast<uint32_t>(3 * i);
    if (mesh.faces()[i] != quarvel::FaceIndices{base + 2, base + 1, base}) std::abort();
  }
  quarvel::fuzz::FitAndRender(scene);
  return 0;
}
