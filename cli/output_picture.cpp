#include "output_picture.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "render/exr_file.h"
#include "render/pfm_file.h"
#include "render/png_file.h"
#include "render/save_file.h"
#include "supersample.h"

namespace quarvel {

namespace {

// The 8-bit mask the picture is written with as bmp or png.
const MaskImage& EightBitMask(const Picture& picture, const OutputRequest& request,
                              MaskImage& made) {
  if (request.supersample > 1) return picture.mask;
  if (!request.tones.Any()) {
    if (UsesMask(request)) return picture.mask;
    LevelsToMask(picture.depth, picture.levels, made);
    return made;
  }
  MaskImage plain;
  if (!UsesMask(request)) LevelsToMask(picture.depth, picture.levels, plain);
  ApplyTones(UsesMask(request) ? picture.mask : plain, picture.depth, request.tones, made);
  return made;
}

// Copies the picture's rows from row 1 and columns from column 1 into `to`, `rowOf(image, r)`
// giving row r of either.
template <typename Image, typename RowOf>
void CopyCropped(const Image& from, Image& to, int width, int height, RowOf rowOf) {
  for (int r = 0; r < height; ++r) {
    const auto* in = rowOf(from, r + 1) + 1;
    std::copy(in, in + width, rowOf(to, r));
  }
}

// The renderer samples each pixel at its top left corner and never draws the picture's top row.
// A centred picture is drawn one pixel wider and higher and loses its left column and its top
// row: every pixel left is sampled at its centre, and every one is drawn.
void DropTopRowAndLeftColumn(Picture& picture) {
  if (picture.mask.Width() > 0) {
    MaskImage cropped;
    cropped.SetSize(picture.mask.Width() - 1, picture.mask.Height() - 1);
    CopyCropped(picture.mask, cropped, cropped.Width(), cropped.Height(),
                [](auto& m, int r) { return m.Row(r); });
    picture.mask = std::move(cropped);
  }
  if (picture.depth.width > 0) {
    DepthImage cropped;
    cropped.Reset(picture.depth.width - 1, picture.depth.height - 1);
    CopyCropped(picture.depth, cropped, cropped.width, cropped.height,
                [](auto& d, int r) { return d.Row(r); });
    picture.depth = std::move(cropped);
  }
}

Grey16Image SixteenBitLevels(const Picture& picture, const OutputRequest& request) {
  Grey16Image grey = LevelsToGrey16(picture.depth, picture.levels);
  if (request.tones.Any()) ApplyTones(grey, picture.depth, request.tones);
  return grey;
}

// The picture of width x height with each pixel sampled at its top left corner.
void RenderUncropped(Workspace& ws, const OutputRequest& request, int width, int height,
                     const Feedback& fb, Picture& picture) {
  if (UsesMask(request)) {
    RenderObject(ws.scene, ws.render, picture.mask, width, height, fb, ws.animating, request.mode);
    if (request.tones.Any())
      RenderDepth(ws.scene, ws.render, picture.depth, width, height, fb, ws.animating,
                  request.mode);
    return;
  }
  RenderDepth(ws.scene, ws.render, picture.depth, width, height, fb, ws.animating, request.mode);
  picture.levels = RequestLevels(request, ws.scene, ws.render);
}

}  // namespace

bool UsesMask(const OutputRequest& request) {
  return !request.depthRange &&
         (request.format == OutputFormat::Bmp || request.format == OutputFormat::Png);
}

LevelScale RequestLevels(const OutputRequest& request, const Scene& scene,
                         const RenderState& state) {
  const int top = request.format == OutputFormat::Png16 ? 65535 : 255;
  return MakeLevelScale(request.depthRange.value_or(RenderRange(scene, state)), top);
}

void RenderPicture(Workspace& ws, const OutputRequest& request, int width, int height,
                   const Feedback& fb, Picture& picture) {
  if (request.supersample > 1) return RenderSupersampled(ws, request, width, height, fb, picture);
  const int lead = request.centred ? 1 : 0;  // the row and the column DropTopRowAndLeftColumn drops
  RenderUncropped(ws, request, width + lead, height + lead, fb, picture);
  if (lead == 0) return;
  DropTopRowAndLeftColumn(picture);
  ws.render.MaskWidth = width;  // the state describes the picture as written
  ws.render.MaskHeight = height;
}

ErrorText SavePicture(const Picture& picture, const OutputRequest& request, const OutFolder& folder,
                      const std::string& path) {
  MaskImage made;
  switch (request.format) {
    case OutputFormat::Bmp:
      return EightBitMask(picture, request, made).SaveToFile(path, request.pixelsPerMetre, folder);
    case OutputFormat::Png:
      return SaveFileBytes(
          folder, path, {PngBytes(EightBitMask(picture, request, made), request.pixelsPerMetre)});
    case OutputFormat::Png16:
      return SaveFileBytes(
          folder, path,
          {PngBytes(request.supersample > 1 ? picture.grey : SixteenBitLevels(picture, request),
                    request.pixelsPerMetre)});
    case OutputFormat::Pfm:
      return SaveFileBytes(folder, path, {PfmBytes(picture.depth)});
    case OutputFormat::Exr:
      break;
  }
  return SaveFileBytes(folder, path, {ExrBytes(picture.depth)});
}

FrameOutput PictureFrames(const OutputRequest& request) {
  // The frame just rendered and the frame being written: the first is handed over to the second
  // once the frame before is written.
  auto rendered = std::make_shared<Picture>(), kept = std::make_shared<Picture>();
  return {
      FormatExtension(request.format),
      [request, rendered](Workspace& ws, int width, int height, const Feedback& fb) {
        RenderPicture(ws, request, width, height, fb, *rendered);
      },
      [rendered, kept](const Workspace&) { std::swap(*rendered, *kept); },
      [request, kept](const std::string& path) { return SavePicture(*kept, request, {}, path); }};
}

}  // namespace quarvel
