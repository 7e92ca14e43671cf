#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "fixtures.h"
#include "settings/ini_file.h"

namespace quarvel {
namespace {

std::vector<uint8_t> Bytes(std::string_view s) {
  return {s.begin(), s.end()};
}
std::string Text(const std::string& path) {
  const auto b = test::ReadFile(path);
  return {b.begin(), b.end()};
}

TEST(IniFile, ReadsLikeThePrivateProfileFunctions) {
  test::ScratchDir dir;
  const std::string path = dir.Write("a.ini", Bytes("\xEF\xBB\xBF"
                                                    "orphan=outside any section\r\n"
                                                    "; a comment\r\n"
                                                    "[Props]\r\n"
                                                    "  Width = 800  \r\n"
                                                    "width=900\r\n"
                                                    "name=\"  quoted  \"\r\n"
                                                    "single='x'\r\n"
                                                    "odd=\"x'\r\n"
                                                    "eq=a=b\r\n"
                                                    "\r\n"
                                                    "[props]\r\n"
                                                    "late=1\r\n"));
  const IniFile ini(path);
  EXPECT_EQ(ini.Read("props", "WIDTH", "?"), "800") << "case-insensitive, trimmed, first wins";
  EXPECT_EQ(ini.Read("Props", "name", "?"), "  quoted  ");
  EXPECT_EQ(ini.Read("Props", "single", "?"), "x");
  EXPECT_EQ(ini.Read("Props", "odd", "?"), "\"x'");
  EXPECT_EQ(ini.Read("Props", "eq", "?"), "a=b");
  EXPECT_EQ(ini.Read("Props", "late", "?"), "?") << "only the first section of a name is read";
  EXPECT_EQ(ini.Read("Props", "orphan", "?"), "?");
  EXPECT_EQ(ini.Read("Other", "x", "def"), "def");
  EXPECT_EQ(IniFile(dir.Path("missing.ini")).Read("Props", "x", "def"), "def");
}

TEST(IniFile, LongValuesAreCutAndBinaryFilesGiveDefaults) {
  test::ScratchDir dir;
  std::string longLine = "[S]\nk=" + std::string(5000, 'v') + "\nshort=1\n";
  const IniFile ini(dir.Write("long.ini", Bytes(longLine)));
  EXPECT_EQ(ini.Read("S", "k", ""), std::string(1023, 'v'));
  EXPECT_EQ(ini.Read("S", "short", ""), "1");

  // A multi-byte character across the cut is dropped whole; one that ends at the cut stays.
  for (const std::string ch : {"\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"}) {
    for (const size_t count : {kMaxIniValue - ch.size(), kMaxIniValue - ch.size() + 1}) {
      const std::string a(count, 'a');
      const IniFile utf8(dir.Write("u.ini", Bytes("[S]\nk=" + a + ch + "b\n")));
      EXPECT_EQ(utf8.Read("S", "k", ""), a.size() + ch.size() <= kMaxIniValue ? a + ch : a)
          << count;
    }
  }

  std::vector<uint8_t> binary(100000);
  for (size_t i = 0; i < binary.size(); ++i)
    binary[i] = uint8_t(i * 7919 % 251);
  const IniFile junk(dir.Write("junk.ini", binary));
  EXPECT_EQ(junk.Read("Props", "PicWidth", "640"), "640");
}

TEST(IniFile, WritesInPlaceAndKeepsEverythingElse) {
  test::ScratchDir dir;
  const std::string path =
      dir.Write("a.ini", Bytes("; settings\r\n[A]\r\nx=1\r\n; note\r\ny=2\r\n\r\n"
                               "[B]\r\nz=3\r\n"));
  IniFile ini(path);
  ASSERT_TRUE(ini.Write("a", "X", "10").empty());
  ASSERT_TRUE(ini.Write("A", "new", "n").empty());
  ASSERT_TRUE(ini.Write("C", "c", "  padded  ").empty());
  EXPECT_EQ(Text(path),
            "; settings\r\n[A]\r\nX=10\r\n; note\r\ny=2\r\nnew=n\r\n\r\n[B]\r\nz=3\r\n\r\n[C]\r\n"
            "c=\"  padded  \"\r\n");
  EXPECT_EQ(ini.Read("C", "c", ""), "  padded  ") << "blanks survive a round trip";
  ASSERT_TRUE(ini.Write("C", "q", "\"quoted\"").empty());
  EXPECT_EQ(ini.Read("C", "q", ""), "\"quoted\"");

  // No cached copy: a hand edit is seen by the next read and kept by the next write.
  dir.Write("a.ini", Bytes("[A]\nhand=made\n"));
  EXPECT_EQ(ini.Read("A", "hand", ""), "made");
  ASSERT_TRUE(ini.Write("A", "x", "1").empty());
  EXPECT_EQ(Text(path), "[A]\nhand=made\nx=1\n");

  // The first of two sections of a name takes the write; a header without "]" names one too.
  dir.Write("a.ini", Bytes("[A\nx=1\n\n[a]\ny=2\n"));
  ASSERT_TRUE(ini.Write("a", "y", "3").empty());
  ASSERT_TRUE(ini.DeleteKey("A", "x").empty());
  EXPECT_EQ(Text(path), "[A\ny=3\n\n[a]\ny=2\n");
}

TEST(IniFile, CreatesTheFileOnTheFirstWriteAndErases) {
  test::ScratchDir dir;
  IniFile ini(dir.Path("new.ini"));
  ASSERT_TRUE(ini.EraseSection("Recent").empty());
  EXPECT_FALSE(std::filesystem::exists(ini.path())) << "nothing to erase: nothing written";
  ASSERT_TRUE(ini.Write("Recent", "Item_0", "/a.3ds").empty());
  EXPECT_EQ(Text(ini.path()), "[Recent]\nItem_0=/a.3ds\n");

  dir.Write("new.ini", Bytes("[Recent]\nItem_0=a\nUser_0=0\n[Props]\nk=v\n[recent]\nItem_1=b\n"));
  ASSERT_TRUE(ini.DeleteKey("recent", "user_0").empty());
  EXPECT_EQ(ini.Read("Recent", "User_0", "gone"), "gone");
  ASSERT_TRUE(ini.EraseSection("Recent").empty());
  EXPECT_EQ(Text(ini.path()), "[Props]\nk=v\n") << "every section of that name goes";
}

TEST(IniFile, ReadOnlyFilesAndFoldersAreNotWritten) {
  test::ScratchDir dir;
  const std::string path = dir.Write("ro.ini", Bytes("[A]\nx=1\n"));
  ::chmod(path.c_str(), 0444);
  IniFile ini(path);
  EXPECT_FALSE(ini.Write("A", "x", "2").empty());
  EXPECT_EQ(Text(path), "[A]\nx=1\n");

  std::filesystem::create_directory(dir.Path("ro"));
  IniFile inFolder(dir.Path("ro/a.ini"));
  ::chmod(dir.Path("ro").c_str(), 0555);
  EXPECT_FALSE(inFolder.Write("A", "x", "2").empty());
  EXPECT_FALSE(std::filesystem::exists(dir.Path("ro/a.ini")));

  IniFile underAFile(path + "/a.ini");
  EXPECT_FALSE(underAFile.Write("A", "x", "2").empty());
}

// The file's type, and its size when it is a regular file: unchanged when nothing replaced it.
std::string Described(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return "none";
  return std::to_string(st.st_mode & S_IFMT) + " " + std::to_string(st.st_size);
}

TEST(IniFile, OnlyRegularFilesOfAFewMegabytesAreReadAndNoOtherIsReplaced) {
  test::ScratchDir dir;
  const std::string big = "[Props]\nPicWidth=800\n" + std::string(kMaxIniFile, ';') + "\n";
  // How each path is made; whether it is written to (never a device); what a read and a write
  // of it give, in a child whose memory and time are bounded.
  struct Case {
    std::function<void(const std::string&)> make;
    bool write;
    std::string result;
  };
  const Case cases[] = {
      {[](const std::string& p) { ::mkfifo(p.c_str(), 0600); }, true, "640|Not a regular file"},
      {[](const std::string& p) { std::filesystem::create_symlink("/dev/zero", p); }, false, "640"},
      {[&](const std::string& p) { dir.Write(std::filesystem::path(p).filename(), Bytes(big)); },
       true, "640|File too large"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const std::string path = dir.Path("case" + std::to_string(i) + ".cfg");
    cases[i].make(path);
    const std::string before = Described(path);
    const std::string result = test::InChild(
        [&] {
          IniFile ini(path);
          std::string out = ini.Read("Props", "PicWidth", "640");
          if (!cases[i].write) return out;
          const ErrorText written = ini.Write("Props", "PicWidth", "1024");
          return out + "|" + (written.empty() ? "written" : written.reason);
        },
        uint64_t(64) << 20, 10);
    EXPECT_EQ(result, cases[i].result) << i;
    EXPECT_EQ(Described(path), before) << i;
  }
}

TEST(IniFile, AKilledWriterLeavesTheOldOrTheNewFileWhole) {
  test::ScratchDir dir;
  const std::string path = dir.Path("c.ini");
  const std::string a(200000, 'a'), b(150000, 'b');
  IniFile ini(path);
  ASSERT_TRUE(ini.Write("S", "v", a).empty());
  for (int round = 0; round < 5; ++round) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      IniFile writer(path);
      for (int i = 0;; ++i)
        writer.Write("S", "v", i % 2 ? a : b);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20 + 7 * round));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    const std::string text = Text(path);
    EXPECT_TRUE(text == "[S]\nv=" + a + "\n" || text == "[S]\nv=" + b + "\n")
        << "round " << round << ": " << text.size() << " bytes";
  }
}

}  // namespace
}  // namespace quarvel
