// What the main window and its dialogs work on: the scene, the renderer's state, the mask, the
// file the model came from and the busy state. It knows nothing of windows, so a dialog is
// given the workspace rather than the main window, and the commands are tested without one.
#pragma once

#include <functional>
#include <string>

#include "base/feedback.h"
#include "render/mask_image.h"
#include "render/rasterizer.h"
#include "scene/import_3ds.h"
#include "scene/scene.h"

namespace quarvel {

struct Workspace {
  Scene scene;
  RenderState render;
  MaskImage mask;
  std::string modelPath;  // the loaded model's file, as given; empty when none is loaded
  bool busy = false;
  bool rendering = false;  // the renderer is drawing into `mask`: do not read it
  // An animation dialog is open: renders keep RenderBox as GetMaxBox set it.
  bool animating = false;
  std::function<void()> busyChanged;  // the window enables its commands to match
};

// Holds the workspace busy for the life of the scope and gives the previous state back however
// the scope ends, an exception included, so the commands never stay disabled.
class BusyScope {
 public:
  explicit BusyScope(Workspace& ws);
  ~BusyScope();
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  Workspace& ws_;
  bool was_;
};

// Loads `path` as the model with the reader its extension names (.3ds, .obj, .stl, .ply, .gltf,
// .glb; any other name is read as .3ds), with the same axes and fit as quarvel-render. Whatever
// fails, an exception included, leaves the empty scene and no model loaded.
ImportResult OpenModel(Workspace& ws, const std::string& path, const Feedback& fb);

// Renders the model into a new mask of width x height. While it runs `rendering` is set; a
// render that throws leaves no mask, so a half-drawn one is never shown or saved.
void RenderMask(Workspace& ws, int width, int height, const Feedback& fb);

// Writes the mask as a BMP file. The model's own file is never replaced by a mask.
ErrorText SaveMaskFile(const Workspace& ws, const std::string& path);

}  // namespace quarvel
