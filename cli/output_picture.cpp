#include "output_picture.h"

#include <memory>
#include <utility>

#include "render/exr_file.h"
#include "render/pfm_file.h"
#include "render/png_file.h"
#include "render/save_file.h"

namespace quarvel {

namespace {

// The 8-bit mask the picture is written with as bmp or png.
const MaskImage& EightBitMask(const Picture& picture, const OutputSpec& spec, MaskImage& made) {
  if (UsesMask(spec)) return picture.mask;
  LevelsToMask(picture.depth, picture.levels, made);
  return made;
}

}  // namespace

bool UsesMask(const OutputSpec& spec) {
  return !spec.depthRange && (spec.format == OutputFormat::Bmp || spec.format == OutputFormat::Png);
}

LevelScale SpecLevels(const OutputSpec& spec, const Scene& scene, const RenderState& state) {
  const int top = spec.format == OutputFormat::Png16 ? 65535 : 255;
  return MakeLevelScale(spec.depthRange.value_or(RenderRange(scene, state)), top);
}

void RenderPicture(Workspace& ws, const OutputSpec& spec, int width, int height, const Feedback& fb,
                   Picture& picture) {
  if (UsesMask(spec)) {
    RenderObject(ws.scene, ws.render, picture.mask, width, height, fb, ws.animating, spec.mode);
    return;
  }
  RenderDepth(ws.scene, ws.render, picture.depth, width, height, fb, ws.animating, spec.mode);
  picture.levels = SpecLevels(spec, ws.scene, ws.render);
}

ErrorText SavePicture(const Picture& picture, const OutputSpec& spec, const std::string& path) {
  MaskImage made;
  switch (spec.format) {
    case OutputFormat::Bmp:
      return EightBitMask(picture, spec, made).SaveToFile(path);
    case OutputFormat::Png:
      return SaveFileBytes(path, {PngBytes(EightBitMask(picture, spec, made))});
    case OutputFormat::Png16:
      return SaveFileBytes(path, {PngBytes(LevelsToGrey16(picture.depth, picture.levels))});
    case OutputFormat::Pfm:
      return SaveFileBytes(path, {PfmBytes(picture.depth)});
    case OutputFormat::Exr:
      break;
  }
  return SaveFileBytes(path, {ExrBytes(picture.depth)});
}

FrameOutput PictureFrames(const OutputSpec& spec) {
  // The frame just rendered and the frame being written: the first is handed over to the second
  // once the frame before is written.
  auto rendered = std::make_shared<Picture>(), kept = std::make_shared<Picture>();
  return {FormatExtension(spec.format),
          [spec, rendered](Workspace& ws, int width, int height, const Feedback& fb) {
            RenderPicture(ws, spec, width, height, fb, *rendered);
          },
          [rendered, kept](const Workspace&) { std::swap(*rendered, *kept); },
          [spec, kept](const std::string& path) { return SavePicture(*kept, spec, path); }};
}

}  // namespace quarvel
