#include <gtest/gtest.h>

#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <set>
#include <tuple>

#include "cli/options.h"
#include "cli/progress_bar.h"
#include "fixtures.h"
#include "render/rasterizer.h"
#include "samples/write_models.h"
#include "scene/model_formats.h"
#include "session/sequencer.h"

namespace quarvel {
namespace {

std::optional<RenderOptions> Parse(std::vector<std::string> args, std::string* error = nullptr) {
  std::string e;
  auto o = ParseRenderOptions(args, e);
  if (error) *error = e;
  return o;
}

TEST(RenderOptions, DefaultsAndViewOperationsInOrder) {
  const auto o = Parse({"/models/Teapot.3DS", "--clicks", "y:-3", "--rotate", "1,1,0:0.5",
                        "--move-x", "1.5", "--move-z", "-2", "--info"});
  ASSERT_TRUE(o);
  EXPECT_EQ(o->output, "Teapot.bmp") << "the model's name, in the current folder";
  EXPECT_EQ(o->width, 640);
  EXPECT_EQ(o->height, 480);
  EXPECT_TRUE(o->info);
  ASSERT_EQ(o->view.size(), 4u);
  EXPECT_EQ(o->view[0].kind, ViewOp::Clicks);
  EXPECT_EQ(o->view[0].clicks, -3);
  EXPECT_EQ(o->view[0].axis, (Vec3{0, 1, 0}));
  EXPECT_EQ(o->view[1].axis, (Vec3{1, 1, 0}));
  EXPECT_EQ(o->view[1].value, 0.5f);
  EXPECT_EQ(o->view[2].kind, ViewOp::MoveX);
  EXPECT_EQ(o->view[3].value, -2.0f);

  const auto tall = Parse({"m.3ds", "-o", "out.bmp", "--size", "100x10000"});
  ASSERT_TRUE(tall);
  EXPECT_EQ(tall->height, 10000);
}

TEST(RenderOptions, BadCommandLinesAreRefusedWithAReason) {
  std::string error;
  for (const char* size : {"99x480", "640x10001", "640", "x480", "640x480x", "-640x480"}) {
    EXPECT_FALSE(Parse({"m.3ds", "--size", size}, &error)) << size;
    EXPECT_FALSE(error.empty());
  }
  EXPECT_FALSE(Parse({}, &error));
  EXPECT_EQ(error, "No model file given");
  EXPECT_FALSE(Parse({"a.3ds", "b.3ds"}));
  EXPECT_FALSE(Parse({"m.3ds", "--rotate", "w:1"}));
  EXPECT_FALSE(Parse({"m.3ds", "--rotate", "0,0,0:1"})) << "no axis";
  EXPECT_FALSE(Parse({"m.3ds", "--rotate", "x:nan"}));
  EXPECT_FALSE(Parse({"m.3ds", "--clicks", "1,0,0:3"}));
  EXPECT_FALSE(Parse({"m.3ds", "--clicks", "x:2.5"}));
  EXPECT_FALSE(Parse({"m.3ds", "--clicks", "x:99999999"}));
  EXPECT_FALSE(Parse({"m.3ds", "--move-x"}));
  EXPECT_FALSE(Parse({"m.3ds", "--move-y", "1e99"}));
  EXPECT_FALSE(Parse({"m.3ds", "--frobnicate"}));
  const auto odd = Parse({"--", "-odd.3ds"});
  ASSERT_TRUE(odd);
  EXPECT_EQ(odd->model, "-odd.3ds");
}

TEST(RenderOptions, NumbersOutOfRangeGetTheRangeMessage) {
  std::string error;
  for (const char* size : {"50x480", "640x20000", "99999999999x480", "640x-99999999999"}) {
    EXPECT_FALSE(Parse({"m.3ds", "--size", size}, &error)) << size;
    EXPECT_NE(error.find("from 100 to 10000"), std::string::npos) << size << ": " << error;
  }
  // The perspective camera's pictures may be as small as 16 x 16.
  EXPECT_TRUE(Parse({"m.3ds", "--size", "16x64", "--camera", "perspective"}));
  EXPECT_FALSE(Parse({"m.3ds", "--size", "64x15", "--camera", "perspective"}, &error));
  EXPECT_NE(error.find("from 16 to 10000"), std::string::npos) << error;
  for (const char* clicks : {"x:99999999999", "x:-2147483648", "x:-1000001", "x:1000001"}) {
    EXPECT_FALSE(Parse({"m.3ds", "--clicks", clicks}, &error)) << clicks;
    EXPECT_EQ(error, "At most 1000000 clicks in one --clicks") << clicks;
  }
  for (const char* threads : {"0", "257", "99999999999"}) {
    EXPECT_FALSE(Parse({"m.3ds", "--threads", threads}, &error));
    EXPECT_NE(error.find("from 1 to 256"), std::string::npos) << error;
  }
  // The ends of each range are taken.
  for (const std::string end : {"--size 10000x100", "--clicks x:1000000", "--clicks x:-1000000",
                                "--threads 1", "--threads 256"}) {
    const size_t blank = end.find(' ');
    EXPECT_TRUE(Parse({"m.3ds", end.substr(0, blank), end.substr(blank + 1)})) << end;
  }
}

// The ends of every number's documented range, written as the help writes them, are taken, and
// a value just beyond each is refused: {the options before, the option, the end, beyond it}.
TEST(RenderOptions, TheDocumentedEndsOfEachRangeAreTakenAndNothingBeyond) {
  const std::string persp = "m.3ds --camera perspective", views = persp + " --views 2";
  const std::string batch = "--batch l --out-dir o", scale = "m.3ds --px-per-mm 1";
  const std::vector<std::array<std::string, 4>> ends = {
      {"m.3ds", "--px-per-mm", "0.0001", "0.0000999999"},
      {"m.3ds", "--px-per-mm", "100000", "100000.001"},
      {"m.3ds", "--dpi", "0.00254", "0.0025399"},
      {"m.3ds", "--dpi", "2540000", "2540000.01"},
      {scale, "--margin", "1000", "1001"},
      {"m.3ds", "--background", "255", "256"},
      {"m.3ds --format png16", "--background", "65535", "65536"},
      {"m.3ds", "--levels", "256", "257"},
      {"m.3ds", "--supersample", "8", "9"},
      {"m.3ds", "--move-x", "-3.4e38", "-3.41e38"},
      {"m.3ds", "--move-z", "3.4e38", "3.41e38"},
      {persp, "--fov", "179.9999999", "180"},
      {persp, "--distance", "3.4e38", "3.41e38"},
      {persp, "--intrinsics", "1.2e-38,3.4e38,-3.4e38,3.4e38", "1.1e-38,1,0,0"},
      {persp, "--intrinsics", "1,1.2e-38,3.4e38,-3.4e38", "1,3.41e38,0,0"},
      {persp, "--intrinsics", "1,1,-3.4e38,0", "1,1,-3.41e38,0"},
      {views, "--orbit", "-90", "-90.0001"},
      {views, "--orbit", "90", "90.0001"},
      {persp, "--views", "100000", "100001"},
      {batch, "--model-timeout", "1000000", "1000000.001"},
      {batch, "--model-memory", "16", "15"},
      {batch, "--model-memory", "100000000", "100000001"}};
  const auto args = [](const std::string& before, const std::string& option,
                       const std::string& value) {
    std::vector<std::string> out;
    for (size_t at = 0, blank; at <= before.size(); at = blank + 1)
      out.push_back(
          before.substr(at, (blank = std::min(before.find(' ', at), before.size())) - at));
    out.insert(out.end(), {option, value});
    return out;
  };
  for (const auto& [before, option, end, beyond] : ends) {
    std::string error;
    EXPECT_TRUE(Parse(args(before, option, end), &error)) << option << " " << end << ": " << error;
    EXPECT_FALSE(Parse(args(before, option, beyond), &error)) << option << " " << beyond;
    EXPECT_NE(error.find(beyond), std::string::npos) << "the value as typed: " << error;
  }
}

TEST(RenderOptions, HelpListsTheExitCodesAndWhichWayClicksTurn) {
  const std::string help = kRenderUsage;
  for (const char* line : {"0  done", "2  a bad command line", "3  a model that cannot be read",
                           "4  a file that cannot be opened or written"})
    EXPECT_NE(help.find(line), std::string::npos) << line;
  for (const char* phrase :
       {"Positive N turns as", "the left arrow does: about z counter-clockwise",
        "Negative N turns as the right arrow"})
    EXPECT_NE(help.find(phrase), std::string::npos) << phrase;
  // Where a point of the model goes (x to the right and y up in the mask, z away from the viewer).
  auto turned = [](const char* clicks, Vec3 p) {
    Scene scene;
    const auto options = Parse({"m.3ds", "--clicks", clicks});
    if (!options) return Vec3{};  // which fails every check below
    ApplyView(scene, options->view);
    const Transform t = scene.ModelFrame->GetTransform();
    const Vec3 q = TransformPoint(t, p), o = TransformPoint(t, {0, 0, 0});
    return Vec3{q.x - o.x, q.y - o.y, q.z - o.z};
  };
  EXPECT_GT(turned("z:5", {1, 0, 0}).y, 0) << "the right side turns up: counter-clockwise";
  EXPECT_GT(turned("x:5", {0, 1, 0}).z, 0) << "the top turns away";
  EXPECT_LT(turned("y:5", {1, 0, 0}).z, 0) << "the right side turns nearer";
}

TEST(RenderOptions, ClicksTurnLikeTheArrowControls) {
  const auto clicks = Parse({"m.3ds", "--clicks", "z:-2"});
  const auto rotations = Parse({"m.3ds", "--rotate", "z:-0.05", "--rotate", "z:-0.05"});
  ASSERT_TRUE(clicks && rotations);
  Scene a, b;
  ApplyView(a, clicks->view);
  ApplyView(b, rotations->view);
  const Transform ta = a.ModelFrame->GetTransform(), tb = b.ModelFrame->GetTransform();
  EXPECT_EQ(0, std::memcmp(&ta, &tb, sizeof ta));
  EXPECT_LT(ta.m[0][1], 0) << "negative clicks turn the other way";
}

TEST(RenderOptions, AnAnimationsOptions) {
  const auto o = Parse({"m.3ds",  "--size",      "320x200", "--frames",  "90",      "--turns",
                        "-1,0,3", "--scale-by",  "ZY",      "--avi",     "out.avi", "--fps",
                        "12",     "--codec",     "FFV1",    "--quality", "8000",    "--key-frames",
                        "10",     "--data-rate", "800"});
  ASSERT_TRUE(o);
  EXPECT_TRUE(o->Animation());
  EXPECT_EQ(o->avi, "out.avi");
  EXPECT_EQ(o->anim.frames, 90);
  EXPECT_EQ((std::vector<int>{o->anim.x, o->anim.y, o->anim.z}), (std::vector<int>{-1, 0, 3}));
  EXPECT_EQ((std::vector<bool>{o->anim.scaleX, o->anim.scaleY, o->anim.scaleZ}),
            (std::vector<bool>{false, true, true}));
  EXPECT_EQ(o->anim.fps, 12);
  EXPECT_EQ(o->anim.width, 320) << "frames of the mask size";
  EXPECT_EQ(o->anim.height, 200);
  EXPECT_EQ(o->compress.fccHandler, 0x31564646u) << "'F' 'F' 'V' '1' as in the file";
  EXPECT_EQ(o->compress.dwQuality, 8000);
  EXPECT_EQ(o->compress.dwKeyFrameEvery, 10);
  EXPECT_EQ(o->compress.dwBytesPerSecond, 100000) << "800 kbit/s";

  const auto d = Parse({"m.3ds", "--frames", "2", "--bmp-sequence", "w.bmp", "--scale-by", "none"});
  ASSERT_TRUE(d);
  EXPECT_EQ(d->bmpSequence, "w.bmp");
  EXPECT_EQ((std::vector<int>{d->anim.x, d->anim.y, d->anim.z}), (std::vector<int>{0, 1, 0}));
  EXPECT_FALSE(d->anim.scaleX || d->anim.scaleY || d->anim.scaleZ);
  const auto raw = Parse({"m.3ds", "--frames", "10000", "--avi", "a.avi", "--codec", "raw"});
  // A code shorter than four characters is the listed code without its trailing blanks.
  const auto dpx = Parse({"m.3ds", "--frames", "2", "--avi", "a.avi", "--codec", "dpx"});
  const auto defaults = Parse({"m.3ds", "--frames", "5", "--avi", "a.avi"});
  const auto codecs = Parse({"--codecs"});
  ASSERT_TRUE(raw && dpx && defaults && codecs);
  EXPECT_EQ(raw->compress.fccHandler, 0u);
  EXPECT_EQ(dpx->compress.fccHandler, uint32_t(0x20787064));  // "dpx " as a little-endian number
  EXPECT_TRUE(defaults->anim.scaleX && !defaults->anim.scaleY && defaults->anim.scaleZ);
  EXPECT_EQ(defaults->anim.fps, 25);
  EXPECT_TRUE(codecs->listCodecs);
}

TEST(RenderOptions, AnimationOptionsOutOfRangeOrOutOfPlaceAreRefused) {
  const std::vector<std::string> bmp = {"m.3ds", "--frames", "5", "--bmp-sequence", "w.bmp"};
  const std::vector<std::string> avi = {"m.3ds", "--frames", "5", "--avi", "a.avi"};
  auto with = [](std::vector<std::string> args, std::vector<std::string> more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
  };
  std::string error;
  EXPECT_FALSE(Parse(with(bmp, {"--avi", "a.avi"}), &error));
  EXPECT_EQ(error, "Choose --bmp-sequence or --avi: a run writes one of them");
  EXPECT_FALSE(Parse(with(bmp, {"--fps", "10"}), &error));
  EXPECT_EQ(error, "--fps applies only to an AVI file (--avi)");
  EXPECT_FALSE(Parse({"m.3ds", "--fps", "10"}, &error));
  EXPECT_NE(error.find("--fps belongs to an animation"), std::string::npos) << error;
  EXPECT_FALSE(Parse(with(bmp, {"-o", "x.bmp"}), &error));
  EXPECT_NE(error.find("-o names a single mask"), std::string::npos) << error;
  EXPECT_FALSE(Parse({"m.3ds", "--frames", "5"}, &error)) << "nowhere to write";
  EXPECT_FALSE(Parse({"m.3ds", "--bmp-sequence", "w.bmp"}, &error));
  EXPECT_EQ(error, "An animation needs its number of frames: --frames N");
  EXPECT_FALSE(Parse(with(avi, {"--threads", "2"})));
  for (const std::vector<std::string>& bad :
       std::vector<std::vector<std::string>>{{"--frames", "1"},
                                             {"--frames", "10001"},
                                             {"--turns", "0,101,0"},
                                             {"--turns", "-101,0,0"},
                                             {"--turns", "0,1"},
                                             {"--turns", "0,1,0,0"},
                                             {"--scale-by", "xx"},
                                             {"--scale-by", "w"},
                                             {"--scale-by", ""},
                                             {"--fps", "0"},
                                             {"--fps", "41"},
                                             {"--codec", ""},
                                             {"--codec", "FFV12"},
                                             {"--quality", "10001"},
                                             {"--quality", "-1"},
                                             {"--key-frames", "-1"},
                                             {"--key-frames", "10001"},
                                             {"--data-rate", "1000001"},
                                             {"--data-rate", "-1"},
                                             {"--avi", ""},
                                             {"--fps"}})
    EXPECT_FALSE(Parse(with(avi, bad))) << bad[0] << " " << (bad.size() > 1 ? bad[1] : "");
  // The ends of each range are taken.
  for (const std::string end :
       {"--frames 2", "--frames 10000", "--turns -100,100,-100", "--turns 100,-100,100", "--fps 1",
        "--fps 40", "--quality 0", "--quality 10000", "--key-frames 0", "--key-frames 10000",
        "--data-rate 0", "--data-rate 1000000"}) {
    const size_t blank = end.find(' ');
    EXPECT_TRUE(Parse(with(avi, {end.substr(0, blank), end.substr(blank + 1)}))) << end;
  }
}

// Runs quarvel-render with a shell command line; returns its exit code.
int RunRender(const std::string& args) {
  const int status =
      std::system((std::string(QUARVEL_RENDER_EXE) + " " + args + " 2>/dev/null").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(QuarvelRender, ExitCodesAndNothingHalfWritten) {
  test::ScratchDir dir;
  const std::string out = dir.Path("out.bmp");
  const std::string data = QUARVEL_TEST_DATA;
  EXPECT_EQ(RunRender("--size 50x50 " + data + "/fels.3ds -o " + out), 2);
  EXPECT_EQ(RunRender(data + "/SOURCES.md -o " + out), 3);
  EXPECT_EQ(RunRender(data + "/wrong.3ds -o " + out), 3);
  EXPECT_EQ(RunRender(data + "/empty.3ds -o " + out), 3);
  EXPECT_EQ(RunRender(dir.Path("missing.3ds") + " -o " + out), 4);
  EXPECT_EQ(RunRender(data + "/fels.3ds -o " + dir.Path("no/such/folder.bmp")), 4);
  EXPECT_FALSE(std::filesystem::exists(out));

  ASSERT_EQ(RunRender(data + "/fels.3ds --size 101x100 --clicks x:3 -o " + out), 0);
  EXPECT_EQ(std::filesystem::file_size(out), 1078u + 104 * 100);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path("")), {}), 1);
}

TEST(QuarvelRender, WritesTheSameMaskAsTheCore) {
  test::ScratchDir dir;
  const std::string model = QUARVEL_SAMPLES "/knot.3ds";
  ASSERT_EQ(
      RunRender(model + " --size 320x200 --clicks y:4 --move-y 0.5 -o " + dir.Path("cli.bmp")), 0);

  Scene scene;
  ASSERT_TRUE(LoadModel(scene, model, {}).ok);
  const auto o = Parse({"m.3ds", "--clicks", "y:4", "--move-y", "0.5"});
  ASSERT_TRUE(o);
  ApplyView(scene, o->view);
  RenderState state;
  MaskImage mask;
  RenderObject(scene, state, mask, 320, 200, {});
  ASSERT_TRUE(mask.SaveToFile(dir.Path("core.bmp")).empty());
  EXPECT_EQ(test::ReadFile(dir.Path("cli.bmp")), test::ReadFile(dir.Path("core.bmp")));
}

TEST(QuarvelRender, AnOutputThatIsTheModelIsRefusedBeforeAnythingIsWritten) {
  test::ScratchDir dir;
  const auto model = test::ReadFile(QUARVEL_TEST_DATA "/fels.3ds");
  dir.Write("copy.3ds", model);
  dir.Write("m.bmp", model);  // a model whose default output name is its own
  std::filesystem::create_directory(dir.Path("sub"));
  std::filesystem::create_symlink("copy.3ds", dir.Path("link.bmp"));
  std::filesystem::create_hard_link(dir.Path("copy.3ds"), dir.Path("hard.bmp"));
  for (const char* output :
       {"copy.3ds", "link.bmp", "hard.bmp", "sub/../copy.3ds", "./copy.3ds", "\"$PWD/copy.3ds\""}) {
    EXPECT_EQ(test::RunInDir(dir, "\"$R\" copy.3ds -o " + std::string(output)), 2) << output;
    EXPECT_EQ(test::ReadFile(dir.Path("copy.3ds")), model) << output;
  }
  const auto err = test::ReadFile(dir.Path("err.txt"));
  EXPECT_NE(std::string(err.begin(), err.end()).find("the output file is the model itself"),
            std::string::npos);
  EXPECT_EQ(test::RunInDir(dir, "\"$R\" m.bmp"), 2);
  EXPECT_EQ(test::ReadFile(dir.Path("m.bmp")), model);
  EXPECT_TRUE(std::filesystem::is_symlink(dir.Path("link.bmp")));
}

// A full disk, made with a limit on the size of files: the message names the file and gives
// the system's reason, and the old file stays.
TEST(QuarvelRender, AFailedWriteNamesTheFileAndTheReason) {
  test::ScratchDir dir;
  const std::string out = dir.Write("out.bmp", {'o', 'l', 'd'});
  EXPECT_EQ(test::RunInDir(dir, "trap '' XFSZ && ulimit -f 100 && \"$R\" " QUARVEL_TEST_DATA
                                "/fels.3ds --size 400x400 -o out.bmp"),
            4);
  const auto err = test::ReadFile(dir.Path("err.txt"));
  EXPECT_EQ(std::string(err.begin(), err.end()),
            "quarvel-render: out.bmp: Stream write error (File too large)\n");
  EXPECT_EQ(test::ReadFile(out), (std::vector<uint8_t>{'o', 'l', 'd'}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path("")), {}), 2)
      << "no temporary file left";
}

