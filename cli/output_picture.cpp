#include "output_picture.h"

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

Grey16Image SixteenBitLevels(const Picture& picture, const OutputRequest& request) {
  Grey16Image grey = LevelsToGrey16(picture.depth, picture.levels);
  if (request.tones.Any()) ApplyTones(grey, picture.depth, request.tones);
  return grey;
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

ErrorText SavePicture(const Picture& picture, const OutputRequest& request,
                      const std::string& path) {
  MaskImage made;
  switch (request.format) {
    case OutputFormat::Bmp:
      return EightBitMask(picture, request, made).SaveToFile(path);
    case OutputFormat::Png:
      return SaveFileBytes(path, {PngBytes(EightBitMask(picture, request, made))});
    case OutputFormat::Png16:
      if (request.supersample > 1) return SaveFileBytes(path, {PngBytes(picture.grey)});
      return SaveFileBytes(path, {PngBytes(SixteenBitLevels(picture, request))});
    case OutputFormat::Pfm:
      return SaveFileBytes(path, {PfmBytes(picture.depth)});
    case OutputFormat::Exr:
      break;
  }
  return SaveFileBytes(path, {ExrBytes(picture.depth)});
}

FrameOutput PictureFrames(const OutputRequest& request) {
  // The frame just rendered and the frame being written: the first is handed over to the second
  // once the frame before is written.
  auto rendered = std::make_shared<Picture>(), kept = std::make_shared<Picture>();
  return {FormatExtension(request.format),
          [request, rendered](Workspace& ws, int width, int height, const Feedback& fb) {
            RenderPicture(ws, request, width, height, fb, *rendered);
          },
          [rendered, kept](const Workspace&) { std::swap(*rendered, *kept); },
          [request, kept](const std::string& path) { return SavePicture(*kept, request, path); }};
}

}  // namespace quarvel
