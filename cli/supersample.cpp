#include "supersample.h"

#include <algorithm>

namespace quarvel {

namespace {

// About this many samples are drawn at a time.
constexpr long kBandSamples = 16L << 20;

// The rows of the large picture drawn at once, as output rows.
int BandOutputRows(int n, int width, int height) {
  return int(std::clamp(kBandSamples / (long(n) * n * width), 1L, long(height)));
}

// What one band of the large picture holds: the mask, the depths, or both.
struct Band {
  bool mask = false, depth = false;
  MaskImage masked;
  DepthImage depths;
};

// Draws `count` rows of the large picture, from row `top` (counted from the top), every face
// tested against them by the plain rules.
void DrawBand(const Scene& scene, const RenderState& state, const SamplePoints& samples, int top,
              int count, Band& band) {
  if (band.mask) band.masked.SetSize(state.MaskWidth, count);
  if (band.depth) band.depths.Reset(state.MaskWidth, count);
  const int rowLo = state.MaskHeight - (top + count - 1), rowHi = state.MaskHeight - top;
  const Mesh& mesh = *scene.ModelMesh;
  const double half = state.MaskHeight * 0.5, ps = state.PixelScale;
  for (size_t i = 0; i < mesh.FaceCount(); ++i) {
    if (i % kFacesBetweenStops == 0) StopIfRequested();  // DrawFace looks every row it draws
    const Face face = mesh.GetFace(i);
    const FaceSetup f =
        SetUpFace(scene.ModelTransform, face.GetVertex(0), face.GetVertex(1), face.GetVertex(2));
    if (f.area2 == 0 || f.maxY * ps + half < rowLo - 1 || f.minY * ps + half > rowHi + 1)
      continue;  // edge-on, or clear of the band
    if (band.mask) DrawFace(f, state, samples, band.masked, rowLo, rowHi, top);
    if (band.depth) DrawFaceDepth(f, state, samples, band.depths, rowLo, rowHi, top);
  }
}

// The output's level of sample (r, c) of the band: its plain level, toned by `table`, or the
// background where the depths say no face covers it; `covered` is set when a face does.
int SampleLevel(const Band& band, int r, int c, const LevelScale& levels,
                const std::vector<int>& table, int background, bool& covered) {
  const float z = band.depth ? band.depths.Row(r)[c] : 0;
  if (band.depth && z == kNoDepth) return background;
  covered = true;
  return table[size_t(band.mask ? band.masked.Row(r)[c] : DepthLevel(z, levels))];
}

}  // namespace

void RenderSupersampled(Workspace& ws, const OutputRequest& request, int width, int height,
                        const Feedback& fb, Picture& picture) {
  const int n = request.supersample, samplesPerPixel = n * n;
  RenderState& state = ws.render;
  // A fixed scale counts the output's pixels: the large picture has n times as many per unit.
  const float fixedScale = state.FixedPixelScale;
  if (fixedScale > 0) state.FixedPixelScale = Store(double(fixedScale) * n);
  // A centred picture's large one has a column more on the left and a row more on the top, left
  // out: its samples then sit at (k + 1/2) / n of a pixel, k = 0 to n - 1, across and down.
  const int lead = request.centred ? 1 : 0;
  SetUpRender(ws.scene, state, width * n + lead, height * n + lead, ws.animating);
  state.FixedPixelScale = fixedScale;
  const SamplePoints samples(width * n + lead, height * n + lead, state.PixelScale);
  Band band;
  band.mask = UsesMask(request);
  band.depth = !band.mask || request.tones.Any();
  picture.levels = RequestLevels(request, ws.scene, state);
  // Each sample takes every tone but the count of levels, which comes last, on the mean of a
  // pixel that a face covers, so that the picture holds only those levels (and the background).
  ToneOptions sampleTones = request.tones, lastStep;
  sampleTones.levels = 0;
  lastStep.levels = request.tones.levels;
  const std::vector<int> table = ToneTable(picture.levels.top, sampleTones);
  const bool sixteen = request.format == OutputFormat::Png16;
  if (sixteen)
    picture.grey = {width, height, std::vector<uint16_t>(size_t(width) * size_t(height))};
  else
    picture.mask.SetSize(width, height);

  fb.Status(2, fb.Tr("Processing faces..."));
  const int bandRows = BandOutputRows(n, width, height);
  for (int top = 0; top < height; top += bandRows) {
    const int rows = std::min(bandRows, height - top);
    DrawBand(ws.scene, state, samples, lead + top * n, rows * n, band);
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < width; ++c) {
        long sum = 0;
        bool covered = false;
        for (int i = r * n; i < r * n + n; ++i)
          for (int j = lead + c * n; j < lead + c * n + n; ++j)
            sum +=
                SampleLevel(band, i, j, picture.levels, table, request.tones.background, covered);
        long level = (2 * sum + samplesPerPixel) / (2 * samplesPerPixel);
        if (covered && lastStep.levels != 0)
          level = ToneLevel(int(level), picture.levels.top, lastStep);
        if (sixteen)
          picture.grey.levels[size_t(top + r) * size_t(width) + size_t(c)] = uint16_t(level);
        else
          picture.mask.Row(top + r)[c] = uint8_t(level);
      }
    fb.Progress(int(long(top + rows) * 100 / height));
    fb.ProcessMessages();
  }
  fb.Progress(0);
  fb.Status(2, fb.Tr("Drawing..."));
}

}  // namespace quarvel
