#include "physical_scale.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "settings/props.h"

namespace quarvel {

namespace {

// The model's box as the view places it.
Box PlacedBox(const Scene& scene) {
  return TransformBox(scene.ModelFrame->GetTransform(), scene.ModelMesh->GetBox());
}

// Pixels across an extent of `sceneUnits` at `pixelScale`, with the margin on both sides. A
// millionth is let go, the float noise of the fit: a 40 mm side at 10 pixels per mm is 400 pixels
// although its float coordinates make it 400.00002.
double PixelsAcross(double sceneUnits, double pixelScale, int margin) {
  return std::max(1.0, std::ceil(sceneUnits * pixelScale * (1 - 1e-6))) + 2.0 * margin;
}

// The largest scale, in the form it was given, at which `sceneUnits` fits in the largest picture
// with the margin; rounded down, so that it fits when given back.
std::string FittingScale(const PhysicalScale& scale, double sceneUnits, double pixelScale) {
  const double room = kMaxPicSize - 2.0 * scale.margin;
  const double ratio = room / (sceneUnits * pixelScale);  // the given scale times this fits
  const double fits =
      scale.byDpi ? scale.pixelsPerMm * kMmPerInch * ratio : scale.pixelsPerMm * ratio;
  if (!(fits > 0) || !std::isfinite(fits)) return "a smaller scale";
  const double step = std::pow(10.0, std::floor(std::log10(fits)) - 3);  // four figures
  char text[64];
  std::snprintf(text, sizeof text, "%s %.10g", scale.byDpi ? "--dpi" : "--px-per-mm",
                std::floor(fits / step * (1 + 1e-6)) * step);  // float noise is not a step
  return text;
}

}  // namespace

uint32_t PhysicalScale::PixelsPerMetre() const {
  return uint32_t(std::lround(std::min(pixelsPerMm * 1000, 4e9)));
}

std::optional<double> MillimetresPerUnit(std::string_view units) {
  if (units == "mm") return 1.0;
  if (units == "cm") return 10.0;
  if (units == "m") return 1000.0;
  if (units == "in") return kMmPerInch;
  return std::nullopt;
}

DepthUnits ModelDepthUnits(const Scene& scene) {
  return {PlacedBox(scene).min.z, scene.FitScale};
}

float ScenePixelScale(const PhysicalScale& scale, const Scene& scene) {
  return Store(scale.pixelsPerMm * scale.mmPerUnit / scene.FitScale);
}

std::optional<PictureSize> ScaledPictureSize(const PhysicalScale& scale, const Scene& scene,
                                             std::string& error) {
  const Box box = PlacedBox(scene);
  const double ps = ScenePixelScale(scale, scene);
  const double across = double(box.max.x) - box.min.x, down = double(box.max.y) - box.min.y;
  const double w = PixelsAcross(across, ps, scale.margin);
  const double h = PixelsAcross(down, ps, scale.margin);
  if (w <= kMaxPicSize && h <= kMaxPicSize) return PictureSize{int(w), int(h)};
  char size[64];
  std::snprintf(size, sizeof size, "%.0f x %.0f", w, h);
  error = "At this scale the picture would be " + std::string(size) +
          " pixels, more than 10000 a side; " + FittingScale(scale, std::max(across, down), ps) +
          " or less fits";
  return std::nullopt;
}

void ToModelDepths(DepthImage& depth, const DepthUnits& units) {
  for (float& z : depth.depth)
    if (z != kNoDepth) z = Store(units.ToModel(z));
}

}  // namespace quarvel
