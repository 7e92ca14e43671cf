#include "rasterizer.h"

#include "fast_raster.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace quarvel {

Box TransformBox(const Transform& t, const Box& b) {
  Box out;
  for (int k = 0; k < 8; ++k) {
    const Vec3 p = TransformPoint(
        t, {k & 1 ? b.max.x : b.min.x, k & 2 ? b.max.y : b.min.y, k & 4 ? b.max.z : b.min.z});
    if (k == 0) out = {p, p};
    out.min = {std::min(out.min.x, p.x), std::min(out.min.y, p.y), std::min(out.min.z, p.z)};
    out.max = {std::max(out.max.x, p.x), std::max(out.max.y, p.y), std::max(out.max.z, p.z)};
  }
  return out;
}

FaceSetup SetUpFace(const Transform& t, Vec3 a, Vec3 b, Vec3 c) {
  return SetUpPlacedFace(TransformPoint(t, a), TransformPoint(t, b), TransformPoint(t, c));
}

FaceSetup SetUpPlacedFace(Vec3 p0, Vec3 p1, Vec3 p2) {
  FaceSetup f = SetUpOutline(p0, p1, p2);
  SetUpPlane(f);
  return f;
}

FaceSetup SetUpOutline(Vec3 p0, Vec3 p1, Vec3 p2) {
  FaceSetup f;
  f.p0 = p0;
  f.p1 = p1;
  f.p2 = p2;
  const double x0 = p0.x, y0 = p0.y, x1 = p1.x, y1 = p1.y, x2 = p2.x, y2 = p2.y;
  f.area2 = Store((x1 - x0) * (y2 - y0) - (x2 - x0) * (y1 - y0));
  f.minX = std::min({p0.x, p1.x, p2.x});
  f.maxX = std::max({p0.x, p1.x, p2.x});
  f.minY = std::min({p0.y, p1.y, p2.y});
  f.maxY = std::max({p0.y, p1.y, p2.y});
  return f;
}

void SetUpPlane(FaceSetup& f) {
  const double x0 = f.p0.x, y0 = f.p0.y, z0 = f.p0.z;
  const double x1 = f.p1.x, y1 = f.p1.y, z1 = f.p1.z;
  const double x2 = f.p2.x, y2 = f.p2.y, z2 = f.p2.z;
  f.n = {Store((y1 - y0) * (z2 - z0) - (z1 - z0) * (y2 - y0)),
         Store((z1 - z0) * (x2 - x0) - (x1 - x0) * (z2 - z0)),
         Store((x1 - x0) * (y2 - y0) - (y1 - y0) * (x2 - x0))};
  f.d = Store(double(f.n.x) * x0 + double(f.n.y) * y0 + double(f.n.z) * z0);
}

bool PointInFace(const FaceSetup& f, float x, float y) {
  const double area = f.area2 == 0 ? 1.0 : f.area2;
  const double x0 = f.p0.x, y0 = f.p0.y, x1 = f.p1.x, y1 = f.p1.y, x2 = f.p2.x, y2 = f.p2.y;
  const float w0 = Store(((x2 - x1) * (y - y1) - (y2 - y1) * (x - x1)) / area);
  const float w1 = Store(((x0 - x2) * (y - y2) - (y0 - y2) * (x - x2)) / area);
  const float w2 = Store(((x1 - x0) * (y - y0) - (y1 - y0) * (x - x0)) / area);
  return w0 >= 0 && w1 >= 0 && w2 >= 0;  // NaN compares false: outside
}

SamplePoints::SamplePoints(int width, int height, float pixelScale) {
  const double ps = pixelScale;
  auto fill = [ps](int count, std::vector<float>& inside, std::vector<double>& depth) {
    const double half = count * 0.5;
    inside.resize(count);
    depth.resize(count);
    for (int k = 0; k < count; ++k) {
      inside[k] = Store(double(Store(k / ps)) - half / ps);
      depth[k] = (k - half) / ps;
    }
  };
  fill(width, insideX, depthX);
  fill(height, insideY, depthY);
}

