#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
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
  return [calls](const std::string& model, const OutFolder& folder) -> ModelOutcome {
    std::ofstream(calls, std::ios::app) << model + "\n" << std::flush;
    if (model.find("fail") != npos) return {3, 0, "cannot read\tit"};
    if (model.find("crash") != npos) std::abort();
    if (model.find("slow") != npos) {  // ends when asked to, as the renderer does
      static volatile std::sig_atomic_t asked = 0;
      std::signal(SIGTERM, [](int) { asked = 1; });
      for (int i = 0; i < 3000 && asked == 0; ++i)
        ::usleep(10000);
      std::ofstream(folder.path + "/asked.txt") << asked;
      return {143, 0, ""};
    }
    if (model.find("stop") != npos) {  // a user's signal to the batch meanwhile
      ::kill(::getppid(), model.find("int") != npos ? SIGINT : SIGTERM);
      ::sleep(5);  // until the batch asks it to stop
      return {143, 0, ""};
    }
    if (model.find("stuck") != npos) {  // killed while writing; only "term" ends on SIGTERM
      std::signal(SIGTERM, model.find("term") == npos ? SIG_IGN : SIG_DFL);
      MakeFolder(folder, folder.path + "/depth");
      for (const char* name : {"/mask.bmp", "/depth/0000.pfm"})
        CreateTempBeside(folder.path + name, TempMode::New, folder);
      if (model.find("keep") != npos)  // not a temporary's name
        ReplaceFile(folder, folder.path + "/mask.bmp.tmp-1", {});
      rlimit cpu{};
      ::getrlimit(RLIMIT_CPU, &cpu);
      std::ofstream(calls + ".pid") << ::getpid() << ' ' << (cpu.rlim_cur != RLIM_INFINITY) << '\n';
      for (int i = 0; i < 3000; ++i)
        ::usleep(10000);
    }
    if (model.find("swap") != npos) {  // its folder's name becomes a link
      const std::string away = model.find("rmdir") != npos ? "" : folder.path + ".old";
      away.empty() ? ::rmdir(folder.path.c_str()) : ::rename(folder.path.c_str(), away.c_str());
      ::symlink((calls + ".elsewhere").c_str(), folder.path.c_str());
      const uint8_t bytes[] = {'B', 'M'};
      return {0, ReplaceFile(folder, folder.path + "/mask.bmp", {bytes}).error == 0 ? 1u : 0u, ""};
    }
    if (model.find("quiet") != npos) {
      std::fprintf(stderr, "quarvel-render: %s: last words\n\n", model.c_str());
      return {4, 0, ""};
    }
    if (model.find("big") != npos && ::mmap(nullptr, size_t(1) << 30, PROT_READ,
                                            MAP_PRIVATE | MAP_ANONYMOUS, -1, 0) == MAP_FAILED)
      return {5, 0, "out of memory"};
    std::ofstream(folder.path + "/out.txt") << model;
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
  EXPECT_NE(run.err.find("quarvel-render: /set/crash7.obj: crashed (SIGABRT)\n"), npos);
  EXPECT_NE(run.err.find("quarvel-render: 191 rendered, 0 skipped as done, 9 failed\n"), npos);
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
                                                {"/set/fail3.obj", "\t3\tcannot read\\tit"},
                                                {"/set/fail40.obj", "\t3\tcannot read\\tit"},
                                                {"/set/fail41.obj", "\t3\tcannot read\\tit"},
                                                {"/set/fail90.obj", "\t3\tcannot read\\tit"},
                                                {"/set/fail199.obj", "\t3\tcannot read\\tit"},
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
    const std::string marker = dir.Path("out/m/" + std::to_string(i) + ".obj/.quarvel-done");
    i % 12 == 5 ? void(fs::remove(marker)) : fs::resize_file(marker, 0);  // or cut short by a kill
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
  for (const std::string command :
       {"\"$R\" --batch o/results.tsv --out-dir o",
        "ln o/results.tsv h && \"$R\" --batch h --out-dir o",
        "ln -s o/results.tsv s && \"$R\" --batch s --out-dir o",
        "\"$R\" --batch - --out-dir o <o/results.tsv",
        "\"$R\" --batch o/results.tsv --out-dir p --results o/results.tsv",
        "cp o/results.tsv c && \"$R\" --batch c --out-dir o"}) {
    test::ScratchDir dir;
    const bool copy = command.starts_with("cp");  // another file: read once, whole
    EXPECT_EQ(test::RunInDir(dir, "mkdir o && echo models/a.obj >o/results.tsv && " + command),
              copy ? 1 : 2)
        << command;
    EXPECT_EQ(Lines(dir.Path("o/results.tsv")).size(), copy ? 2u : 1u) << command;
    EXPECT_EQ(
        Lines(dir.Path("err.txt")).at(0).ends_with("list of models; name another with --results)"),
        !copy);
  }
}