// Running out of memory is a class of its own, not a file error.
TEST(QuarvelRender, RunningOutOfMemoryHasItsOwnExitCode) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers reserve more address space than any limit allows";
#endif
  test::ScratchDir dir;
  // The program maps its libraries (FFmpeg's among them) before it reads anything: the limit
  // is the address space it starts in, found in steps of 20 MB, and 60 MB more.
  EXPECT_EQ(test::RunInDir(dir,
                           "v=20000; until (ulimit -v $v && \"$R\" --help >/dev/null) "
                           "2>/dev/null || [ $v -gt 4000000 ]; do v=$((v + 20000)); done; "
                           "ulimit -v $((v + 60000)) && \"$R\" " QUARVEL_TEST_DATA
                           "/fels.3ds --threads 1 --size 10000x10000 -o out.bmp"),
            5);
  const auto err = test::ReadFile(dir.Path("err.txt"));
  EXPECT_EQ(std::string(err.begin(), err.end()), "quarvel-render: out of memory\n");
}

std::string ErrText(const test::ScratchDir& dir) {
  const auto err = test::ReadFile(dir.Path("err.txt"));
  return {err.begin(), err.end()};
}

// The frames quarvel-render writes are the sequencer's, from the model as the view operations
// place it.
TEST(QuarvelRender, AnAnimationWritesTheSequencersFrames) {
  test::ScratchDir dir;
  const std::string model = QUARVEL_TEST_DATA "/fels.3ds";
  ASSERT_EQ(test::RunInDir(dir, "\"$R\" " + model +
                                    " --size 160x120 --clicks x:3 --frames 5 --turns 1,0,2 "
                                    "--scale-by y --bmp-sequence walk.bmp"),
            0)
      << ErrText(dir);

  Workspace ws;
  ASSERT_TRUE(OpenModel(ws, model, {}).ok);
  const auto o = Parse({"m.3ds", "--clicks", "x:3"});
  ASSERT_TRUE(o);
  ApplyView(ws.scene, o->view);
  AnimationParams p;
  p.frames = 5;
  p.x = 1;
  p.y = 0;
  p.z = 2;
  p.scaleX = p.scaleZ = false;
  p.scaleY = true;
  p.width = 160;
  p.height = 120;
  BeginAnimation(ws, p);
  RenderMask(ws, 160, 120, {});
  std::filesystem::create_directory(dir.Path("core"));
  ASSERT_EQ(RunBmpSequence(ws, p, dir.Path("core/walk.bmp"), {}).end, RunEnd::Finished);
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(test::ReadFile(FrameFileName(dir.Path("walk.bmp"), i)),
              test::ReadFile(FrameFileName(dir.Path("core/walk.bmp"), i)))
        << "frame " << i;
  EXPECT_FALSE(std::filesystem::exists(dir.Path("walk.bmp0005.bmp")));
}