PixelRange FacePixels(const FaceSetup& f, const RenderState& state, int rowLo, int rowHi) {
  const int w = state.MaskWidth, h = state.MaskHeight;
  const double ps = state.PixelScale;
  // Rows are counted from the bottom of the picture; row 0 (the top row) is never drawn.
  return {std::max({RoundToInt(f.minY * ps + h * 0.5), 1, rowLo}),
          std::min({RoundToInt(f.maxY * ps + h * 0.5), h - 1, rowHi}),
          std::max(RoundToInt(f.minX * ps + w * 0.5), 0),
          std::min(RoundToInt(f.maxX * ps + w * 0.5), w - 1)};
}

void DrawFace(const FaceSetup& f, const RenderState& state, const SamplePoints& samples,
              MaskImage& mask, int rowLo, int rowHi, int bandTop) {
  const int h = state.MaskHeight - bandTop;
  const auto [r0, r1, c0, c1] = FacePixels(f, state, rowLo, rowHi);
  const double nx = f.n.x, ny = f.n.y, nz = f.n.z, d = f.d;
  const double nearZ = state.NearZ, depthScale = state.DepthScale;
  for (int i = r0; i <= r1; ++i) {
    StopIfRequested();  // a face can be a whole picture of rows
    uint8_t* row = mask.Row(h - i);
    const float y = samples.insideY[i];
    const double yd = samples.depthY[i];
    for (int j = c0; j <= c1; ++j) {
      if (!PointInFace(f, samples.insideX[j], y)) continue;
      const float z = Store((d - nx * samples.depthX[j] - ny * yd) / nz);
      // Only the low eight bits count: depths outside the range wrap round.
      const int32_t value = RoundToInt((z - nearZ) * depthScale);
      const auto candidate = static_cast<uint8_t>(255 - (value & 0xFF));
      if (candidate > row[j]) row[j] = candidate;
    }
  }
}

void DrawFaceDepth(const FaceSetup& f, const RenderState& state, const SamplePoints& samples,
                   DepthImage& depth, int rowLo, int rowHi, int bandTop) {
  const int h = state.MaskHeight - bandTop;
  const auto [r0, r1, c0, c1] = FacePixels(f, state, rowLo, rowHi);
  const double nx = f.n.x, ny = f.n.y, nz = f.n.z, d = f.d;
  for (int i = r0; i <= r1; ++i) {
    StopIfRequested();
    float* row = depth.Row(h - i);
    const float y = samples.insideY[i];
    const double yd = samples.depthY[i];
    for (int j = c0; j <= c1; ++j) {
      if (!PointInFace(f, samples.insideX[j], y)) continue;
      // -0 is kept as +0, so that which of two faces at depth 0 came first cannot show.
      const float z = Store((d - nx * samples.depthX[j] - ny * yd) / nz) + 0.0f;
      if (z < row[j]) row[j] = z;  // NaN compares false: never kept
    }
  }
}

void SetUpRender(Scene& scene, RenderState& state, int width, int height, bool keepRenderBox) {
  state.MaskWidth = width;
  state.MaskHeight = height;
  scene.ModelTransform = scene.ModelFrame->GetTransform();
  const Transform& m = scene.ModelTransform;
  if (!keepRenderBox) state.RenderBox = TransformBox(m, scene.ModelMesh->GetBox());
  const Box& box = state.RenderBox;
  scene.ExtentX = Extent(box.max.x, box.min.x);
  scene.ExtentY = Extent(box.max.y, box.min.y);
  scene.ExtentZ = Extent(box.max.z, box.min.z);
  state.NearZ = box.min.z;
  state.DepthScale = Store(255.0 / scene.ExtentZ);

  if (state.FixedPixelScale > 0) {
    state.PixelScale = state.FixedPixelScale;
    return;
  }
  // Fit the largest extent, depth included, to 0.8 of the smaller side, then zoom with the
  // model's distance from the viewer.
  const float largest = std::max({scene.ExtentX, scene.ExtentY, scene.ExtentZ});
  state.PixelScale = Store((width < height ? width : height) / double(largest) * 0.8);
  state.PixelScale = Store(double(state.PixelScale) * scene.ReferenceDepth / m.m[3][2]);
}

