// The window's commands under failure: no exception ends the window, the preview never reads a
// mask being drawn, Esc cancels only from the main window, and saving reports what went wrong.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QFileDialog>
#include <QMessageBox>
#include <QSpinBox>
#include <QTimer>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "gui_fixture.h"
#include "render/fast_raster.h"
#include "samples/shapes.h"
#include "widgets/preview_box.h"

namespace quarvel {
namespace {

// Runs in a process of its own (see the next test): with too little memory for a 10000 x 10000
// mask, Render reports it, and the window goes on rendering smaller masks and closes normally.
TEST_F(GuiTest, OutOfMemoryChild) {
  if (!IsChild("GuiTest.OutOfMemoryChild")) GTEST_SKIP() << "run by the next test";
  auto form = MakeForm();
  form->Open3DS(QUARVEL_SAMPLES "/knot.3ds");
  ASSERT_TRUE(form->workspace().scene.ModelLoaded);
  form->findChild<QSpinBox*>("UpDown4")->setValue(10000);
  form->findChild<QSpinBox*>("UpDown5")->setValue(10000);
  const rlimit limit{test::MappedBytes() + (64u << 20), RLIM_INFINITY};
  ASSERT_EQ(::setrlimit(RLIMIT_AS, &limit), 0);
  form->findChild<QAction*>("Render1")->trigger();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "Not enough memory to finish this command");
  EXPECT_FALSE(form->workspace().busy);
  EXPECT_FALSE(form->findChild<QAction*>("Save1")->isEnabled()) << "no half-drawn mask to save";
  EXPECT_TRUE(form->findChild<QAction*>("Render1")->isEnabled());
  form->findChild<QSpinBox*>("UpDown4")->setValue(640);
  form->findChild<QSpinBox*>("UpDown5")->setValue(480);
  form->findChild<QAction*>("Render1")->trigger();
  EXPECT_EQ(Panel(*form, 2), "640 x 480 depth mask ready");
  EXPECT_TRUE(form->close());
}

// The 3D view on the renderer that compiles no code at run time: under a memory limit a compiler's
// failure would end the process before the window could report anything.
const ChildEnvironment kSoftpipe = {{"GALLIUM_DRIVER", "softpipe"}};

TEST_F(GuiTest, RunningOutOfMemoryLeavesTheWindowUsable) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers reserve more address space than any limit allows";
#endif
  EXPECT_EQ(RunChild("GuiTest.OutOfMemoryChild", kSoftpipe), 0);
}

// Runs in a process of its own (see the next test): on a full disk, made with a limit on the size
// of files, Save names the file and the system's reason on a second line.
TEST_F(GuiTest, FullDiskChild) {
  if (!IsChild("GuiTest.FullDiskChild")) GTEST_SKIP() << "run by the next test";
  auto form = MakeForm();
  form->Open3DS(QUARVEL_SAMPLES "/knot.3ds");
  form->findChild<QAction*>("Render1")->trigger();
  ::signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{4096, 4096};
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
  const std::string path = dir.Path("mask.bmp");
  EXPECT_FALSE(form->SaveMask(QString::fromStdString(path)));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], QString::fromStdString("Stream write error\n" + path + ": File too large"));
  EXPECT_FALSE(form->workspace().busy);
}

TEST_F(GuiTest, AFullDiskIsReportedWithTheFileAndTheReason) {
  EXPECT_EQ(RunChild("GuiTest.FullDiskChild", kSoftpipe), 0);
}

TEST_F(GuiTest, ThePreviewWaitsForTheRenderToEnd) {
  const TriangleMesh knot = TorusKnot(5000, 40);  // 400,000 faces, long enough to watch
  const std::string path =
      dir.Write("big.3ds", Write3DS(SplitMesh("K", knot.vertices, knot.faces)));
  auto form = MakeForm();
  form->pump.intervalMs = 0;
  form->Open3DS(QString::fromStdString(path));
  form->findChild<QSpinBox*>("UpDown4")->setValue(10000);
  form->findChild<QSpinBox*>("UpDown5")->setValue(10000);
  auto* preview = form->findChild<OutBox*>("OutBox");
  // While the render runs, the window is resized and the splitter moved, as a user might. The
  // bands are drawn on this thread, which lets the window in after each of them: drawn on
  // threads of their own, they may all be done before the first look in on a busy machine.
  SetThreadFaultsForTesting({.refuseFrom = 0});
  int duringRender = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (!form->workspace().rendering) return;
    ++duringRender;
    form->resize(form->width() + (duringRender % 2 ? 7 : -7), form->height());
    form->UpdatePreview();
    EXPECT_TRUE(preview->picture().isNull()) << "a preview of a mask still being drawn";
    EXPECT_FALSE(Panel(*form, 2).contains("ready"));
  });
  timer.start(0);
  form->findChild<QAction*>("Render1")->trigger();
  timer.stop();
  SetThreadFaultsForTesting({});
  EXPECT_GT(duringRender, 0);
  EXPECT_FALSE(preview->picture().isNull());
  EXPECT_EQ(Panel(*form, 2), "10000 x 10000 depth mask ready");
}

TEST_F(GuiTest, EscCancelsOnlyFromTheMainWindow) {
  auto form = MakeForm();
  AbortRequested = 0;
  QMessageBox box(QMessageBox::Critical, "Error", "text", QMessageBox::Ok, form.get());
  box.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
  QTest::keyClick(&box, Qt::Key_Escape);
  EXPECT_EQ(AbortRequested.load(), 0) << "Esc in a message box only closes it";
  QTest::keyClick(form->findChild<QWidget*>("DXDraw"), Qt::Key_Escape);
  EXPECT_EQ(AbortRequested.load(), -1);
  AbortRequested = 0;
}

TEST_F(GuiTest, SaveStartsInTheModelsFolderWithAPlainTitle) {
  const std::string model = dir.Write("m.3ds", test::SmallestModel());
  auto form = MakeForm();
  form->Open3DS(QString::fromStdString(model));
  form->findChild<QAction*>("Render1")->trigger();
  QString folder, title;
  QTimer::singleShot(100, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    folder = dialog->directory().absolutePath();
    title = dialog->windowTitle();
    dialog->reject();
  });
  form->findChild<QAction*>("Save1")->trigger();
  EXPECT_EQ(folder, QFileInfo(QString::fromStdString(model)).absolutePath());
  EXPECT_EQ(title, "Save");
}

TEST_F(GuiTest, SaveRefusesTheModelAndGivesTheSystemsReason) {
  const auto bytes = test::SmallestModel();
  const std::string model = dir.Write("m.3ds", bytes);
  auto form = MakeForm();
  form->Open3DS(QString::fromStdString(model));
  form->findChild<QAction*>("Render1")->trigger();
  EXPECT_FALSE(form->SaveMask(QString::fromStdString(model)));
  EXPECT_EQ(test::ReadFile(model), bytes) << "the model is untouched";
  EXPECT_FALSE(form->SaveMask(QString::fromStdString(dir.Path("missing/mask.bmp"))));
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0], QString::fromStdString("Cannot save the mask over the model " + model));
  EXPECT_TRUE(errors[1].endsWith("\nNo such file or directory")) << errors[1].toStdString();
  EXPECT_TRUE(form->SaveMask(QString::fromStdString(dir.Path("mask.bmp"))));
}

}  // namespace
}  // namespace quarvel