TEST(QuarvelRender, AnAnimationsOptionsThatMakeNoSenseTogetherAreUsageErrors) {
  test::ScratchDir dir;
  const std::string model = QUARVEL_TEST_DATA "/fels.3ds ";
  for (const char* args : {"--frames 3 --bmp-sequence w.bmp --avi a.avi",
                           "--fps 10 --frames 3 "
                           "--bmp-sequence w.bmp",
                           "-o x.bmp --frames 3 --bmp-sequence w.bmp", "--frames 3", "--avi a.avi",
                           "--codec FFV1 -o x.bmp"}) {
    EXPECT_EQ(test::RunInDir(dir, "\"$R\" " + model + args), 2) << args;
    EXPECT_NE(ErrText(dir).find("\nTry 'quarvel-render --help'.\n"), std::string::npos) << args;
  }
  // Frame names longer than a file name can be are refused before the model is read.
  const std::string longName(248, 'w');
  EXPECT_EQ(test::RunInDir(dir, "\"$R\" missing.3ds --frames 3 --bmp-sequence " + longName), 2);
  EXPECT_EQ(ErrText(dir), "quarvel-render: " + longName +
                              ": the frames' file names would be longer than 255 bytes; choose a "
                              "shorter name\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path("")), {}), 1)
      << "only err.txt";
}

TEST(QuarvelRender, AnAnimationNeverWritesOverItsModel) {
  test::ScratchDir dir;
  const auto model = test::ReadFile(QUARVEL_TEST_DATA "/fels.3ds");
  dir.Write("m.3ds", model);
  dir.Write("w.bmp0002.bmp", model);  // a model named as frame 2 of w.bmp
  EXPECT_EQ(test::RunInDir(dir, "\"$R\" m.3ds --frames 3 --avi m.3ds"), 2);
  EXPECT_EQ(
      ErrText(dir),
      "quarvel-render: m.3ds: the output file is the model itself; name another with --avi\n");
  EXPECT_EQ(test::RunInDir(dir, "\"$R\" w.bmp0002.bmp --frames 3 --bmp-sequence w.bmp"), 2);
  EXPECT_EQ(ErrText(dir),
            "quarvel-render: w.bmp0002.bmp: the output file is the model itself; name another "
            "with --bmp-sequence\n");
  EXPECT_EQ(test::ReadFile(dir.Path("m.3ds")), model);
  EXPECT_EQ(test::ReadFile(dir.Path("w.bmp0002.bmp")), model);
  EXPECT_FALSE(std::filesystem::exists(dir.Path("w.bmp0000.bmp"))) << "refused before frame 0";
}

TEST(QuarvelRender, AFrameThatCannotBeWrittenEndsTheRunWithTheReason) {
  test::ScratchDir dir;
  std::filesystem::create_directory(dir.Path("walk.bmp0002.bmp"));
  EXPECT_EQ(test::RunInDir(dir, "\"$R\" " QUARVEL_TEST_DATA
                                "/fels.3ds --size 100x100 --frames 4 --bmp-sequence walk.bmp"),
            4);
  EXPECT_EQ(ErrText(dir),
            "quarvel-render: walk.bmp0002.bmp: Cannot create file walk.bmp0002.bmp (Is a "
            "directory)\n");
  EXPECT_TRUE(std::filesystem::exists(dir.Path("walk.bmp0001.bmp")));
  EXPECT_FALSE(std::filesystem::exists(dir.Path("walk.bmp0003.bmp")));
}

TEST(QuarvelRender, AnAviFileHoldsEveryFrameAndAFullDiskEndsTheRun) {
  test::ScratchDir dir;
  const std::string model = QUARVEL_TEST_DATA "/fels.3ds --size 160x120 --frames 10 ";
  ASSERT_EQ(test::RunInDir(dir, "\"$R\" " + model +
                                    "--avi out.avi --codec FFV1 --fps 10 && "
                                    "ffprobe -v error -count_frames -show_entries "
                                    "stream=codec_name,nb_read_frames,r_frame_rate -of csv=p=0 "
                                    "out.avi > probe.txt"),
            0)
      << ErrText(dir);
  const auto probe = test::ReadFile(dir.Path("probe.txt"));
  EXPECT_EQ(std::string(probe.begin(), probe.end()), "ffv1,10/1,10\n");

  // A compressor this machine lacks gives uncompressed frames, with a note.
  ASSERT_EQ(test::RunInDir(dir, "\"$R\" " + model + "--avi raw.avi --codec XXXX"), 0);
  EXPECT_EQ(ErrText(dir),
            "quarvel-render: note: this machine has no XXXX compressor; the frames are written "
            "uncompressed\n");

  EXPECT_EQ(
      test::RunInDir(dir, "trap '' XFSZ && ulimit -f 60 && \"$R\" " + model + "--avi full.avi"), 4);
  EXPECT_EQ(ErrText(dir), "quarvel-render: full.avi: Error writing rendered frame: " +
                              AviErrorText(AVIERR_FILEWRITE) + " (File too large)\n");
}

// Starts quarvel-render with `args` in `dir`, standard error to err.txt there, its files limited
// to `fileLimit` bytes (0: no limit). `signal` (0: none) is sent once the run has touched the
// folder: made a file there, or changed out.avi from `earlier`. Gives "exit N" or "signal N".
std::string RunAviUntil(const test::ScratchDir& dir, const std::string& args, int signal,
                        rlim_t fileLimit, const std::vector<uint8_t>& earlier) {
  const std::string command = "cd '" + dir.Path("") + "' && exec " QUARVEL_RENDER_EXE " " + args;
  const rlimit limit{fileLimit, fileLimit};
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (fileLimit == 0 || ::setrlimit(RLIMIT_FSIZE, &limit) == 0)
      ::execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
    ::_exit(127);
  }
  const auto touched = [&] {
    return std::distance(std::filesystem::directory_iterator(dir.Path("")), {}) > 2 ||
           test::ReadFile(dir.Path("out.avi")) != earlier;
  };
  for (int i = 0; signal != 0 && i < 400 && !touched(); ++i)
    ::usleep(50000);
  if (signal != 0) ::kill(pid, signal);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? "exit " + std::to_string(WEXITSTATUS(status))
                           : "signal " + std::to_string(WTERMSIG(status));
}

