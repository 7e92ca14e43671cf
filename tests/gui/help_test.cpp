// The help commands and F1 of the real window, with the addresses recorded instead of opened:
// every window opens its own page of the help the build put beside the programs, a language
// file can name help of its own (not the online address), and missing help is reported.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTimer>
#include <QToolButton>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "dialogs/links.h"
#include "dialogs/seq_form.h"
#include "gui_fixture.h"

namespace quarvel {
namespace {

namespace fs = std::filesystem;

struct HelpTest : GuiTest {
  std::vector<QUrl> opened;
  LinkOpener desktop;

  void SetUp() override {
    desktop = SetLinkOpener([this](const QUrl& url) {
      opened.push_back(url);
      return true;
    });
  }
  void TearDown() override { SetLinkOpener(std::move(desktop)); }

  // The XDG folders in the scratch folder instead of the user's, until the test ends.
  void UseOwnXdgFolders() {
    for (const char* name :
         {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_DIRS"}) {
      env.Set(name, dir.Path(name));
    }
  }
  test::Environment env;

  // The window of the programs' folder, with its settings in the scratch folder.
  std::unique_ptr<TMainForm> FormOfTheBuild() {
    std::string scratch = dir.Path("");
    scratch.pop_back();
    auto form = std::make_unique<TMainForm>(
        FileLocations{QUARVEL_BIN_DIR, scratch, DataDirs(QUARVEL_BIN_DIR)});
    form->errorHook = [this](const QString& e) { errors.push_back(e); };
    form->resize(900, 600);
    form->show();
    Activate(*form);
    return form;
  }

  // The local file of the one address opened since the last call; empty when not exactly one.
  std::string TakeOpenedFile() {
    const std::vector<QUrl> urls = std::exchange(opened, {});
    if (urls.size() != 1 || !urls[0].isLocalFile()) return {};
    return urls[0].toLocalFile().toStdString();
  }
  std::string TakeOpened() {
    const std::vector<QUrl> urls = std::exchange(opened, {});
    return urls.size() == 1 ? urls[0].toString().toStdString() : "";
  }

  // F1 reaches the window that has the keyboard, as it would under the user's hand.
  static void Activate(TMainForm& form) {
    form.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
  }
  static void Trigger(TMainForm& form, const char* action) {
    form.findChild<QAction*>(action)->trigger();
  }

  static void WriteText(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }
};

TEST_F(HelpTest, EveryWindowOpensItsPageOfTheShippedHelp) {
  auto form = FormOfTheBuild();
  const std::string help = std::string(QUARVEL_BIN_DIR) + "/quarvel.help/";

  QTest::keyClick(form.get(), Qt::Key_F1);
  EXPECT_EQ(TakeOpenedFile(), help + "how_to_use.htm") << "F1 in the main window";
  Trigger(*form, "Helptopics1");
  EXPECT_EQ(TakeOpenedFile(), help + "index.htm") << "Help topics: the default page";
  QTest::mouseClick(form->findChild<QToolButton*>("HelpButton"), Qt::LeftButton);
  EXPECT_EQ(TakeOpenedFile(), help + "index.htm") << "the tool button";

  form->Open3DS(QUARVEL_SAMPLES "/knot.3ds");
  bool ran = false;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<TSeqForm*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    ran = true;
    QTest::keyClick(dialog, Qt::Key_F1);
    EXPECT_EQ(TakeOpenedFile(), help + "Export_of_animation.htm") << "F1 in the animation dialog";
    dialog->findChild<QAbstractButton*>("CloseButton")->click();
  });
  Trigger(*form, "ExportBMPSequence1");
  EXPECT_TRUE(ran);

  EXPECT_TRUE(errors.empty()) << errors.front().toStdString();
  for (const char* page : {"index.htm", "how_to_use.htm", "Export_of_animation.htm"})
    EXPECT_TRUE(fs::is_regular_file(help + page)) << page << " beside the programs";
}

// Runs `body` on the modal dialog that `action` opens; `body` closes it.
void WithDialog(TMainForm& form, const char* action, const std::function<void(QWidget&)>& body) {
  bool ran = false;
  QTimer::singleShot(0, [&] {
    QWidget* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    ASSERT_NE(dialog, &form);
    ran = true;
    body(*dialog);
  });
  form.findChild<QAction*>(action)->trigger();
  EXPECT_TRUE(ran) << action;
}

TEST_F(HelpTest, OptionsDialogOpensItsPageAndTheAboutBoxNone) {
  UseOwnXdgFolders();  // the options dialog reads the association
  auto form = FormOfTheBuild();
  const std::string help = std::string(QUARVEL_BIN_DIR) + "/quarvel.help/";
  WithDialog(*form, "Options1", [&](QWidget& options) {
    QTest::keyClick(&options, Qt::Key_F1);
    EXPECT_EQ(TakeOpenedFile(), help + "Options_dialog.htm");
    options.findChild<QAbstractButton*>("CancelButton")->click();
  });
  WithDialog(*form, "About1", [&](QWidget& about) {
    QTest::keyClick(&about, Qt::Key_F1);
    EXPECT_TRUE(opened.empty()) << "F1 in the about box";
    EXPECT_TRUE(about.isVisible());
    QTest::keyClick(&about, Qt::Key_Escape);
  });
  EXPECT_TRUE(fs::is_regular_file(help + "Options_dialog.htm"));
  EXPECT_TRUE(errors.empty());
}

TEST_F(HelpTest, OnlineHelpAndWebSiteOpenTheirAddresses) {
  auto form = MakeForm();
  Trigger(*form, "OnlineHelp1");
  EXPECT_EQ(TakeOpened(), "https://quarvel.example.org/help/");
  Trigger(*form, "Website1");
  EXPECT_EQ(TakeOpened(), "https://quarvel.example.org");
}

TEST_F(HelpTest, LanguageFileNamesItsOwnHelpButNotTheOnlineAddress) {
  WriteText(dir.Path("Deutsch.quarvel.lang"),
            "[Locale]\n"
            "quarvel.chm=quarvel_de.chm\n"
            "https://quarvel.example.org/help/=https://elsewhere.example.com/hilfe/\n");
  WriteText(dir.Path("quarvel_de.help/how_to_use.htm"), "<html></html>");
  WriteText(dir.Path("quarvel.help/how_to_use.htm"), "<html></html>");
  WriteSettings("[Props]\nlanguage=Deutsch\n");
  auto form = MakeForm();
  Activate(*form);

  QTest::keyClick(form.get(), Qt::Key_F1);
  EXPECT_EQ(TakeOpenedFile(), dir.Path("quarvel_de.help/how_to_use.htm"));
  Trigger(*form, "OnlineHelp1");
  EXPECT_EQ(TakeOpened(), "https://quarvel.example.org/help/");
  EXPECT_TRUE(errors.empty());
}

TEST_F(HelpTest, MissingHelpIsReportedAndNothingOpens) {
  auto form = MakeForm();  // a program folder without help
  Activate(*form);
  QTest::keyClick(form.get(), Qt::Key_F1);
  Trigger(*form, "Helptopics1");
  EXPECT_TRUE(opened.empty());
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].toStdString(),
            "Cannot find the help page " + dir.Path("quarvel.help/how_to_use.htm"));
  EXPECT_EQ(errors[1].toStdString(),
            "Cannot find the help page " + dir.Path("quarvel.help/index.htm"));
}

}  // namespace
}  // namespace quarvel
