#include "dxdraw.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QPainter>
#include <QVBoxLayout>

#include "widgets/shaded_view.h"

namespace quarvel {

namespace {

// Whether the OpenGL view can be shown: the window system composes OpenGL widgets into windows
// (Qt's offscreen, minimal, VNC and framebuffer platforms do not, even where they can make a
// context), and a context can be made and used on this display. Asked before any OpenGL widget
// exists: where it cannot work, such a widget takes the whole window down with it.
bool OpenGLAvailable() {
  const QString platform = QGuiApplication::platformName();
  if (platform != "xcb" && platform != "eglfs" && !platform.startsWith("wayland")) return false;
  QOffscreenSurface surface;
  surface.create();
  QOpenGLContext context;
  if (!surface.isValid() || !context.create() || !context.makeCurrent(&surface)) return false;
  context.doneCurrent();
  return true;
}

}  // namespace

DXDraw::DXDraw(const Scene& scene, QWidget* parent) : QWidget(parent) {
  setObjectName("DXDraw");
  setMouseTracking(false);
  setFocusPolicy(Qt::StrongFocus);  // the arrow keys turn the model
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  if (!OpenGLAvailable()) {
    ShowPanel();
    return;
  }
  shaded_ = new ShadedView(scene, this);
  layout->addWidget(shaded_);
  connect(shaded_, &ShadedView::contextLost, this, &DXDraw::ShowPanel);
}

bool DXDraw::CanDraw() const {
  return shaded_ && shaded_->initialized() && width() > 0 && height() > 0;
}

void DXDraw::Redraw() {
  if (shaded_ && shaded_->ContextLost())
    ShowPanel();
  else if (shaded_)
    shaded_->update();
}

void DXDraw::SetNoOpenGLText(const QString& text) {
  noOpenGLText_ = text;
  if (panel_) panel_->setText(text);
}

// The shaded view goes for good; the window and its masks go on without it.
void DXDraw::ShowPanel() {
  if (panel_) return;
  if (shaded_) {
    shaded_->hide();
    shaded_->deleteLater();
    shaded_ = nullptr;
  }
  panel_ = new QLabel(noOpenGLText_, this);
  panel_->setObjectName("NoOpenGL");
  panel_->setAlignment(Qt::AlignCenter);
  panel_->setWordWrap(true);
  panel_->setMargin(8);
  panel_->setAttribute(Qt::WA_TransparentForMouseEvents);
  layout()->addWidget(panel_);
  update();
}

void DXDraw::mousePressEvent(QMouseEvent* e) {
  emit mouseDown(e->position().toPoint());
}

void DXDraw::mouseMoveEvent(QMouseEvent* e) {
  emit mouseMove(e->position().toPoint(), e->buttons(), e->modifiers());
}

// The arrow keys are the view's own; every other key goes on to the window.
void DXDraw::keyPressEvent(QKeyEvent* e) {
  switch (e->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
      emit keyDown(e->key(), e->modifiers());
      break;
    default:
      QWidget::keyPressEvent(e);
  }
}

// The focus frame is drawn by whichever shows: the shaded view or this widget behind the panel.
void DXDraw::focusInEvent(QFocusEvent* e) {
  QWidget::focusInEvent(e);
  Redraw();
  update();
}

void DXDraw::focusOutEvent(QFocusEvent* e) {
  QWidget::focusOutEvent(e);
  Redraw();
  update();
}

void DXDraw::paintEvent(QPaintEvent*) {
  if (shaded_ || !hasFocus()) return;
  QPainter painter(this);
  painter.setPen(QPen(palette().color(QPalette::Highlight), 4));
  painter.drawRect(rect().adjusted(2, 2, -2, -2));
}

}  // namespace quarvel
