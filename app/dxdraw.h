// The shaded 3D view of the scene: the model mesh lit by the scene's directional and ambient
// lights, seen through a perspective camera at the origin looking along +z.
#pragma once

#include <QOpenGLWidget>
#include <vector>

#include "scene/scene.h"

namespace quarvel {

class DXDraw : public QOpenGLWidget {
  Q_OBJECT
 public:
  DXDraw(const Scene& scene, QWidget* parent = nullptr);

  // Whether the view is initialised and has a surface to draw on.
  bool CanDraw() const { return initialized_ && width() > 0 && height() > 0; }

 signals:
  void mouseDown(QPoint pos);
  void mouseMove(QPoint pos, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);
  void keyDown(int key, Qt::KeyboardModifiers modifiers);  // every press, repeats included

 protected:
  void initializeGL() override;
  void paintGL() override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  void DrawModel(const Mesh& mesh);
  void DrawFocusFrame();
  void UpdateNormals(const Mesh& mesh);

  const Scene& scene_;
  bool initialized_ = false;
  std::vector<Vec3> normals_;  // smooth per-vertex normals of the mesh drawn last
  const Mesh* normalsMesh_ = nullptr;
  size_t normalsFaces_ = 0;
};

}  // namespace quarvel
