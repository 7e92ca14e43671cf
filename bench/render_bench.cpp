// How fast the rasteriser turns a loaded model into a mask, and how fast the mask is written.
// Models are loaded as the program loads them (LoadModel on a file), outside the timing; each
// timed render includes the mask allocation, as every real render does.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "models.h"
#include "render/rasterizer.h"
#include "samples/write_3ds.h"
#include "scene/import_3ds.h"

namespace quarvel::bench {

namespace {

std::string TempPath(const std::string& suffix) {
  return (std::filesystem::temp_directory_path() /
          ("quarvel_bench_" + std::to_string(::getpid()) + suffix))
      .string();
}

// Loads the model in `file` through a temporary file. Returns false when it does not load.
bool Load(Scene& scene, std::span<const uint8_t> file) {
  const std::string path = TempPath(".3ds");
  const bool ok = SaveBytes(path, file) && LoadModel(scene, path, Feedback{}).ok;
  std::filesystem::remove(path);
  return ok;
}

void RenderLoop(benchmark::State& state, std::span<const uint8_t> file) {
  const auto width = static_cast<int>(state.range(1));
  const auto height = static_cast<int>(state.range(2));
  Scene scene;
  if (!Load(scene, file)) {
    state.SkipWithError("model did not load");
    return;
  }
  RenderState render;
  MaskImage mask;
  const Feedback fb{};
  for (auto _ : state) {
    RenderObject(scene, render, mask, width, height, fb);
    benchmark::DoNotOptimize(mask.Pixels().data());
    benchmark::ClobberMemory();
  }
  const auto faces = static_cast<double>(scene.ModelMesh->FaceCount());
  const double pixels = double(width) * height;
  state.counters["faces/s"] =
      benchmark::Counter(faces, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["pixels/s"] =
      benchmark::Counter(pixels, benchmark::Counter::kIsIterationInvariantRate);
}

// Arguments: face count (the cube ignores it), mask width, mask height.
void BM_RenderKnot(benchmark::State& state) {
  RenderLoop(state, KnotFile(state.range(0)));
}

void BM_RenderCube(benchmark::State& state) {
  RenderLoop(state, CubeFile());
}

void BM_SaveMask(benchmark::State& state) {
  Scene scene;
  if (!Load(scene, KnotFile(100'000))) {
    state.SkipWithError("model did not load");
    return;
  }
  RenderState render;
  MaskImage mask;
  RenderObject(scene, render, mask, static_cast<int>(state.range(1)),
               static_cast<int>(state.range(2)), Feedback{});
  const std::string path = TempPath(".bmp");
  for (auto _ : state) {
    if (!mask.SaveToFile(path).empty()) {
      state.SkipWithError("mask could not be written");
      break;
    }
  }
  std::filesystem::remove(path);
  const auto fileSize = static_cast<int64_t>(kBmpHeaderSize + mask.Pixels().size());
  state.SetBytesProcessed(state.iterations() * fileSize);
}

// The three mask sizes: a screen-sized mask, a large print and the largest the program makes.
void MaskSizes(benchmark::internal::Benchmark* b, int64_t faces) {
  b->ArgNames({"faces", "w", "h"});
  b->Args({faces, 640, 480})->Args({faces, 4000, 4000})->Args({faces, 10000, 10000});
  b->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BM_RenderKnot)->Apply([](auto* b) { MaskSizes(b, 100'000); });
BENCHMARK(BM_RenderKnot)->Apply([](auto* b) { MaskSizes(b, 1'000'000); });
BENCHMARK(BM_RenderCube)->Apply([](auto* b) { MaskSizes(b, 12); });
BENCHMARK(BM_SaveMask)->Apply([](auto* b) { MaskSizes(b, 100'000); });

}  // namespace

}  // namespace quarvel::bench
