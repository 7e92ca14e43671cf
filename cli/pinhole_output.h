// What quarvel-render writes with the perspective camera: one picture as the orthographic view
// would look at the model (depths, or levels over their range) with its camera in the sidecar,
// or a set of views round the model with their transforms.json.
#pragma once

#include "base/error_text.h"
#include "options.h"

namespace quarvel {

// Renders and writes what the options ask of the perspective camera, for the scene as loaded
// from a file of `format` and placed by the view operations. Returns the first error.
ErrorText WritePerspective(const RenderOptions& o, const Scene& scene, ModelFormat format,
                           const Feedback& fb);

}  // namespace quarvel
