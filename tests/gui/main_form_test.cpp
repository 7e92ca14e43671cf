// The desktop program driven in a real window (under Xvfb in CI).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QOpenGLWidget>
#include <QProgressBar>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>

#include "gui_fixture.h"
#include "render/view_ops.h"
#include "samples/shapes.h"
#include "widgets/preview_box.h"

namespace quarvel {
namespace {

TEST_F(GuiTest, FirstStartOpensMaximizedAt640x480InEnglish) {
  TMainForm form(Locations());
  EXPECT_TRUE(form.windowState() & Qt::WindowMaximized);
  EXPECT_EQ(form.findChild<QSpinBox*>("UpDown4")->value(), 640);
  EXPECT_EQ(form.findChild<QSpinBox*>("UpDown5")->value(), 480);
  EXPECT_TRUE(form.findChild<QAction*>("Showhints1")->isChecked());
  EXPECT_TRUE(form.findChild<QToolBar*>("ToolBar1")->isVisibleTo(&form));
  EXPECT_FALSE(form.findChild<QMenu*>("Language1")->menuAction()->isVisible());
  EXPECT_EQ(form.findChild<QLabel*>("Label4")->text(), "Rotation");
  EXPECT_EQ(form.windowTitle(), "Quarvel 1.55");
  EXPECT_FALSE(form.findChild<QAction*>("Save1")->isEnabled());
  EXPECT_FALSE(form.findChild<QAction*>("Render1")->isEnabled());
  EXPECT_TRUE(form.recentFiles().empty());
}

TEST_F(GuiTest, OpenRenderSaveGivesTheBatchRenderersMask) {
  auto form = MakeForm();
  form->Open3DS(QUARVEL_SAMPLES "/knot.3ds");
  EXPECT_EQ(Panel(*form, 0), "11520 faces imported");
  EXPECT_EQ(form->windowTitle(), "Quarvel 1.55 : knot.3ds");
  EXPECT_TRUE(form->findChild<QAction*>("Render1")->isEnabled());

  // Three clicks on the right arrow of the Y turn, one on the left of the left-right move.
  for (int i = 0; i < 3; ++i)
    QTest::mouseClick(form->findChild<QToolButton*>("UpDownYRight"), Qt::LeftButton);
  QTest::mouseClick(form->findChild<QToolButton*>("UpDown1Left"), Qt::LeftButton);
  form->findChild<QAction*>("Render1")->trigger();
  EXPECT_EQ(Panel(*form, 2), "640 x 480 depth mask ready");
  EXPECT_FALSE(form->findChild<OutBox*>("OutBox")->picture().isNull());
  EXPECT_TRUE(form->findChild<QAction*>("Save1")->isEnabled());
  ASSERT_TRUE(form->SaveMask(QString::fromStdString(dir.Path("gui.bmp"))));

  const std::string cli = std::string(QUARVEL_RENDER_EXE) + " " + QUARVEL_SAMPLES +
                          "/knot.3ds --clicks y:-3 --move-x -0.1 -o " + dir.Path("cli.bmp");
  ASSERT_EQ(std::system(cli.c_str()), 0);
  EXPECT_EQ(test::ReadFile(dir.Path("gui.bmp")), test::ReadFile(dir.Path("cli.bmp")));
  EXPECT_TRUE(errors.empty());
}

// An OpenGL context lost while the window is open (a driver reset, say: the view reports it) gives
// way to the panel; the arrows then wait for a view that can draw, and Render goes on.
TEST_F(GuiTest, ALostOpenGLContextLeavesThePanel) {
  auto form = MakeForm();
  form->Open3DS(QUARVEL_SAMPLES "/knot.3ds");
  auto* shaded = form->findChild<QOpenGLWidget*>();
  ASSERT_NE(shaded, nullptr);
  EXPECT_EQ(form->findChild<QLabel*>("NoOpenGL"), nullptr);
  QMetaObject::invokeMethod(shaded, "contextLost");
  EXPECT_TRUE(QTest::qWaitFor([&] { return form->findChild<QLabel*>("NoOpenGL") != nullptr; }));
  EXPECT_TRUE(QTest::qWaitFor([&] { return form->findChild<QOpenGLWidget*>() == nullptr; }));

  const Transform before = form->workspace().scene.ModelFrame->GetTransform();
  QTest::mouseClick(form->findChild<QToolButton*>("UpDownYRight"), Qt::LeftButton);
  const Transform after = form->workspace().scene.ModelFrame->GetTransform();
  EXPECT_EQ(0, std::memcmp(&before, &after, sizeof before));
  form->findChild<QAction*>("Render1")->trigger();
  EXPECT_EQ(Panel(*form, 2), "640 x 480 depth mask ready");
}

TEST_F(GuiTest, ArrowsAndDragsPlaceTheModel) {
  auto form = MakeForm();
  form->Open3DS(QUARVEL_SAMPLES "/knot.3ds");
  Scene& scene = form->workspace().scene;
  Scene expected;
  ASSERT_TRUE(LoadModel(expected, QUARVEL_SAMPLES "/knot.3ds", {}).ok);

  QTest::mouseClick(form->findChild<QToolButton*>("UpDownXLeft"), Qt::LeftButton);
  TurnModel(expected, 1, 0, 0, kClickAngle);
  QTest::mouseClick(form->findChild<QToolButton*>("UpDown3Right"), Qt::LeftButton);
  MoveFrameZ(expected, MoveStep(expected.FitScale));
  EXPECT_EQ(scene.ModelFrame->GetPosition(), expected.ModelFrame->GetPosition());

  // A left drag turns by one step per mouse-move event about an axis across the drag.
  QWidget* view = form->findChild<QWidget*>("DXDraw");
  QTest::mousePress(view, Qt::LeftButton, {}, QPoint(100, 100));
  QMouseEvent move(QEvent::MouseMove, QPointF(110, 100), view->mapToGlobal(QPointF(110, 100)),
                   Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(view, &move);
  TurnModel(expected, 0, -1, 0, kClickAngle);
  const Transform got = scene.ModelFrame->GetTransform(),
                  want = expected.ModelFrame->GetTransform();
  EXPECT_EQ(0, std::memcmp(&got, &want, sizeof got));

  // A right drag with Shift moves the mesh along its own z by FitScale per 10 pixels.
  QTest::mousePress(view, Qt::RightButton, {}, QPoint(100, 100));
  const float zBefore = scene.ModelMesh->GetBox().max.z;
  QMouseEvent up(QEvent::MouseMove, QPointF(100, 90), view->mapToGlobal(QPointF(100, 90)),
                 Qt::NoButton, Qt::RightButton, Qt::ShiftModifier);
  QApplication::sendEvent(view, &up);
  EXPECT_NEAR(scene.ModelMesh->GetBox().max.z - zBefore, scene.FitScale, 1e-4);
}

TEST_F(GuiTest, BadFilesAreReported) {
  auto form = MakeForm();
  form->Open3DS(QString::fromStdString(dir.Write("notes.txt", {1, 2, 3})));
  const auto wrong = test::ReadFile(QUARVEL_TEST_DATA "/wrong.3ds");
  form->Open3DS(QString::fromStdString(dir.Write("wrong.3ds", wrong)));
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0], "Unsupported input file type");
  EXPECT_EQ(errors[1], "Error parsing 3DS file");
  EXPECT_EQ(form->windowTitle(), "Quarvel 1.55");
  EXPECT_FALSE(form->findChild<QAction*>("Render1")->isEnabled());
}

TEST_F(GuiTest, EscStopsALargeImportWithTheFacesReadSoFar) {
  const TriangleMesh knot = TorusKnot(2500, 80);  // 400,000 faces in seven objects
  const std::string path =
      dir.Write("big.3ds", Write3DS(SplitMesh("K", knot.vertices, knot.faces)));
  auto form = MakeForm();
  form->pump.intervalMs = 0;
  // Once the first object is in, press Esc as a user would.
  std::function<void()> watch = [&] {
    if (form->workspace().scene.ModelMesh->FaceCount() > 0)
      QTest::keyClick(form.get(), Qt::Key_Escape);
    else if (form->workspace().busy)
      QTimer::singleShot(0, watch);
  };
  QTimer::singleShot(0, watch);
  form->Open3DS(QString::fromStdString(path));
  const size_t faces = form->workspace().scene.ModelMesh->FaceCount();
  EXPECT_GT(faces, 0u);
  EXPECT_LT(faces, knot.faces.size());
  EXPECT_EQ(Panel(*form, 0), QString("%1 faces imported").arg(faces));
  EXPECT_TRUE(form->workspace().scene.ModelLoaded);
  EXPECT_EQ(AbortRequested.load(), 0);
}

TEST_F(GuiTest, LongWorkKeepsTheWindowAlive) {
  // 400,000 faces to import. Hidden faces are skipped whole, so the render's work comes from 600
  // large faces crossing each other at random slants, each in front somewhere and covering
  // millions of pixels of the 10000 x 10000 mask.
  TriangleMesh knot = TorusKnot(5000, 40);
  Vec3 lo = knot.vertices[0], hi = lo;
  for (const Vec3& v : knot.vertices) {
    lo = {std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
    hi = {std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
  }
  std::mt19937 rng(60);
  auto in = [&](float a, float b) { return std::uniform_real_distribution<float>(a, b)(rng); };
  for (int i = 0; i < 600; ++i) {
    const auto base = uint32_t(knot.vertices.size());
    for (int k = 0; k < 3; ++k)
      knot.vertices.push_back({in(lo.x, hi.x), in(lo.y, hi.y), in(lo.z, hi.z)});
    knot.faces.push_back({base, base + 1, base + 2});
  }
  const std::string path =
      dir.Write("big.3ds", Write3DS(SplitMesh("K", knot.vertices, knot.faces)));
  auto form = MakeForm();
  form->pump.intervalMs = 0;
  // A timer that fires whenever the window processes its messages, and what the progress shows.
  int ticks = 0;
  std::set<int> progress;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    ++ticks;
    progress.insert(form->findChild<QProgressBar*>("ProgressBar")->value());
  });
  timer.start(0);
  form->Open3DS(QString::fromStdString(path));
  EXPECT_GT(ticks, 0) << "the import let the window process its messages";
  ticks = 0;
  progress.clear();
  form->findChild<QSpinBox*>("UpDown4")->setValue(10000);
  form->findChild<QSpinBox*>("UpDown5")->setValue(10000);
  form->findChild<QAction*>("Render1")->trigger();
  EXPECT_GT(ticks, 0) << "so did the render";
  EXPECT_GT(progress.size(), 1u) << "and the progress bar moved";
  EXPECT_EQ(form->findChild<QProgressBar*>("ProgressBar")->value(), 0);
}

TEST_F(GuiTest, CloseDuringALoadWaitsForIt) {
  const TriangleMesh knot = TorusKnot(1000, 40);
  const std::string path = dir.Write("k.3ds", Write3DS(SplitMesh("K", knot.vertices, knot.faces)));
  auto form = MakeForm();
  form->pump.intervalMs = 0;
  QTimer::singleShot(0, form.get(), [&] { form->close(); });
  form->Open3DS(QString::fromStdString(path));
  EXPECT_EQ(form->workspace().scene.ModelMesh->FaceCount(), knot.faces.size())
      << "the load ran to its end";
  QTest::qWait(50);
  EXPECT_FALSE(form->isVisible()) << "then the window closed";
}

TEST_F(GuiTest, SettingsSurviveARestartAndLanguagesSwitchLive) {
  dir.Write("Deutsch.quarvel.lang",
            {'[', 'L', 'o', 'c', 'a', 'l', 'e', ']', '\n', 'R', 'o', 't', 'a',
             't', 'i', 'o', 'n', '=', 'D', 'r', 'e', 'h',  'u', 'n', 'g', '\n'});
  {
    auto form = MakeForm();
    form->setWindowState(Qt::WindowNoState);
    form->findChild<QSpinBox*>("UpDown4")->setValue(800);
    form->findChild<QSplitter*>("RxSplitter1")->setSizes({560, 330});
    form->SaveSettings();
    form->findChild<QAction*>("Showtoolbar1")->trigger();
    QMenu* language = form->findChild<QMenu*>("Language1");
    ASSERT_TRUE(language->menuAction()->isVisible());
    ASSERT_EQ(language->actions().size(), 2);
    language->actions()[1]->trigger();
    EXPECT_EQ(form->findChild<QLabel*>("Label4")->text(), "Drehung");
    EXPECT_EQ(form->findChild<QLabel*>("Label5")->text(), "Moving");
    form->close();
  }
  auto again = MakeForm();
  EXPECT_EQ(again->findChild<QSpinBox*>("UpDown4")->value(), 800);
  EXPECT_EQ(again->findChild<QWidget*>("Panel1")->width(), 330);
  EXPECT_FALSE(again->findChild<QAction*>("Showtoolbar1")->isChecked());
  EXPECT_EQ(again->findChild<QLabel*>("Label4")->text(), "Drehung");
}

TEST_F(GuiTest, ANewerCopysTerminationRequestClosesAndSaves) {
  auto form = MakeForm();
  form->setWindowState(Qt::WindowNoState);
  form->findChild<QSpinBox*>("UpDown5")->setValue(777);
  ::raise(SIGTERM);  // as a newer copy started with "SingleInstance" would send it
  for (int i = 0; i < 50 && form->isVisible(); ++i)
    QTest::qWait(10);
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(ReadProps(SettingsFile(Locations().Settings())).PicHeight, 777);
}

TEST_F(GuiTest, ATerminationRequestClosesAWaitingMessageBoxAndTheWindow) {
  auto form = MakeForm();
  form->errorHook = nullptr;  // a real message box, waiting for the user
  const std::string fifo = dir.Path("pipe.3ds");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  QTimer::singleShot(200, [] { ::raise(SIGTERM); });
  form->Open3DS(QString::fromStdString(fifo));  // returns once the box is closed
  for (int i = 0; i < 50 && form->isVisible(); ++i)
    QTest::qWait(10);
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// A stop signal cuts a long render short, its half-drawn mask dropped, and closes the window within
// moments (the aim is one second; the bound is wide for the sanitizers' builds).
TEST_F(GuiTest, AStopSignalCutsARenderShortAndClosesTheWindow) {
  dir.Write("m.3ds", Write3DS({{"T",
                                {{0, 0, 0}, {1, 0, .5f}, {0, 1, 1}},
                                std::vector<std::array<uint16_t, 3>>(10000, {0, 1, 2})}}));
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    auto form = MakeForm();
    form->Open3DS(QString::fromStdString(dir.Path("m.3ds")));
    form->findChild<QSpinBox*>("UpDown4")->setValue(4000);
    form->findChild<QSpinBox*>("UpDown5")->setValue(4000);
    const QDeadlineTimer signalPlus5s(6000);
    QTimer::singleShot(1000, [signal] { ::raise(signal); });
    form->findChild<QAction*>("Render1")->trigger();  // returns once the render has ended
    while (form->isVisible() && !signalPlus5s.hasExpired())
      QTest::qWait(10);
    EXPECT_FALSE(form->isVisible()) << signal << ": still open 5 s after the signal";
    EXPECT_FALSE(form->workspace().render.MaskReady) << signal;
    EXPECT_TRUE(errors.empty()) << signal;
  }
}

void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QTest::keyClick(QApplication::focusWidget(), key, modifiers);
}
void Activate(QWidget* window) {  // without a window manager a closed dialog leaves none active
  window->activateWindow();
  EXPECT_TRUE(QTest::qWaitForWindowActive(window));
}

