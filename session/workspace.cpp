#include "workspace.h"

#include "base/file_io.h"

namespace quarvel {

BusyScope::BusyScope(Workspace& ws) : ws_(ws), was_(ws.busy) {
  ws_.busy = true;
  if (ws_.busyChanged) ws_.busyChanged();
}

BusyScope::~BusyScope() {
  ws_.busy = was_;
  if (ws_.busyChanged) ws_.busyChanged();
}

ImportResult OpenModel(Workspace& ws, const std::string& path, const Feedback& fb) {
  ws.modelPath.clear();
  try {
    ImportResult result = LoadModel(ws.scene, path, fb);
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
