// The sidecar: a small JSON file beside a mask that tells another program what the mask holds
// and how its values turn back into depths along the view.
#pragma once

#include <string>

#include "output_picture.h"
#include "physical_scale.h"

namespace quarvel {

struct SidecarFacts {
  std::string model;      // the model file, as given
  std::string output;     // the mask's file, as given
  OutputRequest request;  // its depth range in scene units
  PhysicalScale physical;
};

// The JSON text for the render just done (`scene` and `state` as it left them): the picture's
// size, PixelScale, NearZ, DepthScale, RenderBox, the model frame's transform (16 numbers, row by
// row: a point [x y z 1] times the matrix), the fit scale, the files, the format, the depth range
// and how a value maps to a depth. At a physical scale, depths are in model units from the nearest
// point of the model's box, and the scale is given in millimetres per pixel and per level.
// Throws std::range_error, naming the value, when one of them is not finite (a flat model's
// DepthScale is infinite): JSON has no number for it.
std::string SidecarJson(const SidecarFacts& facts, const Scene& scene, const RenderState& state);

}  // namespace quarvel
