// The Options dialog driven from the main window as a user would: the .3ds association in XDG
// folders of the test's own, the colours shown live and then stored or given back, the hints,
// and the single-instance choice at the next start of the program.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QCheckBox>
#include <QColorDialog>
#include <QFile>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>

#include "dialogs/ops_form.h"
#include "gui_fixture.h"
#include "ui/association.h"

extern char** environ;

namespace quarvel {
namespace {

namespace fs = std::filesystem;

void Put(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

std::string Text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Every file under `root` with its bytes and its time of last change: equal only when nothing
// was written.
std::map<std::string, std::pair<std::string, fs::file_time_type>> Files(const std::string& root) {
  std::map<std::string, std::pair<std::string, fs::file_time_type>> files;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file())
      files[e.path().string()] = {Text(e.path().string()), e.last_write_time()};
  return files;
}

struct OptionsTest : GuiTest {
  std::unique_ptr<TMainForm> form;
  test::Environment env;
  std::string data, config;

  void SetEnv(const std::string& name, const std::optional<std::string>& value) {
    env.Set(name, value);
  }

  void SetUp() override {
    data = dir.Path("xdg-data");
    config = dir.Path("xdg-config");
    fs::create_directories(data);
    fs::create_directories(config);
    Put(dir.Path("xdg-system/mime/globs2"), "50:image/x-3ds:*.3ds\n");
    SetEnv("XDG_DATA_HOME", data);
    SetEnv("XDG_CONFIG_HOME", config);
    SetEnv("XDG_DATA_DIRS", dir.Path("xdg-system"));
    SetEnv("XDG_CONFIG_DIRS", dir.Path("xdg-etc"));
    for (const char* name :
         {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID"})
      SetEnv(name, std::nullopt);
    form = MakeForm();
    form->Open3DS(QUARVEL_SAMPLES "/knot.3ds");
  }

  void TearDown() override { form.reset(); }

  // Opens the dialog with the Options command and runs `body` on it; a dialog `body` leaves
  // open is cancelled.
  void WithDialog(const std::function<void(TOpsForm&)>& body) {
    WithModal<TOpsForm>(form->findChild<QAction*>("Options1"), "CancelButton", body);
  }

  static void Click(QWidget& dialog, const char* button) {
    dialog.findChild<QAbstractButton*>(button)->click();
  }
  static QCheckBox* Check(QWidget& dialog, const char* name) {
    return dialog.findChild<QCheckBox*>(name);
  }

  // Answers the next colour dialog: `color` confirmed, or cancelled when there is none.
  static void AnswerColor(QObject* owner, std::optional<QColor> color) {
    auto* timer = new QTimer(owner);
    QObject::connect(timer, &QTimer::timeout, [timer, color] {
      auto* dialog = qobject_cast<QColorDialog*>(QApplication::activeModalWidget());
      if (!dialog) return;
      timer->stop();
      if (!color) return dialog->reject();
      dialog->setCurrentColor(*color);
      dialog->accept();
    });
    timer->start(10);
  }

  static AssociationPaths Paths() {
    return AssociationPaths::ForUser(
        QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString());
  }
  Props Stored() const { return ReadProps(SettingsFile(Locations().Settings())); }
  Rgb ObjectShown() const { return form->workspace().scene.ModelMesh->color(); }
  Rgb LightShown() const {
    for (const Light& l : form->workspace().scene.SceneFrame->GetLights())
      if (l.type == LightType::Ambient) return l.color;
    return {};
  }

  static std::string XdgMimeDefault() {
    FILE* pipe = ::popen("xdg-mime query default image/x-3ds 2>&1", "r");
    std::string out;
    char buf[256];
    while (size_t n = std::fread(buf, 1, sizeof buf, pipe))
      out.append(buf, n);
    EXPECT_EQ(::pclose(pipe), 0) << out;
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
  }
};

TEST_F(OptionsTest, ApplyWithAssociateTickedMakesQuarvelTheOpenerUntilItIsUnticked) {
  WithDialog([&](TOpsForm& d) {
    EXPECT_FALSE(Check(d, "Associate")->isChecked());
    Check(d, "Associate")->setChecked(true);
    Click(d, "OKButton");
  });
  EXPECT_TRUE(IsAssociated(Paths()));
  EXPECT_EQ(XdgMimeDefault(), "quarvel.desktop");

  WithDialog([&](TOpsForm& d) {
    EXPECT_TRUE(Check(d, "Associate")->isChecked());
    Check(d, "Associate")->setChecked(false);
    Click(d, "OKButton");
  });
  EXPECT_FALSE(IsAssociated(Paths()));
  EXPECT_FALSE(fs::exists(Paths().DesktopFile()));
  EXPECT_EQ(XdgMimeDefault(), "");
  WithDialog([&](TOpsForm& d) { EXPECT_FALSE(Check(d, "Associate")->isChecked()); });
  EXPECT_TRUE(errors.empty());
}

TEST_F(OptionsTest, ApplyWithoutAChangeOfTheTickWritesNoFile) {
  Put(data + "/applications/viewer.desktop",
      "[Desktop Entry]\nType=Application\nName=Viewer\nExec=viewer %f\nMimeType=image/x-3ds;\n");
  Put(config + "/mimeapps.list",
      "[Default Applications]\nimage/x-3ds=viewer.desktop;\ntext/plain=ed.desktop;\n");
  auto before = Files(dir.Path(""));
  WithDialog([&](TOpsForm& d) { Click(d, "OKButton"); });
  auto after = Files(dir.Path(""));
  after.erase(Locations().Settings());  // the main window saves its settings after Apply
  before.erase(Locations().Settings());
  EXPECT_EQ(after, before);

  // Taken over from the other program, then applied again unchanged.
  WithDialog([&](TOpsForm& d) {
    Check(d, "Associate")->setChecked(true);
    Click(d, "OKButton");
  });
  EXPECT_EQ(Text(config + "/mimeapps.list"),
            "[Default Applications]\nimage/x-3ds=quarvel.desktop;viewer.desktop;\n"
            "text/plain=ed.desktop;\n");
  before = Files(data);
  before.merge(Files(config));
  WithDialog([&](TOpsForm& d) {
    EXPECT_TRUE(Check(d, "Associate")->isChecked());
    Click(d, "OKButton");
  });
  after = Files(data);
  after.merge(Files(config));
  EXPECT_EQ(after, before);
}

TEST_F(OptionsTest, PickedColoursShowAtOnceAndCancelGivesTheStoredOnesBack) {
  const uint32_t obj = form->workspace().scene.ObjColor, light = form->workspace().scene.LightColor;
  WithDialog([&](TOpsForm& d) {
    AnswerColor(&d, QColor(0x12, 0x34, 0x56));
    Click(d, "Change1");
    EXPECT_EQ(ObjectShown(), ColorToRgb(0x563412));
    EXPECT_TRUE(d.findChild<QFrame*>("ObjectShape")->styleSheet().contains("#123456"));
    AnswerColor(&d, QColor(0x80, 0x90, 0xA0));
    QTest::mouseClick(d.findChild<QFrame*>("LightShape"), Qt::LeftButton);
    EXPECT_EQ(LightShown(), ColorToRgb(0xA09080));
    AnswerColor(&d, std::nullopt);  // a cancelled colour dialog changes nothing
    Click(d, "Change2");
    EXPECT_EQ(LightShown(), ColorToRgb(0xA09080));
    Click(d, "CancelButton");
  });
  EXPECT_EQ(ObjectShown(), ColorToRgb(obj));
  EXPECT_EQ(LightShown(), ColorToRgb(light));
  EXPECT_EQ(Stored().ObjColor, obj);
  EXPECT_EQ(Stored().LightColor, light);
}

TEST_F(OptionsTest, ApplyStoresTheColoursAsBlueGreenRed) {
  WithDialog([&](TOpsForm& d) {
    AnswerColor(&d, QColor(0x12, 0x34, 0x56));
    QTest::mouseClick(d.findChild<QFrame*>("ObjectShape"), Qt::LeftButton);
    AnswerColor(&d, QColor(0x40, 0x80, 0xC0));
    Click(d, "Change2");
    Click(d, "OKButton");
  });
  EXPECT_NE(Text(Locations().Settings()).find("ObjColor=5649426"), std::string::npos);  // 0x563412
  EXPECT_EQ(Stored().LightColor, 0xC08040u);
  EXPECT_EQ(ObjectShown(), ColorToRgb(0x563412));
  EXPECT_EQ(LightShown(), ColorToRgb(0xC08040));
  // A model opened afterwards, and the next dialog, have them too.
  form->Open3DS(QUARVEL_SAMPLES "/knot.3ds");
  EXPECT_EQ(ObjectShown(), ColorToRgb(0x563412));
  EXPECT_EQ(LightShown(), ColorToRgb(0xC08040));
  WithDialog([&](TOpsForm& d) {
    EXPECT_TRUE(d.findChild<QFrame*>("LightShape")->styleSheet().contains("#4080c0"));
  });
}

TEST_F(OptionsTest, HintsFollowShowHints) {
  WithDialog([&](TOpsForm& d) {
    EXPECT_EQ(d.windowTitle(), "Options");
    EXPECT_EQ(Check(d, "Associate")->toolTip(),
              "Set or remove file associations of\n3ds with Quarvel");
    EXPECT_EQ(d.findChild<QFrame*>("LightShape")->toolTip(),
              "Click the shape to change color and brightness of light source");
    EXPECT_GE(d.width(), 240);
    EXPECT_GE(d.height(), 161);
  });
  form->findChild<QAction*>("Showhints1")->trigger();
  WithDialog([&](TOpsForm& d) { EXPECT_EQ(Check(d, "SingleBox")->toolTip(), ""); });
}

// Starts `exe`, with `arg` when given. The test's copies of the program have a file name of their
// own, beside the test's settings file, so that they end no other program's process.
pid_t StartCopy(const std::string& exe, const char* arg = nullptr) {
  char* argv[] = {const_cast<char*>(exe.c_str()), const_cast<char*>(arg), nullptr};
  pid_t pid = 0;
  return ::posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv, environ) == 0 ? pid : -1;
}

bool Running(pid_t pid) {
  return ::waitpid(pid, nullptr, WNOHANG) == 0;
}

TEST_F(OptionsTest, TheSingleInstanceChoiceTakesEffectAtTheNextStart) {
  const std::string name = "quarvel-single-" + std::to_string(::getpid()), exe = dir.Path(name);
  fs::copy_file(QUARVEL_EXE, exe);
  // As for this program: the system's D-Bus library keeps memory to the end of the process.
  SetEnv("ASAN_OPTIONS", "detect_leaks=0");
  const pid_t first = StartCopy(exe);
  ASSERT_GT(first, 0);
  // Other programs under our name, in other letters or in another folder: never ended.
  fs::create_directory(dir.Path("b"));
  std::vector<pid_t> others;
  for (const std::string& other : {dir.Path("QUARVEL" + name.substr(7)), dir.Path("b/" + name)}) {
    fs::copy_file("/bin/sleep", other);
    others.push_back(StartCopy(other, "600"));
  }
  QTest::qWait(1500);  // let it come up before it is asked to end
  WithDialog([&](TOpsForm& d) {
    EXPECT_FALSE(Check(d, "SingleBox")->isChecked());
    Check(d, "SingleBox")->setChecked(true);
    Click(d, "OKButton");
  });
  EXPECT_TRUE(Stored().SingleInstance);
  ASSERT_TRUE(Running(first)) << "the running copy is left alone";

  const pid_t second = StartCopy(exe);
  ASSERT_GT(second, 0);
  for (int i = 0; i < 600 && Running(first); ++i)  // a guard against hanging, not a time limit
    QTest::qWait(50);
  EXPECT_FALSE(Running(first)) << "the copy started next ends the one running";
  EXPECT_TRUE(Running(second));
  for (const pid_t other : others) {
    EXPECT_TRUE(Running(other)) << "another program is left alone";
    ::kill(other, SIGKILL);
    ::waitpid(other, nullptr, 0);
  }
  ::kill(second, SIGTERM);
  ::waitpid(second, nullptr, 0);
  if (Running(first)) {
    ::kill(first, SIGKILL);
    ::waitpid(first, nullptr, 0);
  }
  WithDialog([&](TOpsForm& d) { EXPECT_TRUE(Check(d, "SingleBox")->isChecked()); });
}

}  // namespace
}  // namespace quarvel
