// How fast a .3ds file becomes the scene's mesh: a fresh scene and a whole import per iteration,
// as every load does, from bytes already in memory so that the disk plays no part.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <string>

#include "models.h"
#include "samples/write_3ds.h"
#include "scene/import_3ds.h"

namespace quarvel::bench {

namespace {

void BM_Import(benchmark::State& state) {
  const std::vector<uint8_t>& file = KnotFile(state.range(0));
  const Feedback fb{};
  uint32_t faces = 0;
  for (auto _ : state) {
    Scene scene;
    const ImportResult result = Import3DSFromMemory(scene, file, fb);
    if (!result.ok) {
      state.SkipWithError("import failed");
      break;
    }
    faces = result.faces;
    benchmark::DoNotOptimize(scene.ModelMesh->FaceCount());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(file.size()));
  state.counters["faces/s"] =
      benchmark::Counter(faces, benchmark::Counter::kIsIterationInvariantRate);
}

// The whole load from a file in the warm file cache: read, import, fit.
void BM_LoadFile(benchmark::State& state) {
  const std::vector<uint8_t>& file = KnotFile(state.range(0));
  const std::string path = "/tmp/quarvel_import_bench_" + std::to_string(::getpid()) + ".3ds";
  SaveBytes(path, file);
  Scene scene;
  for (auto _ : state) {
    if (!LoadModel(scene, path, Feedback{}).ok) {
      state.SkipWithError("load failed");
      break;
    }
  }
  std::remove(path.c_str());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(file.size()));
}

BENCHMARK(BM_Import)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadFile)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

}  // namespace quarvel::bench
