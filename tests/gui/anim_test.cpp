// The animation dialog driven as a user would: runs to BMP sequences and AVI files, Cancel and
// Exit during a run, and a compressor chosen and found again when the dialog is reopened.
#include <sys/stat.h>

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QOpenGLWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <filesystem>

#include "dialogs/compress_dialog.h"
#include "dialogs/seq_form.h"
#include "gui_fixture.h"

namespace quarvel {
namespace {

// A FourCC as the 32-bit number the settings store: its first character in the lowest byte.
uint32_t FourCCValue(const char* code) {
  return uint32_t(uint8_t(code[0])) | uint32_t(uint8_t(code[1])) << 8 |
         uint32_t(uint8_t(code[2])) << 16 | uint32_t(uint8_t(code[3])) << 24;
}

struct AnimTest : GuiTest {
  std::unique_ptr<TMainForm> form;

  void SetUp() override {
    form = MakeForm();
    form->Open3DS(QUARVEL_SAMPLES "/knot.3ds");
    form->findChild<QSpinBox*>("UpDown4")->setValue(320);
    form->findChild<QSpinBox*>("UpDown5")->setValue(240);
  }

  // Opens the dialog with the Export command and runs `body` on it.
  void WithDialog(const std::function<void(TSeqForm&)>& body) {
    WithModal<TSeqForm>(form->findChild<QAction*>("ExportBMPSequence1"), "CloseButton", body);
  }

  static void Click(QWidget& dialog, const char* button) {
    dialog.findChild<QAbstractButton*>(button)->click();
  }
  static QString Status(QWidget& dialog) {
    return dialog.findChild<QLabel*>("StatusLabel")->text();
  }
  static void SetFrames(QWidget& dialog, int frames) {
    dialog.findChild<QSpinBox*>("LengthUpDown")->setValue(frames);
  }

  // Answers the next file dialog with `path`, typed into its name field as a user would.
  // (selectFile leaves that field as it is once it has the keyboard focus, and the dialog, still
  // showing the folder, then stays open.)
  static void AnswerFileDialog(QObject* owner, const std::string& path) {
    WhenUp<QFileDialog>(owner, [path](QFileDialog* files) {
      auto* name = files->findChild<QLineEdit*>("fileNameEdit");
      ASSERT_NE(name, nullptr);
      name->setText(QString::fromStdString(path));
      QMetaObject::invokeMethod(files, "accept");
    });
  }

  // Clicks `button` once the run has written `frames` frames.
  static void ClickDuringRun(QWidget& dialog, const char* button, int frames) {
    auto* timer = new QTimer(&dialog);
    QObject::connect(timer, &QTimer::timeout, [&dialog, timer, button, frames] {
      if (dialog.findChild<QProgressBar*>("Progress")->value() < frames) return;
      Click(dialog, button);
      timer->stop();
    });
    timer->start(0);
  }

  std::vector<uint8_t> Frame(const std::string& first, int i) const {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%04d.bmp", i);
    return test::ReadFile(first + suffix);
  }

  // A BMP run of `frames` frames from the sample as opened, checked against the batch renderer's.
  void ExpectBmpRunLikeTheBatchRenderers(int frames) {
    const std::string first = dir.Path("walk.bmp");
    WithDialog([&](TSeqForm& d) {
      Click(d, "BmpItem");
      SetFrames(d, frames);
      AnswerFileDialog(&d, first);
      Click(d, "NextButton");
      EXPECT_EQ(Status(d), "Rendering of BMP sequence finished.");
    });
    const std::string cli = std::string(QUARVEL_RENDER_EXE) + " " + QUARVEL_SAMPLES +
                            "/knot.3ds --size 320x240 --frames " + std::to_string(frames) +
                            " --bmp-sequence " + dir.Path("cli.bmp");
    ASSERT_EQ(std::system(cli.c_str()), 0);
    for (int i = 0; i < frames; ++i) {
      EXPECT_FALSE(Frame(first, i).empty()) << i;
      EXPECT_EQ(Frame(first, i), Frame(dir.Path("cli.bmp"), i)) << "frame " << i;
    }
    EXPECT_TRUE(Frame(first, frames).empty());
    EXPECT_TRUE(errors.empty());
  }
};

TEST_F(AnimTest, ABmpRunWritesTheBatchRenderersFrames) {
  ExpectBmpRunLikeTheBatchRenderers(4);
}

// Runs in a process of its own on Qt's offscreen platform, which has no OpenGL (see the next
// test): the view's place says why it is empty, the arrows wait for a view that can draw, and
// Render, Save and an animation run give the batch renderer's pictures.
TEST_F(AnimTest, WithoutOpenGLChild) {
  if (!IsChild("AnimTest.WithoutOpenGLChild")) GTEST_SKIP() << "run by the next test";
  EXPECT_EQ(form->findChild<QOpenGLWidget*>(), nullptr);
  auto* panel = form->findChild<QLabel*>("NoOpenGL");
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->text(), "The 3D view needs OpenGL, which this display does not offer.");

