#include "workspace.h"

#include "base/file_io.h"
#include "scene/model_formats.h"

namespace quarvel {

BusyScope::BusyScope(Workspace& ws) : ws_(ws), was_(ws.busy) {
  ws_.busy = true;
  if (ws_.busyChanged) ws_.busyChanged();
}

BusyScope::~BusyScope() {
  ws_.busy = was_;
  if (ws_.busyChanged) ws_.busyChanged();
}

namespace {

// A .3ds file, or a name without a known extension, takes the .3ds reader's own path; the other
// formats are read as quarvel-render reads them.
ImportResult LoadByFormat(Scene& scene, const std::string& path, const Feedback& fb) {
  const std::optional<ModelFormat> format = FormatOfName(path);
  if (!format || *format == ModelFormat::Max3ds) return LoadModel(scene, path, fb);
  return LoadAnyModel(scene, path, fb);
}

}  // namespace

ImportResult OpenModel(Workspace& ws, const std::string& path, const Feedback& fb) {
  ws.modelPath.clear();
  try {
    ImportResult result = LoadByFormat(ws.scene, path, fb);
    if (result.ok) ws.modelPath = path;
    return result;
  } catch (...) {
    ws.scene.DXDrawInitialize();
    ws.scene.ModelLoaded = false;
    AbortRequested = 0;
    throw;
  }
}

void RenderMask(Workspace& ws, int width, int height, const Feedback& fb) {
  struct Drawing {
    bool& flag;
    explicit Drawing(bool& f) : flag(f) { flag = true; }
    ~Drawing() { flag = false; }
  } drawing(ws.rendering);
  try {
    RenderObject(ws.scene, ws.render, ws.mask, width, height, fb, ws.animating);
  } catch (...) {
    ws.mask.SetSize(0, 0);
    ws.render.MaskReady = false;
    throw;
  }
}

ErrorText SaveMaskFile(const Workspace& ws, const std::string& path) {
  if (!ws.modelPath.empty() && IsSameFile(path, ws.modelPath))
    return {ErrorKind::Usage, "Cannot save the mask over the model %s", path};
  return ws.mask.SaveToFile(path);
}

}  // namespace quarvel
