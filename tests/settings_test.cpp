#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "fixtures.h"
#include "settings/locations.h"
#include "settings/props.h"

namespace quarvel {
namespace {

std::vector<uint8_t> Bytes(std::string_view s) {
  return {s.begin(), s.end()};
}

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
  AddRecent(recent, "/M/D.3DS");  // the same file in other letters moves to the top
  SaveRecent(f, recent);
  EXPECT_EQ(LoadRecent(f),
            (std::vector<std::string>{"/M/D.3DS", "/m/f.3ds", "/m/e.3ds", "/m/c.3ds", "/m/b.3ds"}));
  const auto text = test::ReadFile(f.path());
  const std::string s(text.begin(), text.end());
  EXPECT_EQ(s.find("User_"), std::string::npos);
  EXPECT_EQ(s.find("stale"), std::string::npos);
  EXPECT_NE(s.find("Item_4=/m/b.3ds"), std::string::npos);
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

}  // namespace
}  // namespace quarvel
