#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "render/view_ops.h"
#include "scene/scene.h"

namespace quarvel {
namespace {

// A mesh whose box runs from `min` to `max`, as two faces over its corners.
void FillBox(Scene& scene, Vec3 min, Vec3 max) {
  const Vec3 v[] = {min, {max.x, min.y, min.z}, max, {min.x, max.y, max.z}};
  const FaceIndices f[] = {{0, 1, 2}, {0, 2, 3}};
  scene.ModelMesh->AddFaces(v, f);
}

TEST(Numbers, RoundingIsToNearestEvenAndNonFiniteIsTheSmallestInteger) {
  EXPECT_EQ(RoundToInt(0.5), 0);
  EXPECT_EQ(RoundToInt(1.5), 2);
  EXPECT_EQ(RoundToInt(2.5), 2);
  EXPECT_EQ(RoundToInt(-0.5), 0);
  EXPECT_EQ(RoundToInt(-1.5), -2);
  EXPECT_EQ(RoundToInt(254.49999999999997), 254);
  EXPECT_EQ(RoundToInt(2147483647.4), 2147483647);
  EXPECT_EQ(RoundToInt(2147483647.5), INT32_MIN) << "rounds to 2^31, out of range";
  EXPECT_EQ(RoundToInt(-2147483648.5), -2147483647 - 1);
  EXPECT_EQ(RoundToInt(-2147483648.6), INT32_MIN);
  EXPECT_EQ(RoundToInt(1e300), INT32_MIN);
  EXPECT_EQ(RoundToInt(std::nan("")), INT32_MIN);
  EXPECT_EQ(RoundToInt(-HUGE_VAL), INT32_MIN);
  for (double v = -1000; v < 1000; v += 0.125)
    EXPECT_EQ(RoundToInt(v), int32_t(std::nearbyint(v)));
}

TEST(Scene, FitCentresAndScalesTheLargestSideToNine) {
  Scene scene;
  FillBox(scene, {-1, 0, 5}, {3, 2, 5});
  scene.FitModel();
  EXPECT_EQ(scene.ExtentX, 4);
  EXPECT_EQ(scene.ExtentY, 2);
  EXPECT_EQ(scene.ExtentZ, 0);
  EXPECT_EQ(scene.FitScale, 2.25f);
  EXPECT_EQ(scene.ModelMesh->GetBox(), (Box{{-4.5f, -2.25f, 0}, {4.5f, 2.25f, 0}}));

  Scene cube;
  FillBox(cube, {9, 9, 9}, {11, 11, 11});
  cube.FitModel();
  EXPECT_EQ(cube.FitScale, 4.5f);
  EXPECT_EQ(cube.ModelMesh->GetBox(), (Box{{-4.5f, -4.5f, -4.5f}, {4.5f, 4.5f, 4.5f}}));
}

TEST(Scene, FitOfAPointLeavesTheMeshUnscaled) {
  Scene scene;
  FillBox(scene, {2, 3, 4}, {2, 3, 4});
  scene.FitModel();
  EXPECT_EQ(scene.FitScale, 1.0f);
  EXPECT_EQ(scene.ModelMesh->GetBox(), (Box{{0, 0, 0}, {0, 0, 0}}));
}

TEST(Scene, InitialisationBuildsOneOfEachWithTheDefaultColours) {
  Scene scene;
  scene.DXDrawInitialize();
  scene.DXDrawInitialize();
  ASSERT_EQ(scene.SceneFrame->children().size(), 3u) << "camera, light frame, model frame";
  EXPECT_EQ(scene.ModelFrame->GetPosition(), (Vec3{0, 0, 15}));
  EXPECT_EQ(scene.LightFrame->GetPosition(), (Vec3{2, 0, -2}));
  EXPECT_EQ(scene.ModelMesh->color(), (Rgb{0.6f, 1.0f, 1.0f}));
  ASSERT_EQ(scene.SceneFrame->GetLights().size(), 1u);
  EXPECT_NEAR(scene.SceneFrame->GetLights()[0].color.r, 0.25098, 1e-5);
  EXPECT_EQ(scene.LightFrame->GetLights()[0].type, LightType::Directional);
}

TEST(Scene, SetColorBrightChangesTheAmbientLightOnly) {
  Scene scene;
  EXPECT_TRUE(scene.SetColorBright(0xFF0000FF, 0x00FFFFFF));  // the top byte is ignored
  EXPECT_EQ(scene.ModelMesh->color(), (Rgb{1, 0, 0}));
  EXPECT_EQ(scene.SceneFrame->GetLights()[0].color, (Rgb{1, 1, 1}));
  EXPECT_EQ(scene.LightFrame->GetLights()[0].color, (Rgb{0.85f, 0.85f, 0.85f}));
  EXPECT_EQ(scene.ObjColor, kDefaultObjColor) << "storing the colours is the caller's job";

  scene.SceneFrame->GetLights().clear();
  EXPECT_FALSE(scene.SetColorBright(0, 0)) << "no light: no redraw";
}

TEST(Frame, TicksTurnAboutTheParentAxisAndKeepThePosition) {
  Scene scene;
  TurnModel(scene, 0, 1, 0, float(std::numbers::pi / 2));
  const Transform t = scene.ModelFrame->GetTransform();
  // A quarter turn about y with rows (c, 0, -s), (0, 1, 0), (s, 0, c).
  EXPECT_NEAR(t.m[0][0], 0, 1e-7);
  EXPECT_EQ(t.m[0][2], -1);
  EXPECT_EQ(t.m[2][0], 1);
  EXPECT_EQ(t.m[1][1], 1);
  EXPECT_EQ(t.m[3][2], 15);
  // The model's +x now points away from the viewer (+z).
  const Vec3 p = TransformPoint(t, {1, 0, 0});
  EXPECT_NEAR(p.x, 0, 1e-6);
  EXPECT_FLOAT_EQ(p.z, 14);

  // Ticking applies the rate every time; the scene frame itself has none.
  Scene clicks;
  for (int i = 0; i < 126; ++i)
    TurnModel(clicks, 0, 1, 0, -kClickAngle);
  const Transform c = clicks.ModelFrame->GetTransform();
  const double angle = 126 * double(kClickAngle);  // slightly more than a full turn
  EXPECT_NEAR(c.m[0][0], std::cos(angle), 1e-5);
  EXPECT_NEAR(c.m[2][0], -std::sin(angle), 1e-5);

  // A zero axis leaves the orientation alone instead of filling it with NaN.
  TurnModel(scene, 0, 0, 0, 1);
  EXPECT_EQ(scene.ModelFrame->GetTransform().m[2][0], 1);
}

TEST(ViewOps, MoveStepsAndMoves) {
  EXPECT_EQ(MoveStep(0.5f), 0.1f);
  EXPECT_EQ(MoveStep(5), 0.5f);
  Scene scene;
  MoveFrameZ(scene, -2.5f);
  EXPECT_EQ(scene.ModelFrame->GetPosition().z, 12.5f);
}

}  // namespace
}  // namespace quarvel
