#include "shaded_view.h"

#include <GL/gl.h>

#include <QOpenGLContext>
#include <QTimer>
#include <cmath>

namespace quarvel {

namespace {

constexpr float kFrontPlane = 1.0f, kBackPlane = 5000.0f;
constexpr float kField = 0.5f;  // half the view's smaller side at the front plane

void SetColor(GLenum what, Rgb c, float alpha = 1.0f) {
  const GLfloat v[4] = {c.r, c.g, c.b, alpha};
  glMaterialfv(GL_FRONT_AND_BACK, what, v);
}

}  // namespace

ShadedView::ShadedView(const Scene& scene, QWidget* parent) : QOpenGLWidget(parent), scene_(scene) {
  setObjectName("ShadedView");
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::NoFocus);
}

// The context goes before the widget's own destruction ends: nothing may be told of it then.
ShadedView::~ShadedView() {
  if (context()) disconnect(context(), nullptr, this, nullptr);
}

bool ShadedView::ContextLost() const {
  return initialized_ && (!context() || !context()->isValid());
}

// A context that goes away is looked at once the event that took it has ended: the widget
// makes a new one itself when it moves to another window, and only a context that stays gone
// is reported as lost.
void ShadedView::initializeGL() {
  initialized_ = true;
  connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, [this] {
    QTimer::singleShot(0, this, [this] {
      if (ContextLost()) emit contextLost();
    });
  });
}

void ShadedView::UpdateNormals(const Mesh& mesh) {
  if (normalsMesh_ == &mesh && normalsFaces_ == mesh.FaceCount() &&
      normals_.size() == mesh.vertices().size())
    return;
  const auto vertices = mesh.vertices();
  normals_.assign(vertices.size(), Vec3{});
  for (const FaceIndices& f : mesh.faces()) {
    const Vec3 a = vertices[f[0]], b = vertices[f[1]], c = vertices[f[2]];
    const float ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
    const float vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
    const Vec3 n{uy * vz - uz * vy, uz * vx - ux * vz, ux * vy - uy * vx};  // area-weighted
    for (uint32_t i : f)
      normals_[i] = {normals_[i].x + n.x, normals_[i].y + n.y, normals_[i].z + n.z};
  }
  normalsMesh_ = &mesh;
  normalsFaces_ = mesh.FaceCount();
}

void ShadedView::paintGL() {
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  if (scene_.ModelMesh->FaceCount() > 0) DrawModel(*scene_.ModelMesh);
  if (parentWidget()->hasFocus()) DrawFocusFrame();
}

// A frame in the highlight colour along the edges while the arrow keys turn the model.
void ShadedView::DrawFocusFrame() {
  const QColor c = palette().color(QPalette::Highlight);
  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glColor3f(c.redF(), c.greenF(), c.blueF());
  glLineWidth(4);  // half of it falls outside the view
  glBegin(GL_LINE_LOOP);
  glVertex2f(-1, -1);
  glVertex2f(1, -1);
  glVertex2f(1, 1);
  glVertex2f(-1, 1);
  glEnd();
}

void ShadedView::DrawModel(const Mesh& mesh) {
  UpdateNormals(mesh);

  const double aspect = double(width()) / std::max(1, height());
  const double fx = aspect >= 1 ? kField * aspect : kField,
               fy = aspect >= 1 ? kField : kField / aspect;
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glFrustum(-fx, fx, -fy, fy, kFrontPlane, kBackPlane);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glScalef(1, 1, -1);  // the scene looks along +z; OpenGL's camera along -z

  glEnable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  glFrontFace(GL_CW);  // the z flip mirrors the winding
  glEnable(GL_LIGHTING);
  glEnable(GL_NORMALIZE);
  glShadeModel(GL_SMOOTH);
  glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
  Rgb ambient;
  for (const Light& l : scene_.SceneFrame->GetLights())
    if (l.type == LightType::Ambient) ambient = l.color;
  const GLfloat ambientColor[4] = {ambient.r, ambient.g, ambient.b, 1};
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambientColor);
  glEnable(GL_LIGHT0);
  const Light& sun = scene_.LightFrame->GetLights().front();
  const GLfloat sunColor[4] = {sun.color.r, sun.color.g, sun.color.b, 1};
  const GLfloat noColor[4] = {0, 0, 0, 1};
  const GLfloat towardsLight[4] = {0, 0, -1, 0};  // it shines along +z, from the viewer's side
  glLightfv(GL_LIGHT0, GL_POSITION, towardsLight);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, sunColor);
  glLightfv(GL_LIGHT0, GL_SPECULAR, sunColor);
  glLightfv(GL_LIGHT0, GL_AMBIENT, noColor);

  const Transform t = scene_.ModelFrame->GetTransform();
  glMultMatrixf(&t.m[0][0]);  // row-vector matrices are OpenGL's column-major layout

  const Material& material = mesh.material();
  SetColor(GL_AMBIENT_AND_DIFFUSE, mesh.color());
  SetColor(GL_SPECULAR, material.specular);
  SetColor(GL_EMISSION, material.emissive);
  glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, std::min(material.power, 128.0f));

  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_NORMAL_ARRAY);
  glVertexPointer(3, GL_FLOAT, sizeof(Vec3), mesh.vertices().data());
  glNormalPointer(GL_FLOAT, sizeof(Vec3), normals_.data());
  glDrawElements(GL_TRIANGLES, GLsizei(mesh.FaceCount() * 3), GL_UNSIGNED_INT, mesh.faces().data());
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
}

}  // namespace quarvel
