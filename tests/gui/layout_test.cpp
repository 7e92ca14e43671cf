// The window's layout: where it opens, how small it may get, where the progress bar sits, the
// splitter's limits and hint, and names shown as they are.
#include <QAction>
#include <QMenu>
#include <QProgressBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QToolButton>
#include <QToolTip>

#include "dialogs/dialogs.h"
#include "gui_fixture.h"

namespace quarvel {
namespace {

TEST_F(GuiTest, AWindowStoredOffScreenOpensOnTheScreen) {
  WriteSettings("[Props]\nWindowState=0\nleft=300\ntop=900\nwidth=700\nheight=500\n");
  TMainForm form(Locations());
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  const QRect screen = form.screen()->availableGeometry();
  EXPECT_TRUE(screen.contains(form.frameGeometry())) << "the window lies within the screen";
  EXPECT_EQ(form.size(), QSize(700, 500));
}

TEST_F(GuiTest, AtItsSmallestTheControlsAndStatusBarStayWhole) {
  auto form = MakeForm();
  form->resize(200, 150);
  QTest::qWait(50);
  EXPECT_GE(form->width(), form->minimumWidth());
  for (QToolButton* arrow : form->findChildren<QToolButton*>(QRegularExpression("^UpDown"))) {
    EXPECT_EQ(arrow->visibleRegion().boundingRect().size(), arrow->size())
        << arrow->objectName().toStdString() << " is cut";
  }
  const auto* bar = form->findChild<QProgressBar*>("ProgressBar");
  const auto* ready = form->findChild<QLabel*>("StatusPanel2");
  EXPECT_GE(ready->geometry().left(), bar->geometry().right()) << "the ready text is clear of it";
  EXPECT_LE(ready->geometry().right(), form->statusBar()->width());
}

TEST_F(GuiTest, TheProgressBarSitsWhollyInTheStatusBar) {
  auto form = MakeForm();
  const QStatusBar* status = form->statusBar();
  const auto* bar = form->findChild<QProgressBar*>("ProgressBar");
  EXPECT_EQ(bar->parentWidget(), status);
  EXPECT_EQ(bar->geometry(), QRect(153, 3, 146, status->height() - 3));
  EXPECT_TRUE(status->rect().contains(bar->geometry()));
}

TEST_F(GuiTest, ThePreviewPaneLeavesTheViewRoomAndStoresItsRealWidth) {
  WriteSettings("[Props]\nWindowState=0\nSplitter=5000\n");
  const auto stored = [&] { return ReadProps(SettingsFile(Locations().Settings())).Splitter; };
  {
    TMainForm form(Locations());
    form.resize(900, 600);
    form.SaveSettings();  // a save before the window is shown
    EXPECT_LE(stored(), 900 - 20);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const int pane = form.findChild<QWidget*>("Panel1")->width();
    EXPECT_LE(pane, form.width() - 20);
    EXPECT_GE(form.findChild<QWidget*>("Panel2")->width(), 120) << "the 3D view";
    form.resize(600, 600);
    EXPECT_LE(form.findChild<QWidget*>("Panel1")->width(), 600 - 20);
    EXPECT_GE(form.findChild<QWidget*>("Panel2")->width(), 120);
    form.close();
    EXPECT_EQ(stored(), form.findChild<QWidget*>("Panel1")->width());
  }
}

// Hovers over the splitter of a window that was never clicked and gives the hint that shows.
QString SplitterHint(TMainForm& form) {
  QWidget* handle = form.findChild<QSplitter*>("RxSplitter1")->handle(1);
  EXPECT_FALSE(form.isActiveWindow()) << "the case of a window that was never clicked";
  QTest::mouseMove(handle, handle->rect().center());  // moves the pointer itself, as a user
  for (int i = 0; i < 100 && !QToolTip::isVisible(); ++i)
    QTest::qWait(20);
  return QToolTip::isVisible() ? QToolTip::text() : QString();
}

TEST_F(GuiTest, TheSplittersHintShowsFromTheStartWithHintsOn) {
  WriteSettings("[Props]\nHints=1\n");
  auto form = MakeForm();
  EXPECT_EQ(SplitterHint(*form), "Press and drag to resize model and preview panels");
}

TEST_F(GuiTest, TheSplittersHintShowsFromTheStartWithHintsOff) {
  WriteSettings("[Props]\nHints=0\n");
  auto form = MakeForm();
  EXPECT_EQ(SplitterHint(*form), "Press and drag to resize model and preview panels");
}

TEST_F(GuiTest, NamesAndTitlesShowWithoutAcceleratorMarks) {
  EXPECT_EQ(DialogTitle("&Open"), "Open");
  EXPECT_EQ(DialogTitle("&Speichern"), "Speichern");
  EXPECT_EQ(DialogTitle("R&&D"), "R&D");
  const std::string model = dir.Write("R&D.3ds", test::SmallestModel());
  WriteSettings("[Recent]\nItem_0=" + model + "\n");
  auto form = MakeForm();
  const QAction* entry = form->findChild<QAction*>("MRU1");
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->text(), "&1\tR&&D.3ds");
}

}  // namespace
}  // namespace quarvel
