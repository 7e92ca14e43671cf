#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "cli/options.h"
#include "fixtures.h"
#include "render/rasterizer.h"

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

  EXPECT_EQ(Parse({"m.3ds", "-o", "out.bmp", "--size", "100x10000"})->height, 10000);
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
  EXPECT_EQ(Parse({"--", "-odd.3ds"})->model, "-odd.3ds");
}

TEST(RenderOptions, NumbersOutOfRangeGetTheRangeMessage) {
  std::string error;
  for (const char* size : {"50x480", "640x20000", "99999999999x480", "640x-99999999999"}) {
    EXPECT_FALSE(Parse({"m.3ds", "--size", size}, &error)) << size;
    EXPECT_NE(error.find("from 100 to 10000"), std::string::npos) << size << ": " << error;
  }
  for (const char* clicks : {"x:99999999999", "x:-2147483648", "x:-1000001"}) {
    EXPECT_FALSE(Parse({"m.3ds", "--clicks", clicks}, &error)) << clicks;
    EXPECT_EQ(error, "At most 1000000 clicks in one --clicks") << clicks;
  }
  EXPECT_FALSE(Parse({"m.3ds", "--threads", "99999999999"}, &error));
  EXPECT_NE(error.find("from 1 to 256"), std::string::npos) << error;
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
    ApplyView(scene, Parse({"m.3ds", "--clicks", clicks})->view);
    const Transform t = scene.ModelFrame->GetTransform();
    const Vec3 q = TransformPoint(t, p), o = TransformPoint(t, {0, 0, 0});
    return Vec3{q.x - o.x, q.y - o.y, q.z - o.z};
  };
  EXPECT_GT(turned("z:5", {1, 0, 0}).y, 0) << "the right side turns up: counter-clockwise";
  EXPECT_GT(turned("x:5", {0, 1, 0}).z, 0) << "the top turns away";
  EXPECT_LT(turned("y:5", {1, 0, 0}).z, 0) << "the right side turns nearer";
}

TEST(RenderOptions, ClicksTurnLikeTheArrowControls) {
  Scene a, b;
  ApplyView(a, Parse({"m.3ds", "--clicks", "z:-2"})->view);
  ApplyView(b, Parse({"m.3ds", "--rotate", "z:-0.05", "--rotate", "z:-0.05"})->view);
  const Transform ta = a.ModelFrame->GetTransform(), tb = b.ModelFrame->GetTransform();
  EXPECT_EQ(0, std::memcmp(&ta, &tb, sizeof ta));
  EXPECT_LT(ta.m[0][1], 0) << "negative clicks turn the other way";
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
  ApplyView(scene, Parse({"m.3ds", "--clicks", "y:4", "--move-y", "0.5"})->view);
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
  EXPECT_EQ(test::RunInDir(dir, "ulimit -v 60000 && \"$R\" " QUARVEL_TEST_DATA
                                "/fels.3ds --threads 1 --size 10000x10000 -o out.bmp"),
            5);
  const auto err = test::ReadFile(dir.Path("err.txt"));
  EXPECT_EQ(std::string(err.begin(), err.end()), "quarvel-render: out of memory\n");
}

}  // namespace
}  // namespace quarvel
