#include "view_control.h"

#include "render/view_ops.h"

namespace quarvel {

ViewControl::ViewControl(Workspace& ws, DXDraw* view, const std::array<UpDown*, 6>& arrows,
                         QObject* parent)
    : QObject(parent), ws_(ws), view_(view) {
  const std::array<void (ViewControl::*)(int), 6> clicks = {
      &ViewControl::UpDownXClick, &ViewControl::UpDownYClick, &ViewControl::UpDownZClick,
      &ViewControl::UpDown1Click, &ViewControl::UpDown2Click, &ViewControl::UpDown3Click};
  for (size_t i = 0; i < clicks.size(); ++i)
    connect(arrows[i], &UpDown::clicked, this, clicks[i]);
  connect(view, &DXDraw::mouseDown, this, &ViewControl::DXDrawMouseDown);
  connect(view, &DXDraw::mouseMove, this, &ViewControl::DXDrawMouseMove);
  connect(view, &DXDraw::keyDown, this, &ViewControl::DXDrawKeyDown);
}

void ViewControl::UpDownXClick(int position) {
  UpDownRotateClick(1, 0, 0, position);
}
void ViewControl::UpDownYClick(int position) {
  UpDownRotateClick(0, 1, 0, position);
}
void ViewControl::UpDownZClick(int position) {
  UpDownRotateClick(0, 0, 1, position);
}
void ViewControl::UpDown1Click(int position) {
  UpDownMoveClick(0, position);
}
void ViewControl::UpDown2Click(int position) {
  UpDownMoveClick(1, position);
}
void ViewControl::UpDown3Click(int position) {
  UpDownMoveClick(2, position);
}

void ViewControl::UpDownRotateClick(float x, float y, float z, int position) {
  if (!view_->CanDraw()) return;
  TurnModel(ws_.scene, x, y, z, position > 2 ? -kClickAngle : kClickAngle);
  Redraw();
}

void ViewControl::UpDownMoveClick(int axis, int position) {
  if (!view_->CanDraw()) return;
  const float s = MoveStep(ws_.scene.FitScale) * (position > 2 ? 1.0f : -1.0f);
  if (axis == 2)
    MoveFrameZ(ws_.scene, s);
  else
    MoveMesh(ws_.scene, axis == 0 ? s : 0, axis == 1 ? s : 0, 0);
  Redraw();
}

void ViewControl::DXDrawMouseDown(QPoint pos) {
  lastMouseX_ = pos.x();
  lastMouseY_ = pos.y();
}

void ViewControl::DXDrawMouseMove(QPoint pos, Qt::MouseButtons buttons,
                                  Qt::KeyboardModifiers modifiers) {
  if ((pos.x() == lastMouseX_ && pos.y() == lastMouseY_) || !view_->CanDraw()) return;
  float a = Store((lastMouseY_ - pos.y()) * 0.1);
  float b = Store((lastMouseX_ - pos.x()) * 0.1);
  Scene& scene = ws_.scene;
  if (buttons & Qt::LeftButton) {
    TurnModel(scene, a, b, 0, kClickAngle);  // about an axis in the view plane, across the drag
  } else if (buttons & Qt::RightButton) {
    a = Store(double(a) * scene.FitScale);
    b = Store(double(b) * scene.FitScale);
    if (modifiers & Qt::ShiftModifier)
      MoveMesh(scene, 0, 0, a);
    else
      MoveMesh(scene, -b, a, 0);
  }
  Redraw();
  lastMouseX_ = pos.x();
  lastMouseY_ = pos.y();
}

// The arrow keys in the 3D view click the Rotation arrows, the arrow that points the way the
// model's near side goes: Left and Right the Y pair, Up and Down the X pair, Ctrl+Left and
// Ctrl+Right the Z pair. Like the arrows, they rest while the window is busy.
void ViewControl::DXDrawKeyDown(int key, Qt::KeyboardModifiers modifiers) {
  if (ws_.busy) return;
  const bool ctrl = modifiers & Qt::ControlModifier;
  if (key == Qt::Key_Left || key == Qt::Key_Right) {
    const int position = key == Qt::Key_Left ? 1 : 3;
    ctrl ? UpDownZClick(position) : UpDownYClick(position);
  } else if (!ctrl) {
    UpDownXClick(key == Qt::Key_Up ? 1 : 3);
  }
}

void ViewControl::Redraw() {
  view_->Redraw();
}

}  // namespace quarvel
