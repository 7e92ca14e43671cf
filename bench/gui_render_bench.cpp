// The desktop program's Render command against the bare renderer on the same model and size:
// the window's message processing, progress and preview must cost next to nothing.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <filesystem>

#include <QSpinBox>
#include "app/main_form.h"
#include "models.h"
#include "samples/write_3ds.h"
#include "scene/import_3ds.h"

namespace quarvel::bench {
namespace {

struct Fixture {
  std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("quarvel_gui_bench_" + std::to_string(::getpid()));
  std::string model = (dir / "knot.3ds").string();
  Fixture() {
    std::filesystem::create_directories(dir);
    SaveBytes(model, KnotFile(1'000'000));
  }
  ~Fixture() { std::filesystem::remove_all(dir); }
};

Fixture& Files() {
  static Fixture f;
  return f;
}

void BM_GuiRender(benchmark::State& state) {
  TMainForm form(FileLocations::For(Files().dir.string()));
  form.resize(1000, 700);
  form.Open3DS(QString::fromStdString(Files().model));
  form.findChild<QSpinBox*>("UpDown4")->setValue(int(state.range(0)));
  form.findChild<QSpinBox*>("UpDown5")->setValue(int(state.range(1)));
  for (auto _ : state)
    form.TestButtonClick();
}

void BM_CoreRender(benchmark::State& state) {
  Scene scene;
  LoadModel(scene, Files().model, {});
  RenderState render;
  MaskImage mask;
  for (auto _ : state)
    RenderObject(scene, render, mask, int(state.range(0)), int(state.range(1)), {});
}

void Sizes(benchmark::internal::Benchmark* b) {
  b->ArgNames({"w", "h"})->Args({640, 480})->Args({4000, 4000});
  b->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
}

BENCHMARK(BM_CoreRender)->Apply(Sizes);
BENCHMARK(BM_GuiRender)->Apply(Sizes);

}  // namespace
}  // namespace quarvel::bench

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
