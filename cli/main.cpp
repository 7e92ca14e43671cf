// quarvel-render: the batch renderer. A .3ds model in, its depth mask out as an 8-bit BMP (or as
// PNG, 16-bit levels or float depths), or the model turning as a sequence of such files or an AVI
// file.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/file_io.h"
#include "batch.h"
#include "camera_limits.h"
#include "options.h"
#include "output_checks.h"
#include "output_picture.h"
#include "pinhole_output.h"
#include "progress_bar.h"
#include "render/rasterizer.h"
#include "render/save_file.h"
#include "scene/import_3ds.h"
#include "scene/model_formats.h"
#include "session/sequencer.h"
#include "session/video_writer.h"
#include "sidecar.h"
#include "stop_signals.h"

namespace {

using namespace quarvel;

constexpr int kOk = 0;

// The exit code of a failure of that kind.
int ExitCode(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::None:
      return kOk;
    case ErrorKind::Usage:
      return 2;
    case ErrorKind::Import:
      return 3;
    case ErrorKind::File:
      return 4;
    case ErrorKind::Failure:
      break;
  }
  return 5;
}

// "quarvel-render: FILE: MESSAGE (REASON)".
void PrintFileError(const std::string& file, const std::string& message,
                    const std::string& reason) {
  const std::string why = reason.empty() ? "" : " (" + reason + ")";
  std::fprintf(stderr, "quarvel-render: %s: %s%s\n", file.c_str(), message.c_str(), why.c_str());
}

// Says that a signal stopped the program, with the frames written when an animation was under
// way, and gives the exit code of that signal.
int Stopped(int framesWritten = -1) {
  const char* name = ::sigabbrev_np(StopSignal());
  std::fprintf(stderr, "quarvel-render: stopped by SIG%s", name ? name : "?");
  if (framesWritten >= 0) std::fprintf(stderr, " after %d frames", framesWritten);
  std::fputs("\n", stderr);
  return 128 + StopSignal();
}

int ListCodecs() {
  std::printf("%-6s  %-14s  %-8s  %s\n", "FourCC", "Name", "Lossless", "Description");
  for (const CodecInfo& c : AvailableCodecs())
    std::printf("%-6s  %-14s  %-8s  %s\n", FourCCText(c.fourcc).c_str(), c.shortName.c_str(),
                c.lossless ? "yes" : "no", c.description.c_str());
  return kOk;
}

OutputRequest Request(const RenderOptions& o) {
  OutputRequest request{o.format, o.depthRange, {o.threads, false}, o.tones, o.supersample};
  if (o.physical.Given()) {
    request.pixelsPerMetre = o.physical.PixelsPerMetre();
    request.centred = true;
  }
  return request;
}

// Writes the sidecar of the render just done. Returns the exit code.
int SaveSidecar(const RenderOptions& o, const Workspace& ws, const Feedback& fb) {
  std::string json;
  try {
    json = SidecarJson({o.model, o.output, Request(o), o.physical}, ws.scene, ws.render);
  } catch (const std::range_error& e) {
    PrintFileError(o.sidecar, "Cannot describe the mask", e.what());
    return ExitCode(ErrorKind::Failure);
  }
  const ErrorText error = SaveFileText(o.folder, o.sidecar, json);
  if (!error.empty()) PrintFileError(o.sidecar, error.Message(fb), error.reason);
  return ExitCode(error.kind);
}

// Runs the render `draw`; a stop asked for by a signal cuts it short (see StopRequested), and is
// then seen by StopSignal.
template <typename Draw>
void DrawUnlessStopped(const Draw& draw) {
  try {
    draw();
  } catch (const RenderStopped&) {
  }
}

// A stop asked for by a signal cuts the render short, or is seen between the steps: a file being
// written is finished (or not begun), never cut.
int RunSingleMask(const RenderOptions& o, Workspace& ws, const Feedback& fb, ProgressBar& bar) {
  bar.Step("drawing the mask", 90);
  Picture picture;
  DrawUnlessStopped([&] { RenderPicture(ws, Request(o), o.width, o.height, fb, picture); });
  if (StopSignal() != 0) {
    bar.Clear();
    return Stopped();
  }
  if (o.physical.Given() && !HoldsLevels(o.format))
    ToModelDepths(picture.depth, ModelDepthUnits(ws.scene));
  bar.Step("writing " + o.output, 100);
  const ErrorText error = SavePicture(picture, Request(o), o.folder, o.output);
  bar.Clear();
  if (!error.empty()) {
    PrintFileError(o.output, error.Message(fb), error.reason);
    return ExitCode(error.kind);
  }
  if (o.sidecar.empty()) return kOk;
  return StopSignal() != 0 ? Stopped() : SaveSidecar(o, ws, fb);
}