  QTest::mouseClick(form->findChild<QToolButton*>("UpDownYRight"), Qt::LeftButton);
  form->findChild<QAction*>("Render1")->trigger();
  ASSERT_TRUE(form->SaveMask(QString::fromStdString(dir.Path("gui.bmp"))));
  const std::string cli = std::string(QUARVEL_RENDER_EXE) + " " + QUARVEL_SAMPLES +
                          "/knot.3ds --size 320x240 -o " + dir.Path("cli.bmp");
  ASSERT_EQ(std::system(cli.c_str()), 0);
  EXPECT_EQ(test::ReadFile(dir.Path("gui.bmp")), test::ReadFile(dir.Path("cli.bmp")));
  ExpectBmpRunLikeTheBatchRenderers(3);
  EXPECT_TRUE(form->close());
}

TEST_F(AnimTest, TheWindowWorksWithoutOpenGL) {
  EXPECT_EQ(RunChild("AnimTest.WithoutOpenGLChild", {{"QT_QPA_PLATFORM", "offscreen"}}), 0);
}

TEST_F(AnimTest, AnAviRunWritesEveryFrame) {
  const std::string avi = dir.Path("turn.avi");
  WithDialog([&](TSeqForm& d) {
    Click(d, "AviItem");
    SetFrames(d, 6);
    d.askAviName = [&] { return QString::fromStdString(avi); };
    Click(d, "NextButton");
    EXPECT_EQ(Status(d), "AVI file was rendered successfully.");
  });
  const std::string probe =
      "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
      "stream=nb_read_frames -of csv=p=0 '" +
      avi + "' > '" + dir.Path("frames.txt") + "'";
  ASSERT_EQ(std::system(probe.c_str()), 0);
  const auto frames = test::ReadFile(dir.Path("frames.txt"));
  EXPECT_EQ(std::string(frames.begin(), frames.end()), "6\n");
}

TEST_F(AnimTest, CancelStopsARunAfterTheFrameUnderWay) {
  const std::string first = dir.Path("stop.bmp");
  WithDialog([&](TSeqForm& d) {
    Click(d, "BmpItem");
    SetFrames(d, 200);
    AnswerFileDialog(&d, first);
    ClickDuringRun(d, "CancelButton", 3);
    Click(d, "NextButton");
    EXPECT_EQ(Status(d), "Rendering of BMP sequence canceled.");
    EXPECT_FALSE(d.running());
    EXPECT_EQ(d.findChild<QProgressBar*>("Progress")->value(), 0);
  });
  EXPECT_FALSE(Frame(first, 3).empty());
  EXPECT_TRUE(Frame(first, 199).empty());
  EXPECT_EQ(AbortRequested.load(), 0);
}

TEST_F(AnimTest, ExitDuringARunClosesOnceTheRunHasEnded) {
  const std::string first = dir.Path("exit.bmp");
  bool stillOpenAfterExit = false;
  WithDialog([&](TSeqForm& d) {
    Click(d, "BmpItem");
    SetFrames(d, 8);
    AnswerFileDialog(&d, first);
    auto* timer = new QTimer(&d);
    QObject::connect(timer, &QTimer::timeout, [&d, timer, &stillOpenAfterExit] {
      if (!d.running()) return;
      Click(d, "CloseButton");
      stillOpenAfterExit = d.isVisible();
      timer->stop();
    });
    timer->start(0);
    Click(d, "NextButton");
    EXPECT_FALSE(d.isVisible()) << "closed when the run returned";
  });
  EXPECT_TRUE(stillOpenAfterExit);
  EXPECT_FALSE(Frame(first, 7).empty()) << "the run went to its end";
}

// A link or a FIFO put at the old fixed name in the temporary folder is never followed or opened.
TEST_F(AnimTest, AChosenCompressorIsFoundAgainWhenTheDialogReopens) {
  const std::string tmp = dir.Path("tmp"), planted = tmp + "/~TMP1.AVI";
  const std::vector<uint8_t> notes{'n', 'o', 't', 'e', 's'};
  const std::string victim = dir.Write("victim.txt", notes);
  std::filesystem::create_directory(tmp);
  std::filesystem::create_symlink(victim, planted);
  test::Environment env;
  env.Set("TMPDIR", tmp);
  QString label;
  int opened = 0;
  WithDialog([&](TSeqForm& d) {
    Click(d, "AviItem");
    const auto chooseFfv1 = [&](TCompressDialog* options) {
      ++opened;
      auto* list = options->findChild<QComboBox*>("Compressor");
      const int ffv1 = list->findData(FourCCValue("FFV1"));
      EXPECT_GE(ffv1, 0);
      list->setCurrentIndex(ffv1);
      options->accept();
    };
    WhenUp<TCompressDialog>(&d, chooseFfv1);
    Click(d, "CompressButton");
    std::filesystem::remove(planted);
    ASSERT_EQ(::mkfifo(planted.c_str(), 0600), 0);
    WhenUp<TCompressDialog>(&d, chooseFfv1);
    Click(d, "CompressButton");
    label = d.findChild<QLabel*>("CodecLabel")->text();
  });
  EXPECT_EQ(opened, 2);
  EXPECT_EQ(test::ReadFile(victim), notes);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmp), {}), 1) << "nothing left";
  EXPECT_TRUE(label.startsWith("ffv1\n")) << label.toStdString();
  EXPECT_EQ(uint32_t(ReadVideoSettings(SettingsFile(Locations().Settings())).fccHandler),
            FourCCValue("FFV1"));
  WithDialog([&](TSeqForm& d) { EXPECT_EQ(d.findChild<QLabel*>("CodecLabel")->text(), label); });
}

