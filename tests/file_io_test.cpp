#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <thread>

#include "base/file_io.h"
#include "fixtures.h"
#include "render/mask_image.h"
#include "settings/props.h"

// Every umask call in this test program is counted, then made: saving a file must never set
// the process's mask, not even for a moment, since other threads create files meanwhile.
static std::atomic<int> umaskCalls{0};
extern "C" mode_t umask(mode_t mask) noexcept {
  ++umaskCalls;
  return static_cast<mode_t>(::syscall(SYS_umask, mask));
}

namespace quarvel {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Bytes(std::string_view s) {
  return {s.begin(), s.end()};
}

std::string Text(const std::string& path) {
  const auto b = test::ReadFile(path);
  return {b.begin(), b.end()};
}

mode_t Mode(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

bool IsLink(const std::string& path) {
  return fs::is_symlink(fs::symlink_status(path));
}

// The names in a folder, sorted.
std::vector<std::string> Names(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string Octal(mode_t mode) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04o", unsigned(mode));
  return buf;
}

MaskImage Mask100() {
  MaskImage mask;
  mask.SetSize(100, 100);
  return mask;
}

const std::vector<uint8_t> kOld{'o', 'l', 'd'};
const uint8_t kNew[] = {'n', 'e', 'w'};

TEST(ReplaceFile, NewFilesFollowTheUmaskWithoutItEverChanging) {
  test::ScratchDir dir;
  const std::string modes = test::InChild([&] {
    ::umask(027);
    const int before = umaskCalls;
    ReplaceFile(dir.Path("plain"), {kNew});
    Mask100().SaveToFile(dir.Path("m.bmp"));
    SettingsFile(dir.Path("Quarvel.cfg")).WriteString("A", "x", "1");
    const int calls = umaskCalls - before;
    return Octal(Mode(dir.Path("plain"))) + " " + Octal(Mode(dir.Path("m.bmp"))) + " " +
           Octal(Mode(dir.Path("Quarvel.cfg"))) + " umask calls: " + std::to_string(calls);
  });
  EXPECT_EQ(modes, "0640 0640 0640 umask calls: 0");
}

TEST(ReplaceFile, ReplacedFilesKeepTheirMode) {
  test::ScratchDir dir;
  for (const mode_t mode : {0600, 0640, 0604}) {
    const std::string plain = dir.Write("plain", kOld), mask = dir.Write("m.bmp", kOld),
                      cfg = dir.Write("Quarvel.cfg", Bytes("[A]\nx=1\n"));
    for (const std::string& path : {plain, mask, cfg})
      ::chmod(path.c_str(), mode);
    ASSERT_EQ(ReplaceFile(plain, {kNew}).result, ReplaceResult::Ok);
    ASSERT_TRUE(Mask100().SaveToFile(mask).empty());
    SettingsFile(cfg).WriteString("A", "x", "2");
    EXPECT_EQ(Text(plain), "new");
    EXPECT_EQ(Mode(plain), mode);
    EXPECT_EQ(Mode(mask), mode);
    EXPECT_EQ(Mode(cfg), mode);
  }
  EXPECT_EQ(Names(dir.Path("")), (std::vector<std::string>{"Quarvel.cfg", "m.bmp", "plain"}));
}

TEST(ReplaceFile, ALinkStaysAndTheFileItPointsToIsReplaced) {
  test::ScratchDir dir;
  fs::create_directory(dir.Path("real"));
  const std::string mask = dir.Write("real/m.bmp", kOld), cfg = dir.Write("real/q.cfg", kOld);
  ::chmod(mask.c_str(), 0640);
  fs::create_symlink("real/m.bmp", dir.Path("link.bmp"));           // relative to its folder
  fs::create_symlink(dir.Path("link.bmp"), dir.Path("chain.bmp"));  // a link to a link
  fs::create_symlink("real/q.cfg", dir.Path("Quarvel.cfg"));
  ASSERT_TRUE(Mask100().SaveToFile(dir.Path("chain.bmp")).empty());
  SettingsFile(dir.Path("Quarvel.cfg")).WriteString("A", "x", "1");
  EXPECT_TRUE(IsLink(dir.Path("link.bmp")));
  EXPECT_TRUE(IsLink(dir.Path("chain.bmp")));
  EXPECT_TRUE(IsLink(dir.Path("Quarvel.cfg")));
  EXPECT_EQ(fs::file_size(mask), 1078u + 100 * 100);
  EXPECT_EQ(Mode(mask), 0640u);
  EXPECT_EQ(Text(cfg), "old\n\n[A]\nx=1\n");

  // A link to a file not made yet: the file is made where it points.
  fs::create_symlink("real/new.bmp", dir.Path("dangling.bmp"));
  fs::create_symlink("real/new.cfg", dir.Path("dangling.cfg"));
  ASSERT_TRUE(Mask100().SaveToFile(dir.Path("dangling.bmp")).empty());
  SettingsFile(dir.Path("dangling.cfg")).WriteString("A", "x", "1");
  EXPECT_TRUE(IsLink(dir.Path("dangling.bmp")));
  EXPECT_EQ(fs::file_size(dir.Path("real/new.bmp")), 1078u + 100 * 100);
  EXPECT_EQ(Text(dir.Path("real/new.cfg")), "[A]\nx=1\n");

  // A loop of links has no file to replace: the links stay as they are.
  fs::create_symlink("loop.bmp", dir.Path("loop.bmp"));
  EXPECT_EQ(Mask100().SaveToFile(dir.Path("loop.bmp")).text, "Cannot create file %s");
  EXPECT_TRUE(IsLink(dir.Path("loop.bmp")));

  EXPECT_EQ(Names(dir.Path("")),
            (std::vector<std::string>{"Quarvel.cfg", "chain.bmp", "dangling.bmp", "dangling.cfg",
                                      "link.bmp", "loop.bmp", "real"}));
  EXPECT_EQ(Names(dir.Path("real")),
            (std::vector<std::string>{"m.bmp", "new.bmp", "new.cfg", "q.cfg"}));
}

// Temporary names fit beside a 255-byte name (cut at a character's start), in the folder of the
// file a link leads to; the finished file is renamed over that file and the link stays.
TEST(ReplaceFile, TemporaryFilesFitBesideTheLongestNames) {
  test::ScratchDir dir;
  fs::create_directory(dir.Path("real"));
  std::string accents = "x";  // then two-byte characters: the cut falls inside one
  for (int i = 0; i < 127; ++i)
    accents += "\xC3\xA9";
  for (const auto& [name, kept] : {std::pair{std::string(255, 'n'), 248u}, {accents, 247u}}) {
    const std::string path = dir.Path("real/" + name), link = dir.Path(std::to_string(kept));
    ASSERT_EQ(ReplaceFile(path, {kNew}).error, 0);
    fs::create_symlink("real/" + name, link);
    const TempFile temp = CreateTempBeside(link, TempMode::New);
    ASSERT_EQ(temp.path.substr(0, temp.path.size() - 6),
              dir.Path("real/" + name.substr(0, kept) + "."));
    EXPECT_EQ(::write(temp.fd, "old", 3), 3);
    ::close(temp.fd);
    EXPECT_EQ(RenameOver(temp.path, link), 0);
    EXPECT_TRUE(IsLink(link));
    EXPECT_EQ(Text(path), "old");
  }
}

// A full disk, made with a limit on the size of files: the save fails with the system's
// reason, the old file stays whole and no temporary file is left.
TEST(ReplaceFile, AFailedWriteKeepsTheOldFileAndSaysWhy) {
  test::ScratchDir dir;
  const std::string mask = dir.Write("m.bmp", kOld);
  const std::string cfg = dir.Write("Quarvel.cfg", Bytes("[Props]\nleft=7\n"));
  const std::string errors = test::InChild([&] {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const ErrorText maskError = Mask100().SaveToFile(mask);
    std::string settingsReason = "no error";
    SettingsFile f(cfg);
    Props p;
    p.OpenDir = std::string(8000, 'd');
    try {
      SaveSettings(&f, true, p);
    } catch (const SettingsWriteError& e) {
      settingsReason = e.error.reason;
    }
    return maskError.MessageWithReason({}) + " / " + settingsReason;
  });
  EXPECT_EQ(errors, "Stream write error\n" + mask + ": File too large / File too large");
  EXPECT_EQ(test::ReadFile(mask), kOld);
  EXPECT_EQ(Text(cfg), "[Props]\nleft=7\n");
  EXPECT_EQ(Names(dir.Path("")), (std::vector<std::string>{"Quarvel.cfg", "m.bmp"}));
}

// A FIFO is written to and stays a FIFO (one without a reader is refused at once); a folder is
// never replaced, nor is a FIFO by a rename.
TEST(ReplaceFile, WhatIsNotARegularFileIsWrittenToOrRefusedButNeverReplaced) {
  test::ScratchDir dir;
  const std::string fifo = dir.Path("pipe"), folder = dir.Path("sub");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  fs::create_directory(folder);
  EXPECT_EQ(ReplaceFile(fifo, {kOld}).error, ENXIO);
  std::string got;
  std::thread reader([&] { got = Text(fifo); });
  while (ReplaceFile(fifo, {kOld}).result != ReplaceResult::Ok)
    std::this_thread::yield();  // until the reader has opened its end
  reader.join();
  EXPECT_EQ(got, std::string(kOld.begin(), kOld.end()));
  EXPECT_EQ(ReplaceFile(folder, {kOld}).error, EISDIR);
  const TempFile temp = CreateTempBeside(fifo, TempMode::New);
  ASSERT_GE(temp.fd, 0);
  ::close(temp.fd);
  EXPECT_EQ(RenameOver(temp.path, fifo), EEXIST);
  struct stat st {};
  EXPECT_TRUE(::stat(fifo.c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
  EXPECT_TRUE(fs::is_directory(folder));
}

TEST(IsSameFile, TheSameFileWhateverTheNameAndNothingForMissingFiles) {
  test::ScratchDir dir;
  fs::create_directory(dir.Path("sub"));
  const std::string a = dir.Write("a.3ds", kOld);
  const std::string twin = dir.Write("twin.3ds", kOld);
  fs::create_symlink(a, dir.Path("link.bmp"));
  fs::create_hard_link(a, dir.Path("hard.3ds"));
  EXPECT_TRUE(IsSameFile(a, a));
  EXPECT_TRUE(IsSameFile(a, dir.Path("link.bmp")));
  EXPECT_TRUE(IsSameFile(dir.Path("hard.3ds"), a));
  EXPECT_TRUE(IsSameFile(a, dir.Path("sub/../a.3ds")));
  EXPECT_TRUE(IsSameFile(a, dir.Path("./a.3ds")));
  EXPECT_FALSE(IsSameFile(a, twin)) << "the same bytes in another file";
  EXPECT_FALSE(IsSameFile(a, dir.Path("missing.bmp")));
  EXPECT_FALSE(IsSameFile(dir.Path("missing.bmp"), dir.Path("missing.bmp")));
}

}  // namespace
}  // namespace quarvel
