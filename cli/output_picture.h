// The picture quarvel-render writes, in the format asked for: the 8-bit mask as the rasteriser
// draws it (bmp and png without a depth range), or levels and floats made from the depth render.
#pragma once

#include <optional>
#include <string>

#include "output_format.h"
#include "output_tones.h"
#include "render/depth_image.h"
#include "render/depth_levels.h"
#include "render/mask_image.h"
#include "render/rasterizer.h"
#include "session/sequencer.h"

namespace quarvel {

struct OutputRequest {
  OutputFormat format = OutputFormat::Bmp;
  std::optional<DepthRange> depthRange;  // none: the render's own range
  RasterMode mode;
  ToneOptions tones;            // bmp, png and png16 only
  int supersample = 1;          // samples per pixel across and down; bmp, png and png16 only
  uint32_t pixelsPerMetre = 0;  // the density bmp and png files state; 0: none
  // Each pixel (and each of its samples) sampled at its centre and every row drawn, rather than
  // at its top left corner with the top row left undrawn, as the window's masks are.
  bool centred = false;
};

// Whether the picture is the rasteriser's 8-bit mask rather than made from the depth render.
bool UsesMask(const OutputRequest& request);

// How the output's levels follow the depth, for the render just done: 255 or 65535 levels over the
// depth range given, or the render's own. Meaningless for pfm and exr, which hold depths.
LevelScale RequestLevels(const OutputRequest& request, const Scene& scene,
                         const RenderState& state);

// One rendered picture: `mask` when UsesMask, else `depth` with the levels it is written with.
// A mask with tones has the depth render too, for which pixels are covered. A supersampled
// picture is finished already: `mask` for bmp and png, `grey` for png16.
struct Picture {
  MaskImage mask;
  DepthImage depth;
  LevelScale levels;
  Grey16Image grey;
};

// Renders the model as the output needs, keeping RenderBox while an animation runs.
void RenderPicture(Workspace& ws, const OutputRequest& request, int width, int height,
                   const Feedback& fb, Picture& picture);

// Writes the picture as the file at `path` in `folder`, in the output's format.
ErrorText SavePicture(const Picture& picture, const OutputRequest& request, const OutFolder& folder,
                      const std::string& path);

// The frames of a sequence rendered and written in the output's format, each frame's file named
// with the format's extension.
FrameOutput PictureFrames(const OutputRequest& request);

}  // namespace quarvel
