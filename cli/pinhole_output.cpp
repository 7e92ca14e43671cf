#include "pinhole_output.h"

#include <algorithm>

#include "camera_limits.h"
#include "render/depth_levels.h"
#include "render/exr_file.h"
#include "render/pfm_file.h"
#include "render/png_file.h"
#include "render/save_file.h"
#include "transforms_json.h"
#include "view_outputs.h"

namespace quarvel {

namespace {

// The depths the levels span: those given, or the picture's own nearest and farthest.
DepthRange LevelRange(const RenderOptions& o, const DepthImage& depth) {
  if (o.depthRange) return *o.depthRange;
  DepthRange range{kNoDepth, -kNoDepth};
  for (const float z : depth.depth)
    if (z != kNoDepth) range = {std::min<double>(range.near, z), std::max<double>(range.far, z)};
  return range.near <= range.far ? range : DepthRange{0, 1};
}

// The one picture in the output's format.
ErrorText SavePicture(const RenderOptions& o, const DepthImage& depth) {
  switch (o.format) {
    case OutputFormat::Exr:
      return SaveFileBytes(o.folder, o.output, {ExrBytes(depth)});
    case OutputFormat::Pfm:
      return SaveFileBytes(o.folder, o.output, {PfmBytes(depth)});
    case OutputFormat::Png16:
      return SaveFileBytes(
          o.folder, o.output,
          {PngBytes(LevelsToGrey16(depth, MakeLevelScale(LevelRange(o, depth), 65535)))});
    case OutputFormat::Bmp:
    case OutputFormat::Png:
      break;
  }
  MaskImage mask;
  LevelsToMask(depth, MakeLevelScale(LevelRange(o, depth), 255), mask);
  return o.format == OutputFormat::Bmp ? mask.SaveToFile(o.output, 0, o.folder)
                                       : SaveFileBytes(o.folder, o.output, {PngBytes(mask)});
}

// What placed the cameras, as typed: the distance, or else the lens it came from.
std::string PlacedBy(const CameraOptions& c) {
  return c.distanceText.empty() ? c.lensText : c.distanceText;
}

// One view from the front, as the orthographic camera looks, with its camera in the sidecar.
ErrorText WriteFrontView(const RenderOptions& o, const Scene& scene, const ModelSphere& sphere,
                         const Affine& meshFromFile, const Intrinsics& k, double distance) {
  const Affine toCamera = FrontCamera(scene, distance);
  std::string placedBy = PlacedBy(o.camera);
  if (!o.moveZText.empty()) placedBy += (placedBy.empty() ? "" : ", ") + o.moveZText;
  if (const std::string bad =
          PerspectiveRefusal(toCamera.After(meshFromFile), sphere, "the camera", placedBy, true);
      !bad.empty())
    return {ErrorKind::Usage, bad, o.model};
  PerspectiveRequest request;
  request.width = o.width;
  request.height = o.height;
  request.k = k;
  request.depth = o.camera.depth;
  request.pose = toCamera.AsPose();
  PerspectiveImages images;
  RenderPerspective(*scene.ModelMesh, request, images);
  if (ErrorText error = SavePicture(o, images.depth); !error.empty() || o.sidecar.empty())
    return error;
  const std::string json = TransformsJson({o.width,
                                           o.height,
                                           k,
                                           o.camera.depth,
                                           o.model,
                                           {CameraToWorld(toCamera.After(meshFromFile))},
                                           {{o.output, "", ""}}});
  return SaveFileText(o.folder, o.sidecar, json);
}

}  // namespace

ErrorText WritePerspective(const RenderOptions& o, const Scene& scene, ModelFormat format,
                           const Feedback& fb) {
  const Intrinsics k = CameraIntrinsics(o.camera, o.width, o.height);
  const ModelSphere sphere = FileSphere(scene, format);
  const double distance = CameraDistance(o.camera, k, o.width, o.height, sphere);
  const Affine meshFromFile = MeshFromFile(scene, format);
  if (!o.camera.ManyViews()) return WriteFrontView(o, scene, sphere, meshFromFile, k, distance);

  ViewSet views{o.width,       o.height,  k, o.camera.depth, o.format, o.camera.normals,
                o.camera.mask, o.threads, {}};
  if (o.camera.poses.empty()) {
    views.cameraToWorld = OrbitCameras(o.camera, sphere, distance, format);
  } else {
    std::string reason;
    auto poses = ReadPoses(o.camera.poses, reason);
    if (!poses) return {ErrorKind::Usage, "Cannot use the poses of %s", o.camera.poses, reason};
    views.cameraToWorld = std::move(*poses);
  }
  for (size_t i = 0; i < views.cameraToWorld.size(); ++i) {
    const bool posed = !o.camera.poses.empty();
    const std::string camera = (posed ? "pose " : "view ") + std::to_string(i + 1);
    if (const std::string bad =
            PerspectiveRefusal(WorldToCamera(views.cameraToWorld[i]), sphere, camera,
                               posed ? "--poses " + o.camera.poses : PlacedBy(o.camera), false);
        !bad.empty())
      return {ErrorKind::Usage, bad, o.model};
  }
  return WriteViews(scene, meshFromFile, views, o.model, {o.folder.fd, o.output}, fb);
}

}  // namespace quarvel
