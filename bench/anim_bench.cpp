// Animation export: the 100k-face knot turning once over 600 frames at 1920 x 1080, written as a
// BMP sequence and as an uncompressed AVI file, against the same frames rendered and written
// nowhere; then every lossless compressor of this machine on the first frames of that turn.
// The model is loaded and the start-up mask rendered (as the dialog and quarvel-render do before
// a run) outside the timing; files go to a scratch folder in the temporary directory and are
// removed after each iteration, outside the timing too.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "models.h"
#include "samples/write_3ds.h"
#include "session/sequencer.h"
#include "session/video_writer.h"
#include "session/workspace.h"

namespace quarvel::bench {
namespace {

constexpr int64_t kFaces = 100'000;
constexpr int kWidth = 1920, kHeight = 1080;
constexpr int kTurnFrames = 600;

using Clock = std::chrono::steady_clock;

struct Scratch {
  std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("quarvel_anim_bench_" + std::to_string(::getpid()));
  std::string model = (dir / "knot.3ds").string();
  Scratch() {
    std::filesystem::create_directories(dir);
    SaveBytes(model, KnotFile(kFaces));
  }
  ~Scratch() { std::filesystem::remove_all(dir); }
  // Removes everything the runs wrote, keeping the model.
  void Clean() const {
    for (const auto& entry : std::filesystem::directory_iterator(dir))
      if (entry.path() != model) std::filesystem::remove(entry.path());
  }
};

Scratch& Files() {
  static Scratch s;
  return s;
}

AnimationParams TurnParams() {
  AnimationParams p;
  p.frames = kTurnFrames;
  p.width = kWidth;
  p.height = kHeight;
  return p;
}

// The model loaded and the start-up mask rendered at the run's size, as before every run.
bool Prepare(Workspace& ws, const AnimationParams& p) {
  if (!OpenModel(ws, Files().model, {}).ok) return false;
  BeginAnimation(ws, p);
  RenderMask(ws, p.width, p.height, {});
  return true;
}

// Time spent in the renderer, measured through the run's hooks around each frame's render; the
// rest of a run is the writing.
struct RenderClock {
  Clock::time_point start;
  double seconds = 0;
  void Hook(RunHooks& hooks) {
    hooks.beforeRender = [this] { start = Clock::now(); };
    hooks.afterRender = [this] {
      seconds += std::chrono::duration<double>(Clock::now() - start).count();
    };
  }
};

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Frames per second, and milliseconds per frame spent rendering and the rest (writing).
void Report(benchmark::State& state, int64_t frames, double renderSeconds, double totalSeconds) {
  const auto allFrames = static_cast<double>(frames * state.iterations());
  state.counters["frames/s"] = allFrames / totalSeconds;
  state.counters["render_ms/frame"] = 1000 * renderSeconds / allFrames;
  state.counters["write_ms/frame"] = 1000 * (totalSeconds - renderSeconds) / allFrames;
}

// Runs `run` once per iteration, timed, each time from the model freshly loaded and the
// start-up mask rendered; removes what it wrote afterwards, untimed. `run` returns an error
// text, empty when it went as expected.
void RunLoop(benchmark::State& state, int64_t frames, RenderClock* render,
             const std::function<std::string(Workspace&, const AnimationParams&)>& run) {
  const AnimationParams p = TurnParams();
  double total = 0;
  std::unique_ptr<Workspace> ws;
  for (auto _ : state) {
    state.PauseTiming();
    ws = std::make_unique<Workspace>();  // the last iteration's is released here, untimed
    const bool ready = Prepare(*ws, p);
    state.ResumeTiming();
    if (!ready) {
      state.SkipWithError("model did not load");
      return;
    }
    const Clock::time_point start = Clock::now();
    const std::string error = run(*ws, p);
    total += Since(start);
    state.PauseTiming();
    Files().Clean();
    state.ResumeTiming();
    if (!error.empty()) {
      state.SkipWithError(error.c_str());
      return;
    }
  }
  Report(state, frames, render ? render->seconds : total, total);
}

// The same frames as a run renders them (the run's depth range, the same turn at each tick),
// written nowhere.
void BM_BareFrames(benchmark::State& state) {
  RunLoop(state, kTurnFrames, nullptr, [](Workspace& ws, const AnimationParams& p) {
    BeginAnimation(ws, p);
    float ax, ay, az;
    const int16_t turns = GetRotationParms(p.x, p.y, p.z, ax, ay, az);
    ws.scene.ModelFrame->SetRotation(ax, ay, az, StepAngle(turns, p.frames));
    for (int i = 0; i < p.frames; ++i) {
      ws.scene.SceneFrame->Move(1.0);
      RenderMask(ws, p.width, p.height, {});
      benchmark::DoNotOptimize(ws.mask.Pixels().data());
      benchmark::ClobberMemory();
    }
    return std::string();
  });
}

void BM_BmpSequence(benchmark::State& state) {
  const std::string first = (Files().dir / "frame.bmp").string();
  RenderClock render;
  RunHooks hooks;
  render.Hook(hooks);
  RunLoop(state, kTurnFrames, &render, [&](Workspace& ws, const AnimationParams& p) {
    const RunResult r = RunBmpSequence(ws, p, first, hooks);
    return r.end == RunEnd::Finished ? std::string() : r.error.arg + ": " + r.error.reason;
  });
}

// An AVI run of the first `frames` frames of the turn (all of them when `frames` is the turn's
// count) through the compressor `fourcc` (0: uncompressed).
void AviLoop(benchmark::State& state, uint32_t fourcc, int frames) {
  const std::string file = (Files().dir / "turn.avi").string();
  CompressOptions options;
  options.fccHandler = fourcc;
  RenderClock render;
  RunHooks hooks;
  render.Hook(hooks);
  // A run stops after the frame under way once asked to.
  if (frames < kTurnFrames)
    hooks.frameDone = [frames](int i) {
      if (i + 1 == frames) AbortRequested = -1;
    };
  RunLoop(state, frames, &render, [&](Workspace& ws, const AnimationParams& p) {
    TVideoWriter writer;
    writer.SetCompressOptions(options);
    const RunResult r = RunAvi(ws, writer, p, file, hooks);
    const RunEnd expected = frames < p.frames ? RunEnd::Canceled : RunEnd::Finished;
    return r.end == expected && r.framesWritten == frames ? std::string()
                                                          : "run failed: " + r.error.arg;
  });
}

void BM_AviUncompressed(benchmark::State& state) {
  AviLoop(state, 0, kTurnFrames);
}

void Turn(benchmark::internal::Benchmark* b) {
  b->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);
}

BENCHMARK(BM_BareFrames)->Apply(Turn);
BENCHMARK(BM_BmpSequence)->Apply(Turn);
BENCHMARK(BM_AviUncompressed)->Apply(Turn);

// The first frames of the turn, through each lossless compressor: the whole run, and the
// writer alone on those frames rendered beforehand.
constexpr int kCodecFrames = 120;

// The first kCodecFrames frames of the turn, rendered once for every compressor.
const std::vector<MaskImage>& CodecFrames() {
  static const std::vector<MaskImage> frames = [] {
    std::vector<MaskImage> rendered;
    Workspace ws;
    const AnimationParams p = TurnParams();
    if (!Prepare(ws, p)) return rendered;
    float ax, ay, az;
    const int16_t turns = GetRotationParms(p.x, p.y, p.z, ax, ay, az);
    ws.scene.ModelFrame->SetRotation(ax, ay, az, StepAngle(turns, p.frames));
    for (int i = 0; i < kCodecFrames; ++i) {
      ws.scene.SceneFrame->Move(1.0);
      RenderMask(ws, p.width, p.height, {});
      rendered.push_back(std::move(ws.mask));
    }
    return rendered;
  }();
  return frames;
}

void EncodeLoop(benchmark::State& state, uint32_t fourcc) {
  const std::vector<MaskImage>& frames = CodecFrames();
  if (frames.size() != size_t{kCodecFrames}) {
    state.SkipWithError("model did not load");
    return;
  }
  const std::string file = (Files().dir / "encoded.avi").string();
  CompressOptions options;
  options.fccHandler = fourcc;
  for (auto _ : state) {
    TVideoWriter writer;
    writer.SetCompressOptions(options);
    ErrorText error = writer.OpenStream(frames.front(), file);
    for (int i = 0; error.empty() && i < kCodecFrames; ++i)
      error = writer.WriteFrame(frames[size_t(i)].Pixels(), i);
    const ErrorText closed = writer.CloseStream();
    if (error.empty()) error = closed;
    state.PauseTiming();
    Files().Clean();
    state.ResumeTiming();
    if (!error.empty()) {
      state.SkipWithError(("writer failed: " + error.text + " " + error.reason).c_str());
      return;
    }
  }
  state.counters["frames/s"] =
      benchmark::Counter(kCodecFrames, benchmark::Counter::kIsIterationInvariantRate);
}

void RegisterLosslessCodecs() {
  benchmark::RegisterBenchmark("BM_LosslessEncode/uncompressed", [](benchmark::State& state) {
    EncodeLoop(state, 0);
  })->Apply(Turn);
  for (const CodecInfo& c : AvailableCodecs()) {
    if (!c.lossless) continue;
    const uint32_t fourcc = c.fourcc;
    benchmark::RegisterBenchmark(
        ("BM_LosslessAvi/" + c.shortName).c_str(),
        [fourcc](benchmark::State& state) { AviLoop(state, fourcc, kCodecFrames); })
        ->Apply(Turn);
    benchmark::RegisterBenchmark(("BM_LosslessEncode/" + c.shortName).c_str(),
                                 [fourcc](benchmark::State& state) { EncodeLoop(state, fourcc); })
        ->Apply(Turn);
  }
}

}  // namespace
}  // namespace quarvel::bench

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  quarvel::bench::RegisterLosslessCodecs();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