// An AVI run that does not finish leaves the earlier file as it was and no temporary file: a
// signal stops it after the frame under way, a full disk (a file-size limit) fails it with the
// reason.
TEST(QuarvelRender, AnAviRunThatDoesNotFinishLeavesTheEarlierFile) {
  const std::tuple<int, rlim_t, const char*, const char*> cases[] = {
      {SIGTERM, 0, "exit 143", "quarvel-render: stopped by SIGTERM after "},
      {SIGHUP, 0, "exit 129", "quarvel-render: stopped by SIGHUP after "},
      {SIGINT, 0, "exit 130", "quarvel-render: stopped by SIGINT after "},
      {0, 100000, "exit 4",
       "quarvel-render: out.avi: Error writing rendered frame: Error writing file (File too "
       "large)\n"},
  };
  const std::vector<uint8_t> earlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};
  for (const auto& [signal, fileLimit, result, message] : cases) {
    test::ScratchDir dir;
    dir.Write("out.avi", earlier);
    EXPECT_EQ(RunAviUntil(dir,
                          QUARVEL_SAMPLES "/knot.3ds --size 100x100 --frames 10000 --avi "
                                          "out.avi 2>err.txt",
                          signal, fileLimit, earlier),
              result);
    EXPECT_EQ(ErrText(dir).rfind(message, 0), 0u) << ErrText(dir);
    EXPECT_EQ(test::ReadFile(dir.Path("out.avi")), earlier) << result;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path("")), {}), 2)
        << result << ": no temporary file left";
  }
}

