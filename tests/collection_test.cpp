// Whole collections through quarvel-render: a list of a thousand models with broken ones among
// them, a batch killed half-way and resumed, and shards that together make one run.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "fixtures.h"
#include "samples/write_models.h"

namespace quarvel {
namespace {

namespace fs = std::filesystem;

// The files of every model's folder below `out`, by their path relative to it, with their
// bytes; the results files are left out.
std::map<std::string, std::vector<uint8_t>> Outputs(const std::string& out) {
  std::map<std::string, std::vector<uint8_t>> files;
  for (const auto& entry : fs::recursive_directory_iterator(out))
    if (entry.is_regular_file() && entry.path().parent_path() != fs::path(out))
      files[fs::relative(entry.path(), out).string()] = test::ReadFile(entry.path().string());
  return files;
}

// The rows of the results files in `out` whose name starts with `results`, header lines left
// out.
std::vector<std::vector<std::string>> Rows(const std::string& out) {
  std::vector<std::vector<std::string>> rows;
  for (const auto& entry : fs::directory_iterator(out)) {
    if (entry.path().filename().string().rfind("results", 0) != 0) continue;
    const auto bytes = test::ReadFile(entry.path().string());
    std::istringstream lines(std::string(bytes.begin(), bytes.end()));
    for (std::string line; std::getline(lines, line);) {
      std::vector<std::string> fields{""};
      for (const char c : line)
        if (c == '\t')
          fields.emplace_back();
        else
          fields.back().push_back(c);
      if (fields.empty() || fields[0] != "model") rows.push_back(fields);
    }
  }
  return rows;
}

TEST(QuarvelRenderCollections, BrokenModelsAreRowsRerunsResumeAndShardsMakeOneRun) {
  test::ScratchDir dir;
  const auto cube = WriteBinaryStl(test::Box({0, 0, 0}, {1, 2, 3}));
  fs::create_directory(dir.Path("m"));
  std::string list;
  for (int i = 0; i < 1000; ++i) {
    const std::string name = "m/" + std::to_string(i) + ".stl";
    dir.Write(name, i % 50 == 7 ? std::vector<uint8_t>{'b', 'a', 'd'} : cube);
    list += name + "\n";
  }
  dir.Write("list.txt", {list.begin(), list.end()});
  const std::string batch = "\"$R\" --batch list.txt --size 100x100 --format png --out-dir ";
  EXPECT_EQ(test::RunInDir(dir, batch + "one"), 1);
  const auto one = Outputs(dir.Path("one"));
  EXPECT_EQ(one.size(), 2u * 980);  // each good model's mask.png and its done marker
  EXPECT_FALSE(fs::exists(dir.Path("one/m/7.stl")));  // nor an empty folder for a broken one
  const auto rows = Rows(dir.Path("one"));
  ASSERT_EQ(rows.size(), 1000u);
  for (const auto& row : rows) {
    ASSERT_EQ(row.size(), 5u);
    const bool broken = std::stoi(row[0].substr(2)) % 50 == 7;
    EXPECT_EQ(row[1], broken ? "3" : "0") << row[0];
    EXPECT_EQ(row[4].empty(), !broken) << row[0];
  }

  // Killed once 300 models are done, then run again: only the rest are rendered.
  EXPECT_EQ(test::RunInDir(dir, "(" + batch +
                                    "half 2>half.txt & pid=$!; for t in $(seq 3000); do [ $(find "
                                    "half -name .quarvel-done | wc -l) -ge 300 ] && break; sleep "
                                    "0.01; done; kill -9 $pid; wait $pid; exit 0)"),
            0);
  size_t done = 0;
  for (const auto& [name, bytes] : Outputs(dir.Path("half")))
    done += name.ends_with("/.quarvel-done") && !bytes.empty();  // an empty one: killed writing it
  const size_t before = Rows(dir.Path("half")).size();
  EXPECT_GE(done, 300u);
  EXPECT_LT(done, 980u);
  EXPECT_EQ(test::RunInDir(dir, batch + "half --skip-done"), 1);
  EXPECT_EQ(Rows(dir.Path("half")).size() - before, 1000 - done);
  EXPECT_EQ(Outputs(dir.Path("half")), one);

  for (const int shard : {0, 1, 2, 3})  // the broken models, 7 and every 50th after, are odd
    EXPECT_EQ(test::RunInDir(dir, batch + "four --shard " + std::to_string(shard) + "/4"),
              shard % 2)
        << shard;
  EXPECT_EQ(Outputs(dir.Path("four")), one);
  EXPECT_EQ(Rows(dir.Path("four")).size(), 1000u);
}

// Links planted in a model's folder before the batch, where its picture, a folder of its views,
// their transforms.json or its done marker go: the model fails naming the link, and nothing is
// written through it.
TEST(QuarvelRenderCollections, LinksPlantedInAModelsFolderAreNeverWrittenThrough) {
  test::ScratchDir dir;
  dir.Write("a.stl", WriteBinaryStl(test::Box({0, 0, 0}, {1, 2, 3})));
  dir.Write("list.txt", {'a', '.', 's', 't', 'l', '\n'});
  const std::string views = " --camera perspective --views 2 --size 32x32";
  const struct {
    std::string link, target, options;
  } cases[] = {
      {"mask.bmp", "../../victim", ""},
      {".quarvel-done", "../../victim", ""},
      {"depth", "../../elsewhere", views},
      {"transforms.json", "../../victim", views},
  };
  for (const auto& c : cases) {
    fs::remove_all(dir.Path("out"));
    fs::remove_all(dir.Path("elsewhere"));
    fs::create_directories(dir.Path("out/a.stl"));
    fs::create_directory(dir.Path("elsewhere"));
    dir.Write("victim", {'v'});
    fs::create_symlink(c.target, dir.Path("out/a.stl/" + c.link));
    EXPECT_EQ(test::RunInDir(dir, "\"$R\" --batch list.txt --out-dir out" + c.options), 1);
    EXPECT_EQ(test::ReadFile(dir.Path("victim")), std::vector<uint8_t>{'v'}) << c.link;
    EXPECT_TRUE(fs::is_empty(dir.Path("elsewhere"))) << c.link;
    const auto rows = Rows(dir.Path("out"));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_NE(rows[0][4].find("out/a.stl/" + c.link + " ("), std::string::npos) << rows[0][4];
    EXPECT_NE(rows[0][4].find("symbolic link"), std::string::npos) << rows[0][4];
  }
}

// Every kind of file a model's folder gets, written through the open folder: each picture format
// of both cameras, and the sidecar, start as their format says.
TEST(QuarvelRenderCollections, EachOutputOfAModelIsWrittenInItsFolder) {
  test::ScratchDir dir;
  dir.Write("a.stl", WriteBinaryStl(test::Box({0, 0, 0}, {1, 2, 3})));
  dir.Write("list.txt", {'a', '.', 's', 't', 'l', '\n'});
  const std::string png = "\x89PNG", exr = "\x76\x2f\x31\x01";
  const struct {
    std::string options, file, start;
  } cases[] = {
      {"-o p.bmp", "p.bmp", "BM"},         {"-o p.png", "p.png", png},
      {"--format png16", "mask.png", png}, {"-o p.pfm", "p.pfm", "Pf"},
      {"-o p.exr", "p.exr", exr},          {"-o p.png --sidecar s.json", "s.json", "{"},
  };
  for (const auto& c : cases)
    for (const std::string camera : {"", " --camera perspective"}) {
      fs::remove_all(dir.Path("out"));
      EXPECT_EQ(test::RunInDir(dir, "\"$R\" --batch list.txt --out-dir out --size 100x100 " +
                                        c.options + camera),
                0);
      const auto bytes = test::ReadFile(dir.Path("out/a.stl/" + c.file));
      EXPECT_EQ(
          std::string(bytes.begin(), bytes.begin() + long(std::min(bytes.size(), c.start.size()))),
          c.start)
          << c.options << camera;
    }
}

}  // namespace
}  // namespace quarvel
