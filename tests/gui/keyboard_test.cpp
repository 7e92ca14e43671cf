// The main window driven from the keyboard alone: the menus' keys wherever the focus is, the Tab
// path through the controls, and the arrow keys of the arrow pairs and of the 3D view.
#include <QApplication>
#include <QDialog>
#include <QSpinBox>

#include "gui_fixture.h"

namespace quarvel {
namespace {

struct KeyboardTest : GuiTest {
  std::unique_ptr<TMainForm> form;

  void SetUp() override {
    form = MakeForm();
    Activate();
    form->Open3DS(QUARVEL_SAMPLES "/knot.3ds");
  }
  // Without a window manager a closed dialog gives the focus back to no window.
  void Activate() {
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  }
  static void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(QApplication::focusWidget(), key, modifiers);
  }
  static QString Focus() { return QApplication::focusWidget()->objectName(); }
};

TEST_F(KeyboardTest, MenuKeysWinOverTheControlWithTheFocus) {
  EXPECT_EQ(Focus(), "DXDraw") << "the 3D view has the focus at start";
  const struct {
    const char* focus;
    Qt::Key key;
    const char* opens;
  } cases[] = {{"DXDraw", Qt::Key_A, "AboutBox"},
               {"UpDown4", Qt::Key_E, "SeqForm"},
               {"UpDown5", Qt::Key_A, "AboutBox"}};
  for (const auto& c : cases) {
    Activate();
    form->findChild<QWidget*>(c.focus)->setFocus();
    QString opened;
    WhenUp<QDialog>(form.get(), [&](QDialog* dialog) {
      opened = dialog->objectName();
      // The dialog's own keys are not taken by its number boxes either.
      if (dialog->findChild<QSpinBox*>("XUpDown")) {
        dialog->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog));
        dialog->findChild<QWidget*>("XUpDown")->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_X, Qt::AltModifier);
        for (int i = 0; i < 100 && dialog->isVisible(); ++i)
          QTest::qWait(10);  // the button shows itself pressed before it clicks
        EXPECT_FALSE(dialog->isVisible()) << "Alt+X is Exit";
      }
      if (dialog->isVisible()) dialog->reject();
    });
    Press(c.key, Qt::ControlModifier);
    EXPECT_EQ(opened, c.opens) << c.focus;
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << c.focus;
  }
}

TEST_F(KeyboardTest, TheKeyboardPathGivesTheMaskOfTheSameClicks) {
  QStringList path;
  for (int i = 0; i < 9; ++i) {
    Press(Qt::Key_Tab);
    path << Focus();
    if (Focus() == "UpDown1") Press(Qt::Key_Left);  // one step left
  }
  EXPECT_EQ(path.join(' '),
            "UpDownX UpDownY UpDownZ UpDown1 UpDown2 UpDown3 UpDown4 UpDown5 DXDraw");
  for (int i = 0; i < 3; ++i)
    Press(Qt::Key_Right);  // the right arrow of Y
  Press(Qt::Key_Up);       // the left arrow of X
  for (int i = 0; i < 2; ++i)
    Press(Qt::Key_Left, Qt::ControlModifier);  // the left arrow of Z
  Press(Qt::Key_R, Qt::ControlModifier);
  ASSERT_TRUE(form->SaveMask(QString::fromStdString(dir.Path("keys.bmp"))));

  const std::string cli = std::string(QUARVEL_RENDER_EXE) + " " + QUARVEL_SAMPLES +
                          "/knot.3ds --move-x -0.1 --clicks y:-3 --clicks x:1 --clicks z:2 -o " +
                          dir.Path("cli.bmp");
  ASSERT_EQ(std::system(cli.c_str()), 0);
  EXPECT_EQ(test::ReadFile(dir.Path("keys.bmp")), test::ReadFile(dir.Path("cli.bmp")));
  EXPECT_TRUE(errors.empty());
}

}  // namespace
}  // namespace quarvel
