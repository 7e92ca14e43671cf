#include "camera_limits.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "numbers.h"
#include "render/rasterizer.h"

namespace quarvel {

namespace {

std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3g", v);
  return text;
}

std::string InBrackets(const std::string& text) {
  return text.empty() ? "" : " (" + text + ")";
}

// The moves along z against the orthographic camera's scales.
std::string OrthographicRefusal(Scene& scene, const RenderOptions& o) {
  if (o.moveZText.empty()) return "";  // without moves along z, the scales are the model's own
  // The render sets these up again; the dry run only reads what it would get.
  RenderState dry;
  if (o.physical.Given()) dry.FixedPixelScale = ScenePixelScale(o.physical, scene);
  SetUpRender(scene, dry, o.width, o.height, false);
  const double z = scene.ModelTransform.m[3][2];
  const float largest = std::max({scene.ExtentX, scene.ExtentY, scene.ExtentZ});
  if (!std::isfinite(dry.PixelScale) && largest > 0)  // a point has no scale wherever it is
    return o.moveZText + " brings the model so near the viewer (" + Number(z) +
           " units away) that its pixel scale is more than the 3.4e38 a float holds";
  // Unmoved, the same turn shows the model's own depth; a flat model has none wherever it is.
  Transform rest = scene.ModelTransform;
  rest.m[3][2] = kModelDepth;
  const Box unmoved = TransformBox(rest, scene.ModelMesh->GetBox());
  if (!std::isfinite(dry.DepthScale) && unmoved.max.z > unmoved.min.z)
    return o.moveZText + " takes the model so far (" + Number(z) +
           " units away) that a float cannot tell its nearest depth from its farthest";
  return "";
}

}  // namespace

std::string PlacementRefusal(Scene& scene, const RenderOptions& o, bool modelFinite) {
  if (modelFinite && !o.moveXYText.empty()) {
    const Box b = scene.ModelMesh->GetBox();
    const Vec3& f = scene.FitOffset;
    for (const float v : {b.min.x, b.min.y, b.max.x, b.max.y, f.x, f.y})
      if (!std::isfinite(v))
        return o.moveXYText + " moves the model beyond the 3.4e38 a float holds";
  }
  return o.camera.perspective ? "" : OrthographicRefusal(scene, o);
}

std::string PerspectiveRefusal(const Affine& worldToCamera, const ModelSphere& sphere,
                               const std::string& camera, const std::string& placedBy,
                               bool mustSee) {
  const Point centre = worldToCamera.Apply(sphere.centre);
  const double away = std::hypot(centre[0], centre[1], centre[2]);  // no overflow on the way
  if (std::isnan(away) || std::isnan(sphere.radius))
    return "the model's box is not a number: no camera can be placed for it";
  // A depth, along the axis or the ray, is at most the distance of the sphere's farthest point.
  if (!(away + sphere.radius <= kFloatMax))
    return camera + " would stand " + Number(away) + " units from the model's centre" +
           InBrackets(placedBy) + ": its depths would be more than the 3.4e38 a float holds";
  if (mustSee && centre[2] + sphere.radius < PerspectiveRequest{}.nearZ)
    return "the model is behind " + camera + InBrackets(placedBy) + ": nothing of it would be seen";
  return "";
}

}  // namespace quarvel
