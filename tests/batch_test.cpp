#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "cli/batch.h"
#include "fixtures.h"

namespace quarvel {
namespace {

namespace fs = std::filesystem;

// A stand-in for the renderer: notes the call in `calls` and writes out.txt, or fails in the
// way the model's name asks for.
RenderModel Fake(const std::string& calls) {
  return [calls](const std::string& model, const std::string& folder) -> ModelOutcome {
    std::ofstream(calls, std::ios::app) << model + "\n" << std::flush;
    if (model.find("fail") != std::string::npos) return {3, 0, "cannot read\tthe model"};
    if (model.find("crash") != std::string::npos) std::abort();
    if (model.find("slow") != std::string::npos) {  // ends when asked to, as the renderer does
      static volatile std::sig_atomic_t asked = 0;
      std::signal(SIGTERM, [](int) { asked = 1; });
      for (int i = 0; i < 3000 && asked == 0; ++i)
        ::usleep(10000);
      std::ofstream(folder + "/asked.txt") << asked;
      return {143, 0, ""};
    }
    if (model.find("quiet") != std::string::npos) {
      std::fprintf(stderr, "quarvel-render: %s: last words\n\n", model.c_str());
      return {4, 0, ""};
    }
    if (model.find("big") != std::string::npos &&
        ::mmap(nullptr, size_t(1) << 30, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0) ==
            MAP_FAILED)
      return {5, 0, "out of memory"};
    std::ofstream(folder + "/out.txt") << model;
    return {0, 12, ""};
  };
}

std::vector<std::string> Lines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

struct Outcome {
  int code;
  std::string err;
};

Outcome Batch(const BatchOptions& options, const std::string& calls) {
  testing::internal::CaptureStderr();
  const int code = RunBatch(options, Fake(calls));
  return {code, testing::internal::GetCapturedStderr()};
}

TEST(Batch, BadModelsAreRowsAndTheRestIsRendered) {
  test::ScratchDir dir;
  std::map<int, std::string> bad = {{3, "fail"},  {40, "fail"},  {41, "fail"},
                                    {90, "fail"}, {199, "fail"}, {7, "crash"},
                                    {8, "slow"},  {9, "big"},    {10, "quiet"}};
  std::ofstream list(dir.Path("list"));
  for (int i = 0; i < 200; ++i)
    list << (i % 50 == 0 ? "\n# comment\n  \n" : "") << "/set/" << bad[i] << i << ".obj"
         << (i % 3 ? "\n" : "\r\n");
  list.close();
  const Outcome run = Batch(
      {dir.Path("list"), dir.Path("out"), "", 0, 1, false, 0.5, 256 << 20, ""}, dir.Path("calls"));
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find("quarvel-render: /set/crash7.obj: crashed (SIGABRT)\n"),
            std::string::npos);
  EXPECT_NE(run.err.find("quarvel-render: 191 rendered, 0 skipped as done, 9 failed\n"),
            std::string::npos);
  const std::vector<std::string> rows = Lines(dir.Path("out/results.tsv"));
  ASSERT_EQ(rows.size(), 201u);
  EXPECT_EQ(rows[0], "model\texit_code\tseconds\tfaces\tmessage");
  std::map<std::string, std::string> failed;
  for (const std::string& row : rows) {
    const std::string model = row.substr(0, row.find('\t')), rest = row.substr(model.size());
    const std::string code = rest.substr(0, rest.find('\t', 1)),
                      message = row.substr(row.rfind('\t'));
    if (code != "\t0")
      failed[model] = code + message;
    else
      EXPECT_TRUE(fs::exists(dir.Path("out" + model + "/.quarvel-done"))) << model;
  }
  EXPECT_EQ(failed,
            (std::map<std::string, std::string>{{"model", "\texit_code\tmessage"},
                                                {"/set/fail3.obj", "\t3\tcannot read the model"},
                                                {"/set/fail40.obj", "\t3\tcannot read the model"},
                                                {"/set/fail41.obj", "\t3\tcannot read the model"},
                                                {"/set/fail90.obj", "\t3\tcannot read the model"},
                                                {"/set/fail199.obj", "\t3\tcannot read the model"},
                                                {"/set/crash7.obj", "\t134\tcrashed (SIGABRT)"},
                                                {"/set/slow8.obj", "\t124\ttimed out after 0.5 s"},
                                                {"/set/big9.obj", "\t5\tout of memory"},
                                                {"/set/quiet10.obj", "\t4\tlast words"}}));
  EXPECT_FALSE(fs::exists(dir.Path("out/set/fail3.obj/.quarvel-done")));
  EXPECT_TRUE(fs::exists(dir.Path("out/set/slow8.obj/asked.txt")));  // asked to stop, not killed
  EXPECT_TRUE(fs::exists(dir.Path("out/set/198.obj"))) << "no '\\r' in the name";
}

// The models the fake was called for, each with the number of calls.
std::map<std::string, int> Calls(const std::string& path) {
  std::map<std::string, int> calls;
  for (const std::string& model : Lines(path))
    ++calls[model];
  fs::remove(path);
  return calls;
}

TEST(Batch, SkipDoneRendersOnlyWhatIsMissingAndShardsShareTheList) {
  test::ScratchDir dir;
  std::map<std::string, int> all;
  std::ofstream list(dir.Path("list"));
  for (int i = 0; i < 60; ++i) {
    list << "m/" << i << ".obj\n";
    all["m/" + std::to_string(i) + ".obj"] = 1;
  }
  list.close();
  BatchOptions options{dir.Path("list"), dir.Path("out"), "", 0, 1, true, 0, 0, ""};
  EXPECT_EQ(Batch(options, dir.Path("calls")).code, 0);
  EXPECT_EQ(Calls(dir.Path("calls")), all);
  const Outcome again = Batch(options, dir.Path("calls"));
  EXPECT_EQ(again.err, "quarvel-render: 0 rendered, 60 skipped as done, 0 failed\n");
  EXPECT_EQ(Calls(dir.Path("calls")), (std::map<std::string, int>{}));
  std::map<std::string, int> missing;
  for (int i = 5; i < 60; i += 6) {
    missing["m/" + std::to_string(i) + ".obj"] = 1;
    fs::remove(dir.Path("out/m/" + std::to_string(i) + ".obj/.quarvel-done"));
  }
  EXPECT_EQ(Batch(options, dir.Path("calls")).code, 0);
  EXPECT_EQ(Calls(dir.Path("calls")), missing);

  options = {dir.Path("list"), dir.Path("shards"), "", 0, 4, false, 0, 0, ""};
  for (options.shardIndex = 0; options.shardIndex < 4; ++options.shardIndex)
    EXPECT_EQ(Batch(options, dir.Path("calls")).code, 0);
  EXPECT_EQ(Calls(dir.Path("calls")), all);
  EXPECT_EQ(Lines(dir.Path("shards/results-3-of-4.tsv")).size(), 16u);
}

TEST(Batch, FoldersAreNamedBelowTheOutputFolderWithoutFollowingLinks) {
  test::ScratchDir dir;
  fs::create_directories(dir.Path("out"));
  fs::create_directories(dir.Path("elsewhere"));
  fs::create_directory_symlink(dir.Path("elsewhere"), dir.Path("out/evil"));
  const struct {
    std::string root, model, folderOrMessage;
  } cases[] = {
      {"/data/", "/data/a/./b.obj", "a/b.obj"},
      {"", "//abs/c.stl", "abs/c.stl"},
      {"", "rel/c.stl", "rel/c.stl"},
      {"/data", "/other/c.obj", "not below --root /data"},
      {"/data", "data/c.obj", "not below --root /data"},
      {"/data", "/data", "no file name below the output folder"},
      {"", "x/../../etc/d.obj", "'..' in the path would leave the output folder"},
      {"", std::string(5000, 'a'), "path too long"},
      {"", std::string("n\0.obj", 6), "a NUL byte in the path"},
      {"", "evil/e.obj", "'evil' in the output folder is a symbolic link"},
  };
  for (const auto& c : cases) {
    std::ofstream(dir.Path("list")) << c.model << "\n";
    const Outcome run = Batch({dir.Path("list"), dir.Path("out"), c.root, 0, 1, false, 0, 0, ""},
                              dir.Path("calls"));
    const std::string row = Lines(dir.Path("out/results.tsv")).back();
    if (run.code == 0)
      EXPECT_EQ(test::ReadFile(dir.Path("out/" + c.folderOrMessage + "/out.txt")).size(),
                c.model.size());
    else
      EXPECT_EQ(row.substr(row.rfind('\t') + 1), c.folderOrMessage) << c.model;
  }
  EXPECT_TRUE(fs::is_empty(dir.Path("elsewhere")));
}

}  // namespace
}  // namespace quarvel
