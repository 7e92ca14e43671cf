// The shaded 3D view of the scene: the model mesh lit by the scene's directional and ambient
// lights, seen through a perspective camera at the origin looking along +z. It takes no input of
// its own: mouse and keys go to the DXDraw that holds it, which also keeps the focus.
#pragma once

#include <QOpenGLWidget>
#include <vector>

#include "scene/scene.h"

namespace quarvel {

class ShadedView : public QOpenGLWidget {
  Q_OBJECT
 public:
  ShadedView(const Scene& scene, QWidget* parent);
  ~ShadedView() override;

  bool initialized() const { return initialized_; }
  // Whether the OpenGL context was made and then lost (a driver reset, say).
  bool ContextLost() const;

 signals:
  void contextLost();

 protected:
  void initializeGL() override;
  void paintGL() override;

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
