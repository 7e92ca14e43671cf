// The files of a set of perspective views: for each camera its depth (EXR or PFM), and when
// asked its normals and its coverage, then the views' transforms.json, all in one folder.
#pragma once

#include <string>
#include <vector>

#include "base/error_text.h"
#include "base/feedback.h"
#include "base/file_io.h"
#include "camera_views.h"
#include "output_format.h"

namespace quarvel {

struct ViewSet {
  int width = 0, height = 0;
  Intrinsics k;
  DepthKind depth = DepthKind::AlongAxis;
  OutputFormat depthFormat = OutputFormat::Exr;  // exr or pfm
  bool normals = false, mask = false;
  int threads = 0;                    // views drawn at once; 0: one per processor
  std::vector<Affine> cameraToWorld;  // OpenGL axes, the model file's coordinates
};

// Renders every view of the scene's mesh (`meshFromFile` placing it in the file's coordinates)
// into `folder` (its path the views' folder; see OutFolder): depth/0000.exr (or .pfm),
// normals/0000.exr (or .png when the depth is pfm), mask/0000.png (255 where a face is seen), then
// transforms.json, written last so that its presence says the views are complete. Folders are made
// as needed. Returns the first error.
ErrorText WriteViews(const Scene& scene, const Affine& meshFromFile, const ViewSet& views,
                     const std::string& model, const OutFolder& folder, const Feedback& fb);

}  // namespace quarvel
