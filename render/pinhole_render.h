// The perspective camera: the model mesh seen through a pinhole camera with intrinsics, every
// pixel's centre tested against the projected triangles and given the exact depth of the nearest
// triangle's plane along the pixel's ray. Faces that cross the near plane are clipped to it.
#pragma once

#include <vector>

#include "base/feedback.h"
#include "depth_image.h"
#include "scene/mesh.h"

namespace quarvel {

// Pixels, as OpenCV has them: the centre of pixel (c, r), column c from the left and row r from
// the top, is at image point (c, r); a camera point (x, y, z) projects to
// (fx x / z + cx, fy y / z + cy).
struct Intrinsics {
  double fx = 0, fy = 0, cx = 0, cy = 0;
};

// Where a mesh point v goes in camera space: X = m * [v 1], the camera's axes as OpenCV has
// them (x to the right, y down, z forward, away from the camera).
struct CameraPose {
  double m[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
};

enum class DepthKind {
  AlongAxis,  // z of the surface point in camera space
  AlongRay,   // its distance from the camera's centre
};

struct PerspectiveRequest {
  int width = 0, height = 0;
  Intrinsics k;
  CameraPose pose;
  double nearZ = 1e-3;  // faces are clipped to z >= nearZ, in camera units
  DepthKind depth = DepthKind::AlongAxis;
  bool normals = false;  // also fill PerspectiveImages::normals
};

// Per pixel, row 0 the top row, three floats: the unit normal of the nearest face in camera
// space, turned towards the camera; (0, 0, 0) where no face covers the pixel.
struct NormalImage {
  int width = 0, height = 0;
  std::vector<float> xyz;  // width x height x 3
};

struct PerspectiveImages {
  DepthImage depth;     // kNoDepth where no face covers the pixel
  NormalImage normals;  // when asked for, else empty
};

// Renders the mesh (its vertices as stored) with the request into `out`, replacing what it held.
// A pixel is covered when its centre lies in the projected triangle, edges included; its depth is
// that of the face nearest along its ray, computed in double from the face's plane and the ray
// through the pixel's centre, stored as float. Throws std::invalid_argument for a negative size,
// camera values that are not finite, a zero focal length or a near plane not in front (<= 0).
void RenderPerspective(const Mesh& mesh, const PerspectiveRequest& request, PerspectiveImages& out,
                       const Feedback& fb = {});

}  // namespace quarvel
