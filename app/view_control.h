// The view control: places the model from the six arrow controls and from drags and arrow keys
// in the 3D view, each change going straight to the scene and redrawing the view. While the view
// cannot draw, or the window is busy, the controls rest.
#pragma once

#include <QObject>
#include <QPoint>
#include <array>

#include "session/workspace.h"
#include "widgets/dxdraw.h"
#include "widgets/up_down.h"

namespace quarvel {

class ViewControl : public QObject {
 public:
  ViewControl(Workspace& ws, DXDraw* view, const std::array<UpDown*, 6>& arrows, QObject* parent);

  // The arrow controls: position 1 is the left arrow, 3 the right one.
  void UpDownXClick(int position);
  void UpDownYClick(int position);
  void UpDownZClick(int position);
  void UpDown1Click(int position);
  void UpDown2Click(int position);
  void UpDown3Click(int position);
  void DXDrawMouseDown(QPoint pos);
  void DXDrawMouseMove(QPoint pos, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);
  void DXDrawKeyDown(int key, Qt::KeyboardModifiers modifiers);
  void Redraw();

 private:
  void UpDownRotateClick(float x, float y, float z, int position);
  void UpDownMoveClick(int axis, int position);

  Workspace& ws_;
  DXDraw* view_;
  int lastMouseX_ = 0, lastMouseY_ = 0;
};

}  // namespace quarvel