// Every renderer, drawing 10,000 copies of one triangle that fills the picture (minutes of work),
// ends within moments of a stop signal, writing nothing, no temporary left. The aim is one second;
// the bound is 5 s after the signal (a KILL, exit 137, past it), 19 s under the sanitizers, whose
// own work on each view's large buffers takes seconds there.
TEST(QuarvelRender, AStopSignalEndsEveryRendererWithinMoments) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  const std::string bound = "20";
#else
  const std::string bound = "6";
#endif
  const std::pair<const char*, const char*> cases[] = {
      {"--size 4000x4000 -o out.bmp", "out.bmp"},  // the fast rasteriser's mask
      {"--size 4000x4000 --threads 1 --format pfm -o out.pfm", "out.pfm"},  // its depths
      {"--size 8000x8000 --supersample 6 -o out.bmp", "out.bmp"},           // the bands
      {"--size 4000x4000 --camera perspective -o out.exr", "out.exr"},
      {"--size 4000x4000 --camera perspective --views 3 -o out", "out/depth/0000.exr"}};
  for (const auto& [args, output] : cases) {
    test::ScratchDir dir;
    dir.Write("m.3ds", Write3DS({{"T",
                                  {{0, 0, 0}, {1, 0, .5f}, {0, 1, 1}},
                                  std::vector<std::array<uint16_t, 3>>(10000, {0, 1, 2})}}));
    std::filesystem::create_directories(dir.Path("out/depth"));
    dir.Write(output, {'e'});
    EXPECT_EQ(test::RunInDir(dir, "{ timeout -s KILL " + bound + " \"$R\" m.3ds " +
                                      std::string(args) + " & sleep 1; kill $!; wait $!; }"),
              143)
        << args;
    EXPECT_EQ(ErrText(dir), "quarvel-render: stopped by SIGTERM\n") << args;
    EXPECT_EQ(test::ReadFile(dir.Path(output)), std::vector<uint8_t>{'e'}) << args;
    EXPECT_EQ(std::distance(std::filesystem::recursive_directory_iterator(dir.Path("")), {}), 5)
        << args << ": no temporary file left";
  }
}

