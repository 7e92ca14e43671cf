// The fast path against the plain one, pixel for pixel: random triangle soups and the real models,
// random turns, moves and sizes, on one thread and on several.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>
#include <stdexcept>

#include "fixtures.h"
#include "render/fast_raster.h"
#include "render/rasterizer.h"
#include "render/view_ops.h"

namespace quarvel {
namespace {

using test::Unfitted;

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

// The depth render on the plain path, and on the fast one on one and on three threads.
void ExpectSameDepths(Scene& scene, int w, int h, const std::string& what, const Box& box) {
  std::vector<std::vector<float>> depths;
  for (const RasterMode mode : {RasterMode{1, true}, RasterMode{1, false}, RasterMode{3, false}}) {
    RenderState state;
    state.RenderBox = box;
    DepthImage image;
    RenderDepth(scene, state, image, w, h, {}, true, mode);
    depths.emplace_back(image.depth.begin(), image.depth.end());
  }
  EXPECT_TRUE(std::memcmp(depths[0].data(), depths[1].data(), depths[0].size() * 4) == 0)
      << what << ": depths on one thread";
  EXPECT_TRUE(std::memcmp(depths[0].data(), depths[2].data(), depths[0].size() * 4) == 0)
      << what << ": depths on three threads";
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
  // Not fitted (the far triangles would shrink the rest to nothing): the render box is given.
  return Unfitted(v, f);
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

// Slivers one to three pixels across and many times as long, lying along the rows and along the
// columns (these are drawn column by column) and at every slant between, in masks of every size,
// as a dense model becomes in a big mask. The depth render too.
TEST(FastRaster, SliversInBothOrientationsMatchThePlainPath) {
  std::mt19937 rng(13);
  std::uniform_real_distribution<float> coord(-4, 4), across(0.002f, 0.03f), along(0.05f, 6);
  std::uniform_real_distribution<float> slant(-0.3f, 0.3f), depth(-1, 1);
  std::uniform_int_distribution<int> size(100, 1600);
  const Box box{{-5, -5, 12}, {5, 5, 18}};
  for (int round = 0; round < 20; ++round) {
    std::vector<Vec3> v;
    std::vector<FaceIndices> f;
    for (int i = 0; i < 400; ++i) {
      const Vec3 a{coord(rng), coord(rng), depth(rng)};
      const float w = across(rng), l = along(rng), s = slant(rng) * l;
      const bool tall = i % 2 == 0;
      const Vec3 b = tall ? Vec3{a.x + w, a.y + l, depth(rng)} : Vec3{a.x + l, a.y + w, depth(rng)};
      const Vec3 c = tall ? Vec3{a.x + s, a.y + l * 0.5f, depth(rng)}
                          : Vec3{a.x + l * 0.5f, a.y + s, depth(rng)};
      const auto base = uint32_t(v.size());
      v.insert(v.end(), {a, b, c});
      f.push_back({base, base + 1, base + 2});
    }
    Scene scene = Unfitted(v, f);
    const int w = size(rng), h = size(rng);
    const std::string what =
        "slivers " + std::to_string(round) + " at " + std::to_string(w) + "x" + std::to_string(h);
    ExpectSameMasks(scene, w, h, what, &box);
    ExpectSameDepths(scene, w, h, what, box);
  }
}

// Where a face is skipped whole because what is drawn already hides it, every pixel it could
// reach counts: a near layer of wide quads with slits and margins from a fraction of a pixel to
// two pixels wide, over a far layer of quads 16 to 24 pixels across, in masks of every size.
TEST(FastRaster, FacesSeenOnlyThroughSlitsMatchThePlainPath) {
  std::mt19937 rng(32);
  std::uniform_int_distribution<int> size(100, 700);
  std::uniform_real_distribution<float> cell(20, 70), slit(0.3f, 1.6f), margin(-1, 2);
  std::uniform_real_distribution<float> pitch(16, 24);
  const Box box{{-5, -5, 12}, {5, 5, 18}};
  for (int round = 0; round < 30; ++round) {
    const int w = size(rng), h = size(rng);
    const float fw = float(w), fh = float(h);
    const float ps = float(std::min(w, h) * 0.08);  // pixels a unit, as the box gives them
    std::vector<Vec3> v;
    std::vector<FaceIndices> f;
    // Quad [x0, x1] x [y0, y1] in pixels from the picture's middle, at depth z tilted a little.
    auto quad = [&](float x0, float x1, float y0, float y1, float z) {
      const auto base = uint32_t(v.size());
      for (const auto& [x, y] : {std::pair{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}})
        v.push_back({x / ps, y / ps, z + 0.02f * x / ps + 0.01f * y / ps});
      f.push_back({base, base + 1, base + 2});
      f.push_back({base, base + 2, base + 3});
    };
    // The cells of the near layer along one side of `count` pixels: wide ones and slits between.
    auto cells = [&](float count) {
      std::vector<std::pair<float, float>> out;
      const float end = count * 0.5f - 1 - margin(rng);
      for (float at = -count * 0.5f + margin(rng); at < end;) {
        const float next = std::min(at + cell(rng), end);
        out.push_back({at, next});
        at = next + slit(rng);
      }
      return out;
    };
    for (const auto& [x0, x1] : cells(fw))
      for (const auto& [y0, y1] : cells(fh))
        quad(x0, x1, y0, y1, -1);
    const float p = pitch(rng);
    for (float x = -fw * 0.5f - 1; x < fw * 0.5f + 1; x += p)
      for (float y = -fh * 0.5f - 1; y < fh * 0.5f + 1; y += p)
        quad(x, x + p, y, y + p, 1);
    Scene scene = Unfitted(v, f);
    const std::string what =
        "slits " + std::to_string(round) + " at " + std::to_string(w) + "x" + std::to_string(h);
    ExpectSameMasks(scene, w, h, what, &box);
    ExpectSameDepths(scene, w, h, what, box);
  }
}

// A weight whose quotient E / A is negative but smaller than 2^-150 rounds to -0 as a float,
// which the inside test takes as inside: both paths must. Pixel scale 1 puts a sample point on
// the origin; the edge PQ, 2^-99 long, passes 2^-156 of the face's size beside it, R far away.
TEST(FastRaster, AWeightThatRoundsToMinusZeroIsInsideOnBothPaths) {
  const float s = 0x1p-100f;
  const Vec3 p{-s, -s * (1 - 0x1p-24f), 0}, q{s, s, 0};
  const Box box{{-40, -40, 10}, {40, 40, 20}};  // 80 wide in a 100 x 100 mask: pixel scale 1
  for (const Vec3 r : {Vec3{-0x1p30f, 0x1p30f, 0}, Vec3{0, 0x1p30f, 0}}) {  // rows, then columns
    Scene scene = Unfitted({p, q, r}, {{0, 1, 2}});
    const FaceSetup face = SetUpPlacedFace({p.x, p.y, 15}, {q.x, q.y, 15}, {r.x, r.y, 15});
    const double e = (double(q.x) - p.x) * (0.0 - p.y) - (double(q.y) - p.y) * (0.0 - p.x);
    ASSERT_LT(e / face.area2, 0);
    ASSERT_GT(e / face.area2, -0x1p-150) << "the quotient must round to -0";
    const auto plain = Mask(scene, 100, 100, {1, true}, &box);
    // Stored bottom row first: the sample row 50 from the bottom (y = 0) is stored row 49.
    ASSERT_NE(plain[size_t(49) * 100 + 50], 0) << "the plain path covers the origin's pixel";
    EXPECT_EQ(Mask(scene, 100, 100, {1, false}, &box), plain);
  }
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

// A wavy sheet of 80000 triangles, each with corners of its own (240000 vertices): enough for the
// vertices and the faces to be shared out among threads as well as the bands.
Scene Sheet() {
  constexpr int kSide = 200;
  std::vector<Vec3> v;
  std::vector<FaceIndices> f;
  auto corner = [](int i, int j) {
    const float x = -4.5f + 9.0f * float(i) / kSide, y = -4.5f + 9.0f * float(j) / kSide;
    return Vec3{x, y, std::sin(2 * x) * std::cos(y)};
  };
  for (int i = 0; i < kSide; ++i) {
    for (int j = 0; j < kSide; ++j) {
      const auto base = uint32_t(v.size());
      v.insert(v.end(), {corner(i, j), corner(i + 1, j), corner(i + 1, j + 1), corner(i, j),
                         corner(i + 1, j + 1), corner(i, j + 1)});
      f.push_back({base, base + 1, base + 2});
      f.push_back({base + 3, base + 4, base + 5});
    }
  }
  return Unfitted(v, f);
}

// Sets thread faults for one scope and clears them at its end, whatever happens in it.
struct ThreadFaults {
  explicit ThreadFaults(ThreadFaultsForTesting faults) { SetThreadFaultsForTesting(faults); }
  ~ThreadFaults() { SetThreadFaultsForTesting({}); }
};

// Four threads on the sheet start threads 0 to 2 to place the vertices, 3 to sort the faces into
// bands and 4 to 7 to draw the bands.
constexpr int kThreadsStarted = 8;

TEST(FastRaster, ThreadsThatCannotStartAreDoneWithout) {
  Scene scene = Sheet();
  const auto plain = Mask(scene, 600, 400, {1, true});
  for (int refuse = 0; refuse <= kThreadsStarted; ++refuse) {
    const ThreadFaults faults({refuse, -1});
    EXPECT_EQ(Mask(scene, 600, 400, {4, false}), plain) << "threads refused from " << refuse;
  }
}

TEST(FastRaster, AnExceptionInAnyThreadReachesTheCaller) {
  Scene scene = Sheet();
  for (int thread : {0, 2, 3, 4, 7}) {
    const ThreadFaults faults({-1, thread});
    EXPECT_THROW(Mask(scene, 600, 400, {4, false}), std::bad_alloc) << "thread " << thread;
  }

  // The calling thread reports while the others draw, or after each band it draws itself when
  // none could start; what it reports to may throw too.
  int calls = 0;
  Feedback fb;
  fb.processMessages = [&] {
    ++calls;
    throw std::runtime_error("stop");
  };
  auto render = [&](int threads) {
    RenderState state;
    MaskImage mask;
    RenderObject(scene, state, mask, 4000, 4000, fb, false, {threads, false});
  };
  {
    const ThreadFaults faults({0, -1});
    EXPECT_THROW(render(2), std::runtime_error);
    EXPECT_EQ(calls, 1) << "the bands stop at the first exception";
  }
  calls = 0;
  try {
    render(2);
  } catch (const std::runtime_error&) {
    EXPECT_EQ(calls, 1);
  }
  EXPECT_LE(calls, 1) << "called at most once, and if called, its exception came through";

  EXPECT_EQ(Mask(scene, 600, 400, {4, false}), Mask(scene, 600, 400, {1, true}))
      << "a failed render leaves nothing behind that changes the next";
}

// The sanitizers reserve terabytes of address space up front: no limit on it leaves them room.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kAddressSpaceLimitable = false;
#else
constexpr bool kAddressSpaceLimitable = true;
#endif

TEST(FastRaster, ThreadsTheSystemRefusesAreDoneWithout) {
  if (!kAddressSpaceLimitable) GTEST_SKIP() << "a sanitizer needs more address space than this";
  test::ScratchDir dir;
  const std::string render = "\"$R\" " QUARVEL_TEST_DATA "/fels.3ds --size 2000x2000 ";
  ASSERT_EQ(test::RunInDir(dir, render + "--threads 1 -o one.bmp"), 0);
  // 62 bands, so up to 62 threads with stacks of 8 MiB wanted: only some fit in 256 MiB.
  ASSERT_EQ(test::RunInDir(dir, "ulimit -s 8192 && ulimit -v 262144 && " + render +
                                    "--threads 256 -o many.bmp"),
            0);
  EXPECT_EQ(test::ReadFile(dir.Path("many.bmp")), test::ReadFile(dir.Path("one.bmp")));
}

}  // namespace
}  // namespace quarvel
