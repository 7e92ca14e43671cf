// The help pages' pictures of the real program, taken by tools/help-screenshots: the main window
// after opening and rendering the sample, the help menu, the options, animation and compression
// dialogs and the about box. QUARVEL_SCREENSHOT names the main window's picture; the others go
// beside it (window-options.png and so on).
#include <QAction>
#include <QMenu>
#include <QSpinBox>
#include <QSplitter>
#include <QToolButton>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "dialogs/about_box.h"
#include "dialogs/compress_dialog.h"
#include "dialogs/ops_form.h"
#include "dialogs/seq_form.h"
#include "gui_fixture.h"
#include "settings/locations.h"

namespace quarvel {
namespace {

struct Screenshot : GuiTest {
  test::Environment env;
  QString out;

  // The desktop's folders in the scratch folder, so that no picture depends on the user's own
  // settings: .3ds files are known to the system and have no program of their own.
  void SetUp() override {
    const char* file = std::getenv("QUARVEL_SCREENSHOT");
    ASSERT_NE(file, nullptr) << "set QUARVEL_SCREENSHOT=file.png";
    out = file;
    for (const char* name :
         {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_DIRS"}) {
      std::filesystem::create_directories(dir.Path(name));
      env.Set(name, dir.Path(name));
    }
    std::filesystem::create_directories(dir.Path("XDG_DATA_DIRS/mime"));
    std::ofstream(dir.Path("XDG_DATA_DIRS/mime/globs2")) << "50:image/x-3ds:*.3ds\n";
  }

  // Where the picture named `suffix` goes: beside the main window's, "-options" for example.
  QString Beside(const char* suffix) const { return out.chopped(4) + suffix + ".png"; }

  // The window with the sample open.
  std::unique_ptr<TMainForm> FormWithSample() {
    auto form = MakeForm();
    form->Open3DS(QUARVEL_SAMPLES "/knot.3ds");
    return form;
  }
};

TEST_F(Screenshot, MainWindow) {
  auto form = MakeForm();
  form->resize(1200, 700);
  form->findChild<QSplitter*>("RxSplitter1")->setSizes({590, 606});
  form->Open3DS(QUARVEL_SAMPLES "/knot.3ds");
  QTest::mouseClick(form->findChild<QToolButton*>("UpDownXRight"), Qt::LeftButton);
  form->findChild<QAction*>("Render1")->trigger();
  QTest::qWait(300);
  EXPECT_TRUE(form->grab().save(out));
}

// The help menu of the window of the programs' folder, which finds the help the build put there.
TEST_F(Screenshot, HelpMenu) {
  std::string scratch = dir.Path("");
  scratch.pop_back();
  TMainForm form(FileLocations{QUARVEL_BIN_DIR, scratch, DataDirs(QUARVEL_BIN_DIR)});
  form.errorHook = [this](const QString& e) { errors.push_back(e); };
  form.resize(900, 600);
  form.show();
  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  auto* menu = form.findChild<QMenu*>("Help1");
  menu->popup(form.mapToGlobal(QPoint(80, 20)));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
  QTest::qWait(200);
  EXPECT_TRUE(menu->grab().save(Beside("-help-menu")));
  menu->close();
}

TEST_F(Screenshot, OptionsDialog) {
  auto form = FormWithSample();
  WithModal<TOpsForm>(form->findChild<QAction*>("Options1"), "CancelButton", [&](TOpsForm& d) {
    QTest::qWait(200);
    EXPECT_TRUE(d.grab().save(Beside("-options")));
  });
}

TEST_F(Screenshot, AnimationAndCompressionDialogs) {
  auto form = FormWithSample();
  form->findChild<QSpinBox*>("UpDown4")->setValue(320);
  form->findChild<QSpinBox*>("UpDown5")->setValue(240);
  QAction* exportCommand = form->findChild<QAction*>("ExportBMPSequence1");
  WithModal<TSeqForm>(exportCommand, "CloseButton", [&](TSeqForm& d) {
    QTest::qWait(200);
    EXPECT_TRUE(d.grab().save(Beside("-animation")));
    WhenUp<TCompressDialog>(&d, [&](TCompressDialog* options) {
      QTest::qWait(200);
      EXPECT_TRUE(options->grab().save(Beside("-compression")));
      options->reject();
    });
    d.findChild<QAbstractButton*>("CompressButton")->click();
  });
}

// The box once its text has started to scroll.
TEST_F(Screenshot, AboutBox) {
  auto form = MakeForm();
  bool taken = false;
  WhenUp<TAboutBox>(form.get(), [&](TAboutBox* box) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return box->scrollTop() <= -12; }, 20000));
    taken = box->grab().save(Beside("-about"));
    box->reject();
  });
  form->findChild<QAction*>("About1")->trigger();
  EXPECT_TRUE(taken);
}

}  // namespace
}  // namespace quarvel