TEST(Batch, AListIsTakenUpToItsLargestSize) {
  test::ScratchDir dir;
  for (const size_t size : {kMaxListBytes, kMaxListBytes + 1}) {
    std::ofstream(dir.Path("list")).close();
    fs::resize_file(dir.Path("list"), size);  // a sparse file: one line of NUL bytes
    const Outcome run =
        Batch({dir.Path("list"), dir.Path("out"), "", 0, 1, false, 0, 0, ""}, dir.Path("calls"));
    EXPECT_EQ(run.code, size == kMaxListBytes ? 1 : 2);  // a row for the line, or no list
    EXPECT_EQ(run.err.ends_with("(the list is larger than 256 MB)\n"), size > kMaxListBytes);
  }
}

TEST(Batch, AStoppedBatchSaysAfterHowManyOfItsModels) {
  const std::tuple<int, int, std::string, std::string> cases[] = {
      {0, 7, "stop", "143 stopped by SIGTERM after 7 of 30 models: 6 rendered, 0 skipped as done"},
      {1, 13, "stop-int", "130 stopped by SIGINT after 3 of 8 models: 2 rendered, 0 skipped"}};
  for (const auto& [shard, stopAt, how, summary] : cases) {
    test::ScratchDir dir;
    std::ofstream list(dir.Path("list"));
    for (int i = 0; i < 30; ++i)
      list << "m/" << (i == stopAt ? how : i == 5 ? "fail" : "") << i << ".obj\n";
    list.close();
    const std::string run = test::InChild([&] {
      CatchStopSignals();
      const Outcome o =
          Batch({dir.Path("list"), dir.Path("out"), "", shard, shard * 3 + 1, false, 0, 0, ""},
                dir.Path("calls"));
      return std::to_string(o.code) + " " + o.err.substr(o.err.rfind("quarvel-render: ") + 16);
    });
    EXPECT_TRUE(run.starts_with(summary)) << run;
  }
}

TEST(Batch, LinesThatNameOneFolderRenderOnce) {
  test::ScratchDir dir;
  std::ofstream(dir.Path("list")) << "a.obj\n#\n./a.obj\na/a.obj\nA.obj\na//a.obj\nb.obj/\na.obj\n";
  std::string rows;
  for (const int shard : {0, 1}) {
    Batch({dir.Path("list"), dir.Path("out"), "", shard, 2, false, 0, 0, ""}, dir.Path("calls"));
    for (const std::string& row :
         Lines(dir.Path("out/results-" + std::to_string(shard) + "-of-2.tsv")))
      rows += row.substr(0, row.find('\t')) + ":" + row.substr(row.rfind('\t') + 1) + "|";
  }
  EXPECT_EQ(rows,
            "model:message|a.obj:|a/a.obj:|a//a.obj:same folder as line 4|a.obj:same folder as "
            "line 1|model:message|./a.obj:same folder as line 1|A.obj:|b.obj/:|");
  EXPECT_EQ(Lines(dir.Path("calls")).size(), 4u);
}

