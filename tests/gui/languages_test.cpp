// The program in German and in French: no window, Qt's own dialogs included, shows an English
// text that the language file translates; numbers take the language's decimal separator, and the
// status bar's texts follow a switch of language and a failed open.
#include <QDialog>
#include <QMenu>
#include <QRegularExpression>
#include <cstdlib>
#include <filesystem>

#include "gui_fixture.h"
#include "settings/texts.h"

namespace quarvel {
namespace {

TEST_F(GuiTest, EveryWindowSpeaksTheChosenLanguage) {
  QStringList english, found;
  // Every caption, title and hint of a window and of what it holds.
  const auto collect = [&](QWidget* window) {
    QList<QObject*> objects = window->findChildren<QObject*>();
    for (const QObject* o : objects << window)
      for (const char* name : {"text", "title", "windowTitle", "toolTip"})
        if (english.contains(o->property(name).toString())) found << o->property(name).toString();
  };
  // With QUARVEL_SCREENSHOT=file.png set, a dialog given a `picture` name is also saved beside it.
  const auto inModal = [&](QObject* owner, const std::function<void()>& open,
                           const char* picture = nullptr) {
    WhenUp<QDialog>(owner, [&](QDialog* d) {
      if (const char* out = std::getenv("QUARVEL_SCREENSHOT"); out && picture)
        QTest::qWait(200), d->grab().save(QString(out).chopped(4) + picture);
      collect(d), d->reject();
    });
    open();
  };
  const std::string languages[] = {"/Deutsch.quarvel.lang", "/Français.quarvel.lang"};
  for (const std::string& file : languages)
    std::filesystem::copy_file(QUARVEL_TEST_DATA "/../../lang" + file, dir.Path("") + file);
  // English, then German: the second window starts in German and switches to French.
  for (int entry : {1, 2}) {
    const TLocalizer language(dir.Path("") + languages[entry - 1]);
    const auto tr = [&](std::string_view s) {
      return QString::fromStdString(language.TranslateText(s));
    };
    found.clear();
    english = {"Look in:", "File &name:", "Files of type:", "Cancel", "&Save", "&Open"};
    for (std::string_view text : TranslatableTexts())
      if (tr(text) != QString::fromUtf8(text)) english << QString::fromUtf8(text);
    auto form = MakeForm();
    form->Open3DS(QUARVEL_SAMPLES "/knot.3ds");
    form->TestButtonClick();
    form->findChild<QMenu*>("Language1")->actions()[entry]->trigger();
    EXPECT_EQ(Panel(*form, 0), "11520" + tr(" faces imported"));
    EXPECT_EQ(Panel(*form, 2), tr("%s depth mask ready").replace("%s", "640 x 480"));
    collect(form.get());
    inModal(form.get(), [&] { form->About1Click(); });
    inModal(form.get(), [&] { form->OpsButtonClick(); });
    inModal(
        form.get(), [&] { form->Save1Click(); }, entry == 1 ? "-save-de.png" : nullptr);
    QString length;
    WhenUp<QDialog>(form.get(), [&](QDialog* d) {
      d->findChild<QAbstractButton*>("AviItem")->click();
      length = d->findChild<QLabel*>("LengthLabel")->text();
      inModal(
          d, [&] { d->findChild<QAbstractButton*>("CompressButton")->click(); },
          entry == 2 ? "-compression-fr.png" : nullptr);
      collect(d), d->reject();
    });
    form->ExportBMPSequence1Click();
    // A failed open leaves an empty scene, and no face count of the model it discarded.
    form->errorHook = nullptr;
    inModal(form.get(), [&] { form->Open3DS(QString::fromStdString(dir.Path("none.3ds"))); });
    EXPECT_EQ(Panel(*form, 0), "");
    EXPECT_TRUE(length.contains(QRegularExpression("\\d,\\d\\d"))) << length.toStdString();
    EXPECT_EQ(found.join(" | ").toStdString(), "") << languages[entry - 1];
  }
}

// --help and --version answer on their own, with no display to open; a model to show with no
// display is refused in one line, with no core dump.
TEST(ProgramTest, HelpAndVersionNeedNoDisplay) {
  test::ScratchDir dir;
  const struct {
    std::string argument;
    int exitCode;
    std::string output, errors;
  } cases[] = {
      {"--help", 0, "Usage: quarvel", ""},
      {"--version", 0, "Quarvel 1.55\n", ""},
      {QUARVEL_SAMPLES "/knot.3ds", 1, "",
       "quarvel: no display to open the window on; quarvel-render makes masks and animations "
       "without one (see quarvel-render --help)\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(test::RunInDir(
                  dir, "env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb " QUARVEL_EXE " " +
                           c.argument + " >out.txt"),
              c.exitCode)
        << c.argument;
    const std::vector<uint8_t> out = test::ReadFile(dir.Path("out.txt")),
                               err = test::ReadFile(dir.Path("err.txt"));
    EXPECT_TRUE(std::string(out.begin(), out.end()).starts_with(c.output)) << c.argument;
    EXPECT_EQ(std::string(err.begin(), err.end()), c.errors) << c.argument;
  }
}

}  // namespace
}  // namespace quarvel
