// Supersampled pictures: N x N samples per pixel, each drawn by the rasteriser's own rules in a
// picture N times as wide and as high with the same view, and averaged. The large picture is
// drawn a band of rows at a time, so that memory stays about that of the output.
#pragma once

#include "output_picture.h"

namespace quarvel {

constexpr int kMinSupersample = 2, kMaxSupersample = 8;

// Renders the picture of width x height with request.supersample squared samples per pixel into
// `picture`: its mask for bmp and png, its 16-bit levels for png16. Every sample gets the level
// the plain picture of the large size would have, tones included (the background's level where no
// face covers it); a pixel is the mean of its samples, rounded half up.
void RenderSupersampled(Workspace& ws, const OutputRequest& request, int width, int height,
                        const Feedback& fb, Picture& picture);

}  // namespace quarvel
