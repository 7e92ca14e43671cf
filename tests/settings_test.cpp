#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "fixtures.h"
#include "settings/locations.h"
#include "settings/props.h"

namespace quarvel {
namespace {

std::vector<uint8_t> Bytes(std::string_view s) {
  return {s.begin(), s.end()};
}

std::string Text(const std::string& path) {
  const auto b = test::ReadFile(path);
  return {b.begin(), b.end()};
}

// Counts the replacements of files in a folder: each is one rename onto the file's name. The
// renames away from the temporary names are watched too, so that no two events in a row are
// alike (the system merges those).
class ReplacementCounter {
 public:
  explicit ReplacementCounter(const std::string& dir)
      : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (fd_ >= 0 && ::inotify_add_watch(fd_, dir.c_str(), IN_MOVED_FROM | IN_MOVED_TO) < 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~ReplacementCounter() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool Watching() const { return fd_ >= 0; }

  // The replacements of the file `name` since the last call.
  int Take(const std::string& name) {
    int count = 0;
    alignas(inotify_event) char buf[4096];
    for (ssize_t n; (n = ::read(fd_, buf, sizeof buf)) > 0;) {
      for (size_t at = 0; at + sizeof(inotify_event) <= size_t(n);) {
        inotify_event e;
        std::memcpy(&e, buf + at, sizeof e);
        const char* eventName = buf + at + sizeof e;
        if ((e.mask & IN_MOVED_TO) && e.len > 0 && name == eventName) ++count;
        at += sizeof e + e.len;
      }
    }
    return count;
  }

 private:
  int fd_;
};

TEST(SettingsFile, IntegersHexadecimalAndBooleans) {
  EXPECT_EQ(ParseSettingsInteger("0x400"), 1024);
  EXPECT_EQ(ParseSettingsInteger("0X400"), 1024);
  EXPECT_EQ(ParseSettingsInteger("$400"), 1024);
  EXPECT_EQ(ParseSettingsInteger("-12"), -12);
  EXPECT_EQ(ParseSettingsInteger("$FFFFFFFF"), -1);
  EXPECT_EQ(ParseSettingsInteger("-2147483648"), INT32_MIN);
  for (const char* bad : {"abc", "", "12a", "0x", "$", "2147483648", "--1", "1.5", "0x123456789"})
    EXPECT_FALSE(ParseSettingsInteger(bad)) << bad;

  test::ScratchDir dir;
  SettingsFile f(dir.Write("Quarvel.cfg", Bytes("[Props]\nPicWidth=0x400\nPicHeight=abc\n"
                                                "Hints=2\nToolBar=no\nSingleInstance=0\n")));
  EXPECT_EQ(f.ReadInteger("Props", "PicWidth", 640), 1024);
  EXPECT_EQ(f.ReadInteger("Props", "PicHeight", 480), 480);
  EXPECT_TRUE(f.ReadBool("Props", "Hints", false));
  EXPECT_TRUE(f.ReadBool("Props", "ToolBar", true));
  EXPECT_FALSE(f.ReadBool("Props", "SingleInstance", true));
  f.WriteBool("Props", "SingleInstance", true);
  EXPECT_EQ(f.ReadString("Props", "SingleInstance", ""), "1");
}

TEST(SettingsFile, AFailedWriteRaisesUnableToWriteAndStopsTheSave) {
  test::ScratchDir dir;
  const std::string path = dir.Write("Quarvel.cfg", Bytes("[Props]\nWindowState=0\nleft=7\n"));
  ::chmod(path.c_str(), 0444);
  SettingsFile f(path);
  Props p;
  p.WindowState = kNormal;
  p.left = 99;
  try {
    WriteProps(f, p);
    FAIL() << "no error";
  } catch (const SettingsWriteError& e) {
    EXPECT_EQ(e.error.Message({}), "Unable to write to " + path);
    EXPECT_EQ(e.error.reason, "Permission denied");
  }
  EXPECT_EQ(f.ReadInteger("Props", "left", 0), 7) << "nothing lost";
}

TEST(Props, AFirstStartTakesTheDefaults) {
  test::ScratchDir dir;
  SettingsFile f(dir.Path("Quarvel.cfg"));
  const Props p = ReadProps(f);
  EXPECT_EQ(p.WindowState, kMaximized);
  EXPECT_EQ(p.PicWidth, 640);
  EXPECT_EQ(p.PicHeight, 480);
  EXPECT_TRUE(p.Hints);
  EXPECT_TRUE(p.ToolBar);
  EXPECT_EQ(p.language, "English");
  EXPECT_EQ(p.ObjColor, 16777113u);
  EXPECT_EQ(p.LightColor, 4210752u);
  EXPECT_TRUE(LoadRecent(f).empty());
  EXPECT_FALSE(std::filesystem::exists(f.path())) << "reading creates nothing";
}

TEST(Props, SavingFollowsTheWindow) {
  test::ScratchDir dir;
  SettingsFile f(dir.Write("Quarvel.cfg", Bytes("[Props]\nleft=10\nwidth=20\ntop=30\nheight=40\n"
                                                "PicWidth=99999\n")));
  EXPECT_EQ(ReadProps(f).PicWidth, 10000) << "brought into the size controls' range";

  Props p = ReadProps(f);
  p.left = p.width = p.top = p.height = 1;
  p.language = "Deutsch";
  SaveSettings(&f, false, p);      // the window is still being built
  SaveSettings(nullptr, true, p);  // the file is released
  EXPECT_EQ(ReadProps(f).language, "English");

  SaveSettings(&f, true, p);  // maximized: the normal bounds stay as they were
  Props back = ReadProps(f);
  EXPECT_EQ(back.WindowState, kMaximized);
  EXPECT_EQ(back.left, 10);
  EXPECT_EQ(back.height, 40);
  EXPECT_EQ(back.language, "Deutsch");

  p.WindowState = kNormal;
  SaveSettings(&f, true, p);
  EXPECT_EQ(ReadProps(f).left, 1);
}

TEST(Props, RecentFilesKeepTheNewestFive) {
  test::ScratchDir dir;
  SettingsFile f(dir.Write("Quarvel.cfg", Bytes("[Recent]\nUser_3=5\nItem_9=/stale.3ds\n")));
  std::vector<std::string> recent = LoadRecent(f);
  for (const char* m : {"/m/a.3ds", "/m/b.3ds", "/m/c.3ds", "/m/d.3ds", "/m/e.3ds", "/m/f.3ds"})
    AddRecent(recent, m);
  AddRecent(recent, "/m/d.3ds");  // a listed file moves to the top
  SaveRecent(f, recent);
  EXPECT_EQ(LoadRecent(f),
            (std::vector<std::string>{"/m/d.3ds", "/m/f.3ds", "/m/e.3ds", "/m/c.3ds", "/m/b.3ds"}));
  const auto text = test::ReadFile(f.path());
  const std::string s(text.begin(), text.end());
  EXPECT_EQ(s.find("User_"), std::string::npos);
  EXPECT_EQ(s.find("stale"), std::string::npos);
  EXPECT_NE(s.find("Item_4=/m/b.3ds"), std::string::npos);
}

TEST(Props, RecentNamesThatDifferOnlyInCaseAreTwoFiles) {
  std::vector<std::string> recent;
  AddRecent(recent, "/models/m.3ds");
  AddRecent(recent, "/models/M.3ds");
  EXPECT_EQ(recent, (std::vector<std::string>{"/models/M.3ds", "/models/m.3ds"}));
}

// One save replaces the file once, so the file on disk never lacks a section that is being
// rewritten, and gives the same bytes, in the same order, as writing the keys one by one.
TEST(Props, OneSaveReplacesTheFileOnce) {
  test::ScratchDir dir;
  SettingsFile f(dir.Write("Quarvel.cfg", Bytes("; Quarvel\r\n[Recent]\r\nItem_0=/old.3ds\r\n"
                                                "User_0=0\r\n\r\n[Props]\r\nlanguage=Deutsch\r\n"
                                                "; size\r\nPicWidth=800\r\n\r\n[Video]\r\n"
                                                "FrameRate=30\r\n")));
  ReplacementCounter replacements(dir.Path(""));
  ASSERT_TRUE(replacements.Watching());
  Props p;
  p.WindowState = kNormal;
  p.left = 5;
  p.OpenDir = " /models ";
  p.language =
      "Fran\xC3\xA7"
      "ais";
  const std::vector<std::string> recent{"/a.3ds", "/B.3ds"};
  SaveSettings(&f, true, p, &recent);
  EXPECT_EQ(replacements.Take("Quarvel.cfg"), 1);
  const std::string saved =
      "; Quarvel\r\n[Props]\r\nlanguage=Fran\xC3\xA7"
      "ais\r\n; size\r\nPicWidth=640\r\nWindowState=0\r\nleft=5\r\nwidth=675\r\n"
      "top=183\r\nheight=505\r\nPicHeight=480\r\nSplitter=250\r\nOpenDir=\" /models \"\r\n"
      "SaveDir=\r\nHints=1\r\nToolBar=1\r\nSingleInstance=0\r\nObjColor=16777113\r\n"
      "LightColor=4210752\r\n\r\n[Video]\r\nFrameRate=30\r\n\r\n[Recent]\r\nItem_0=/a.3ds\r\n"
      "Item_1=/B.3ds\r\n";
  EXPECT_EQ(Text(f.path()), saved);

  WriteProps(f, p);
  SaveRecent(f, recent);
  WriteVideoSettings(f, ReadVideoSettings(f), true);
  EXPECT_EQ(replacements.Take("Quarvel.cfg"), 3);
  SaveSettings(&f, true, p);
  EXPECT_EQ(replacements.Take("Quarvel.cfg"), 1);

  // Nothing is kept between saves: a hand edit stays.
  dir.Write("Quarvel.cfg", Bytes(saved + "[Mine]\r\nx=1\r\n"));
  SaveSettings(&f, true, p, &recent);
  EXPECT_NE(Text(f.path()).find("[Mine]\r\nx=1\r\n"), std::string::npos);
}

TEST(SettingsFile, UpdateWritesOnceAndReadsItsOwnEdits) {
  test::ScratchDir dir;
  SettingsFile f(dir.Write("Quarvel.cfg", Bytes("[A]\nx=1\n")));
  ReplacementCounter replacements(dir.Path(""));
  ASSERT_TRUE(replacements.Watching());
  f.Update([&] {
    f.WriteInteger("A", "x", 2);
    EXPECT_EQ(f.ReadInteger("A", "x", 0), 2);
    f.DeleteKey("A", "gone");
  });
  EXPECT_EQ(replacements.Take("Quarvel.cfg"), 1);
  f.Update([&] { f.EraseSection("Missing"); });
  EXPECT_EQ(replacements.Take("Quarvel.cfg"), 0) << "nothing changed: nothing written";

  EXPECT_THROW(f.Update([&] {
    f.WriteInteger("A", "x", 3);
    throw std::runtime_error("stop");
  }),
               std::runtime_error);
  EXPECT_EQ(Text(f.path()), "[A]\nx=2\n") << "an interrupted update writes nothing";
  f.WriteInteger("A", "x", 4);
  EXPECT_EQ(Text(f.path()), "[A]\nx=4\n") << "outside an update, writes go to the file";
}

TEST(Props, VideoSettingsDefaultsAndTheKeptFolder) {
  test::ScratchDir dir;
  SettingsFile f(dir.Write("Quarvel.cfg", Bytes("[Video]\nSaveAVIDir=/videos\nNumFrames=junk\n")));
  VideoSettings v = ReadVideoSettings(f);
  EXPECT_EQ(v.ExportMode, 1);
  EXPECT_EQ(v.FrameRate, 25);
  EXPECT_EQ(v.NumFrames, 60);
  EXPECT_EQ(v.YCyrcle, 1);
  EXPECT_TRUE(v.XScale);
  EXPECT_FALSE(v.YScale);
  EXPECT_TRUE(v.ZScale);
  v.fccHandler = 1684633187;  // "cvid"
  v.SaveAVIDir = "/elsewhere";
  WriteVideoSettings(f, v, false);
  const VideoSettings back = ReadVideoSettings(f);
  EXPECT_EQ(back.fccHandler, 1684633187);
  EXPECT_EQ(back.SaveAVIDir, "/videos") << "no file chosen: the stored folder stays";
}

TEST(FileLocations, ReadOnlyProgramFoldersWriteToTheConfigFolder) {
  test::ScratchDir dir;
  const FileLocations here = FileLocations::For(dir.Path("").substr(0, dir.Path("").size() - 1));
  EXPECT_EQ(here.writableDir, here.exeDir);
  EXPECT_EQ(here.Settings(), here.exeDir + "/Quarvel.cfg");
  EXPECT_EQ(here.LanguageFile("Deutsch"), here.exeDir + "/Deutsch.quarvel.lang");

  std::filesystem::create_directory(dir.Path("bin"));
  ::chmod(dir.Path("bin").c_str(), 0555);
  ::setenv("XDG_CONFIG_HOME", dir.Path("config").c_str(), 1);
  const FileLocations installed = FileLocations::For(dir.Path("bin"));
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(installed.writableDir, dir.Path("config/quarvel"));
  EXPECT_TRUE(std::filesystem::is_directory(installed.writableDir));
  EXPECT_EQ(installed.CompressorData(), dir.Path("config/quarvel/comprd2.dat"));
  EXPECT_EQ(installed.LanguageFile("x"), dir.Path("bin/x.quarvel.lang"));
}

// An installed copy: bin/ beside share/quarvel/. It writes nothing under its prefix, even where
// it could (the tests run as root), and finds each read-only file beside itself first.
TEST(FileLocations, AnInstalledCopyReadsFromItsShareFolderAndWritesToTheConfigFolder) {
  test::ScratchDir dir;
  for (const char* folder : {"usr/bin", "usr/share/quarvel", "config"})
    std::filesystem::create_directories(dir.Path(folder));
  for (const char* file : {"usr/share/quarvel/Deutsch.quarvel.lang", "usr/bin/Deutsch.quarvel.lang",
                           "usr/share/quarvel/Français.quarvel.lang"})
    dir.Write(file, {'[', ']', '\n'});
  test::Environment env;
  env.Set("XDG_CONFIG_HOME", dir.Path("config"));
  const FileLocations l = FileLocations::For(dir.Path("usr/bin"));
  EXPECT_EQ(l.Settings(), dir.Path("config/quarvel/Quarvel.cfg"));
  EXPECT_EQ(l.dataDirs,
            (std::vector<std::string>{dir.Path("usr/bin"), dir.Path("usr/share/quarvel")}));
  EXPECT_EQ(l.LanguageFiles(),
            (std::vector<std::string>{"Deutsch.quarvel.lang", "Français.quarvel.lang"}));
  EXPECT_EQ(l.LanguageFile("Deutsch"), dir.Path("usr/bin/Deutsch.quarvel.lang"));
  EXPECT_EQ(l.LanguageFile("Français"), dir.Path("usr/share/quarvel/Français.quarvel.lang"));
  EXPECT_EQ(l.LanguageFile("Norsk"), dir.Path("usr/bin/Norsk.quarvel.lang")) << "none: English";
}

TEST(FileLocations, WithoutHomeVariablesTheHomeComesFromThePasswordDatabase) {
  const passwd* pw = ::getpwuid(::getuid());
  const std::string expected =
      pw && pw->pw_dir[0] == '/' ? pw->pw_dir + std::string("/.config") : "";
  const pid_t child = ::fork();  // the environment changes in the child only
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("HOME");
    ::_exit(ConfigHome() == expected ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "the settings folder is not " << expected;
}

}  // namespace
}  // namespace quarvel
