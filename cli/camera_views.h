// Where the perspective camera stands: its intrinsics from a field of view or given, one view as
// the orthographic camera looks, views on a ring or spread over a sphere round the model, or
// poses read from a file. Poses are camera-to-world maps in the model file's own coordinates,
// with the camera's axes as OpenGL has them (x to the right, y up, looking down -z).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "camera_math.h"
#include "render/pinhole_render.h"

namespace quarvel {

struct CameraOptions {
  bool perspective = false;
  double fovDegrees = 0;  // horizontal; 0: not given
  std::optional<Intrinsics> intrinsics;
  double distance = 0;  // model units from the model's centre; 0: far enough to see it all
  DepthKind depth = DepthKind::AlongAxis;
  int views = 0;            // cameras round the model; 0: one, as the orthographic view looks
  bool onSphere = false;    // spread over a sphere, else on a ring at orbitDegrees
  double orbitDegrees = 0;  // the ring's elevation above the model's middle
  std::string poses;        // a JSON file of camera-to-world matrices
  bool normals = false, mask = false;
  // --distance, and --fov or --intrinsics, with their values as typed: what messages name.
  std::string distanceText, lensText;

  bool ManyViews() const { return views > 0 || !poses.empty(); }
};

constexpr double kDefaultFovDegrees = 50;
constexpr int kMaxViews = 100000;

// The intrinsics of a picture of width x height: those given, or square pixels with the
// horizontal field of view and the principal point at the picture's centre ((w - 1) / 2,
// (h - 1) / 2 as OpenCV counts pixels).
Intrinsics CameraIntrinsics(const CameraOptions& options, int width, int height);

// The model's box in its file's coordinates: its centre, and half its diagonal.
struct ModelSphere {
  Point centre;
  double radius = 0;
};
ModelSphere FileSphere(const Scene& scene, ModelFormat format);

// The distance asked for, or the one at which the model's bounding sphere fits the narrower
// field of view with a tenth to spare.
double CameraDistance(const CameraOptions& options, const Intrinsics& k, int width, int height,
                      const ModelSphere& sphere);

// `count` cameras looking at the centre from `distance`, upright for the file's up axis (z for
// .3ds, STL and PLY, y for OBJ and glTF): on a ring at the elevation, the first in front of the
// model (where the orthographic view looks from), going round anticlockwise seen from above; or
// spread evenly over the sphere (a Fibonacci lattice from top to bottom).
std::vector<Affine> OrbitCameras(const CameraOptions& options, const ModelSphere& sphere,
                                 double distance, ModelFormat format);

// The camera-to-world matrices of a JSON file: a list of 4 x 4 matrices, or an object whose
// "frames" each have a "transform_matrix" (as transforms.json files have). Each must be a
// rotation and a position (finite, orthonormal to within 1e-4, bottom row 0 0 0 1). Nothing, and
// `error` set, for a file that is not so.
std::optional<std::vector<Affine>> ReadPoses(const std::string& path, std::string& error);

// The camera's own map, world to camera with OpenCV's axes (x right, y down, z forward), of a
// camera-to-world pose with OpenGL's axes; and back.
Affine WorldToCamera(const Affine& cameraToWorld);
Affine CameraToWorld(const Affine& worldToCamera);

// One view as the orthographic camera looks, for the scene as the view operations left it: the
// camera `distance` model units in front of where the model's centre rests, looking along the
// view. The map from the fitted mesh to camera space, in model units.
Affine FrontCamera(const Scene& scene, double distance);

}  // namespace quarvel
