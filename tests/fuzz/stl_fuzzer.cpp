// Feeds arbitrary bytes to the STL reader (binary and ASCII) and, when they import, fits the
// model and renders a small mask, as the .3ds fuzzer does.
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
      quarvel::ImportSTLFromMemory(scene, std::span<const uint8_t>(data, size), feedback);
  if (!quarvel::fuzz::CheckImport(result, *scene.ModelMesh)) return 0;
  // Each face has three vertices of its own.
  const quarvel::Mesh& mesh = *scene.ModelMesh;
  if (mesh.vertices().size() != 3 * mesh.FaceCount()) std::abort();
  for (size_t i = 0; i < mesh.FaceCount(); ++i) {
    const auto base = static_cast<uint32_t>(3 * i);
    if (mesh.faces()[i] != quarvel::FaceIndices{base + 2, base + 1, base}) std::abort();
  }
  quarvel::fuzz::FitAndRender(scene);
  return 0;
}
