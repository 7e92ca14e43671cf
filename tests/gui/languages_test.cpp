// The program in German and in French: every window, Qt's own dialogs included, shows no English
// text that the language file translates, numbers take the language's decimal separator, and a
// switch of language carries the status bar's texts along.
#include <QFileDialog>
#include <QGroupBox>
#include <QMenu>
#include <QMessageBox>
#include <QRegularExpression>
#include <filesystem>

#include "anim/compress_dialog.h"
#include "anim/seq_form.h"
#include "gui_fixture.h"
#include "settings/texts.h"
#include "ui/about_box.h"
#include "ui/ops_form.h"

namespace quarvel {
namespace {

struct LanguagesTest : GuiTest {
  QStringList english;  // the English texts to find nowhere: the file's and some of Qt's own
  QStringList found;

  void Check(const QString& text) {
    if (english.contains(text)) found << text;
  }
  // Every caption, title and hint of `window` and what it holds.
  void Collect(QWidget* window) {
    QList<QWidget*> widgets = window->findChildren<QWidget*>();
    for (QWidget* w : widgets << window) {
      Check(w->windowTitle());
      Check(w->toolTip());
      if (auto* l = qobject_cast<QLabel*>(w)) Check(l->text());
      if (auto* b = qobject_cast<QAbstractButton*>(w)) Check(b->text());
      if (auto* g = qobject_cast<QGroupBox*>(w)) Check(g->title());
    }
    for (QAction* a : window->findChildren<QAction*>())
      Check(a->text()), Check(a->toolTip());
  }
  // Collects the modal dialog of type T that `open` brings up, then closes it.
  template <typename T>
  void CollectModal(QObject* owner, const std::function<void()>& open) {
    WhenUp<T>(owner, [&](T* dialog) { Collect(dialog), dialog->reject(); });
    open();
  }
};

TEST_F(LanguagesTest, EveryWindowSpeaksTheChosenLanguage) {
  // English, then German: the second window starts in German and switches to French.
  const char* const languages[] = {"Deutsch", "Français"};
  for (const char* language : languages)
    std::filesystem::copy_file(
        std::string(QUARVEL_TEST_DATA "/../../lang/") + language + ".quarvel.lang",
        dir.Path(language + std::string(".quarvel.lang")));
  for (int entry : {1, 2}) {
    const TLocalizer file(dir.Path(languages[entry - 1] + std::string(".quarvel.lang")));
    const auto tr = [&](std::string_view s) {
      return QString::fromStdString(file.TranslateText(s));
    };
    english = {"Look in:", "File &name:", "Files of type:", "Cancel", "&Save", "&Open"};
    for (std::string_view text : TranslatableTexts())
      if (tr(text) != QString::fromUtf8(text)) english << QString::fromUtf8(text);
    found.clear();
    auto form = MakeForm();
    form->Open3DS(QUARVEL_SAMPLES "/knot.3ds");
    form->findChild<QAction*>("Render1")->trigger();
    form->findChild<QMenu*>("Language1")->actions()[entry]->trigger();
    EXPECT_EQ(Panel(*form, 0), "11520" + tr(" faces imported"));
    EXPECT_EQ(Panel(*form, 2), tr("%s depth mask ready").replace("%s", "640 x 480"));
    Collect(form.get());
    CollectModal<TAboutBox>(form.get(), [&] { form->About1Click(); });
    CollectModal<TOpsForm>(form.get(), [&] { form->OpsButtonClick(); });
    CollectModal<QFileDialog>(form.get(), [&] { form->Save1Click(); });
    form->errorHook = nullptr;
    CollectModal<QMessageBox>(form.get(), [&] { form->Open3DS("model.txt"); });
    QString length;
    WhenUp<TSeqForm>(form.get(), [&](TSeqForm* d) {
      d->findChild<QAbstractButton*>("AviItem")->click();
      length = d->findChild<QLabel*>("LengthLabel")->text();
      Collect(d);
      CollectModal<TCompressDialog>(
          d, [&] { d->findChild<QAbstractButton*>("CompressButton")->click(); });
      d->findChild<QAbstractButton*>("CloseButton")->click();
    });
    form->ExportBMPSequence1Click();
    EXPECT_TRUE(length.contains(QRegularExpression("\\d,\\d\\d"))) << length.toStdString();
    EXPECT_EQ(found.join(" | ").toStdString(), "") << languages[entry - 1];
  }
}

// --help and --version answer on their own, with no display to open.
TEST(ProgramTest, HelpAndVersionNeedNoDisplay) {
  test::ScratchDir dir;
  for (std::string c : {"--help:Usage: quarvel", "--version:Quarvel 1.55\n"}) {
    const std::string argument = c.substr(0, c.find(':'));
    EXPECT_EQ(test::RunInDir(
                  dir, "env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb " QUARVEL_EXE " " +
                           argument + " >out.txt"),
              0);
    const std::vector<uint8_t> out = test::ReadFile(dir.Path("out.txt"));
    EXPECT_TRUE(std::string(out.begin(), out.end()).starts_with(c.substr(argument.size() + 1)));
  }
}

}  // namespace
}  // namespace quarvel
