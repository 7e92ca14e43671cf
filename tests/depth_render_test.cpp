// The depth render against DrawFace's rule, restated here face by face: every covered pixel
// holds the smallest plane depth of the faces covering it, bit for bit, and the 8-bit mask the
// largest byte those depths give; on the plain path and on the fast one, on any number of threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "fixtures.h"
#include "render/rasterizer.h"
#include "render/view_ops.h"

namespace quarvel {
namespace {

using test::Bits;
using test::MaskValues;
using test::Unfitted;

Scene Fitted(const std::vector<Vec3>& v, const std::vector<FaceIndices>& f) {
  Scene scene = Unfitted(v, f);
  scene.FitModel();
  scene.ModelTransform = scene.ModelFrame->GetTransform();
  scene.ReferenceDepth = scene.ModelTransform.m[3][2];
  return scene;
}

// What the faces give each pixel (top row first): the smallest plane depth, -0 counted as +0,
// +infinity where none covers it; and the largest byte of the 8-bit rule, 0 where none does.
struct FromFaces {
  std::vector<float> nearest;
  std::vector<int> brightest;
};

// DrawFace's rule, face by face, with the render state a render left: the face's bounding
// rectangle in pixels (rows counted from the bottom, the top row never), the inside test at each
// sample point, the plane depth rounded to float, the byte from its low eight bits.
FromFaces Restated(const Scene& scene, const RenderState& state) {
  const int w = state.MaskWidth, h = state.MaskHeight;
  const double ps = state.PixelScale;
  const SamplePoints samples(w, h, state.PixelScale);
  FromFaces out{std::vector<float>(size_t(w) * h, kNoDepth), std::vector<int>(size_t(w) * h, 0)};
  const Mesh& mesh = *scene.ModelMesh;
  for (size_t k = 0; k < mesh.FaceCount(); ++k) {
    const Face face = mesh.GetFace(k);
    const FaceSetup f =
        SetUpFace(scene.ModelTransform, face.GetVertex(0), face.GetVertex(1), face.GetVertex(2));
    if (f.area2 == 0) continue;
    const int r0 = std::max(RoundToInt(f.minY * ps + h * 0.5), 1);
    const int r1 = std::min(RoundToInt(f.maxY * ps + h * 0.5), h - 1);
    const int c0 = std::max(RoundToInt(f.minX * ps + w * 0.5), 0);
    const int c1 = std::min(RoundToInt(f.maxX * ps + w * 0.5), w - 1);
    for (int i = r0; i <= r1; ++i) {
      for (int j = c0; j <= c1; ++j) {
        if (!PointInFace(f, samples.insideX[j], samples.insideY[i])) continue;
        const float z = Store(
            (double(f.d) - double(f.n.x) * samples.depthX[j] - double(f.n.y) * samples.depthY[i]) /
            double(f.n.z));
        const size_t at = size_t(h - i) * w + j;
        if (z < out.nearest[at]) out.nearest[at] = z == 0 ? 0.0f : z;
        const int byte = 255 - (RoundToInt((z - double(state.NearZ)) * state.DepthScale) & 0xFF);
        out.brightest[at] = std::max(out.brightest[at], byte);
      }
    }
  }
  return out;
}

// What both renders set up: the size, the render box and the scales.
void ExpectSameSetUp(const RenderState& a, const RenderState& b, const std::string& what) {
  EXPECT_EQ(a.MaskWidth, b.MaskWidth) << what;
  EXPECT_EQ(a.MaskHeight, b.MaskHeight) << what;
  EXPECT_EQ(a.RenderBox, b.RenderBox) << what;
  EXPECT_EQ(a.NearZ, b.NearZ) << what;
  EXPECT_EQ(a.DepthScale, b.DepthScale) << what;
  EXPECT_EQ(a.PixelScale, b.PixelScale) << what;
}

// Renders the scene's depth and mask on every path (with `box` kept as the render box when one
// is given, as an animation keeps it) and checks them against the restated rule. Returns the
// number of covered pixels.
size_t ExpectTheRule(Scene& scene, int w, int h, const std::string& what,
                     const Box* box = nullptr) {
  RenderState maskState;
  if (box) maskState.RenderBox = *box;
  MaskImage mask;
  RenderObject(scene, maskState, mask, w, h, {}, box != nullptr, {1, true});
  const FromFaces expected = Restated(scene, maskState);
  EXPECT_EQ(MaskValues(mask), expected.brightest) << what << ": the mask";

  for (const RasterMode mode : {RasterMode{1, true}, RasterMode{1, false}, RasterMode{3, false}}) {
    RenderState state;
    if (box) state.RenderBox = *box;
    DepthImage depth;
    RenderDepth(scene, state, depth, w, h, {}, box != nullptr, mode);
    const std::string how =
        what + (mode.plain ? " (plain)" : " on " + std::to_string(mode.threads) + " thread(s)");
    EXPECT_EQ(depth.width, w);
    EXPECT_EQ(depth.height, h);
    EXPECT_EQ(Bits(depth.depth), Bits(expected.nearest)) << how;
    ExpectSameSetUp(state, maskState, how);
  }
  return size_t(std::count_if(expected.nearest.begin(), expected.nearest.end(),
                              [](float z) { return z != kNoDepth; }));
}

TEST(DepthRender, OverlappingAndCrossingFacesKeepTheNearestDepth) {
  // Two triangles crossing each other, a third wholly behind them and a fourth edge-on.
  Scene scene = Fitted({{-4, -4, 0},
                        {4, -4, 4},
                        {0, 4, 2},
                        {-4, 4, 4},
                        {4, 4, 0},
                        {0, -4, 2},
                        {-3, -3, 4.5f},
                        {3, -3, 4.5f},
                        {0, 3, 4.5f},
                        {1, -4, 0},
                        {1, 4, 0},
                        {1, 0, 4}},
                       {{0, 1, 2}, {3, 4, 5}, {6, 7, 8}, {9, 10, 11}});
  EXPECT_GT(ExpectTheRule(scene, 320, 240, "crossing"), 10000u);
  TurnModel(scene, 1, 1, 0, 0.6f);
  ExpectTheRule(scene, 257, 199, "crossing, turned");
}

TEST(DepthRender, TheTopRowIsNeverDrawn) {
  // A triangle far larger than the picture: every pixel is covered but those of the top row.
  Scene scene = Fitted({{-4.5f, -4.5f, 4.5f}, {4.5f, -4.5f, 4.5f}, {0, 4.5f, -4.5f}}, {{0, 1, 2}});
  MoveFrameZ(scene, -13);
  RenderState state;
  DepthImage depth;
  RenderDepth(scene, state, depth, 200, 150, {});
  for (int c = 0; c < 200; ++c) {
    EXPECT_EQ(depth.Row(0)[c], kNoDepth) << "column " << c;
    EXPECT_NE(depth.Row(1)[c], kNoDepth) << "column " << c;
  }
  ExpectTheRule(scene, 200, 150, "zoomed in");
}

// Random triangles of every size, some beyond the picture and some edge-on, with a render box a
// little smaller than their depths, so that some bytes wrap round while the depths do not.
TEST(DepthRender, RandomTriangleSoupsFollowTheRule) {
  std::mt19937 rng(4711);
  std::uniform_real_distribution<float> coord(-5, 5);
  std::uniform_int_distribution<int> size(100, 400), pick(0, 7);
  const Box box{{-6, -6, 11}, {6, 6, 19}};
  size_t covered = 0;
  for (int round = 0; round < 24; ++round) {
    std::vector<Vec3> v;
    std::vector<FaceIndices> f;
    for (int i = 0; i < 50; ++i) {
      const auto base = uint32_t(v.size());
      const Vec3 a{coord(rng), coord(rng), coord(rng)};
      switch (pick(rng)) {
        case 0:  // edge-on
          v.insert(v.end(), {a, {a.x, a.y + 2, a.z + 1}, {a.x, a.y - 1, a.z + 2}});
          break;
        case 1:  // far beyond the picture: the plain path draws it
          v.insert(v.end(), {a, {a.x * 1e20f, a.y, a.z}, {a.x, a.y * -1e20f, a.z}});
          break;
        default:
          v.insert(v.end(),
                   {a, {coord(rng), coord(rng), coord(rng)}, {coord(rng), coord(rng), coord(rng)}});
      }
      f.push_back({base, base + 1, base + 2});
    }
    Scene scene = Unfitted(v, f);
    TurnModel(scene, coord(rng), coord(rng), coord(rng), coord(rng));
    covered += ExpectTheRule(scene, size(rng), size(rng), "soup " + std::to_string(round), &box);
  }
  EXPECT_GT(covered, 300000u) << "the soups must cover much of the pictures to mean anything";
}

TEST(DepthRender, RealModelsFollowTheRule) {
  std::mt19937 rng(99);
  std::uniform_real_distribution<float> unit(-1, 1);
  std::vector<std::string> models = {QUARVEL_SAMPLES "/knot.3ds"};
  for (const auto& entry : std::filesystem::directory_iterator(QUARVEL_TEST_DATA))
    models.push_back(entry.path().string());
  int rendered = 0;
  for (const std::string& model : models) {
    Scene scene;
    if (!LoadModel(scene, model, {}).ok) continue;
    TurnModel(scene, unit(rng), unit(rng), unit(rng), 3 * unit(rng));
    ExpectTheRule(scene, 480, 360, std::filesystem::path(model).filename().string());
    ++rendered;
  }
  EXPECT_GE(rendered, 5);
}

// The depth render of an animation keeps the run's render box as the mask does: the same state,
// and depths beyond the box are kept as they are.
TEST(DepthRender, AKeptRenderBoxSetsTheSameStateAsTheMask) {
  Scene scene = Fitted({{-1, -1, 3}, {1, -1, 3}, {0, 1, 3}}, {{0, 1, 2}});
  RenderState maskState, depthState;
  maskState.RenderBox = depthState.RenderBox = {{-4.5f, -4.5f, 14}, {4.5f, 4.5f, 14.5f}};
  MaskImage mask;
  DepthImage depth;
  RenderObject(scene, maskState, mask, 300, 300, {}, true);
  RenderDepth(scene, depthState, depth, 300, 300, {}, true);
  ExpectSameSetUp(depthState, maskState, "a kept box");
  EXPECT_EQ(depthState.NearZ, 14);
  EXPECT_EQ(depth.Row(150)[150], 15) << "the face lies beyond the box; its depth is kept";
  EXPECT_EQ(mask.Row(150)[150], 1) << "where its byte wraps round";
}

}  // namespace
}  // namespace quarvel