// Two spellings of one file, before it exists: the sidecar would replace the mask.
TEST(QuarvelRender, ASidecarThatIsTheMaskIsRefusedBeforeAnythingIsWritten) {
  test::ScratchDir dir;
  std::filesystem::create_directory(dir.Path("sub"));
  std::filesystem::create_symlink("out.bmp", dir.Path("link.json"));
  for (const char* sidecar : {"./out.bmp", "sub/../out.bmp", "\"$PWD/out.bmp\"", "link.json"}) {
    EXPECT_EQ(test::RunInDir(dir, "\"$R\" " QUARVEL_TEST_DATA "/fels.3ds -o out.bmp --sidecar " +
                                      std::string(sidecar)),
              2)
        << sidecar;
    EXPECT_NE(ErrText(dir).find("the sidecar would replace the model or the mask"),
              std::string::npos)
        << sidecar;
    EXPECT_FALSE(std::filesystem::exists(dir.Path("out.bmp"))) << sidecar;
  }
}

// A coordinate that is not a number or infinite, in the first vertex (where it spoils the
// extents) or a later one (which the extents skip): the render goes on, with a warning.
TEST(QuarvelRender, AModelWithCoordinatesThatAreNotFiniteIsWarnedOf) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  for (const float bad : {nan, inf, -inf, 0.5f}) {
    for (const size_t at : {0u, 2u}) {
      std::vector<Vec3> corners = {{0, 0, 0}, {1, 0, 0}, {0, 1, 1}};
      corners[at].x = bad;
      test::ScratchDir dir;
      dir.Write("m.3ds", Write3DS({{"Tri", corners, {{0, 1, 2}}}}));
      EXPECT_EQ(test::RunInDir(dir, "\"$R\" m.3ds -o out.bmp"), 0) << bad;
      EXPECT_EQ(ErrText(dir).find("quarvel-render: m.3ds: warning: a coordinate of the model is "
                                  "not a number"),
                std::isfinite(bad) ? std::string::npos : 0u)
          << bad << " at " << at << ": " << ErrText(dir);
    }
  }
}

