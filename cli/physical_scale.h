// Pictures at a physical scale, for machines that carve, burn or print them: a pixel is a known
// size on the model, sampled at its centre, and depths are told in the model's own units, from
// its nearest point.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "render/depth_image.h"
#include "render/rasterizer.h"

namespace quarvel {

struct PhysicalScale {
  double pixelsPerMm = 0;    // 0: no physical scale, the model is fitted to the picture
  bool byDpi = false;        // the scale was given as --dpi
  std::string units = "mm";  // what one model unit is
  double mmPerUnit = 1;
  int margin = 0;  // pixels on each side when the scale sets the picture's size

  bool Given() const { return pixelsPerMm > 0; }
  // The density written in PNG and BMP files, rounded to whole pixels per metre.
  uint32_t PixelsPerMetre() const;
};

constexpr double kMmPerInch = 25.4;
// The scale's range, in the units each option takes; compared in double, as written here.
constexpr double kMinPixelsPerMm = 1e-4, kMaxPixelsPerMm = 1e5;
constexpr double kMinDpi = 0.00254, kMaxDpi = 2540000;
constexpr int kMaxMargin = 1000;

// Millimetres in one unit of that name (mm, cm, m or in); nothing for another name.
std::optional<double> MillimetresPerUnit(std::string_view units);

// Where depths in model units start and how large a model unit is in the scene: a scene depth z
// is origin + d * sceneUnitsPerUnit for the model depth d. Without a physical scale, depths stay
// in scene units (origin 0, 1 scene unit per unit).
struct DepthUnits {
  double origin = 0;
  double sceneUnitsPerUnit = 1;
  double ToModel(double z) const { return (z - origin) / sceneUnitsPerUnit; }
  double ToScene(double d) const { return origin + d * sceneUnitsPerUnit; }
};

// The scene as placed by the view: depths from the nearest point of the model's box, in model
// units.
DepthUnits ModelDepthUnits(const Scene& scene);

// The picture's pixels per scene unit at that scale.
float ScenePixelScale(const PhysicalScale& scale, const Scene& scene);

struct PictureSize {
  int width = 0, height = 0;
};

// The smallest picture that holds the model's box as placed, at that scale, with the margin on
// every side: at least 1 pixel a side. Nothing, and `error` set, when it would be more than
// 10000 pixels a side; the message says which scale fits.
std::optional<PictureSize> ScaledPictureSize(const PhysicalScale& scale, const Scene& scene,
                                             std::string& error);

// Turns the depths of the image from scene units into model units (the background stays).
void ToModelDepths(DepthImage& depth, const DepthUnits& units);

}  // namespace quarvel