TEST_F(AnimTest, F1AsksForTheAnimationTopicAndTheDepthRangeHoldsWhileOpen) {
  QString topic;
  {
    AnimationHost host{form->workspace()};
    host.showHelp = [&](const QString& t) { topic = t; };
    TSeqForm dialog(form.get(), host);
    EXPECT_TRUE(form->workspace().animating) << "renders keep the animation's depth range";
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QTest::keyClick(&dialog, Qt::Key_F1);
  }
  EXPECT_EQ(topic, "Export_of_animation.htm");
  EXPECT_FALSE(form->workspace().animating);
}

TEST_F(AnimTest, RunsThatCannotStartSaySoBeforeAnyFileIsTouched) {
  const std::string longName = dir.Path(std::string(248, 'n') + ".bmp");  // 252 bytes
  WithDialog([&](TSeqForm& d) {
    Click(d, "BmpItem");
    SetFrames(d, 20);
    AnswerFileDialog(&d, longName);
    Click(d, "NextButton");
    EXPECT_EQ(Status(d), "The name is too long for the frame files: choose a shorter one.");

    Click(d, "AviItem");
    d.findChild<QSpinBox*>("FPSUpDown")->setValue(0);
    EXPECT_EQ(d.findChild<QLabel*>("LengthLabel")->text(), "AVI file length:        - s");
    bool asked = false;
    d.askAviName = [&] {
      asked = true;
      return QString::fromStdString(dir.Path("zero.avi"));
    };
    Click(d, "NextButton");
    EXPECT_FALSE(asked);
    EXPECT_EQ(Status(d), "The frame rate must be at least 1 frame per second for an AVI file");
    EXPECT_FALSE(d.running());
  });
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path("")))
    EXPECT_TRUE(entry.path().extension() != ".bmp" && entry.path().extension() != ".avi")
        << entry.path();
}

}  // namespace
}  // namespace quarvel
