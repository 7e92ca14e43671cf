// How fast a model file becomes the scene's mesh: a fresh scene and a whole import per iteration,
// as every load does, from bytes already in memory so that the disk plays no part.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <string>

#include "compressed_models.h"
#include "models.h"
#include "samples/write_3ds.h"
#include "scene/import_3ds.h"
#include "scene/model_formats.h"

namespace quarvel::bench {

namespace {

// Imports `file` into a fresh scene with read(scene, file, fb) once an iteration.
template <typename Read>
void TimeImport(benchmark::State& state, const std::vector<uint8_t>& file, const Read& read) {
  const Feedback fb{};
  uint32_t faces = 0;
  for (auto _ : state) {
    Scene scene;
    const ImportResult result = read(scene, file, fb);
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

void BM_Import(benchmark::State& state) {
  TimeImport(state, KnotFile(state.range(0)), Import3DSFromMemory);
}

// The same knot in each other format: read from memory by that format's reader.
void BM_ImportFormat(benchmark::State& state, const std::string& format) {
  TimeImport(state, KnotFileAs(format, state.range(0)),
             [&](Scene& scene, std::span<const uint8_t> file, const Feedback& fb) {
               if (format == "obj") return ImportOBJFromMemory(scene, file, fb);
               if (format == "glb") return ImportGLTFFromMemory(scene, file, true, "", fb);
               if (format == "ply") return ImportPLYFromMemory(scene, file, fb);
               return ImportSTLFromMemory(scene, file, fb);  // "stl" and "stl-ascii"
             });
}

// The knot as a compressed .glb: the decoder's share of the import beside the plain GLB's.
void BM_ImportCompressed(benchmark::State& state, const std::string& codec) {
  TimeImport(state, CompressedKnotGlb(codec, state.range(0)),
             [](Scene& scene, std::span<const uint8_t> file, const Feedback& fb) {
               return ImportGLTFFromMemory(scene, file, true, "", fb);
             });
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
// The other formats, each at 1M faces, named BM_ImportFormat/<format>/1000000, and the compressed
// GLB files, BM_ImportCompressed/<codec>/1000000.
const bool kFormatsRegistered = [] {
  for (const char* format : {"stl", "stl-ascii", "ply", "obj", "glb"})
    benchmark::RegisterBenchmark(("BM_ImportFormat/" + std::string(format)).c_str(),
                                 BM_ImportFormat, std::string(format))
        ->Arg(1'000'000)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  for (const char* codec : {"draco", "meshopt"})
    benchmark::RegisterBenchmark(("BM_ImportCompressed/" + std::string(codec)).c_str(),
                                 BM_ImportCompressed, std::string(codec))
        ->Arg(1'000'000)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  return true;
}();

}  // namespace

}  // namespace quarvel::bench
