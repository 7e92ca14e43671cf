// transforms.json: the cameras of a set of views, in the form neural-field tools read. Their
// convention: camera-to-world 4 x 4 matrices with OpenGL's camera axes (x right, y up, looking
// down -z), and pixel coordinates whose first pixel's centre is at (0.5, 0.5), so that cx and cy
// are OpenCV's plus one half.
#pragma once

#include <string>
#include <vector>

#include "camera_math.h"
#include "render/pinhole_render.h"

namespace quarvel {

struct ViewFiles {
  std::string depth, normals, mask;  // relative to the folder of transforms.json; empty: none
};

struct TransformsFacts {
  int width = 0, height = 0;
  Intrinsics k;  // as OpenCV counts pixels
  DepthKind depth = DepthKind::AlongAxis;
  std::string model;                  // the model file, as given
  std::vector<Affine> cameraToWorld;  // OpenGL axes, the model file's coordinates
  std::vector<ViewFiles> files;       // one per camera
};

std::string TransformsJson(const TransformsFacts& facts);

}  // namespace quarvel