// Camera values whose scales or depths leave a float's range are refused before anything is
// written, naming the option as typed, and so is a model moved to or behind the viewer; what is
// written holds no null, and a flat model's sidecar, whose depth scale is infinite, is refused.
// Other refusals say what is wrong with what was typed: a folder given for a file, a number
// beyond an int echoed as typed, where a poses file stops being JSON.
TEST(QuarvelRender, RefusalsSayWhatWasTypedAndNoJsonHoldsNull) {
  test::ScratchDir dir;
  std::filesystem::create_directory(dir.Path("sub"));
  const std::string nan = "[\n [[1,0,0,0],[0,1,0,0],\n  [0,0,1,NaN],[0,0,0,1]]]";
  const std::string big = "{\"frames\": [\n\n{\"transform_matrix\": [[1,0,0,1e400]]}]}";
  dir.Write("nan.json", std::vector<uint8_t>(nan.begin(), nan.end()));
  dir.Write("big.json", std::vector<uint8_t>(big.begin(), big.end()));
  dir.Write("box.obj", WriteObj(test::Box({-1, -1, -1}, {1, 2, 3})));
  dir.Write("huge.obj", WriteObj(test::Box({-1e38f, -1e38f, -1e38f}, {1e38f, 1e38f, 1e38f})));
  dir.Write("flat.obj", WriteObj(test::Box({0, 0, 0}, {1, 0, 1})));  // no depth seen from the front
  const std::string far = "[[[1,0,0,0],[0,1,0,0],[0,0,1,1e300],[0,0,0,1]]]";
  dir.Write("far.json", std::vector<uint8_t>(far.begin(), far.end()));
  const std::string pinhole = " -o a.exr --sidecar a.json --camera perspective";
  const std::tuple<std::string, int, std::string> cases[] = {
      {"box.obj" + pinhole + " --fov 1e-100", 2, "--fov 1e-100 is too narrow"},
      {"huge.obj" + pinhole + " --fov 1e-20", 2, "(--fov 1e-20): its depths would be more"},
      {"huge.obj" + pinhole + " --intrinsics 1e20,1e20,0,0", 2, "(--intrinsics 1e20,1e20,0,0)"},
      {"box.obj" + pinhole + " --distance 1e308", 2, "at most 3.4e38, not 1e308"},
      {"huge.obj" + pinhole + " --distance 3e38", 2, "(--distance 3e38): its depths"},
      {"box.obj" + pinhole + " --distance 3e38", 0, ""},
      {"box.obj" + pinhole + " --move-z -100", 2, "behind the camera (--move-z -100)"},
      {"box.obj -o v --camera perspective --poses far.json", 2, "pose 1 would stand 1e+300 units"},
      {"box.obj -o a.bmp --move-z -15 --sidecar a.json", 2, "--move-z -15 takes the model to the"},
      {"box.obj -o a.bmp --move-z -15 --move-z 1e-40", 2, "--move-z 1e-40 brings the model so"},
      {"flat.obj -o a.bmp --move-z -15 --move-z 1e-40", 2, "--move-z 1e-40 brings the model so"},
      {"box.obj -o a.bmp --move-z 1e30 --sidecar a.json", 2, "--move-z 1e30 takes the model so"},
      {"box.obj -o a.bmp --move-z 1e6 --sidecar a.json", 0, ""},
      {"box.obj -o a.bmp --move-x 3e38 --move-x 3e38 --sidecar a.json", 2, "--move-x 3e38 moves"},
      {"flat.obj -o a.bmp --sidecar a.json", 5, "(DepthScale is not finite: the model has no"},
      {"box.obj -o out/", 2,
       "out/: -o names a folder, not a file; name a file, such as out/mask.bmp"},
      {"box.obj -o sub --sidecar m.json", 2, "sub: -o names a folder"},
      {"box.obj --sidecar sub/", 2, "sub/: --sidecar names a folder"},
      {"box.obj --background 99999999999999999999", 2,
       "from 0 to 255 for bmp, not 99999999999999999999"},
      {"box.obj --camera perspective --poses nan.json", 2,
       "(its JSON is invalid at line 3, column 10)"},
      {"box.obj --camera perspective --poses big.json", 2,
       "(the number 1e400 at line 3 is out of range)"}};
  for (const auto& [args, code, message] : cases) {
    for (const char* name : {"a.exr", "a.bmp", "a.json"})
      std::filesystem::remove(dir.Path(name));
    EXPECT_EQ(test::RunInDir(dir, "\"$R\" " + args), code) << args << ": " << ErrText(dir);
    EXPECT_NE(ErrText(dir).find(message), std::string::npos) << args << ": " << ErrText(dir);
    const bool written = std::filesystem::exists(dir.Path("a.exr")) ||
                         std::filesystem::exists(dir.Path("a.bmp")) ||
                         std::filesystem::exists(dir.Path("v"));
    EXPECT_EQ(written, code != 2) << args;
    const auto json = test::ReadFile(dir.Path("a.json"));
    EXPECT_EQ(std::string(json.begin(), json.end()).find("null"), std::string::npos) << args;
  }
}

TEST(QuarvelRender, CodecsListsTheCompressorsOfThisMachine) {
  test::ScratchDir dir;
  ASSERT_EQ(test::RunInDir(dir, "\"$R\" --codecs > codecs.txt"), 0);
  const auto listed = test::ReadFile(dir.Path("codecs.txt"));
  const std::string text(listed.begin(), listed.end());
  EXPECT_EQ(text.rfind("FourCC  Name            Lossless  Description\n", 0), 0u) << text;
  EXPECT_NE(text.find("\nFFV1    ffv1            yes       "), std::string::npos) << text;
}

// A mistake on the command line is said in one line, with where to look, not the whole manual.
TEST(QuarvelRender, AUsageMistakeIsOneLineAndAPointerToTheHelp) {
  test::ScratchDir dir;
  for (const auto& [args, message] :
       {std::pair{" --bogus", "Unknown option --bogus"},
        {"", "No model file given"},
        {" --size 50x50", "Width and height must each be from 100 to 10000 pixels, not 50x50"}}) {
    const std::string model = *args ? QUARVEL_TEST_DATA "/fels.3ds" : "";
    EXPECT_EQ(test::RunInDir(dir, "\"$R\" " + model + args), 2) << args;
    EXPECT_EQ(ErrText(dir),
              "quarvel-render: " + std::string(message) + "\nTry 'quarvel-render --help'.\n");
  }
}

// What a run that writes its file says on standard error, in full: a one-line warning for an
// output named for another format (unless --format chose it; a later --size wins), and a note
// naming a compressor that this machine has but that cannot take the frames, with why and what was
// written instead.
TEST(QuarvelRender, WarningsAndNotesOfARunThatWritesItsFile) {
  const auto warning = [](std::string name, std::string format) {
    return "quarvel-render: " + name + ": warning: written in the " + format +
           " format, but the name does not end in ." + format + "\n";
  };
  const std::string avi = "--frames 2 --avi a.avi ";
  test::ScratchDir dir;
  for (const auto& [args, said] : std::initializer_list<std::pair<std::string, std::string>>{
           {"-o k.jpg", warning("k.jpg", "bmp")},
           {"-o x.pfm.gz", warning("x.pfm.gz", "bmp")},
           {"--frames 2 --avi a.bmp", warning("a.bmp", "avi")},
           {"-o K.BMP", ""},
           {"--format png -o x.bmp", ""},
           {"--frames 2 --avi a.AVI", ""},
           {"--frames 2 --bmp-sequence w.jpg", ""},
           {avi + "--size 333x241 --codec H264",
            "quarvel-render: note: the H264 compressor (libx264) cannot take these frames: it "
            "needs an even width and height; the frames are written uncompressed\n"},
           {avi + "--size 333x241 --codec cvid",
            "quarvel-render: note: the cvid compressor (cinepak) cannot take these frames: it "
            "cannot encode 333x241 frames (Invalid argument); the frames are written "
            "uncompressed\n"},
           {avi + "--size 334x242 --codec H264", ""}}) {
    EXPECT_EQ(test::RunInDir(dir, "\"$R\" " QUARVEL_TEST_DATA "/fels.3ds --size 100x100 " + args),
              0)
        << args;
    EXPECT_EQ(ErrText(dir), said) << args;
  }
}

