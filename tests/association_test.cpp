// The .3ds association in the user's XDG files, in XDG folders of the test's own: the
// mimeapps.list edits, Quarvel's desktop entry, the three operations, and what xdg-mime and
// desktop-file-validate make of the result.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "fixtures.h"
#include "ui/association.h"
#include "ui/desktop_entry.h"
#include "ui/mime_apps.h"

namespace quarvel {
namespace {

namespace fs = std::filesystem;

std::string Text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void Put(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

// What a shell command prints, its last line end removed, and whether it exited with 0.
std::pair<std::string, bool> Output(const std::string& command) {
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return {"", false};
  std::string out;
  char buf[256];
  while (size_t n = std::fread(buf, 1, sizeof buf, pipe))
    out.append(buf, n);
  const int status = ::pclose(pipe);
  if (!out.empty() && out.back() == '\n') out.pop_back();
  return {out, status == 0};
}

TEST(MimeApps, TheDefaultsComeFromTheirGroupOnly) {
  const std::string list =
      "[Added Associations]\n"
      "image/x-3ds=added.desktop;\n"
      "[Default Applications]\n"
      "#image/x-3ds=comment.desktop;\n"
      "image/x-3dsx=longer.desktop;\n"
      " IMAGE/X-3DS = b.desktop; c.desktop ;;\n"
      "image/x-3ds=second-line.desktop;\n";
  EXPECT_EQ(DefaultEntries(list, "image/x-3ds"),
            (std::vector<std::string>{"b.desktop", "c.desktop"}));
  EXPECT_TRUE(
      DefaultEntries("[Added Associations]\nimage/x-3ds=a.desktop;\n", "image/x-3ds").empty());
  EXPECT_TRUE(DefaultEntries("", "image/x-3ds").empty());
  EXPECT_TRUE(DefaultEntries("[Default Applications]\nimage/x-3ds\n=x\n[", "image/x-3ds").empty());
}

TEST(MimeApps, SettingTheDefaultChangesOnlyItsLine) {
  // CR LF lines, comments, other groups and types, and a last line without its end stay as
  // they are; only the type's line says the new default.
  const std::string before =
      "# my defaults\r\n"
      "[Default Applications]\r\n"
      "text/plain=ed.desktop;\r\n"
      "image/x-3ds = other.desktop;aviewer.desktop;\r\n"
      "image/png=eog.desktop;\r\n"
      "\r\n"
      "[Added Associations]\r\n"
      "image/x-3ds=other.desktop;";
  const std::string after =
      "# my defaults\r\n"
      "[Default Applications]\r\n"
      "text/plain=ed.desktop;\r\n"
      "image/x-3ds =quarvel.desktop;other.desktop;aviewer.desktop;\r\n"
      "image/png=eog.desktop;\r\n"
      "\r\n"
      "[Added Associations]\r\n"
      "image/x-3ds=other.desktop;";
  EXPECT_EQ(WithDefault(before, "image/x-3ds", "quarvel.desktop"), after);
  EXPECT_EQ(WithDefault(after, "image/x-3ds", "quarvel.desktop"), after);
}

TEST(MimeApps, TickingPutsOursFirstAndUntickingTakesOnlyOursAway) {
  const std::string d = "[Default Applications]\n", t = "image/x-3ds=";
  // The list before, after ticking, and after unticking again.
  const std::array<std::string, 3> cases[] = {
      {d + t + "a.desktop;b.desktop;\n", d + t + "quarvel.desktop;a.desktop;b.desktop;\n",
       d + t + "a.desktop;b.desktop;\n"},
      {d + t + "a.desktop;quarvel.desktop\n", d + t + "quarvel.desktop;a.desktop;\n",
       d + t + "a.desktop;\n"},
      // Only the line that is read changes: not a later one, in other case or in another group.
      {d + "IMAGE/X-3DS=a.desktop;\n" + t + "b.desktop;\n" + d + t + "c.desktop;\n",
       d + "IMAGE/X-3DS=quarvel.desktop;a.desktop;\n" + t + "b.desktop;\n" + d + t + "c.desktop;\n",
       d + "IMAGE/X-3DS=a.desktop;\n" + t + "b.desktop;\n" + d + t + "c.desktop;\n"},
      // Ours is our exact ID; it goes from every line, and a line left empty goes.
      {d + t + "old-quarvel.desktop;\n" + d + t + "quarvel.desktop;\n",
       d + t + "quarvel.desktop;old-quarvel.desktop;\n" + d + t + "quarvel.desktop;\n",
       d + t + "old-quarvel.desktop;\n" + d},
  };
  for (const auto& [before, ticked, unticked] : cases) {
    EXPECT_EQ(WithDefault(before, "image/x-3ds", "quarvel.desktop"), ticked) << before;
    EXPECT_EQ(WithoutDefault(ticked, "image/x-3ds", "quarvel.desktop"), unticked) << before;
  }
}

TEST(MimeApps, ANewDefaultGoesIntoTheFirstDefaultsGroup) {
  EXPECT_EQ(WithDefault("[Added Associations]\nx/y=a.desktop;\n[Default Applications]\n"
                        "text/plain=ed.desktop;\n\n[Removed Associations]\n"
                        "[Default Applications]\nimage/png=eog.desktop;\n",
                        "image/x-3ds", "quarvel.desktop"),
            "[Added Associations]\nx/y=a.desktop;\n[Default Applications]\n"
            "text/plain=ed.desktop;\nimage/x-3ds=quarvel.desktop;\n\n[Removed Associations]\n"
            "[Default Applications]\nimage/png=eog.desktop;\n");
  EXPECT_EQ(WithDefault("[Default Applications]", "image/x-3ds", "quarvel.desktop"),
            "[Default Applications]\nimage/x-3ds=quarvel.desktop;\n");
  EXPECT_EQ(WithDefault("", "image/x-3ds", "quarvel.desktop"),
            "[Default Applications]\nimage/x-3ds=quarvel.desktop;\n");
  EXPECT_EQ(WithDefault("[Added Associations]\nx/y=a.desktop;", "image/x-3ds", "quarvel.desktop"),
            "[Added Associations]\nx/y=a.desktop;\n[Default Applications]\n"
            "image/x-3ds=quarvel.desktop;\n");
}

TEST(MimeApps, RemovingTheDefaultKeepsEveryOtherLine) {
  const std::string head = "[Default Applications]\r\ntext/plain=ed.desktop;\r\n";
  const std::string tail =
      "image/png=eog.desktop;\r\n[Added Associations]\r\nimage/x-3ds=q.desktop;";
  EXPECT_EQ(WithoutDefault(head + "image/x-3ds=q.desktop;other.desktop;\r\n" + tail, "image/x-3ds",
                           "q.desktop"),
            head + "image/x-3ds=other.desktop;\r\n" + tail);
  EXPECT_EQ(
      WithoutDefault(head + "image/x-3ds = q.desktop ;\r\n" + tail, "image/x-3ds", "q.desktop"),
      head + tail);
  const std::string unrelated = head + "image/x-3ds=other.desktop; Q.desktop\r\n" + tail;
  EXPECT_EQ(WithoutDefault(unrelated, "image/x-3ds", "q.desktop"), unrelated);
  EXPECT_EQ(
      WithoutDefault("[Default Applications]\nimage/x-3ds=q.desktop;", "image/x-3ds", "q.desktop"),
      "[Default Applications]\n");
}

TEST(DesktopEntry, OursIsValidAndQuotesThePathOnlyWhereItMust) {
  test::ScratchDir dir;
  const std::pair<std::string, std::string> cases[] = {
      {"/opt/quarvel/bin/quarvel", "Exec=/opt/quarvel/bin/quarvel %f\n"},
      {"/home/a b/50%/$x\\\"`y'/quarvel",
       "Exec=\"/home/a b/50%%/\\\\$x\\\\\\\\\\\\\"\\\\`y'/quarvel\" %f\n"},
      {"/home/ü/quarvel", "Exec=/home/ü/quarvel %f\n"}};
  for (const auto& [path, exec] : cases) {
    const auto entry = ProgramDesktopEntry(path, "image/x-3ds");
    ASSERT_TRUE(entry) << path;
    EXPECT_NE(entry->find(exec), std::string::npos) << *entry;
    EXPECT_NE(entry->find("\nMimeType=image/x-3ds;\n"), std::string::npos);
    EXPECT_NE(entry->find("\nIcon=quarvel\n"), std::string::npos);
    Put(dir.Path("quarvel.desktop"), *entry);
    const auto [report, valid] = Output("desktop-file-validate " + dir.Path("quarvel.desktop"));
    EXPECT_TRUE(valid) << path << "\n" << report;
    EXPECT_EQ(report, "");
  }
  for (const std::string bad : {"quarvel", "", "/opt/a\nb/quarvel", "/opt/\xff/quarvel",
                                "/opt/\xc0\xaf/quarvel", "/opt/\xe2\x82/quarvel"})
    EXPECT_FALSE(ProgramDesktopEntry(bad, "image/x-3ds")) << bad;
}

TEST(DesktopEntry, ExecIsReadFromTheDesktopEntryGroupOnly) {
  EXPECT_EQ(DesktopExec("[Desktop Action New]\nExec=a\n[Desktop Entry]\nExec[de]=b\n"
                        " Exec = \"/x/quarvel\" %f \r\n"),
            "\"/x/quarvel\" %f");
  EXPECT_FALSE(DesktopExec("[Desktop Action New]\nExec=a\n"));
  EXPECT_FALSE(DesktopExec("Exec=a\n[Desktop Entry]\nName=x"));
  EXPECT_FALSE(DesktopExec(std::string("\0\xff[\n=", 5)));
}

// The user's XDG folders in the scratch folder, the system's too, and "the program": an
// executable named quarvel. The environment is given back at the end.
struct AssociationTest : ::testing::Test {
  test::ScratchDir dir;
  test::Environment env;
  std::string data, config, system, exe;
  AssociationPaths paths;

  void SetEnv(const std::string& name, const std::optional<std::string>& value) {
    env.Set(name, value);
  }

  void SetUp() override {
    data = dir.Path("data");
    config = dir.Path("config");
    system = dir.Path("system");
    exe = dir.Path("bin/quarvel");
    Put(exe, "#!/bin/sh\n");
    fs::permissions(exe, fs::perms::owner_all);
    Put(system + "/mime/globs2", "50:image/x-3ds:*.3ds\n");  // the system knows the type
    SetEnv("HOME", dir.Path("home"));
    SetEnv("XDG_DATA_HOME", data);
    SetEnv("XDG_CONFIG_HOME", config);
    SetEnv("XDG_DATA_DIRS", system);
    SetEnv("XDG_CONFIG_DIRS", dir.Path("etc"));
    for (const char* name :
         {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID"})
      SetEnv(name, std::nullopt);
    paths = AssociationPaths::ForUser(exe);
  }

  std::string List() const { return Text(config + "/mimeapps.list"); }
  std::string Ours() const { return data + "/applications/quarvel.desktop"; }

  // Another program's desktop entry for the type, in the user's applications folder.
  void OtherProgram(const std::string& id, const std::string& exec) const {
    Put(data + "/applications/" + id, "[Desktop Entry]\nType=Application\nName=Other\nExec=" +
                                          exec + "\nMimeType=image/x-3ds;\n");
  }

  static std::string XdgMimeDefault() {
    const auto [out, ok] = Output("xdg-mime query default image/x-3ds 2>&1");
    EXPECT_TRUE(ok) << out;
    return out;
  }
};

TEST_F(AssociationTest, TheFoldersFollowTheXdgVariablesOrTheirDefaults) {
  EXPECT_EQ(paths.dataHome, data);
  EXPECT_EQ(paths.configHome, config);
  EXPECT_EQ(paths.dataDirs, std::vector<std::string>{system});
  EXPECT_EQ(paths.MimeAppsList(), config + "/mimeapps.list");
  SetEnv("XDG_DATA_HOME", std::nullopt);
  SetEnv("XDG_CONFIG_HOME", "relative/config");
  SetEnv("XDG_DATA_DIRS", "");
  const AssociationPaths defaults = AssociationPaths::ForUser(exe);
  EXPECT_EQ(defaults.dataHome, dir.Path("home") + "/.local/share");
  EXPECT_EQ(defaults.configHome, dir.Path("home") + "/.config");
  EXPECT_EQ(defaults.dataDirs, (std::vector<std::string>{"/usr/local/share", "/usr/share"}));
}

TEST_F(AssociationTest, SetMakesOursTheDefaultAndRemoveTakesItAway) {
  EXPECT_FALSE(IsAssociated(paths));
  EXPECT_FALSE(RemoveAssociation(paths));
  EXPECT_FALSE(fs::exists(config));
  EXPECT_EQ(XdgMimeDefault(), "");

  ASSERT_TRUE(SetAssociation(paths));
  EXPECT_TRUE(IsAssociated(paths));
  EXPECT_EQ(List(), "[Default Applications]\nimage/x-3ds=quarvel.desktop;\n");
  EXPECT_NE(Text(Ours()).find("\nExec=" + exe + " %f\n"), std::string::npos);
  EXPECT_EQ(XdgMimeDefault(), "quarvel.desktop");
  EXPECT_FALSE(fs::exists(data + "/mime")) << "the system knows the type already";

  ASSERT_TRUE(RemoveAssociation(paths));
  EXPECT_FALSE(IsAssociated(paths));
  EXPECT_EQ(List(), "[Default Applications]\n");
  EXPECT_FALSE(fs::exists(Ours()));
  EXPECT_EQ(XdgMimeDefault(), "");
}

TEST_F(AssociationTest, AnotherProgramsDefaultIsTakenOverAndOnlyOursIsRemoved) {
  // Listed before ours in its folder, where xdg-mime looks when it cannot use the default.
  OtherProgram("aviewer.desktop", "viewer %f");
  const std::string before =
      "[Added Associations]\n"
      "image/x-3ds=aviewer.desktop;\n"
      "\n"
      "[Default Applications]\n"
      "text/plain=ed.desktop;\n"
      "image/x-3ds=aviewer.desktop;\n"
      "image/png=eog.desktop;\n";
  Put(config + "/mimeapps.list", before);
  EXPECT_FALSE(IsAssociated(paths));
  EXPECT_FALSE(RemoveAssociation(paths)) << "the default is not ours";
  EXPECT_EQ(List(), before);

  ASSERT_TRUE(SetAssociation(paths));
  EXPECT_TRUE(IsAssociated(paths));
  std::string taken = before;
  taken.insert(taken.rfind("aviewer.desktop"), "quarvel.desktop;");
  EXPECT_EQ(List(), taken);
  EXPECT_EQ(XdgMimeDefault(), "quarvel.desktop");

  ASSERT_TRUE(RemoveAssociation(paths));
  EXPECT_EQ(List(), before);
  EXPECT_FALSE(fs::exists(Ours()));
  EXPECT_TRUE(fs::exists(data + "/applications/aviewer.desktop"));
  EXPECT_NE(XdgMimeDefault(), "quarvel.desktop");
}

TEST_F(AssociationTest, ACopyOfTheProgramInAnotherFolderCountsAsAssociatedButIsNotOurs) {
  // Found after a listed entry that has no desktop file; its command names QUARVEL elsewhere.
  OtherProgram("old-quarvel.desktop", "\"/elsewhere/QUARVEL\" %f");
  const std::string before =
      "[Default Applications]\n"
      "image/x-3ds=gone.desktop;old-quarvel.desktop;\n"
      "[Removed Associations]\n"
      "image/x-3ds=aviewer.desktop;\n";
  Put(config + "/mimeapps.list", before);
  EXPECT_TRUE(IsAssociated(paths));
  EXPECT_FALSE(RemoveAssociation(paths)) << "only our own desktop file ID is removed";
  EXPECT_EQ(List(), before);
  EXPECT_TRUE(fs::exists(data + "/applications/old-quarvel.desktop"));
}

TEST_F(AssociationTest, AMimeTypeIsAddedOnlyWhereTheSystemHasNone) {
  ASSERT_TRUE(SetAssociation(paths));
  EXPECT_FALSE(fs::exists(data + "/mime"));

  SetEnv("XDG_DATA_DIRS", dir.Path("empty-system"));
  const AssociationPaths bare = AssociationPaths::ForUser(exe);
  ASSERT_TRUE(SetAssociation(bare));
  EXPECT_NE(Text(data + "/mime/packages/quarvel-3ds.xml").find("<glob pattern=\"*.3ds\"/>"),
            std::string::npos);
  EXPECT_NE(Text(data + "/mime/globs2").find(":image/x-3ds:*.3ds"), std::string::npos)
      << "update-mime-database did not build the user's database";
}

TEST_F(AssociationTest, UntrustedFilesAreNeverFollowedOutOfTheirFolders) {
  // Defaults that would name files elsewhere, a default without an Exec, a binary list.
  Put(dir.Path("elsewhere/applications/x.desktop"), "[Desktop Entry]\nExec=quarvel %f\n");
  Put(data + "/applications/no-exec.desktop", "[Desktop Entry]\nName=quarvel\n");
  for (const std::string ids :
       {"../../elsewhere/applications/x.desktop;", "/elsewhere/applications/x.desktop;",
        ".desktop;", "no-exec.desktop"}) {
    Put(config + "/mimeapps.list", "[Default Applications]\nimage/x-3ds=" + ids + "\n");
    EXPECT_FALSE(IsAssociated(paths)) << ids;
    EXPECT_FALSE(RemoveAssociation(paths)) << ids;
  }
  Put(config + "/mimeapps.list", std::string("\0\xff\n[\n=\r\r\n", 9));
  EXPECT_FALSE(IsAssociated(paths));
  EXPECT_TRUE(SetAssociation(paths));
  EXPECT_TRUE(IsAssociated(paths));
}

TEST_F(AssociationTest, AListThatCannotBeReadOrWrittenIsLeftAsItWasAndSaysWhy) {
  const std::string list = config + "/mimeapps.list";
  auto said = [](const AssociationResult& r) {
    return r ? "done" : r.error.text + "|" + r.error.arg + "|" + r.error.reason;
  };
  // Larger than any real list: refused, not rewritten without its content.
  const std::string huge = "[Added Associations]\n" + std::string(2 << 20, '#') + "\n";
  Put(list, huge);
  EXPECT_EQ(said(SetAssociation(paths)), "Cannot open file %s|" + list + "|File too large");
  EXPECT_EQ(said(RemoveAssociation(paths)), "Cannot open file %s|" + list + "|File too large");
  EXPECT_EQ(List(), huge);

  // A full disk, made with a limit on the size of files.
  const std::string before = "[Added Associations]\n" + std::string(6000, '#') + "\n";
  Put(list, before);
  const std::string result = test::InChild([&] {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    return said(SetAssociation(paths));
  });
  EXPECT_EQ(result, "Unable to write to %s|" + list + "|File too large");
  EXPECT_EQ(List(), before);
  EXPECT_FALSE(IsAssociated(paths));

  fs::remove(list);
  fs::create_directories(list);
  EXPECT_EQ(said(SetAssociation(paths)), "Cannot open file %s|" + list + "|Not a regular file");
  EXPECT_FALSE(IsAssociated(paths));
}

}  // namespace
}  // namespace quarvel