// A results field as it was before it was escaped: \t, \n, \r, \\ and \xHH read back.
std::string Unescaped(const std::string& field) {
  std::string text;
  for (size_t i = 0; i < field.size(); ++i) {
    const size_t escape = field[i] == '\\' ? std::string("tnr\\x").find(field.at(++i)) : npos;
    text += escape == 4      ? char(std::stoi(field.substr(i + 1, 2), nullptr, 16))
            : escape == npos ? field[i]
                             : "\t\n\r\\"[escape];
    i += escape == 4 ? 2 : 0;
  }
  return text;
}

TEST(Batch, NamesWithControlBytesAreEscapedAndReadBack) {
  const std::vector<std::string> names = {
      "model", "fail \xc3\xa9\xf0\x9f\x98\x80\x1b]0;\x07\t\\\r.obj",
      // DEL, a byte of no character, a C1 control, a surrogate, an overlong '/'
      "fail\x7f\xff\xc2\x9b\xed\xa0\x80\xc0\xaf.obj", "tab\there.obj"};
  test::ScratchDir dir;
  std::ofstream(dir.Path("list")) << names[1] << "\n" << names[2] << "\n" << names[3] << "\n";
  EXPECT_EQ(
      Batch({dir.Path("list"), dir.Path("out"), "", 0, 1, false, 0, 0, ""}, dir.Path("calls")).err,
      "quarvel-render: fail \xc3\xa9\xf0\x9f\x98\x80\\x1b]0;\\x07\\t\\\\\\r.obj: cannot read\\tit\n"
      "quarvel-render: fail\\x7f\\xff\\xc2\\x9b\\xed\\xa0\\x80\\xc0\\xaf.obj: cannot read\\tit\n"
      "quarvel-render: 1 rendered, 0 skipped as done, 2 failed\n");
  std::vector<std::string> read;
  for (const std::string& row : Lines(dir.Path("out/results.tsv")))
    read.push_back(Unescaped(row.substr(0, row.find('\t'))));
  EXPECT_EQ(read, names);
}

TEST(Batch, OutputNamesThatAreTheDoneMarkersAreRefused) {
  for (const std::string name :
       {".quarvel-done", "d/.quarvel-done", ".quarvel-done.x", ".quarvel-done/x"})
    for (const std::string option : {"-o", "--sidecar"}) {
      std::string error;
      const bool refused =
          !ParseRenderOptions({"--batch", "l", "--out-dir", "o", option, name}, error);
      EXPECT_EQ(refused, !name.ends_with("x")) << option << " " << name << ": " << error;
      EXPECT_EQ(error.find(": .quarvel-done is the name of the marker") != npos, refused);
    }
}

// A folder swapped for a link while its model renders: the files go to the folder that was
// opened, or nowhere when it was removed, never through the link, the done marker included.
TEST(Batch, AFolderSwappedForALinkIsNeverWrittenThrough) {
  test::ScratchDir dir;
  fs::create_directory(dir.Path("calls.elsewhere"));
  const struct {
    std::string model;
    int code;
    std::vector<std::string> left;
  } cases[] = {
      {"swap-rename.obj", 0, {"results.tsv", "swap-rename.obj", "swap-rename.obj.old"}},
      {"swap-rmdir.obj", 1, {"results.tsv", "swap-rmdir.obj"}},
  };
  for (const auto& c : cases) {
    std::ofstream(dir.Path("list")) << c.model << "\n";
    const Outcome run =
        Batch({dir.Path("list"), dir.Path("out-" + c.model), "", 0, 1, false, 0, 0, ""},
              dir.Path("calls"));
    EXPECT_EQ(run.code, c.code) << run.err;
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir.Path("out-" + c.model)))
      left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, c.left);
    EXPECT_TRUE(fs::is_empty(dir.Path("calls.elsewhere"))) << c.model;
  }
  const std::string moved = dir.Path("out-swap-rename.obj/swap-rename.obj.old/");
  EXPECT_EQ(test::ReadFile(moved + "mask.bmp").size(), 2u);
  EXPECT_EQ(test::ReadFile(moved + ".quarvel-done").size(), 16u);
}