namespace {

// The plain path's face loop: every face set up and drawn by `draw`, with progress about ten
// times.
template <typename Draw>
void DrawFacesPlain(const Mesh& mesh, const Transform& m, const Feedback& fb, const Draw& draw) {
  const size_t n = mesh.FaceCount();
  const size_t last = n == 0 ? 0 : n - 1;
  for (size_t i = 0; i < n; ++i) {
    if (i % kFacesBetweenStops == 0) StopIfRequested();
    if (last > 10 && i % (last / 10) == 0) fb.Progress(static_cast<int>(i * 100 / last));
    const Face face = mesh.GetFace(i);
    const FaceSetup f = SetUpFace(m, face.GetVertex(0), face.GetVertex(1), face.GetVertex(2));
    if (f.area2 != 0) draw(f);  // an edge-on face covers nothing
    fb.ProcessMessages();
  }
}

// The fast path's progress: in steps of ten, as the plain loop reports it.
std::function<void(int)> FastProgress(const Mesh& mesh, const Feedback& fb) {
  const size_t last = mesh.FaceCount() == 0 ? 0 : mesh.FaceCount() - 1;
  return [&fb, last, shown = -1](int percent) mutable {
    if (last > 10 && percent / 10 > shown) fb.Progress((shown = percent / 10) * 10);
    fb.ProcessMessages();
  };
}

}  // namespace

void RenderObject(Scene& scene, RenderState& state, MaskImage& mask, int width, int height,
                  const Feedback& fb, bool keepRenderBox, RasterMode mode) {
  SetUpRender(scene, state, width, height, keepRenderBox);
  mask.SetSize(width, height);  // a new picture, cleared to 0

  fb.Status(2, fb.Tr("Processing faces..."));
  const Mesh& mesh = *scene.ModelMesh;
  const SamplePoints samples(width, height, state.PixelScale);
  if (mode.plain) {
    DrawFacesPlain(mesh, scene.ModelTransform, fb,
                   [&](const FaceSetup& f) { DrawFace(f, state, samples, mask); });
  } else {
    DrawFacesFast(mesh, scene.ModelTransform, state, samples, mask, mode.threads,
                  FastProgress(mesh, fb));
  }
  fb.Progress(0);
  fb.Status(2, fb.Tr("Drawing..."));
  state.MaskReady = true;
}

void RenderDepth(Scene& scene, RenderState& state, DepthImage& depth, int width, int height,
                 const Feedback& fb, bool keepRenderBox, RasterMode mode) {
  SetUpRender(scene, state, width, height, keepRenderBox);
  depth.Reset(width, height);

  fb.Status(2, fb.Tr("Processing faces..."));
  const Mesh& mesh = *scene.ModelMesh;
  const SamplePoints samples(width, height, state.PixelScale);
  if (mode.plain) {
    DrawFacesPlain(mesh, scene.ModelTransform, fb,
                   [&](const FaceSetup& f) { DrawFaceDepth(f, state, samples, depth); });
  } else {
    DrawFacesFastDepth(mesh, scene.ModelTransform, state, samples, depth, mode.threads,
                       FastProgress(mesh, fb));
  }
  fb.Progress(0);
  fb.Status(2, fb.Tr("Drawing..."));
}

void GetMaxBox(const Scene& scene, RenderState& state, bool byX, bool byY, bool byZ) {
  state.RenderBox = TransformBox(scene.ModelTransform, scene.ModelMesh->GetBox());
  Box& box = state.RenderBox;
  const double dx = Extent(box.max.x, box.min.x);
  const double dy = Extent(box.max.y, box.min.y);
  const double dz = Extent(box.max.z, box.min.z);
  double c;
  if (byX && byY && byZ) {
    const double t = Store(std::sqrt(dy * dy + dz * dz));
    c = std::sqrt(t * t + dx * dx) / 2;
  } else if (byX && byZ) {
    c = std::sqrt(dx * dx + dz * dz) / 2;
  } else if (byX && byY) {
    c = std::sqrt(dx * dx + dy * dy) / 2;
  } else if (byY && byZ) {
    c = std::sqrt(dy * dy + dz * dz) / 2;
  } else if (byX) {
    c = dx / 2;
  } else if (byY) {
    c = dy / 2;
  } else {
    c = dz / 2;
  }
  const double mid = Store((double(box.max.z) + box.min.z) * 0.5);
  box.max.z = Store(mid + c);
  box.min.z = Store(mid - c);
}

}  // namespace quarvel
