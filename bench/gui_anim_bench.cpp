// The desktop program's animation export against quarvel-render's on the same run: 120 frames
// of the 100k-face knot at 1920 x 1080, as a BMP sequence and as an uncompressed AVI file.
//
// BM_GuiExport drives the shown main window as a user would: the size controls, Export
// animation, the mode and the number of frames in the dialog, then Render; its time runs from
// the moment the run starts (the Render click, or the file dialog's OK for a BMP sequence) to
// the run's end, with the window's per-frame 3D view, message processing, preview and progress.
// BM_CliExport is the whole quarvel-render process with the same arguments: start, model load
// and start-up mask included. Outputs go to a scratch folder, removed after each iteration.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "dialogs/seq_form.h"
#include "models.h"
#include "samples/write_3ds.h"

extern char** environ;

namespace quarvel::bench {
namespace {

constexpr int kFrames = 120;
constexpr int kWidth = 1920, kHeight = 1080;

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Scratch {
  std::filesystem::path dir = std::filesystem::temp_directory_path() /
                              ("quarvel_gui_anim_bench_" + std::to_string(::getpid()));
  std::filesystem::path out = dir / "out";
  std::string model = (dir / "knot.3ds").string();
  Scratch() {
    std::filesystem::create_directories(out);
    SaveBytes(model, KnotFile(100'000));
  }
  ~Scratch() { std::filesystem::remove_all(dir); }
  void Clean() const {
    std::filesystem::remove_all(out);
    std::filesystem::create_directories(out);
  }
};

Scratch& Files() {
  static Scratch s;
  return s;
}

bool Avi(const benchmark::State& state) {
  return state.range(0) == 1;
}

// Accepts the next file dialog with `path`, noting the moment it does.
void AnswerFileDialog(QObject* owner, const std::string& path, Clock::time_point& accepted) {
  auto* timer = new QTimer(owner);
  QObject::connect(timer, &QTimer::timeout, [timer, path, &accepted] {
    auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!files) return;
    timer->stop();
    files->selectFile(QString::fromStdString(path));
    accepted = Clock::now();
    QMetaObject::invokeMethod(files, "accept");
  });
  timer->start(1);
}

// One run in the dialog: its seconds from the run's start to its end, or a negative number when
// it did not finish.
double DialogRun(TSeqForm& dialog, bool avi) {
  dialog.findChild<QRadioButton*>(avi ? "AviItem" : "BmpItem")->click();
  dialog.findChild<QSpinBox*>("LengthUpDown")->setValue(kFrames);
  Clock::time_point start;
  if (avi) {
    const std::string file = (Files().out / "gui.avi").string();
    dialog.askAviName = [file] { return QString::fromStdString(file); };
  } else {
    AnswerFileDialog(&dialog, (Files().out / "gui.bmp").string(), start);
  }
  if (avi) start = Clock::now();
  dialog.findChild<QPushButton*>("NextButton")->click();
  const double seconds = Since(start);
  const QString status = dialog.findChild<QLabel*>("StatusLabel")->text();
  const bool finished = status == (avi ? "AVI file was rendered successfully."
                                       : "Rendering of BMP sequence finished.");
  dialog.findChild<QPushButton*>("CloseButton")->click();
  return finished ? seconds : -1;
}

void BM_GuiExport(benchmark::State& state) {
  const bool avi = Avi(state);
  TMainForm form(FileLocations::For(Files().dir.string()));
  form.resize(1000, 700);
  form.show();
  if (!QTest::qWaitForWindowExposed(&form)) {
    state.SkipWithError("the window was not shown");
    return;
  }
  form.Open3DS(QString::fromStdString(Files().model));
  form.findChild<QSpinBox*>("UpDown4")->setValue(kWidth);
  form.findChild<QSpinBox*>("UpDown5")->setValue(kHeight);
  for (auto _ : state) {
    double seconds = -1;
    QTimer::singleShot(0, [&] {
      if (auto* dialog = qobject_cast<TSeqForm*>(QApplication::activeModalWidget()))
        seconds = DialogRun(*dialog, avi);
    });
    form.findChild<QAction*>("ExportBMPSequence1")->trigger();
    Files().Clean();
    if (seconds < 0) {
      state.SkipWithError("the run did not finish");
      return;
    }
    state.SetIterationTime(seconds);
  }
  state.counters["frames/s"] =
      benchmark::Counter(kFrames, benchmark::Counter::kIsIterationInvariantRate);
}

// quarvel-render with the same run, its output streams thrown away: the whole process's seconds,
// or a negative number when it failed.
double CliRun(bool avi) {
  const std::string out = (Files().out / (avi ? "cli.avi" : "cli.bmp")).string();
  std::vector<std::string> args = {QUARVEL_RENDER_EXE,
                                   Files().model,
                                   "--size",
                                   std::to_string(kWidth) + "x" + std::to_string(kHeight),
                                   "--frames",
                                   std::to_string(kFrames),
                                   avi ? "--avi" : "--bmp-sequence",
                                   out};
  std::vector<char*> argv;
  for (std::string& a : args)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  const Clock::time_point start = Clock::now();
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  if (spawned != 0 || ::waitpid(pid, &status, 0) != pid) return -1;
  const double seconds = Since(start);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}

void BM_CliExport(benchmark::State& state) {
  const bool avi = Avi(state);
  for (auto _ : state) {
    const double seconds = CliRun(avi);
    Files().Clean();
    if (seconds < 0) {
      state.SkipWithError("quarvel-render failed");
      return;
    }
    state.SetIterationTime(seconds);
  }
  state.counters["frames/s"] =
      benchmark::Counter(kFrames, benchmark::Counter::kIsIterationInvariantRate);
}

void Modes(benchmark::internal::Benchmark* b) {
  b->ArgName("avi")->Arg(0)->Arg(1);
  b->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);
}

BENCHMARK(BM_CliExport)->Apply(Modes);
BENCHMARK(BM_GuiExport)->Apply(Modes);

}  // namespace
}  // namespace quarvel::bench

int main(int argc, char** argv) {
  // The window is shown, its 3D view included: that needs an X display (a virtual one on a
  // machine without: tests/gui/on-own-display). Qt's offscreen platform cannot show it.
  if (qEnvironmentVariableIsEmpty("DISPLAY")) {
    std::fprintf(stderr,
                 "gui_anim_bench: needs a display; run it under tests/gui/on-own-display\n");
    return 1;
  }
  ::setenv("QT_QPA_PLATFORM", "xcb", 0);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
