// quarvel-render: the batch renderer. A .3ds model in, its depth mask out as an 8-bit BMP.
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "base/file_io.h"
#include "options.h"
#include "progress_bar.h"
#include "render/rasterizer.h"
#include "scene/import_3ds.h"

namespace {

enum ExitCode { kOk = 0, kUsage = 2, kBadModel = 3, kFileError = 4, kFailure = 5 };

int Run(const quarvel::RenderOptions& o) {
  using namespace quarvel;
  ProgressBar bar(isatty(STDERR_FILENO) == 1);
  std::string importStatus;
  Feedback fb;
  fb.status = [&](int field, const std::string& text) {
    if (field == 0) importStatus = text;
    if (field == 2) bar.SetLabel(text);
  };
  fb.progress = [&](int percent) { bar.Show(percent); };

  if (const std::string error = IsSupportedFile(o.model); !error.empty()) {
    std::fprintf(stderr, "quarvel-render: %s: %s\n", o.model.c_str(), error.c_str());
    return kBadModel;
  }
  Scene scene;
  bar.SetLabel("Reading " + o.model);
  const ImportResult loaded = LoadModel(scene, o.model, fb);
  bar.Clear();
  if (!loaded.ok) {
    const std::string reason = loaded.error.reason.empty() ? "" : " (" + loaded.error.reason + ")";
    std::fprintf(stderr, "quarvel-render: %s: %s%s\n", o.model.c_str(),
                 loaded.error.Message(fb).c_str(), reason.c_str());
    return loaded.error.text == "Cannot open file %s" ? kFileError : kBadModel;
  }
  if (o.info) {
    std::printf("%s\nExtents: %.9g %.9g %.9g\nFitScale: %.9g\n", importStatus.c_str(),
                scene.ExtentX, scene.ExtentY, scene.ExtentZ, scene.FitScale);
  }
  ApplyView(scene, o.view);

  RenderState state;
  MaskImage mask;
  RenderObject(scene, state, mask, o.width, o.height, fb, false, {o.threads, false});
  bar.Clear();
  if (const ErrorText error = mask.SaveToFile(o.output); !error.empty()) {
    const std::string reason = error.reason.empty() ? "" : " (" + error.reason + ")";
    std::fprintf(stderr, "quarvel-render: %s: %s%s\n", o.output.c_str(), error.Message(fb).c_str(),
                 reason.c_str());
    return kFileError;
  }
  return kOk;
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  const auto options = quarvel::ParseRenderOptions({argv + 1, argv + argc}, error);
  if (!options) {
    std::fprintf(stderr, "quarvel-render: %s\n\n%s", error.c_str(), quarvel::kRenderUsage);
    return kUsage;
  }
  if (options->help) {
    std::fputs(quarvel::kRenderUsage, stdout);
    return kOk;
  }
  if (quarvel::IsSameFile(options->model, options->output)) {
    std::fprintf(stderr,
                 "quarvel-render: %s: the output file is the model itself; name another with -o\n",
                 options->output.c_str());
    return kUsage;
  }
  try {
    return Run(*options);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "quarvel-render: out of memory\n");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "quarvel-render: %s\n", e.what());
  }
  return kFailure;
}
