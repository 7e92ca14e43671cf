#include "camera_limits.h"

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

}  // namespace

std::string OrthographicRefusal(Scene& scene, const RenderOptions& o) {
  if (o.moveZText.empty()) return "";  // without moves along z, the scales are the model's own
  // The render sets these up again; the dry run only reads what it would get.
  RenderState dry;
  if (o.physical.Given()) dry.FixedPixelScale = ScenePixelScale(o.physical, scene);
  SetUpRender(scene, dry, o.width, o.height, false);
  const double z = scene.ModelTransform.m[3][2];
  if (!std::isfinite(dry.PixelScale))
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

std::string PerspectiveRefusal(const Affine& worldToCamera, const ModelSphere& sphere,
                               const std::string& camera, const std::string& placedBy,
                               bool mustSee) {
  const Point centre = worldToCamera.Apply(sphere.centre);
  const double away = std::hypot(centre[0], centre[1], centre[2]);  // no overflow on the way
  // A depth, along the axis or the ray, is at most the distance of the sphere's farthest point.
  if (!(away + sphere.radius <= kFloatMax))
    return camera + " would stand " + Number(away) + " units from the model's centre" +
           InBrackets(placedBy) + ": its depths would be more than the 3.4e38 a float holds";
  if (mustSee && centre[2] + sphere.radius < PerspectiveRequest{}.nearZ)
    return "the model is behind " + camera + InBrackets(placedBy) + ": nothing of it would be seen";
  return "";
}

}  // namespace quarvel
