// quarvel-render: the batch renderer. A .3ds model in, its depth mask out as an 8-bit BMP (or as
// PNG, 16-bit levels or float depths), or the model turning as a sequence of such files or an AVI
// file.
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "anim/sequencer.h"
#include "anim/video_writer.h"
#include "base/file_io.h"
#include "options.h"
#include "output_picture.h"
#include "progress_bar.h"
#include "render/rasterizer.h"
#include "render/save_file.h"
#include "scene/import_3ds.h"
#include "scene/model_formats.h"
#include "sidecar.h"

namespace {

using namespace quarvel;

enum ExitCode { kOk = 0, kUsage = 2, kBadModel = 3, kFileError = 4, kFailure = 5 };

// "quarvel-render: FILE: MESSAGE (REASON)".
void PrintFileError(const std::string& file, const std::string& message,
                    const std::string& reason) {
  const std::string why = reason.empty() ? "" : " (" + reason + ")";
  std::fprintf(stderr, "quarvel-render: %s: %s%s\n", file.c_str(), message.c_str(), why.c_str());
}

int ListCodecs() {
  std::printf("%-6s  %-14s  %-8s  %s\n", "FourCC", "Name", "Lossless", "Description");
  for (const CodecInfo& c : AvailableCodecs())
    std::printf("%-6s  %-14s  %-8s  %s\n", FourCCText(c.fourcc).c_str(), c.shortName.c_str(),
                c.lossless ? "yes" : "no", c.description.c_str());
  return kOk;
}

// The first file the command would write that is the model itself, or an empty text.
std::string OutputThatIsTheModel(const RenderOptions& o) {
  if (!o.Animation()) return IsSameFile(o.model, o.output) ? o.output : "";
  if (!o.avi.empty()) return IsSameFile(o.model, o.avi) ? o.avi : "";
  for (int i = 0; i < o.anim.frames; ++i) {
    const std::string name = FrameFileName(o.bmpSequence, i, FormatExtension(o.format));
    if (IsSameFile(o.model, name)) return name;
  }
  return "";
}

// The sidecar's name when it is the model or the mask's file, or an empty text.
std::string SidecarOverOtherFile(const RenderOptions& o) {
  if (o.sidecar.empty()) return "";
  const bool taken =
      o.sidecar == o.output || IsSameFile(o.sidecar, o.output) || IsSameFile(o.sidecar, o.model);
  return taken ? o.sidecar : "";
}

// Refuses what cannot be written before anything is read: an output that is the model, frame
// names longer than a file name can be. Returns the exit code, or kOk to go on.
int CheckOutputs(const RenderOptions& o) {
  if (!o.bmpSequence.empty() &&
      !FrameNamesFit(o.bmpSequence, o.anim.frames, FormatExtension(o.format))) {
    std::fprintf(stderr,
                 "quarvel-render: %s: the frames' file names would be longer than 255 bytes; "
                 "choose a shorter name\n",
                 o.bmpSequence.c_str());
    return kUsage;
  }
  if (const std::string same = OutputThatIsTheModel(o); !same.empty()) {
    const char* option = !o.avi.empty()           ? "--avi"
                         : !o.bmpSequence.empty() ? "--bmp-sequence"
                                                  : "-o";
    std::fprintf(stderr,
                 "quarvel-render: %s: the output file is the model itself; name another with %s\n",
                 same.c_str(), option);
    return kUsage;
  }
  if (const std::string sidecar = SidecarOverOtherFile(o); !sidecar.empty()) {
    std::fprintf(stderr,
                 "quarvel-render: %s: the sidecar would replace the model or the mask; name "
                 "another file with --sidecar\n",
                 sidecar.c_str());
    return kUsage;
  }
  return kOk;
}

OutputRequest Request(const RenderOptions& o) {
  return {o.format, o.depthRange, {o.threads, false}};
}

// Writes the sidecar of the render just done. Returns the exit code.
int SaveSidecar(const RenderOptions& o, const Workspace& ws, const Feedback& fb) {
  const std::string json = SidecarJson({o.model, o.output, Request(o)}, ws.scene, ws.render);
  const ErrorText error =
      SaveFileBytes(o.sidecar, {{reinterpret_cast<const uint8_t*>(json.data()), json.size()}});
  if (error.empty()) return kOk;
  PrintFileError(o.sidecar, error.Message(fb), error.reason);
  return kFileError;
}

int RunSingleMask(const RenderOptions& o, Workspace& ws, const Feedback& fb, ProgressBar& bar) {
  Picture picture;
  RenderPicture(ws, Request(o), o.width, o.height, fb, picture);
  bar.Clear();
  if (const ErrorText error = SavePicture(picture, Request(o), o.output); !error.empty()) {
    PrintFileError(o.output, error.Message(fb), error.reason);
    return kFileError;
  }
  return o.sidecar.empty() ? kOk : SaveSidecar(o, ws, fb);
}

RunResult RunAviFile(const RenderOptions& o, Workspace& ws, const RunHooks& hooks) {
  const uint32_t codec = o.compress.fccHandler;
  if (codec != 0 && !FindCodec(codec))
    std::fprintf(stderr,
                 "quarvel-render: note: this machine has no %s compressor; the frames are "
                 "written uncompressed\n",
                 FourCCText(codec).c_str());
  TVideoWriter writer;
  writer.SetCompressOptions(o.compress);
  return RunAvi(ws, writer, o.anim, o.avi, hooks);
}

// The writer's text follows the English one, as the animation dialog shows it.
std::string AviErrorMessage(const ErrorText& error, const Feedback& fb) {
  return error.arg.empty() ? error.Message(fb) : error.Message(fb) + " " + error.arg;
}

// As the animation dialog does from its start: the depth range for the turning model and the
// start-up mask with it, then the run.
int RunAnimation(const RenderOptions& o, Workspace& ws, const Feedback& fb, ProgressBar& bar) {
  BeginAnimation(ws, o.anim);
  RenderMask(ws, o.width, o.height, fb);
  bar.Clear();
  RunHooks hooks;
  const int frames = o.anim.frames;
  hooks.frameDone = [&](int i) {
    bar.SetLabel("frame " + std::to_string(i + 1) + " of " + std::to_string(frames));
    bar.Show((i + 1) * 100 / frames);
  };
  const RunResult result =
      o.avi.empty() ? RunBmpSequence(ws, o.anim, o.bmpSequence, hooks, PictureFrames(Request(o)))
                    : RunAviFile(o, ws, hooks);
  EndAnimation(ws);
  bar.Clear();
  switch (result.end) {
    case RunEnd::Finished:
      return kOk;
    case RunEnd::Canceled:
      std::fprintf(stderr, "quarvel-render: stopped after %d frames\n", result.framesWritten);
      return kFailure;
    case RunEnd::Failed:
      break;
  }
  // A BMP frame's error names its file; an AVI frame's carries the writer's text.
  if (o.avi.empty())
    PrintFileError(result.error.arg, result.error.Message(fb), result.error.reason);
  else
    PrintFileError(o.avi, AviErrorMessage(result.error, fb), result.error.reason);
  return kFileError;
}

int Run(const RenderOptions& o) {
  ProgressBar bar(isatty(STDERR_FILENO) == 1);
  std::string importStatus;
  Feedback fb;
  fb.status = [&](int field, const std::string& text) {
    if (field == 0) importStatus = text;
    if (field == 2) bar.SetLabel(text);
  };
  fb.progress = [&](int percent) { bar.Show(percent); };

  if (!FormatOfName(o.model)) {
    std::fprintf(stderr, "quarvel-render: %s: Unsupported input file type\n", o.model.c_str());
    return kBadModel;
  }
  Workspace ws;
  bar.SetLabel("Reading " + o.model);
  const ImportResult loaded = LoadAnyModel(ws.scene, o.model, fb);
  bar.Clear();
  if (!loaded.ok) {
    PrintFileError(o.model, loaded.error.Message(fb), loaded.error.reason);
    return loaded.error.text == "Cannot open file %s" ? kFileError : kBadModel;
  }
  ws.modelPath = o.model;
  if (o.info) {
    std::printf("%s\nExtents: %.9g %.9g %.9g\nFitScale: %.9g\n", importStatus.c_str(),
                ws.scene.ExtentX, ws.scene.ExtentY, ws.scene.ExtentZ, ws.scene.FitScale);
  }
  ApplyView(ws.scene, o.view);
  return o.Animation() ? RunAnimation(o, ws, fb, bar) : RunSingleMask(o, ws, fb, bar);
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  const auto options = ParseRenderOptions({argv + 1, argv + argc}, error);
  if (!options) {
    std::fprintf(stderr, "quarvel-render: %s\n\n%s", error.c_str(), kRenderUsage);
    return kUsage;
  }
  if (options->help) {
    std::fputs(kRenderUsage, stdout);
    return kOk;
  }
  if (options->version) {
    std::puts("quarvel-render " QUARVEL_VERSION);
    return kOk;
  }
  try {
    if (options->listCodecs) return ListCodecs();
    if (const int refused = CheckOutputs(*options); refused != kOk) return refused;
    return Run(*options);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "quarvel-render: out of memory\n");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "quarvel-render: %s\n", e.what());
  }
  return kFailure;
}
