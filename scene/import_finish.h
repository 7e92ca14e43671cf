// The end of a model import that the readers of every format share: the face count in the status
// bar, the hint cleared, the scene's colour and material on the mesh, the progress bar back at 0.
#pragma once

#include <cstdint>

#include "feedback.h"
#include "scene.h"

namespace quarvel {

void FinishImport(Scene& scene, uint32_t faces, const Feedback& fb);

}  // namespace quarvel