// Right after start, with a model and never a click.
TEST_F(GuiTest, TheKeyboardAloneDrivesTheWindow) {
  auto form = MakeForm();
  form->Open3DS(QUARVEL_SAMPLES "/knot.3ds");
  Activate(form.get());
  QStringList path;
  for (int i = 0; i < 10; ++i) {
    if (i > 0) Press(Qt::Key_Tab);
    path << QApplication::focusWidget()->objectName();
    if (path.back() == "UpDown1") Press(Qt::Key_Left);  // its left arrow
  }
  EXPECT_EQ(path.join(' '),
            "DXDraw UpDownX UpDownY UpDownZ UpDown1 UpDown2 UpDown3 UpDown4 UpDown5 DXDraw");
  for (const Qt::Key key : {Qt::Key_Right, Qt::Key_Right, Qt::Key_Right, Qt::Key_Up})
    Press(key);                              // Y's right arrow three times, X's left arrow
  Press(Qt::Key_Left, Qt::ControlModifier);  // Z's left arrow
  Press(Qt::Key_R, Qt::ControlModifier);
  ASSERT_TRUE(form->SaveMask(QString::fromStdString(dir.Path("keys.bmp"))));
  const std::string cli = std::string(QUARVEL_RENDER_EXE) + " " + QUARVEL_SAMPLES +
                          "/knot.3ds --move-x -0.1 --clicks y:-3 --clicks x:1 --clicks z:1 -o " +
                          dir.Path("cli.bmp");
  ASSERT_EQ(std::system(cli.c_str()), 0);
  EXPECT_EQ(test::ReadFile(dir.Path("keys.bmp")), test::ReadFile(dir.Path("cli.bmp")));

  // A menu key wins over the size boxes, Exit's Alt+X over the animation dialog's number boxes.
  for (const auto& [focus, key] : {std::pair{"UpDown4", Qt::Key_E}, {"UpDown5", Qt::Key_A}}) {
    Activate(form.get());
    form->findChild<QWidget*>(focus)->setFocus();
    QString opened, folder;
    WhenUp<QDialog>(form.get(), [&](QDialog* dialog) {
      opened = dialog->objectName();
      if (opened == "SeqForm") {  // and its first AVI file dialog starts in the model's folder
        WhenUp<QFileDialog>(dialog, [&](QFileDialog* files) {
          folder = files->directory().absolutePath();
          files->reject();
        });
        dialog->findChild<QAbstractButton*>("AviItem")->click();
        dialog->findChild<QAbstractButton*>("NextButton")->click();
        EXPECT_EQ(folder, QDir(QUARVEL_SAMPLES).absolutePath());
        Activate(dialog);
        dialog->findChild<QWidget*>("XUpDown")->setFocus();
        Press(Qt::Key_X, Qt::AltModifier);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog->isVisible(); }, 2000));
      }
      if (dialog->isVisible()) dialog->reject();
    });
    Press(key, Qt::ControlModifier);
    EXPECT_EQ(opened, key == Qt::Key_E ? "SeqForm" : "AboutBox") << focus;
  }
}

}  // namespace
}  // namespace quarvel