// Whether the process has ended: gone, or a zombie no one has reaped yet.
bool Ended(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  std::getline(stat, text);
  const size_t paren = text.rfind(')');
  return paren == npos || paren + 2 >= text.size() || text[paren + 2] == 'Z';
}

// The files and folders below `path`, relative to it.
std::set<std::string> Below(const std::string& path) {
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(path))
    names.insert(fs::relative(entry.path(), path).string());
  return names;
}

// A model's child that never ends by itself, stopped by the time budget, by a stop signal to
// the batch or by the batch's own end: it ends with the batch, has a limit of CPU time with a
// time budget, and leaves no temporary and no folder made for it that is empty.
TEST(Batch, ChildrenEndWithTheBatchLeavingNoTemporariesOrEmptyFolders) {
  test::ScratchDir dir;
  std::string deep;
  for (int i = 0; i < 2000; ++i)
    deep += "d/";
  const struct {
    int signal;  // sent to the batch once the child runs; 0: the time budget stops it
    std::string model;
    std::set<std::string> left;  // below the output folder; unchecked for SIGKILL
  } cases[] = {
      {0, deep + "stuck.obj", {"results.tsv"}},
      {SIGTERM,
       "m/stuck-keep.obj",
       {"m", "m/stuck-keep.obj", "m/stuck-keep.obj/mask.bmp.tmp-1", "m/stuck-keep.obj/old.abc123",
        "results.tsv"}},
      {SIGKILL, "stuck-term.obj", {}},
  };
  for (const auto& c : cases) {
    const std::string out = dir.Path("out" + std::to_string(c.signal)),
                      pidFile = dir.Path("calls.pid");
    std::ofstream(dir.Path("list")) << c.model << "\n";
    fs::remove(pidFile);
    if (c.signal == SIGTERM) {  // the user's file named like a temporary, older than the run
      const std::string old = out + "/m/stuck-keep.obj/old.abc123";
      fs::create_directories(fs::path(old).parent_path());
      std::ofstream(old).close();
      fs::last_write_time(old, fs::file_time_type::clock::now() - std::chrono::hours(1));
    }
    const BatchOptions options{dir.Path("list"),        out, "", 0, 1, false,
                               c.signal == 0 ? 0.5 : 0, 0,   ""};
    const pid_t batch = ::fork();
    if (batch == 0) {
      CatchStopSignals();
      ::_exit(RunBatch(options, Fake(dir.Path("calls"))));
    }
    std::string child;
    for (int i = 0; i < 1000 && child.find('\n') == npos; ++i, ::usleep(10000)) {
      const auto bytes = test::ReadFile(pidFile);
      child.assign(bytes.begin(), bytes.end());
    }
    ASSERT_NE(child.find('\n'), npos);
    if (c.signal != 0) ::kill(batch, c.signal);
    int status = 0;
    ASSERT_EQ(::waitpid(batch, &status, 0), batch);
    int i = 0;
    while (i < 1000 && !Ended(std::stoi(child)))
      ++i, ::usleep(10000);
    EXPECT_LT(i, 1000) << "the model's child outlived its batch, case " << c.signal;
    EXPECT_EQ(child.substr(child.find(' ')), c.signal == 0 ? " 1\n" : " 0\n");
    if (c.signal != SIGKILL) {
      EXPECT_EQ(Below(out), c.left) << c.signal;
    }
  }
  // Folders too deep for a path, when the batch left them, are removed as rm does.
  EXPECT_EQ(std::system(("rm -rf '" + dir.Path("out0") + "'").c_str()), 0);
}

}  // namespace
}  // namespace quarvel