// A single mask at a physical scale: the picture's size from the scale unless given, the depth
// range from model units into the scene's.
int RunScaledMask(const RenderOptions& given, Workspace& ws, const Feedback& fb, ProgressBar& bar) {
  RenderOptions o = given;
  if (!o.sizeGiven) {
    std::string error;
    const auto size = ScaledPictureSize(o.physical, ws.scene, error);
    if (!size) {
      PrintFileError(o.model, error, "");
      return ExitCode(ErrorKind::Usage);
    }
    o.width = size->width;
    o.height = size->height;
  }
  if (o.depthRange) {
    const DepthUnits units = ModelDepthUnits(ws.scene);
    o.depthRange = DepthRange{float(units.ToScene(o.depthRange->near)),
                              float(units.ToScene(o.depthRange->far))};
  }
  ws.render.FixedPixelScale = ScenePixelScale(o.physical, ws.scene);
  return RunSingleMask(o, ws, fb, bar);
}

// Runs the animation into the AVI file. A compressor that cannot be had is told of: before the
// run one that this machine lacks, after it one that refused the frames.
RunResult RunAviFile(const RenderOptions& o, Workspace& ws, const RunHooks& hooks,
                     ProgressBar& bar) {
  if (o.verbose) ShowCodecLog(true);
  const uint32_t codec = o.compress.fccHandler;
  if (codec != 0 && !FindCodec(codec))
    std::fprintf(stderr,
                 "quarvel-render: note: this machine has no %s compressor; the frames are "
                 "written uncompressed\n",
                 FourCCText(codec).c_str());
  TVideoWriter writer;
  writer.SetCompressOptions(o.compress);
  const RunResult result = RunAvi(ws, writer, o.anim, o.avi, hooks, AviReplace::WhenFinished);
  bar.Clear();
  if (!writer.Refusal().empty())
    std::fprintf(stderr,
                 "quarvel-render: note: the %s compressor (%s) cannot take these frames: %s; the "
                 "frames are written uncompressed\n",
                 FourCCText(codec).c_str(), FindCodec(codec)->shortName.c_str(),
                 writer.Refusal().c_str());
  return result;
}

// As the animation dialog does from its start: the depth range for the turning model and the
// start-up mask with it, then the run.
int RunAnimation(const RenderOptions& o, Workspace& ws, const Feedback& fb, ProgressBar& bar) {
  bar.Step("getting the frames ready", 15);
  BeginAnimation(ws, o.anim);
  DrawUnlessStopped([&] { RenderMask(ws, o.width, o.height, fb); });
  if (StopSignal() != 0) {
    bar.Clear();
    return Stopped(0);
  }
  RunHooks hooks;
  const int frames = o.anim.frames;
  bar.Step(FramesStep(0, frames, 0), 100);
  hooks.frameDone = [&](int i) {
    bar.Frames(i + 1, frames);
    // A run clears AbortRequested as it starts: a signal that came before is passed on here.
    if (StopSignal() != 0) AbortRequested = -1;
  };
  const RunResult result =
      o.avi.empty() ? RunBmpSequence(ws, o.anim, o.bmpSequence, hooks, PictureFrames(Request(o)))
                    : RunAviFile(o, ws, hooks, bar);
  EndAnimation(ws);
  bar.Clear();
  switch (result.end) {
    case RunEnd::Finished:
      return kOk;
    case RunEnd::Canceled:  // only a signal cancels a run here
      return Stopped(result.framesWritten);
    case RunEnd::Failed:
      break;
  }
  // A BMP frame's error names its file; an AVI run's names the AVI file and gives the reason.
  if (o.avi.empty())
    PrintFileError(result.error.arg, result.error.Message(fb), result.error.reason);
  else
    PrintFileError(o.avi, AviFailureMessage(result.error, fb), "");
  return ExitCode(result.error.kind);
}

// Whether the fitted model's extents, fit scale and every coordinate are finite numbers. One
// that is not leaves the fit, or the faces it belongs to, without meaning; the extents alone miss
// a NaN that is not in the first vertex, as comparisons with it are false.
bool IsFinite(const Scene& scene) {
  const auto finite = [](float v) { return std::isfinite(v); };
  const std::span<const Vec3> vertices = scene.ModelMesh->vertices();
  return finite(scene.ExtentX) && finite(scene.ExtentY) && finite(scene.ExtentZ) &&
         finite(scene.FitScale) &&
         std::all_of(vertices.begin(), vertices.end(),
                     [&](const Vec3& p) { return finite(p.x) && finite(p.y) && finite(p.z); });
}

// Renders with the perspective camera. Returns the exit code.
int RunPerspective(const RenderOptions& o, const Workspace& ws, const Feedback& fb,
                   ProgressBar& bar) {
  bar.Step(o.camera.ManyViews() ? "drawing the views" : "drawing the picture", 90);
  ErrorText error;
  DrawUnlessStopped([&] { error = WritePerspective(o, ws.scene, *FormatOfName(o.model), fb); });
  bar.Clear();
  if (StopSignal() != 0) return Stopped();
  if (error.empty()) return kOk;
  PrintFileError(error.arg, error.Message(fb), error.reason);
  return ExitCode(error.kind);
}

