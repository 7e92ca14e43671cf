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
#include "cli/batch_list.h"
#include "cli/options.h"
#include "cli/stop_signals.h"
#include "fixtures.h"

namespace quarvel {
namespace {

namespace fs = std::filesystem;

constexpr size_t npos = std::string::npos;

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
    if (model.find("stop") != std::string::npos) {  // a user's signal to the batch meanwhile
      ::kill(::getppid(), model.find("int") != std::string::npos ? SIGINT : SIGTERM);
      for (int i = 0; i < 1000 && StopSignal() == 0; ++i)
        ::usleep(10000);
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
  EXPECT_EQ(failed, (std::map<std::string, std::string>{
                        {"model", "\texit_code\tmessage"},
                        {"/set/fail3.obj", "\t3\tcannot read\\tthe model"},
                        {"/set/fail40.obj", "\t3\tcannot read\\tthe model"},
                        {"/set/fail41.obj", "\t3\tcannot read\\tthe model"},
                        {"/set/fail90.obj", "\t3\tcannot read\\tthe model"},
                        {"/set/fail199.obj", "\t3\tcannot read\\tthe model"},
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

TEST(Batch, AListThatIsTheResultsFileIsRefusedAndLeftAsItWas) {
  const struct {
    std::string command;
    int code;
  } cases[] = {
      {"\"$R\" --batch o/results.tsv --out-dir o", 2},
      {"ln o/results.tsv hard && \"$R\" --batch hard --out-dir o", 2},
      {"ln -s o/results.tsv soft && \"$R\" --batch soft --out-dir o", 2},
      {"\"$R\" --batch - --out-dir o <o/results.tsv", 2},
      {"\"$R\" --batch o/results.tsv --out-dir p --results o/results.tsv", 2},
      {"cp o/results.tsv copy && \"$R\" --batch copy --out-dir o", 1},
  };
  for (const auto& c : cases) {
    test::ScratchDir dir;
    const std::string before = "models/a.obj\n";
    fs::create_directory(dir.Path("o"));
    dir.Write("o/results.tsv", {before.begin(), before.end()});
    EXPECT_EQ(test::RunInDir(dir, c.command), c.code) << c.command;
    const auto after = test::ReadFile(dir.Path("o/results.tsv"));
    const auto err = test::ReadFile(dir.Path("err.txt"));
    if (c.code == 2) {
      EXPECT_EQ(std::string(after.begin(), after.end()), before) << c.command;
      EXPECT_NE(std::string(err.begin(), err.end()).find("(it is the list of models; name "),
                std::string::npos)
          << c.command;
    } else {
      EXPECT_EQ(Lines(dir.Path("o/results.tsv")).size(), 2u) << "read once, whole";
    }
  }
}

TEST(Batch, AListIsTakenUpToItsLargestSize) {
  test::ScratchDir dir;
  for (const size_t size : {kMaxListBytes, kMaxListBytes + 1}) {
    const int fd = ::open(dir.Path("list").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_EQ(::ftruncate(fd, off_t(size)), 0);  // a sparse file: one line of NUL bytes
    ::close(fd);
    const ModelList list(dir.Path("list"));
    EXPECT_EQ(list.error(), size == kMaxListBytes ? "" : "the list is larger than 256 MB");
    EXPECT_EQ(list.size(), size == kMaxListBytes ? 1 : 0);
  }
}

TEST(Batch, AStoppedBatchSaysAfterHowManyOfItsModels) {
  const struct {
    int shardIndex, shardCount, stopAt;
    const char* how;
    int code;
    std::string summary;
  } cases[] = {
      {0, 1, 7, "stop", 143, "stopped by SIGTERM after 7 of 30 models: 6 rendered, "},
      {1, 4, 13, "stop-int", 130, "stopped by SIGINT after 3 of 8 models: 2 rendered, "},
      {3, 4, 30, "", 1, "6 rendered, 0 skipped as done, 1 failed\n"},
  };
  for (const auto& c : cases) {
    test::ScratchDir dir;
    std::ofstream list(dir.Path("list"));
    for (int i = 0; i < 30; ++i)
      list << "m/" << (i == c.stopAt ? c.how : i == 5 || i == 7 ? "fail" : "") << i << ".obj\n";
    list.close();
    const std::string run = test::InChild([&] {
      CatchStopSignals();
      const Outcome o = Batch(
          {dir.Path("list"), dir.Path("out"), "", c.shardIndex, c.shardCount, false, 0, 0, ""},
          dir.Path("calls"));
      return std::to_string(o.code) + " " + o.err;
    });
    EXPECT_EQ(run.substr(0, run.find(' ')), std::to_string(c.code)) << run;
    EXPECT_NE(run.find("quarvel-render: " + c.summary), std::string::npos) << run;
  }
}

TEST(Batch, LinesThatNameOneFolderRenderOnce) {
  const struct {
    std::string list;
    int shardIndex, shardCount;
    std::vector<std::pair<std::string, std::string>> rows;  // model, message
  } cases[] = {
      {"a.obj\n./a.obj\n# a comment\na/a.obj\na//a.obj\nA.obj\na.obj.x\nb/c.obj\nb/./c.obj/\n"
       "a.obj\n",
       0,
       1,
       {{"a.obj", ""},
        {"./a.obj", "same folder as line 1"},
        {"a/a.obj", ""},
        {"a//a.obj", "same folder as line 4"},
        {"A.obj", ""},
        {"a.obj.x", ""},
        {"b/c.obj", ""},
        {"b/./c.obj/", "same folder as line 8"},
        {"a.obj", "same folder as line 1"}}},
      {"a.obj\n./a.obj\n", 1, 2, {{"./a.obj", "same folder as line 1"}}},
      {"x/../a.obj\n#\n\na.obj\n./a.obj\n",
       0,
       1,
       {{"x/../a.obj", "'..' in the path would leave the output folder"},
        {"a.obj", ""},
        {"./a.obj", "same folder as line 4"}}},
  };
  for (const auto& c : cases) {
    test::ScratchDir dir;
    std::ofstream(dir.Path("list")) << c.list;
    Batch({dir.Path("list"), dir.Path("out"), "", c.shardIndex, c.shardCount, false, 0, 0,
           dir.Path("results.tsv")},
          dir.Path("calls"));
    std::vector<std::pair<std::string, std::string>> rows;
    std::map<std::string, int> rendered;
    for (const std::string& row : Lines(dir.Path("results.tsv")))
      rows.emplace_back(row.substr(0, row.find('\t')), row.substr(row.rfind('\t') + 1));
    rows.erase(rows.begin());  // the header
    for (const auto& [model, message] : c.rows)
      if (message.empty()) rendered[model] = 1;
    EXPECT_EQ(rows, c.rows) << c.list;
    EXPECT_EQ(Calls(dir.Path("calls")), rendered) << c.list;
  }
}

// A results field as it was before it was escaped: \t, \n, \r, \\ and \xHH read back.
std::string Unescaped(const std::string& field) {
  std::string text;
  for (size_t i = 0; i < field.size(); ++i) {
    const char c = field[i] == '\\' && i + 1 < field.size() ? field[++i] : 0;
    if (c == 'x') {
      text += char(std::stoi(field.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      text += c == 0 ? field[i] : c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
  }
  return text;
}

TEST(Batch, NamesWithControlBytesAreEscapedAndReadBack) {
  const std::vector<std::string> names = {
      "fail\x1b]0;title\x07.obj", "tab\there.obj", "fail\\back\rreturn.obj",
      // DEL, a byte of no character, a C1 control, a surrogate, an overlong '/'
      "fail\x7f\xff\xc2\x9b\xed\xa0\x80\xc0\xaf.obj",
      "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80.obj",  // printable: kept as it is
  };
  test::ScratchDir dir;
  std::ofstream list(dir.Path("list"));
  for (const std::string& name : names)
    list << name << "\n";
  list.close();
  const Outcome run =
      Batch({dir.Path("list"), dir.Path("out"), "", 0, 1, false, 0, 0, ""}, dir.Path("calls"));
  EXPECT_EQ(run.code, 1);
  for (const char c : run.err)
    EXPECT_TRUE(c == '\n' || (c >= 0x20 && c != 0x7f) || c < 0) << int(c);
  EXPECT_EQ(run.err.find_first_of("\xff\x9b"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("fail\\x1b]0;title\\x07.obj: cannot read\\tthe model\n"),
            std::string::npos)
      << run.err;
  std::vector<std::string> read;
  for (const std::string& row : Lines(dir.Path("out/results.tsv"))) {
    EXPECT_EQ(std::count(row.begin(), row.end(), '\t'), 4) << row;
    read.push_back(Unescaped(row.substr(0, row.find('\t'))));
  }
  EXPECT_EQ(read,
            (std::vector<std::string>{"model", names[0], names[1], names[2], names[3], names[4]}));
  const std::string row = Lines(dir.Path("out/results.tsv"))[4];
  EXPECT_EQ(row.substr(0, row.find('\t')), "fail\\x7f\\xff\\xc2\\x9b\\xed\\xa0\\x80\\xc0\\xaf.obj");
}

TEST(Batch, OutputNamesThatAreTheDoneMarkersAreRefused) {
  const struct {
    std::vector<std::string> args;
    bool refused;
  } cases[] = {
      {{"-o", ".quarvel-done"}, true},
      {{"-o", "sub/.quarvel-done"}, true},
      {{"-o", "m.png", "--sidecar", "../.quarvel-done"}, true},
      {{"-o", ".quarvel-done.bmp"}, false},
      {{"-o", ".quarvel-done/m.bmp"}, false},
      {{"-o", "m.png", "--sidecar", ".quarvel-done.json"}, false},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"--batch", "list", "--out-dir", "out"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    std::string error;
    EXPECT_EQ(!ParseRenderOptions(args, error), c.refused) << c.args[1] << ": " << error;
    if (c.refused) {
      EXPECT_NE(error.find(": .quarvel-done is the name of the marker"), npos) << error;
    }
  }
}

}  // namespace
}  // namespace quarvel
