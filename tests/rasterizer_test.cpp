#include <gtest/gtest.h>

#include <algorithm>

#include "fixtures.h"
#include "render/rasterizer.h"
#include "render/view_ops.h"

namespace quarvel {
namespace {

// A scene holding the given triangles (in scene coordinates), fitted as after a load.
Scene Placed(std::vector<Vec3> vertices, std::vector<FaceIndices> faces) {
  Scene scene;
  scene.ModelMesh->AddFaces(vertices, faces);
  scene.FitModel();
  scene.ModelTransform = scene.ModelFrame->GetTransform();
  scene.ReferenceDepth = scene.ModelTransform.m[3][2];
  return scene;
}

// A triangle leaning back: its apex (0, 4.5, -4.5) nearest, its base at z = 4.5 farthest.
Scene Leaning() {
  return Placed({{-4.5f, -4.5f, 4.5f}, {4.5f, -4.5f, 4.5f}, {0, 4.5f, -4.5f}}, {{0, 1, 2}});
}

struct Render {
  RenderState state;
  MaskImage mask;
  int At(int column, int row) const { return mask.Row(row)[column]; }
  int Max() const {
    int m = 0;
    for (int r = 0; r < mask.Height(); ++r)
      m = std::max(m, int(*std::max_element(mask.Row(r), mask.Row(r) + mask.Width())));
    return m;
  }
};

Render Draw(Scene& scene, int w, int h, const Feedback& fb = {}) {
  Render r;
  RenderObject(scene, r.state, r.mask, w, h, fb);
  return r;
}

TEST(Rasterizer, FitUsesTheSmallerSideAndTheLargestExtent) {
  Scene scene = Leaning();
  const float vga = Draw(scene, 640, 480).state.PixelScale;
  EXPECT_NEAR(vga, 42.67, 0.01);
  EXPECT_EQ(vga, float(480 / 9.0 * 0.8));
  EXPECT_EQ(Draw(scene, 480, 640).state.PixelScale, vga);
  EXPECT_EQ(Draw(scene, 480, 480).state.PixelScale, vga);

  // Deeper than wide: the depth extent sets the scale.
  Scene deep = Placed({{0, 0, 0}, {1, 0, 9}, {0, 1, 4}}, {{0, 1, 2}});
  EXPECT_EQ(deep.ExtentZ, 9);
  EXPECT_EQ(Draw(deep, 640, 480).state.PixelScale, vga);

  // Twice as far away: half the scale.
  MoveFrameZ(scene, 15);
  EXPECT_EQ(Draw(scene, 640, 480).state.PixelScale, vga / 2);
}

TEST(Rasterizer, NearestIsWhiteFarthestBlackAndTheTopRowStaysBlack) {
  // At 960 x 720 the pixel scale is 64, so every corner below lies exactly on a sample point.
  // The nearest corner is at the picture's centre; an unused vertex keeps the box centred.
  Scene scene = Placed({{-4.5f, -4.5f, 4.5f}, {4.5f, -4.5f, 4.5f}, {0, 0, -4.5f}, {0, 4.5f, 4.5f}},
                       {{0, 1, 2}});
  const Render r = Draw(scene, 960, 720);
  ASSERT_EQ(r.state.PixelScale, 64);
  EXPECT_EQ(r.state.NearZ, 10.5f);
  EXPECT_EQ(r.At(480, 720 - 360), 255) << "the nearest corner";
  EXPECT_EQ(r.At(768, 720 - 72), 0) << "the farthest corner";
  EXPECT_EQ(r.At(767, 720 - 73), 1) << "one pixel inside it";
  // Down the centre column the depth falls from the corner to the base.
  for (int row = 360; row < 720 - 72; ++row)
    EXPECT_GE(r.At(480, row), r.At(480, row + 1));
  EXPECT_EQ(r.At(0, 360), 0) << "background";
  for (int c = 0; c < 960; ++c)
    EXPECT_EQ(r.At(c, 0), 0) << "top row";
  EXPECT_TRUE(r.state.MaskReady);
}

TEST(Rasterizer, ZoomedInModelIsClippedToThePictureAndSkipsTheTopRow) {
  Scene scene = Leaning();
  MoveFrameZ(scene, -13);  // 2 units from the viewer: far larger than the picture
  const Render r = Draw(scene, 200, 150);
  for (int c = 0; c < 200; ++c)
    EXPECT_EQ(r.At(c, 0), 0);
  EXPECT_GT(r.At(0, 1), 0);
  EXPECT_GT(r.At(199, 149), 0);
}

TEST(Rasterizer, WindingDoesNotMatter) {
  Scene ccw = Leaning();
  Scene cw = Placed({{4.5f, -4.5f, 4.5f}, {-4.5f, -4.5f, 4.5f}, {0, 4.5f, -4.5f}}, {{0, 1, 2}});
  const Render a = Draw(ccw, 300, 200), b = Draw(cw, 300, 200);
  EXPECT_TRUE(std::equal(a.mask.Pixels().begin(), a.mask.Pixels().end(), b.mask.Pixels().begin()));
}

TEST(Rasterizer, EdgeOnFacesAndHiddenModelsDrawNothing) {
  Scene edgeOn;
  ASSERT_TRUE(test::LoadBytes(edgeOn, test::SmallestModel()).ok);  // a triangle in the x-z plane
  EXPECT_EQ(Draw(edgeOn, 640, 480).Max(), 0);

  for (float dz : {-15.0f, -20.0f}) {  // the model at or behind the viewer
    Scene scene = Leaning();
    MoveFrameZ(scene, dz);
    EXPECT_EQ(Draw(scene, 300, 300).Max(), 0) << dz;
  }

  Scene empty;
  const Render r = Draw(empty, 100, 100);
  EXPECT_EQ(r.Max(), 0);
  EXPECT_TRUE(r.state.MaskReady);
}

TEST(Rasterizer, AFlatModelFaceOnIsAllWhite) {
  Scene flat = Placed({{-1, -1, 3}, {1, -1, 3}, {0, 1, 3}}, {{0, 1, 2}});
  const Render r = Draw(flat, 300, 300);
  EXPECT_EQ(r.At(150, 150), 255);
  EXPECT_EQ(r.At(150, 5), 0);
}

TEST(Rasterizer, DepthsOutsideTheRangeWrapRound) {
  Scene flat = Placed({{-1, -1, 3}, {1, -1, 3}, {0, 1, 3}}, {{0, 1, 2}});
  Render r;
  r.state.RenderBox = {{-4.5f, -4.5f, 14}, {4.5f, 4.5f, 14.5f}};  // the face at 15 lies beyond
  RenderObject(flat, r.state, r.mask, 300, 300, {}, true);
  EXPECT_EQ(r.state.DepthScale, 510);
  EXPECT_EQ(r.At(150, 150), 1) << "510 keeps its low eight bits, 254";
}

TEST(Rasterizer, ProgressAboutTenTimesAndStatusTexts) {
  std::vector<int> percents;
  std::vector<std::string> texts;
  Feedback fb;
  fb.progress = [&](int p) { percents.push_back(p); };
  fb.status = [&](int field, const std::string& t) {
    if (field == 2) texts.push_back(t);
  };
  Scene small;
  ASSERT_TRUE(test::LoadBytes(small, Write3DS({test::Triangles("T", 11)})).ok);
  for (const bool plain : {true, false}) {
    percents.clear();
    texts.clear();
    Render r;
    RenderObject(small, r.state, r.mask, 100, 100, fb, false, {0, plain});
    EXPECT_EQ(percents, std::vector<int>{0}) << "fewer than 12 faces: only the final reset";
    EXPECT_EQ(texts, (std::vector<std::string>{"Processing faces...", "Drawing..."}));
  }

  Scene big;
  ASSERT_TRUE(test::LoadBytes(big, Write3DS({test::Triangles("T", 101)})).ok);
  percents.clear();
  Render plain;
  RenderObject(big, plain.state, plain.mask, 100, 100, fb, false, {0, true});
  EXPECT_EQ(percents, (std::vector<int>{0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 0}));

  percents.clear();
  Render fast;
  RenderObject(big, fast.state, fast.mask, 2000, 2000, fb, false, {2, false});
  EXPECT_LE(percents.size(), 12u);
  EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end() - 1));
  EXPECT_EQ(percents.back(), 0);
}