// Renders one model as the options say; `faces` gets the number of faces read.
int Run(const RenderOptions& o, uint64_t& faces) {
  // The bar says what it does in its own words: the window's texts (such as the key that skips
  // a step) do not apply here.
  ProgressBar bar(isatty(STDERR_FILENO) == 1 ? stderr : nullptr);
  std::string importStatus;
  Feedback fb;
  fb.status = [&](int field, const std::string& text) {
    if (field == 0) importStatus = text;
  };
  fb.progress = [&](int percent) { bar.Part(percent); };

  if (!FormatOfName(o.model)) {
    std::fprintf(stderr, "quarvel-render: %s: Unsupported input file type\n", o.model.c_str());
    return ExitCode(ErrorKind::Import);
  }
  Workspace ws;
  bar.Step("reading " + o.model, o.Animation() ? 5 : 50);
  const ImportResult loaded = LoadAnyModel(ws.scene, o.model, fb);
  bar.Clear();
  if (StopSignal() != 0) return Stopped();  // the readers stop early on a signal
  if (!loaded.ok) {
    PrintFileError(o.model, loaded.error.Message(fb), loaded.error.reason);
    return ExitCode(loaded.error.kind);
  }
  ws.modelPath = o.model;
  faces = ws.scene.ModelMesh->FaceCount();
  if (!loaded.warning.empty())
    std::fprintf(stderr, "quarvel-render: %s: warning: %s\n", o.model.c_str(),
                 loaded.warning.c_str());
  const bool finite = IsFinite(ws.scene);
  if (!finite)
    std::fprintf(stderr,
                 "quarvel-render: %s: warning: a coordinate of the model is not a number or is "
                 "infinite; the fit and the mask may not show the model\n",
                 o.model.c_str());
  if (o.info) {
    std::printf("%s\nExtents: %.9g %.9g %.9g\nFitScale: %.9g\n", importStatus.c_str(),
                ws.scene.ExtentX, ws.scene.ExtentY, ws.scene.ExtentZ, ws.scene.FitScale);
  }
  ApplyView(ws.scene, o.view);
  if (const std::string bad = PlacementRefusal(ws.scene, o, finite); !bad.empty()) {
    PrintFileError(o.model, bad, "");
    return ExitCode(ErrorKind::Usage);
  }
  if (o.camera.perspective) return RunPerspective(o, ws, fb, bar);
  if (o.physical.Given()) return RunScaledMask(o, ws, fb, bar);
  return o.Animation() ? RunAnimation(o, ws, fb, bar) : RunSingleMask(o, ws, fb, bar);
}

// Runs `body`, turning what it throws into the message and exit code of a failure.
template <typename Body>
int RunGuarded(const Body& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "quarvel-render: out of memory\n");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "quarvel-render: %s\n", e.what());
  }
  return ExitCode(ErrorKind::Failure);
}

// Run, after refusing outputs that would replace the model or each other.
int RunChecked(const RenderOptions& o, uint64_t& faces) {
  if (OutputsRefused(o)) return ExitCode(ErrorKind::Usage);
  WarnOfMisnamedOutput(o);
  return Run(o, faces);
}

// One model of a batch, into its folder: views fill the folder, a picture takes the name of -o
// (or "mask" and the format's extension) in it, and so does the sidecar.
ModelOutcome RenderInFolder(RenderOptions o, const std::string& model, const OutFolder& folder) {
  const auto inFolder = [&](const std::string& name) {
    return folder.path + "/" + name.substr(name.find_last_of('/') + 1);
  };
  o.model = model;
  o.folder = folder;
  o.output = o.camera.ManyViews() ? folder.path : inFolder(o.output);
  if (!o.sidecar.empty()) o.sidecar = inFolder(o.sidecar);
  ModelOutcome outcome;
  outcome.exitCode = RunGuarded([&] { return RunChecked(o, outcome.faces); });
  return outcome;
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  const auto options = ParseRenderOptions({argv + 1, argv + argc}, error);
  if (!options) {
    std::fprintf(stderr, "quarvel-render: %s\nTry 'quarvel-render --help'.\n", error.c_str());
    return ExitCode(ErrorKind::Usage);
  }
  if (options->help) {
    std::fputs(kRenderUsage, stdout);
    return kOk;
  }
  if (options->version) {
    std::puts("quarvel-render " QUARVEL_VERSION);
    return kOk;
  }
  if (options->listCodecs) return RunGuarded([] { return ListCodecs(); });
  CatchStopSignals();
  if (options->Batch())
    return RunBatch(options->batch, [&](const std::string& model, const OutFolder& folder) {
      return RenderInFolder(*options, model, folder);
    });
  uint64_t faces = 0;
  return RunGuarded([&] { return RunChecked(*options, faces); });
}
