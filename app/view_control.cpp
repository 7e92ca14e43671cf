// Placing the model: the six arrow controls, mouse drags and arrow keys in the 3D view, Esc as
// the cancel request, the menus' keys wherever the focus is, and the two panes kept consistent
// when the window or the splitter changes size.
#include <QAction>
#include <QKeyEvent>
#include <QShowEvent>
#include <QStatusBar>

#include "main_form.h"
#include "render/view_ops.h"
#include "widgets/dxdraw.h"
#include "widgets/preview_box.h"

namespace quarvel {

// The arrow controls: position 1 is the left arrow, 3 the right one.
void TMainForm::UpDownXClick(int position) {
  UpDownRotateClick(1, 0, 0, position);
}
void TMainForm::UpDownYClick(int position) {
  UpDownRotateClick(0, 1, 0, position);
}
void TMainForm::UpDownZClick(int position) {
  UpDownRotateClick(0, 0, 1, position);
}
void TMainForm::UpDown1Click(int position) {
  UpDownMoveClick(0, position);
}
void TMainForm::UpDown2Click(int position) {
  UpDownMoveClick(1, position);
}
void TMainForm::UpDown3Click(int position) {
  UpDownMoveClick(2, position);
}

void TMainForm::UpDownRotateClick(float x, float y, float z, int position) {
  if (!dxdraw_->CanDraw()) return;
  TurnModel(ws_.scene, x, y, z, position > 2 ? -kClickAngle : kClickAngle);
  Redraw();
}

void TMainForm::UpDownMoveClick(int axis, int position) {
  if (!dxdraw_->CanDraw()) return;
  const float s = MoveStep(ws_.scene.FitScale) * (position > 2 ? 1.0f : -1.0f);
  if (axis == 2)
    MoveFrameZ(ws_.scene, s);
  else
    MoveMesh(ws_.scene, axis == 0 ? s : 0, axis == 1 ? s : 0, 0);
  Redraw();
}

void TMainForm::DXDrawMouseDown(QPoint pos) {
  lastMouseX_ = pos.x();
  lastMouseY_ = pos.y();
}

void TMainForm::DXDrawMouseMove(QPoint pos, Qt::MouseButtons buttons,
                                Qt::KeyboardModifiers modifiers) {
  if ((pos.x() == lastMouseX_ && pos.y() == lastMouseY_) || !dxdraw_->CanDraw()) return;
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
void TMainForm::DXDrawKeyDown(int key, Qt::KeyboardModifiers modifiers) {
  if (ws_.busy) return;
  const bool ctrl = modifiers & Qt::ControlModifier;
  if (key == Qt::Key_Left || key == Qt::Key_Right) {
    const int position = key == Qt::Key_Left ? 1 : 3;
    ctrl ? UpDownZClick(position) : UpDownYClick(position);
  } else if (!ctrl) {
    UpDownXClick(key == Qt::Key_Up ? 1 : 3);
  }
}

void TMainForm::Redraw() {
  dxdraw_->Redraw();
}

// Esc asks a running import to stop.
void TMainForm::FormKeyDown(int key) {
  if (key == Qt::Key_Escape) AbortRequested = -1;
}

// A key that a menu command uses, or Alt with the underlined letter of a menu: the size boxes
// would take Ctrl+E and Ctrl+A for editing, and Alt with a letter too.
bool TMainForm::IsMenuKey(const QKeyEvent& key) const {
  if (key.modifiers() & Qt::AltModifier) return true;
  const QKeySequence sequence(key.keyCombination());
  for (const QAction* a : findChildren<QAction*>())
    if (!a->shortcut().isEmpty() && a->shortcut() == sequence) return true;
  return false;
}

bool TMainForm::eventFilter(QObject* watched, QEvent* e) {
  // Keys reach FormKeyDown from any control of the main window, but not from a message box or
  // a file dialog shown during a long import: their Esc closes them and nothing else.
  const bool mine = watched->isWidgetType() && static_cast<QWidget*>(watched)->window() == this;
  if (e->type() == QEvent::KeyPress && mine) FormKeyDown(static_cast<QKeyEvent*>(e)->key());
  // The menus' keys win over the control with the focus, which would otherwise claim them.
  if (e->type() == QEvent::ShortcutOverride && mine && IsMenuKey(*static_cast<QKeyEvent*>(e))) {
    e->ignore();
    return true;
  }
  // With "Show hints" off no hint shows, but for the splitter's.
  if (e->type() == QEvent::ToolTip && !showHints1_->isChecked() && watched != splitter_->handle(1))
    return true;
  if (e->type() == QEvent::Resize && watched == statusBar()) PlaceProgressBar();
  return QMainWindow::eventFilter(watched, e);
}

// The splitter takes the stored position once the window has its real size: sizes given before
// that are scaled by Qt's first layout.
void TMainForm::showEvent(QShowEvent* e) {
  QMainWindow::showEvent(e);
  if (splitterPlaced_) return;
  splitterPlaced_ = true;
  PlaceSplitter(props_.Splitter);
}

// The preview pane gets `previewWidth`, but never so much that the 3D view keeps less than
// kSplitterLimit, nor less than kSplitterLimit itself.
void TMainForm::PlaceSplitter(int previewWidth) {
  const int total = splitter_->width() - splitter_->handleWidth();
  const int right =
      std::clamp(previewWidth, kSplitterLimit, std::max(kSplitterLimit, total - kSplitterLimit));
  splitter_->setSizes({std::max(total - right, kSplitterLimit), right});
}

void TMainForm::resizeEvent(QResizeEvent* e) {
  QMainWindow::resizeEvent(e);
  FormResize();
}

void TMainForm::FormResize() {
  if (!closing_ && splitter_) {
    const int limit = width() - kSplitterLimit;
    if (splitterPlaced_ && limit < panel1_->width() && limit >= kSplitterLimit)
      PlaceSplitter(limit);
    Redraw();
    UpdatePreview();
  }
  SaveSettings();
}

}  // namespace quarvel
