#include "session/sequencer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "fixtures.h"
#include "render/rasterizer.h"
#include "render/view_ops.h"

namespace quarvel {
namespace {

constexpr double kPi = 3.141592653589793;

struct Axis {
  float x, y, z;
  int16_t turns;
  bool operator==(const Axis&) const = default;
};

Axis Parms(int16_t x, int16_t y, int16_t z) {
  Axis a{};
  a.turns = GetRotationParms(x, y, z, a.x, a.y, a.z);
  return a;
}

std::ostream& operator<<(std::ostream& os, const Axis& a) {
  return os << "(" << a.x << ", " << a.y << ", " << a.z << ") D=" << a.turns;
}

TEST(RotationParms, TheDominantCountSetsTheTurnsAndDividesTheAxis) {
  EXPECT_EQ(Parms(0, 1, 0), (Axis{0, 1, 0, 1}));
  EXPECT_EQ(Parms(0, 0, 0), (Axis{1, 1, 1, 0})) << "no turn: the axis stays (1,1,1)";
  EXPECT_EQ(Parms(1, -1, 0), (Axis{-1, 1, 0, -1})) << "y wins a tie with x";
  EXPECT_EQ(Parms(3, 2, 0), (Axis{1, float(2.0 / 3), 0, 3})) << "x dominant";
  EXPECT_EQ(Parms(0, 2, -2), (Axis{0, 1, -1, 2})) << "y wins a tie with z";
  EXPECT_EQ(Parms(-4, 1, 4), (Axis{-1, 0.25f, 1, 4})) << "z wins a tie with x";
  EXPECT_EQ(Parms(-100, 0, 0), (Axis{1, -0.0f, -0.0f, -100}));
  EXPECT_EQ(Parms(1, 3, 7), (Axis{float(1.0 / 7), float(3.0 / 7), 1, 7}));
}

TEST(RotationParms, OneFrameTurnsByTwicePiTimesTheTurnsOverTheFrames) {
  EXPECT_EQ(StepAngle(1, 4), float(kPi / 2));
  EXPECT_EQ(StepAngle(-2, 3), float(-4 * kPi / 3));
  EXPECT_EQ(StepAngle(100, 10000), float(200 * kPi / 10000));
  EXPECT_EQ(StepAngle(0, 60), 0.0f);
}

TEST(FrameNames, FourDigitsAtLeastAfterTheWholeName) {
  EXPECT_EQ(FrameFileName("walk.bmp", 0), "walk.bmp0000.bmp");
  EXPECT_EQ(FrameFileName("walk.bmp", 10), "walk.bmp0010.bmp");
  EXPECT_EQ(FrameFileName("walk.bmp", 100), "walk.bmp0100.bmp");
  EXPECT_EQ(FrameFileName("walk.bmp", 1000), "walk.bmp1000.bmp");
  EXPECT_EQ(FrameFileName("walk.bmp", 1499), "walk.bmp1499.bmp");
  EXPECT_EQ(FrameFileName("/videos/run/walk", 7), "/videos/run/walk0007.bmp");
  // Up to 10000 frames, the names sort in frame order.
  std::vector<std::string> names;
  for (int i = 0; i < 1500; ++i)
    names.push_back(FrameFileName("walk.bmp", i));
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
  EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end());
}

TEST(FrameNames, EveryNameMustFitTheFileNameLimit) {
  const std::string longest(247, 'w');  // 247 + 4 digits + ".bmp" = 255 bytes
  EXPECT_TRUE(FrameNamesFit(longest, 10000));
  EXPECT_FALSE(FrameNamesFit(longest, 10001)) << "frame 10000 has five digits";
  EXPECT_FALSE(FrameNamesFit(std::string(248, 'w'), 2));
  EXPECT_FALSE(FrameNamesFit("/tmp/" + std::string(250, 'w'), 60));
  EXPECT_TRUE(FrameNamesFit(std::string(300, 'd') + "/" + std::string(247, 'w'), 60))
      << "only the name counts, not its folder";

  // The limit is the system's: the longest name that fits can be made, one byte more cannot.
  test::ScratchDir dir;
  const std::string fits = FrameFileName(dir.Path(longest), 9999);
  const std::string tooLong = FrameFileName(dir.Path(longest + "w"), 9999);
  std::unique_ptr<FILE, int (*)(FILE*)> made(std::fopen(fits.c_str(), "w"), &std::fclose);
  EXPECT_TRUE(made);
  EXPECT_EQ(std::fopen(tooLong.c_str(), "w"), nullptr);
  EXPECT_EQ(errno, ENAMETOOLONG);
}

// A model opened in a workspace, placed off its rest orientation, with the animation begun and
// the start-up mask rendered, as the dialog and quarvel-render do.
struct AnimationFixture {
  static constexpr int kWidth = 120, kHeight = 90;
  test::ScratchDir dir;
  Workspace ws;
  AnimationParams p;
  std::string model;