// FFmpeg's own messages (Cinepak's refusal of the size) only with --verbose.
TEST(QuarvelRender, TheEncodersOwnMessagesOnlyWhenVerbose) {
  test::ScratchDir dir;
  for (const auto& [verbose, shown] : {std::pair{"", false}, {" --verbose", true}}) {
    EXPECT_EQ(test::RunInDir(dir, "\"$R\" " QUARVEL_TEST_DATA
                                  "/fels.3ds --size 333x241 --frames 2 --avi a.avi --codec cvid" +
                                      std::string(verbose)),
              0);
    EXPECT_EQ(ErrText(dir).find("[cinepak @ ") != std::string::npos, shown) << ErrText(dir);
  }
}

// What quarvel-render writes to a terminal: its output read through a pseudo-terminal.
std::string OnTerminal(const std::string& args) {
  int terminal = -1;
  const pid_t pid = ::forkpty(&terminal, nullptr, nullptr, nullptr);
  if (pid == 0) {
    ::alarm(60);  // the hang guard: the read below ends when the program does
    ::execl("/bin/sh", "sh", "-c", (std::string(QUARVEL_RENDER_EXE) + " " + args).c_str(), nullptr);
    ::_exit(127);
  }
  std::string text;
  char buffer[4096];
  for (ssize_t n; pid > 0 && (n = ::read(terminal, buffer, sizeof buffer)) != 0;)
    if (n > 0)
      text.append(buffer, size_t(n));
    else if (errno != EINTR)
      break;  // EIO: the program is gone
  ::close(terminal);
  ::waitpid(pid, nullptr, 0);
  return text;
}

// One bar for the whole run, which never goes back, in its own words; then the line is cleared.
TEST(QuarvelRender, OnATerminalTheProgressLineOnlyGrows) {
  test::ScratchDir dir;
  const std::string model = QUARVEL_TEST_DATA "/fels.3ds --size 200x150 ";
  for (const auto& [args, last] :
       {std::pair{"-o " + dir.Path("m.bmp"), " 90% writing " + dir.Path("m.bmp")},
        {"--frames 4 --bmp-sequence " + dir.Path("w.bmp"), "100% 4 of 4 frames written"}}) {
    const std::string text = OnTerminal(model + args);
    int before = 0, lines = 0;
    for (size_t at = 0; (at = text.find("] ", at)) != std::string::npos; ++lines) {
      const int percent = std::atoi(text.c_str() + at + 2);
      EXPECT_GE(percent, before) << text;
      before = percent;
      at = text.find('\r', at);
    }
    EXPECT_GT(lines, 2) << text;
    EXPECT_NE(text.find("reading " QUARVEL_TEST_DATA "/fels.3ds"), std::string::npos) << text;
    EXPECT_NE(text.find(last), std::string::npos) << text;
    EXPECT_EQ(text.find("ESC"), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - 4), "\r\033[K") << text;
  }
  EXPECT_EQ(FramesStep(3, 10, 6.0), "3 of 10 frames written, about 14 s left");
}

// A z-up height field whose grid points are the mask's sample points: a 40 x 20 x 5 block and a
// hemisphere of radius 4.25 on a 50 x 24 plate, off its centre. From the top each pixel is the
// height in levels within half a level; every side differs, front is the mask without --view,
// and the y-up OBJ twin gives the same masks.
TEST(QuarvelRender, TheTopViewIsAHeightmapAndEachSideItsOwnMask) {
  test::ScratchDir dir;
  const auto render = [&](const std::string& file, const std::vector<std::string>& args, int size) {
    Scene scene;
    RenderState state;
    MaskImage mask;
    if (LoadAnyModel(scene, dir.Path(file), {}).ok) ApplyView(scene, Parse(args).value().view);
    RenderObject(scene, state, mask, size, size, {});
    return test::MaskValues(mask);
  };
  const auto height = [](double x, double y) {
    const double dome = std::sqrt(std::max(0.0, 4.25 * 4.25 - (x - 20.5) * (x - 20.5) - y * y));
    return std::fabs(x + 4) <= 20 && std::fabs(y + 1) <= 10 ? 5.0 : dome;
  };
  const uint32_t nx = 200, ny = 96, n = nx + 1;  // steps of 0.25: a pixel apart at 250 x 250
  TriangleMesh m;
  for (uint32_t i = 0; i < n * (ny + 1); ++i) {
    const double x = (int(i % n) - 100) * 0.25, y = (int(i / n) - 48) * 0.25;
    m.vertices.push_back({Store(x), Store(y), Store(height(x, y))});
    if (i % n < nx && i < n * ny)
      m.faces.insert(m.faces.end(), {{i, i + 1, i + n + 1}, {i, i + n + 1, i + n}});
  }
  dir.Write("m.obj", WriteObj(m));
  dir.Write("m.stl", WriteBinaryStl(m));
  const auto top = render("m.stl", {"m", "--view", "top"}, 250);
  double worst = 0;
  for (int p = 0; p < 250 * 250; ++p) {
    const double x = (p % 250 - 125) * 0.25, y = (125 - p / 250) * 0.25;
    worst = std::max(worst, std::fabs(top.at(p) - 255 / 5.0 * height(x, y)));
  }
  EXPECT_LE(worst, 0.501);
  std::vector<std::vector<int>> sides;
  for (const SideName& side : kSideNames) {
    sides.push_back(render("m.stl", {"m", "--view", side.name}, 120));
    EXPECT_EQ(sides.back(), render("m.obj", {"m", "--view", side.name}, 120)) << side.name;
  }
  EXPECT_EQ(std::set(sides.begin(), sides.end()).size(), sides.size());
  // The nearest from the left is the block's end, 20 x 5; from the right the hemisphere's rim.
  const auto near = [](auto& v) { return std::ranges::count_if(v, [](int l) { return l > 249; }); };
  EXPECT_GT(near(sides[2]), 2 * near(sides[3]));
  EXPECT_EQ(render("m.stl", {"m"}, 120), render("m.stl", {"m", "--view", "front"}, 120));
  EXPECT_FALSE(Parse({"m", "--view", "top", "--view", "top"}));
}

}  // namespace
}  // namespace quarvel
