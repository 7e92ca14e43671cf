// The fast path against the plain one, pixel for pixel: random triangle soups and the real models,
// random turns, moves and sizes, on one thread and on several.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "fixtures.h"
#include "render/rasterizer.h"
#include "render/view_ops.h"

namespace quarvel {
namespace {

// The mask, rendered with `box` as the render box when one is given (as an animation keeps it).
std::vector<uint8_t> Mask(Scene& scene, int w, int h, RasterMode mode, const Box* box = nullptr) {
  RenderState state;
  if (box) state.RenderBox = *box;
  MaskImage mask;
  RenderObject(scene, state, mask, w, h, {}, box != nullptr, mode);
  return {mask.Pixels().begin(), mask.Pixels().end()};
}

// Turns and moves as a user would make them.
void RandomPlacement(Scene& scene, std::mt19937& rng) {
  std::uniform_real_distribution<float> angle(-3.2f, 3.2f), unit(-1, 1), move(-3, 3);
  std::uniform_int_distribution<int> count(0, 4), kind(0, 3);
  for (int n = count(rng); n > 0; --n) {
    switch (kind(rng)) {
      case 0:
        TurnModel(scene, unit(rng), unit(rng), unit(rng), angle(rng));
        break;
      case 1:
        MoveMesh(scene, move(rng), move(rng), 0);
        break;
      case 2:
        MoveFrameZ(scene, std::uniform_real_distribution<float>(-12, 25)(rng));
        break;
      default:
        for (int k = std::uniform_int_distribution<int>(1, 30)(rng); k > 0; --k)
          TurnModel(scene, 0, 1, 0, kClickAngle);
    }
  }
}

// Returns how many pixels the plain path covered.
size_t ExpectSameMasks(Scene& scene, int w, int h, const std::string& what,
                       const Box* box = nullptr) {
  const auto plain = Mask(scene, w, h, {1, true}, box);
  EXPECT_EQ(Mask(scene, w, h, {1, false}, box), plain) << what << " on one thread";
  EXPECT_EQ(Mask(scene, w, h, {3, false}, box), plain) << what << " on three threads";
  return plain.size() - size_t(std::count(plain.begin(), plain.end(), 0));
}

// Triangles of every kind: large and sliver-thin, tiny, edge-on, sharing edges, corners on the
// sample grid, and now and then coordinates far beyond the picture.
Scene RandomSoup(std::mt19937& rng) {
  std::uniform_real_distribution<float> coord(-5, 5), tiny(-0.01f, 0.01f);
  std::uniform_int_distribution<int> pick(0, 9);
  std::vector<Vec3> v;
  std::vector<FaceIndices> f;
  for (int i = 0; i < 60; ++i) {
    const uint32_t base = uint32_t(v.size());
    const Vec3 a{coord(rng), coord(rng), coord(rng)};
    switch (pick(rng)) {
      case 0:  // a sliver
        v.insert(v.end(), {a, {a.x + 4, a.y + 0.001f, a.z}, {a.x + 8, a.y, a.z + 1}});
        break;
      case 1:  // tiny
        v.insert(v.end(),
                 {a, {a.x + tiny(rng), a.y + tiny(rng), a.z}, {a.x, a.y + tiny(rng), a.z}});
        break;
      case 2:  // edge-on
        v.insert(v.end(), {a, {a.x, a.y + 2, a.z + 1}, {a.x, a.y - 1, a.z + 2}});
        break;
      case 3:  // corners on round numbers, which land on sample points for many sizes
        v.insert(v.end(), {{std::round(a.x), std::round(a.y), a.z},
                           {std::round(a.x) + 2, std::round(a.y), a.z + 1},
                           {std::round(a.x), std::round(a.y) + 2, a.z}});
        break;
      case 4:  // far beyond the picture
        v.insert(v.end(), {a, {a.x * 1e20f, a.y, a.z}, {a.x, a.y * -1e20f, a.z}});
        break;
      default:
        v.insert(v.end(),
                 {a, {coord(rng), coord(rng), coord(rng)}, {coord(rng), coord(rng), coord(rng)}});
    }
    f.push_back({base, base + 1, base + 2});
    if (pick(rng) < 3)
      f.push_back({base, base + 2, uint32_t(v.size() + 0)}),
          v.push_back({coord(rng), coord(rng), 0});
  }
  Scene scene;
  scene.ModelMesh->AddFaces(v, f);
  // Not fitted (the far triangles would shrink the rest to nothing): the render box is given.
  scene.ModelTransform = scene.ModelFrame->GetTransform();
  scene.ReferenceDepth = scene.ModelTransform.m[3][2];
  return scene;
}

TEST(FastRaster, RandomTriangleSoupsMatchThePlainPath) {
  std::mt19937 rng(20261207);
  std::uniform_int_distribution<int> size(100, 700);
  // A box a little smaller than the soup's depth range, so that some depths wrap round too.
  const Box box{{-6, -6, 11}, {6, 6, 19}};
  size_t covered = 0;
  for (int round = 0; round < 40; ++round) {
    Scene scene = RandomSoup(rng);
    RandomPlacement(scene, rng);
    covered += ExpectSameMasks(scene, size(rng), size(rng), "soup " + std::to_string(round), &box);
  }
  EXPECT_GT(covered, 1'000'000u) << "the soups must cover much of the masks to mean anything";
}

TEST(FastRaster, RealModelsMatchThePlainPath) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> size(100, 900);
  for (const auto& entry : std::filesystem::directory_iterator(QUARVEL_TEST_DATA)) {
    Scene scene;
    if (!LoadModel(scene, entry.path().string(), {}).ok) continue;
    for (int round = 0; round < 3; ++round) {
      ASSERT_TRUE(LoadModel(scene, entry.path().string(), {}).ok);
      if (round > 0) RandomPlacement(scene, rng);
      ExpectSameMasks(scene, size(rng), size(rng), entry.path().filename().string());
    }
  }
}

TEST(FastRaster, LargeMasksMatchThePlainPath) {
  Scene scene;
  ASSERT_TRUE(LoadModel(scene, QUARVEL_SAMPLES "/knot.3ds", {}).ok);
  TurnModel(scene, 1, 0.5f, 0, 0.7f);
  ExpectSameMasks(scene, 2500, 1900, "knot");
}

}  // namespace
}  // namespace quarvel