  AnimationFixture() {
    model = dir.Write("model.3ds", Write3DS({test::Triangles("Tris", 30)}));
    if (!OpenModel(ws, model, {}).ok) throw std::runtime_error("model not loaded");
    Place(ws.scene);
    p.frames = 12;
    p.x = 1;
    p.y = 2;
    p.z = 0;
    p.scaleX = p.scaleY = p.scaleZ = true;
    p.width = kWidth;
    p.height = kHeight;
    BeginAnimation(ws, p);
    RenderMask(ws, kWidth, kHeight, {});
  }

  static void Place(Scene& scene) {
    TurnModel(scene, 1, 0, 0, 0.4f);
    TurnModel(scene, 0, 0, 1, -0.3f);
  }

  std::string Frame(int i) const { return FrameFileName(dir.Path("walk.bmp"), i); }
  bool Exists(int i) const { return std::filesystem::exists(Frame(i)); }
};

// The fixture's model loaded into a scene of its own and placed the same way.
std::unique_ptr<Scene> PlacedScene(const AnimationFixture& f) {
  auto scene = std::make_unique<Scene>();
  EXPECT_TRUE(LoadModel(*scene, f.model, {}).ok);
  AnimationFixture::Place(*scene);
  return scene;
}

// One frame's turn for the fixture's counts (1, 2, 0): y dominates, so the model turns twice
// about (0.5, 1, 0) over the frames.
void TurnOneFrame(Scene& scene, const AnimationParams& p) {
  TurnModel(scene, 0.5f, 1, 0, static_cast<float>(2 * 2 * kPi / p.frames));
}

// The masks of frames 0 to n - 1 rendered the plain way: the model placed as above and turned
// i + 1 times by one frame's angle, each render with the box GetMaxBox set before the turns.
std::vector<std::vector<uint8_t>> PlainMasks(const AnimationFixture& f, int n) {
  const auto scene = PlacedScene(f);
  RenderState state;
  scene->ModelTransform = scene->ModelFrame->GetTransform();
  GetMaxBox(*scene, state, true, true, true);
  std::vector<std::vector<uint8_t>> masks;
  MaskImage mask;
  for (int i = 0; i < n; ++i) {
    TurnOneFrame(*scene, f.p);
    RenderObject(*scene, state, mask, f.kWidth, f.kHeight, {}, true, {1, true});
    const std::string path = f.dir.Path("plain.bmp");
    EXPECT_TRUE(mask.SaveToFile(path).empty());
    masks.push_back(test::ReadFile(path));
  }
  return masks;
}

Transform PlainOrientation(const AnimationFixture& f, int turns) {
  const auto scene = PlacedScene(f);
  for (int i = 0; i < turns; ++i)
    TurnOneFrame(*scene, f.p);
  return scene->ModelFrame->GetTransform();
}

bool SameTransform(const Transform& a, const Transform& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(BmpSequence, EachFrameIsTheModelTurnedOnceMoreWithOneDepthRange) {
  AnimationFixture f;
  std::vector<int> done;
  int before = 0, after = 0;
  RunHooks hooks;
  hooks.beforeRender = [&] {
    EXPECT_FALSE(f.ws.rendering);
    ++before;
  };
  hooks.afterRender = [&] {
    EXPECT_FALSE(f.ws.rendering);
    EXPECT_EQ(f.ws.mask.Width(), f.kWidth) << "the preview sees the whole frame";
    ++after;
  };
  hooks.frameDone = [&](int i) {
    EXPECT_TRUE(f.Exists(i)) << "a frame is reported once its file is written";
    done.push_back(i);
  };
  const RunResult r = RunBmpSequence(f.ws, f.p, f.dir.Path("walk.bmp"), hooks);
  EXPECT_EQ(r.end, RunEnd::Finished);
  EXPECT_EQ(r.framesWritten, 12);
  EXPECT_EQ(before, 12);
  EXPECT_EQ(after, 12);
  EXPECT_EQ(done, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));

  const auto plain = PlainMasks(f, 12);
  for (int i = 0; i < 12; ++i)
    EXPECT_EQ(test::ReadFile(f.Frame(i)), plain[i]) << "frame " << i;
  EXPECT_FALSE(f.Exists(12));
  EXPECT_NE(plain[0], plain[3]) << "the model turns";
  const auto pixels = f.ws.mask.Pixels();
  EXPECT_TRUE(
      std::equal(pixels.begin(), pixels.end(), plain[11].end() - pixels.size(), plain[11].end()))
      << "the workspace keeps the last frame";
  EXPECT_TRUE(f.ws.animating) << "still animating until EndAnimation";
  EndAnimation(f.ws);
  EXPECT_FALSE(f.ws.animating);
}

// Cancel is seen while a frame is being prepared (the window processes its messages before each
// render): that frame is still written, and the run ends there.
TEST(BmpSequence, CancelStopsAfterTheFrameUnderWay) {
  AnimationFixture f;
  AbortRequested = -1;  // a stale request from before the run is forgotten
  int rendering = 0;
  std::vector<int> done;
  RunHooks hooks;
  hooks.beforeRender = [&] {
    if (rendering++ == 5) AbortRequested = -1;
  };
  hooks.frameDone = [&](int i) { done.push_back(i); };
  const RunResult r = RunBmpSequence(f.ws, f.p, f.dir.Path("walk.bmp"), hooks);
  EXPECT_EQ(r.end, RunEnd::Canceled);
  EXPECT_EQ(r.framesWritten, 6);
  EXPECT_TRUE(r.error.empty());
  EXPECT_EQ(AbortRequested, 0);
  for (int i = 0; i <= 5; ++i)
    EXPECT_TRUE(f.Exists(i)) << i;
  EXPECT_FALSE(f.Exists(6));
  EXPECT_EQ(done, (std::vector<int>{0, 1, 2, 3, 4})) << "the canceled frame is not reported";
  EXPECT_TRUE(SameTransform(f.ws.scene.ModelFrame->GetTransform(), PlainOrientation(f, 6)))
      << "the model stays as frame 5 shows it";
  EXPECT_EQ(test::ReadFile(f.Frame(5)), PlainMasks(f, 6)[5]);

  // A request made once a frame is reported is seen after the next frame is written.
  AnimationFixture g;
  hooks.beforeRender = nullptr;
  hooks.frameDone = [&](int i) {
    if (i == 5) AbortRequested = -1;
  };
  const RunResult late = RunBmpSequence(g.ws, g.p, g.dir.Path("walk.bmp"), hooks);
  EXPECT_EQ(late.end, RunEnd::Canceled);
  EXPECT_EQ(late.framesWritten, 7);
  EXPECT_TRUE(g.Exists(6));
  EXPECT_FALSE(g.Exists(7));
}

// A stop request (a stop signal) cuts the frame under way short: it is neither shown nor written,
// the frames before it are, and the run ends as cancelled.
TEST(BmpSequence, AStopRequestDropsTheFrameUnderWay) {
  AnimationFixture f;
  int rendering = 0, shown = 0;
  RunHooks hooks;
  hooks.beforeRender = [&] {
    if (rendering++ == 5) StopRequested = 1;
  };
  hooks.afterRender = [&] { ++shown; };
  const RunResult r = RunBmpSequence(f.ws, f.p, f.dir.Path("walk.bmp"), hooks);
  StopRequested = 0;
  EXPECT_EQ(r.end, RunEnd::Canceled);
  EXPECT_EQ(r.framesWritten, 5);
  EXPECT_EQ(shown, 5);
  EXPECT_EQ(AbortRequested, 0);
  EXPECT_TRUE(f.Exists(4));
  EXPECT_FALSE(f.Exists(5));
  EXPECT_FALSE(f.ws.render.MaskReady) << "the half-drawn mask is dropped";
}

TEST(BmpSequence, AFrameThatCannotBeWrittenEndsTheRunWithItsFileAndReason) {
  AnimationFixture f;
  std::filesystem::create_directory(f.Frame(3));  // a folder in the way of frame 3
  std::vector<int> done;
  RunHooks hooks;
  hooks.frameDone = [&](int i) { done.push_back(i); };
  const RunResult r = RunBmpSequence(f.ws, f.p, f.dir.Path("walk.bmp"), hooks);
  EXPECT_EQ(r.end, RunEnd::Failed);
  EXPECT_EQ(r.framesWritten, 3);
  EXPECT_EQ(r.error.text, "Cannot create file %s");
  EXPECT_EQ(r.error.arg, f.Frame(3));
  EXPECT_EQ(r.error.reason, "Is a directory");
  EXPECT_EQ(done, (std::vector<int>{0, 1, 2}));
  for (int i = 0; i < 3; ++i)
    EXPECT_TRUE(f.Exists(i)) << i;
  EXPECT_TRUE(std::filesystem::is_directory(f.Frame(3)));
  EXPECT_TRUE(std::filesystem::is_empty(f.Frame(3)));
  EXPECT_FALSE(f.Exists(4));
  // Nothing but the frames and the folder: no temporary file left behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(f.dir.Path("")), {}), 5);
}

TEST(AviRun, AFrameRateBelowOneIsRefusedBeforeAnythingIsTouched) {
  AnimationFixture f;
  f.p.fps = 0;
  const Transform placed = f.ws.scene.ModelFrame->GetTransform();
  const auto startMask = std::vector<uint8_t>(f.ws.mask.Pixels().begin(), f.ws.mask.Pixels().end());
  TVideoWriter writer;
  int frames = 0;
  RunHooks hooks;
  hooks.beforeRender = [&] { ++frames; };
  const RunResult r = RunAvi(f.ws, writer, f.p, f.dir.Path("out.avi"), hooks);
  EXPECT_EQ(r.end, RunEnd::Failed);
  EXPECT_EQ(r.framesWritten, 0);
  EXPECT_EQ(r.error.text, "The frame rate must be at least 1 frame per second for an AVI file");
  EXPECT_EQ(frames, 0);
  EXPECT_FALSE(std::filesystem::exists(f.dir.Path("out.avi")));
  EXPECT_FALSE(writer.CloseStream().empty()) << "no stream was opened";
  EXPECT_TRUE(SameTransform(f.ws.scene.ModelFrame->GetTransform(), placed));
  EXPECT_TRUE(std::ranges::equal(f.ws.mask.Pixels(), startMask));
}

// The frames ffprobe decodes from a file's video stream, or -1.
int DecodedFrames(const std::string& path) {
  const std::string command =
      "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
      "stream=nb_read_frames -of csv=p=0 '" +
      path + "'";
  std::unique_ptr<FILE, int (*)(FILE*)> out(::popen(command.c_str(), "r"), &::pclose);
  char line[64] = {};
  if (!out || !std::fgets(line, sizeof line, out.get())) return -1;
  return std::atoi(line);
}

// Where each of `blocks` lies in `bytes`, each found after the one before; -1 for one not found.
std::vector<long> Positions(const std::vector<uint8_t>& bytes,
                            const std::vector<std::vector<uint8_t>>& blocks) {
  std::vector<long> at;
  auto from = bytes.begin();
  for (const auto& block : blocks) {
    const auto found = std::search(from, bytes.end(), block.begin(), block.end());
    at.push_back(found == bytes.end() ? -1 : found - bytes.begin());
    from = found == bytes.end() ? from : found + 1;
  }
  return at;
}

TEST(AviRun, UncompressedFramesAreTheRendersInOrder) {
  AnimationFixture f;
  f.p.frames = 10;
  TVideoWriter writer;
  std::vector<int> done;
  RunHooks hooks;
  hooks.frameDone = [&](int i) { done.push_back(i); };
  const RunResult r = RunAvi(f.ws, writer, f.p, f.dir.Path("out.avi"), hooks);
  ASSERT_EQ(r.end, RunEnd::Finished) << r.error.arg;
  EXPECT_EQ(r.framesWritten, 10);
  EXPECT_EQ(done.size(), 10u);
  EXPECT_EQ(DecodedFrames(f.dir.Path("out.avi")), 10);

  // Each frame's pixel block as stored, the same as the BMP sequence's frames without their
  // headers.
  AnimationFixture g;
  g.p.frames = 10;
  ASSERT_EQ(RunBmpSequence(g.ws, g.p, g.dir.Path("walk.bmp"), {}).end, RunEnd::Finished);
  std::vector<std::vector<uint8_t>> blocks;
  for (int i = 0; i < 10; ++i) {
    const auto bmp = test::ReadFile(g.Frame(i));
    blocks.emplace_back(bmp.begin() + kBmpHeaderSize, bmp.end());
  }
  ASSERT_NE(blocks[0], blocks[1]);
  const auto at = Positions(test::ReadFile(f.dir.Path("out.avi")), blocks);
  EXPECT_EQ(std::count(at.begin(), at.end(), -1), 0) << "every frame, in order";
}

// Cancel ends the file with the frames written so far, so that it plays.
TEST(AviRun, CancelClosesTheFileAfterTheFrameUnderWay) {
  AnimationFixture f;
  TVideoWriter writer;
  RunHooks hooks;
  hooks.frameDone = [&](int i) {
    if (i == 3) AbortRequested = -1;
  };
  const RunResult r = RunAvi(f.ws, writer, f.p, f.dir.Path("out.avi"), hooks);
  EXPECT_EQ(r.end, RunEnd::Canceled);
  EXPECT_EQ(r.framesWritten, 4);
  EXPECT_EQ(AbortRequested, 0);
  EXPECT_FALSE(writer.CloseStream().empty()) << "the run closed its stream";
  EXPECT_EQ(DecodedFrames(f.dir.Path("out.avi")), 4);
  EXPECT_TRUE(SameTransform(f.ws.scene.ModelFrame->GetTransform(), PlainOrientation(f, 4)));
}

// Replaced when finished: the frames go to a temporary file beside the earlier file, which is put
// in its place, with its permissions and its link, after the last frame; a cancelled run leaves
// the earlier file as it was. Either way no temporary file is left.
TEST(AviRun, ReplacingWhenFinishedKeepsTheEarlierFileUntilTheLastFrame) {
  namespace fs = std::filesystem;
  for (const int cancelAt : {-1, 3}) {
    AnimationFixture f;
    const std::vector<uint8_t> earlier = {'o', 'l', 'd'};
    const std::string target = f.dir.Write("target.avi", earlier);
    fs::permissions(target, fs::perms(0640));
    fs::create_symlink("target.avi", f.dir.Path("out.avi"));
    TVideoWriter writer;
    RunHooks hooks;
    hooks.frameDone = [&](int i) {
      if (i == cancelAt) AbortRequested = -1;
    };
    const RunResult r =
        RunAvi(f.ws, writer, f.p, f.dir.Path("out.avi"), hooks, AviReplace::WhenFinished);
    EXPECT_EQ(r.end, cancelAt < 0 ? RunEnd::Finished : RunEnd::Canceled);
    if (cancelAt < 0)
      EXPECT_EQ(DecodedFrames(target), 12);
    else
      EXPECT_EQ(test::ReadFile(target), earlier);
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(0640)) << cancelAt;
    EXPECT_TRUE(fs::is_symlink(f.dir.Path("out.avi")));
    EXPECT_EQ(std::distance(fs::directory_iterator(f.dir.Path("")), {}), 3) << cancelAt;
  }
  AnimationFixture f;
  TVideoWriter writer;
  const std::string nowhere = f.dir.Path("missing/out.avi");
  const RunResult r = RunAvi(f.ws, writer, f.p, nowhere, {}, AviReplace::WhenFinished);
  EXPECT_EQ(r.end, RunEnd::Failed);
  EXPECT_EQ(AviFailureMessage(r.error, {}),
            "Cannot create file " + nowhere + " (No such file or directory)");
}

// A file that cannot be opened fails the first frame with the system's reason and ends the run
// there, with or without a Cancel in the same frame.
TEST(AviRun, AFrameThatCannotBeWrittenEndsTheRunAndOutranksCancel) {
  for (const bool cancel : {true, false}) {
    AnimationFixture f;
    const std::string folder = f.dir.Path("out.avi");
    std::filesystem::create_directory(folder);
    TVideoWriter writer;
    std::vector<int> done;
    RunHooks hooks;
    hooks.frameDone = [&](int i) {
      done.push_back(i);
      if (cancel) AbortRequested = -1;
    };
    const RunResult r = RunAvi(f.ws, writer, f.p, folder, hooks);
    EXPECT_EQ(r.end, RunEnd::Failed) << cancel;
    EXPECT_EQ(r.framesWritten, 0);
    EXPECT_EQ(done, std::vector<int>{0}) << cancel;
    EXPECT_EQ(AviFailureMessage(r.error, {}), "Error writing rendered frame: (Is a directory)");
    EXPECT_EQ(AbortRequested, 0);
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_TRUE(std::filesystem::is_empty(folder));
  }
}

}  // namespace
}  // namespace quarvel
