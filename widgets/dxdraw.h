// The 3D view's place in the main window. Where OpenGL can be used it holds the shaded view of
// the model; where it cannot (no OpenGL on the display, or a context lost later) a plain panel
// says so, and the view cannot draw: the handlers that place the model then do nothing, while
// Render, Save and the animation export work on the model as it was placed.
#pragma once

#include <QLabel>
#include <QWidget>

#include "scene/scene.h"

namespace quarvel {

class ShadedView;

class DXDraw : public QWidget {
  Q_OBJECT
 public:
  DXDraw(const Scene& scene, QWidget* parent = nullptr);

  // Whether the view can draw: it shows the model, its OpenGL is set up and it has a size.
  bool CanDraw() const;
  // Draws the model again, or falls back to the panel if OpenGL has gone since.
  void Redraw();
  // The panel's line, in the language shown.
  void SetNoOpenGLText(const QString& text);

 signals:
  void mouseDown(QPoint pos);
  void mouseMove(QPoint pos, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);
  void keyDown(int key, Qt::KeyboardModifiers modifiers);  // every press, repeats included

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;
  void paintEvent(QPaintEvent* e) override;

 private:
  void ShowPanel();

  ShadedView* shaded_ = nullptr;
  QLabel* panel_ = nullptr;
  QString noOpenGLText_ = "The 3D view needs OpenGL, which this display does not offer.";
};

}  // namespace quarvel