TEST(Rasterizer, AnimationBoxWidensTheDepthRange) {
  // A box 9 x 3 x 4 after the fit.
  const Vec3 corners[] = {{-4.5f, -1.5f, -2}, {4.5f, 1.5f, 2}};
  struct Case {
    bool x, y, z;
    double c;
  };
  const Case cases[] = {{true, true, true, std::sqrt(double(float(5)) * 5 + 81) / 2},
                        {true, false, true, std::sqrt(81.0 + 16) / 2},
                        {true, true, false, std::sqrt(81.0 + 9) / 2},
                        {false, true, true, 2.5},
                        {true, false, false, 4.5},
                        {false, true, false, 1.5},
                        {false, false, true, 2},
                        {false, false, false, 2}};
  for (const Case& k : cases) {
    Scene scene = Placed({corners[0], corners[1], {0, 1.5f, 2}}, {{0, 1, 2}});
    RenderState state;
    GetMaxBox(scene, state, k.x, k.y, k.z);
    EXPECT_EQ(state.RenderBox.min.z, float(15 - k.c)) << k.x << k.y << k.z;
    EXPECT_EQ(state.RenderBox.max.z, float(15 + k.c)) << k.x << k.y << k.z;
    EXPECT_EQ(state.RenderBox.max.x, 4.5f);

    MaskImage mask;
    RenderObject(scene, state, mask, 200, 200, {}, true);
    EXPECT_EQ(state.NearZ, float(15 - k.c)) << "the render keeps the animation box";
  }
}

TEST(Rasterizer, InsideTestIncludesEdgesAndRejectsNaN) {
  const FaceSetup f = SetUpFace(Transform{}, {0, 0, 1}, {4, 0, 1}, {0, 4, 1});
  EXPECT_TRUE(PointInFace(f, 1, 1));
  EXPECT_TRUE(PointInFace(f, 2, 0)) << "on an edge";
  EXPECT_TRUE(PointInFace(f, 0, 0)) << "on a corner";
  EXPECT_FALSE(PointInFace(f, 3, 3));
  EXPECT_FALSE(PointInFace(f, std::nanf(""), 1));
  EXPECT_EQ(f.area2, 16);
  EXPECT_EQ(f.n.z, f.area2);
  EXPECT_EQ(f.d, 16);
}

}  // namespace
}  // namespace quarvel
