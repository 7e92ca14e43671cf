#include "render/perspective.h"

#include <gtest/gtest.h>

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <sstream>

#include "fixtures.h"
#include "render/normal_files.h"

namespace quarvel {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

struct D3 {
  double x, y, z;
};
D3 Sub(D3 a, D3 b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
double Dot(D3 a, D3 b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
D3 Cross(D3 a, D3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// A pose turning by `degrees` about the axis (ax, ay, az), then moving by t.
CameraPose Pose(D3 axis, double degrees, D3 t) {
  const double len = std::sqrt(Dot(axis, axis)), a = degrees * M_PI / 180;
  const double x = axis.x / len, y = axis.y / len, z = axis.z / len, c = std::cos(a),
               s = std::sin(a), u = 1 - c;
  return {{{c + x * x * u, x * y * u - z * s, x * z * u + y * s, t.x},
           {y * x * u + z * s, c + y * y * u, y * z * u - x * s, t.y},
           {z * x * u - y * s, z * y * u + x * s, c + z * z * u, t.z}}};
}

D3 Apply(const CameraPose& p, D3 v, bool move = true) {
  const auto& m = p.m;
  return {m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z + (move ? m[0][3] : 0),
          m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z + (move ? m[1][3] : 0),
          m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z + (move ? m[2][3] : 0)};
}
// The pose's turn undone: R^T v.
D3 Unturn(const CameraPose& p, D3 v) {
  const auto& m = p.m;
  return {m[0][0] * v.x + m[1][0] * v.y + m[2][0] * v.z,
          m[0][1] * v.x + m[1][1] * v.y + m[2][1] * v.z,
          m[0][2] * v.x + m[1][2] * v.y + m[2][2] * v.z};
}

// The unit cube about the origin, its faces wound either way.
Mesh Cube() {
  std::vector<Vec3> v;
  for (int k = 0; k < 8; ++k)
    v.push_back({k & 1 ? 0.5f : -0.5f, k & 2 ? 0.5f : -0.5f, k & 4 ? 0.5f : -0.5f});
  const std::vector<FaceIndices> f = {{0, 3, 1}, {0, 3, 2}, {4, 5, 7}, {4, 6, 7},
                                      {0, 1, 5}, {0, 4, 5}, {2, 3, 7}, {2, 7, 6},
                                      {0, 2, 6}, {0, 6, 4}, {1, 7, 3}, {1, 5, 7}};
  Mesh m;
  m.AddFaces(v, f);
  return m;
}

// A unit sphere of rings x segments quads, each two triangles.
Mesh Sphere(int rings, int segments) {
  std::vector<Vec3> v;
  std::vector<FaceIndices> f;
  for (int i = 0; i <= rings; ++i)
    for (int j = 0; j <= segments; ++j) {
      const double th = M_PI * i / rings, ph = 2 * M_PI * j / segments;
      v.push_back({float(std::sin(th) * std::cos(ph)), float(std::sin(th) * std::sin(ph)),
                   float(std::cos(th))});
    }
  for (int i = 0; i < rings; ++i)
    for (int j = 0; j < segments; ++j) {
      const uint32_t a = i * (segments + 1) + j, b = a + segments + 1;
      f.push_back({a, b, a + 1});
      f.push_back({a + 1, b, b + 1});
    }
  Mesh m;
  m.AddFaces(v, f);
  return m;
}

// What the test's own tracing finds along a pixel's ray: the nearest t, the normal there (facing
// the camera), and whether the ray passes so close to an edge that either answer is right.
struct Hit {
  double t = kInf;
  D3 normal{0, 0, 0};
  bool nearEdge = false;
};

D3 RayOf(const PerspectiveRequest& q, int c, int r) {
  return {(c - q.k.cx) / q.k.fx, (r - q.k.cy) / q.k.fy, 1};
}

// Moller-Trumbore against every triangle of the mesh as the pose places it.
Hit TraceMesh(const Mesh& mesh, const CameraPose& pose, D3 ray) {
  Hit hit;
  for (const FaceIndices& f : mesh.faces()) {
    D3 p[3];
    for (int k = 0; k < 3; ++k) {
      const Vec3 v = mesh.vertices()[f[k]];
      p[k] = Apply(pose, {v.x, v.y, v.z});
    }
    const D3 e1 = Sub(p[1], p[0]), e2 = Sub(p[2], p[0]), h = Cross(ray, e2);
    const double det = Dot(e1, h);
    if (det == 0) continue;
    const D3 s = Sub({0, 0, 0}, p[0]), q = Cross(s, e1);
    const double u = Dot(s, h) / det, v = Dot(ray, q) / det, t = Dot(e2, q) / det;
    const double margin = std::min({u, v, 1 - u - v});
    if (t > 0 && std::fabs(margin) < 1e-9) hit.nearEdge = true;
    if (t > 0 && margin >= 0 && t < hit.t) hit.t = t;
  }
  return hit;
}

// The unit cube by slabs: the ray enters at the largest of the near planes' t.
Hit TraceCube(const CameraPose& pose, D3 ray) {
  const D3 o = Unturn(pose, {-pose.m[0][3], -pose.m[1][3], -pose.m[2][3]}), d = Unturn(pose, ray);
  const double oc[3] = {o.x, o.y, o.z}, dc[3] = {d.x, d.y, d.z};
  double enter = -kInf, second = -kInf, leave = kInf;
  int axis = 0;
  for (int i = 0; i < 3; ++i) {
    const double t1 = (-0.5 - oc[i]) / dc[i], t2 = (0.5 - oc[i]) / dc[i];
    const double lo = std::min(t1, t2);
    second = std::max(second, std::min(lo, enter));
    if (lo > enter) enter = lo, axis = i;
    leave = std::min(leave, std::max(t1, t2));
  }
  Hit hit;
  hit.nearEdge = std::fabs(leave - enter) < 1e-9 * enter || enter - second < 1e-9 * enter;
  if (enter > leave || enter <= 0) return hit;
  hit.t = enter;
  D3 n{0, 0, 0};
  (axis == 0 ? n.x : axis == 1 ? n.y : n.z) = dc[axis] > 0 ? -1 : 1;
  hit.normal = Apply(pose, n, false);
  return hit;
}

PerspectiveRequest Request(const CameraPose& pose, DepthKind kind, bool normals = false) {
  PerspectiveRequest q;
  q.width = 64;
  q.height = 48;
  q.k = {70, 75, 31.3, 24.6};
  q.pose = pose;
  q.depth = kind;
  q.normals = normals;
  return q;
}

using Tracer = std::function<Hit(D3)>;

// Every pixel of the render against the tracer: covered where it hits (unless near an edge),
// with its depth within 1e-5 relative, and, when asked, its normal within `normalTolerance`.
// Gives the number of covered pixels compared.
int CompareWithTracer(const Mesh& mesh, const PerspectiveRequest& q, const Tracer& trace,
                      double normalTolerance = -1) {
  PerspectiveImages out;
  RenderPerspective(mesh, q, out);
  EXPECT_EQ(out.depth.width, q.width);
  EXPECT_EQ(out.depth.height, q.height);
  int compared = 0;
  for (int r = 0; r < q.height; ++r)
    for (int c = 0; c < q.width; ++c) {
      const D3 ray = RayOf(q, c, r);
      const Hit hit = trace(ray);
      if (hit.nearEdge) continue;
      const float got = out.depth.Row(r)[c];
      if (hit.t == kInf) {
        EXPECT_EQ(got, kNoDepth) << c << "," << r;
        continue;
      }
      const double want =
          q.depth == DepthKind::AlongAxis ? hit.t : hit.t * std::sqrt(Dot(ray, ray));
      EXPECT_NEAR(got, want, 1e-5 * want) << c << "," << r;
      ++compared;
      if (normalTolerance < 0) continue;
      const float* n = &out.normals.xyz[3 * (size_t(r) * q.width + c)];
      EXPECT_NEAR(n[0], hit.normal.x, normalTolerance) << c << "," << r;
      EXPECT_NEAR(n[1], hit.normal.y, normalTolerance) << c << "," << r;
      EXPECT_NEAR(n[2], hit.normal.z, normalTolerance) << c << "," << r;
    }
  return compared;
}

TEST(Perspective, CubeAndSphereDepthsAreTheExactRayDepths) {
  const Mesh cube = Cube(), sphere = Sphere(20, 40);
  const CameraPose oblique = Pose({1, 2, 0.5}, 37, {0.1, -0.05, 2.5});
  const CameraPose ahead = Pose({0, 1, 0}, 90, {0.2, -0.1, 3.5});
  struct Case {
    const Mesh* mesh;
    CameraPose pose;
    bool isCube;
  };
  for (const Case& k : {Case{&cube, oblique, true}, Case{&cube, ahead, true},
                        Case{&sphere, ahead, false}, Case{&sphere, oblique, false}})
    for (DepthKind kind : {DepthKind::AlongAxis, DepthKind::AlongRay}) {
      SCOPED_TRACE(testing::Message() << "cube " << k.isCube << " kind " << int(kind));
      const Tracer trace = [&](D3 ray) {
        return k.isCube ? TraceCube(k.pose, ray) : TraceMesh(*k.mesh, k.pose, ray);
      };
      EXPECT_GT(CompareWithTracer(*k.mesh, Request(k.pose, kind), trace), 300);
    }
}

TEST(Perspective, CubeNormalsAreTheCameraSpaceFaceAxes) {
  struct Case {
    CameraPose pose;
    double tolerance;  // 0: exactly
  };
  for (const Case& k : {Case{Pose({0, 0, 1}, 0, {0, 0, 3}), 0},
                        Case{Pose({1, 2, 0.5}, 37, {0.1, -0.05, 2.5}), 2e-7},
                        Case{Pose({-1, 0.3, 2}, 131, {-0.2, 0.1, 2}), 2e-7}}) {
    const PerspectiveRequest q = Request(k.pose, DepthKind::AlongRay, true);
    EXPECT_GT(CompareWithTracer(
                  Cube(), q, [&](D3 ray) { return TraceCube(k.pose, ray); }, k.tolerance),
              300);
  }
}

// A 6 x 8 quad on the plane z = 1 + y / 2, from z = -1 to z = 3, cut by the near plane at 0.5:
// what lies in front keeps the plane's own depths.
TEST(Perspective, FacesCrossingTheNearPlaneAreCutNotDropped) {
  Mesh quad;
  const std::vector<Vec3> v = {{-3, -4, -1}, {3, -4, -1}, {3, 4, 3}, {-3, 4, 3}};
  quad.AddFaces(v, std::vector<FaceIndices>{{0, 1, 2}, {0, 2, 3}});
  for (DepthKind kind : {DepthKind::AlongAxis, DepthKind::AlongRay}) {
    PerspectiveRequest q = Request(CameraPose{}, kind);
    q.k = {20, 20, 31.5, 23.5};
    q.nearZ = 0.5;
    const Tracer trace = [&](D3 ray) {
      Hit hit;
      const double t = 1 / (1 - ray.y / 2), x = ray.x * t, y = ray.y * t;
      const double slack = std::min({t - q.nearZ, 3 - std::fabs(x), 4 - std::fabs(y)});
      hit.nearEdge = t > 0 && std::fabs(slack) < 1e-6;
      if (t > 0 && slack > 0) hit.t = t;
      return hit;
    };
    EXPECT_GT(CompareWithTracer(quad, q, trace), 1000);
  }
}

TEST(NormalFiles, ExrAndPngHoldTheNormals) {
  const NormalImage n{
      3, 2, {0, 0, -1, 0, 0, 0, 0.6f, -0.8f, 0, 1, 0, 0, -0.28f, 0.96f, 0, 0, 0, 0}};
  test::ScratchDir dir;
  const std::string exr = dir.Write("n.exr", NormalsExrBytes(n));
  dir.Write("n.png", NormalsPngBytes(n));
  Imf::InputFile file(exr.c_str());
  std::vector<float> read(n.xyz.size(), -7);
  Imf::FrameBuffer frame;
  for (int k = 0; k < 3; ++k) {
    const char* name[] = {"R", "G", "B"};
    ASSERT_NE(file.header().channels().findChannel(name[k]), nullptr);
    frame.insert(name[k], Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(read.data() + k),
                                     3 * sizeof(float), 9 * sizeof(float)));
  }
  file.setFrameBuffer(frame);
  file.readPixels(0, 1);
  EXPECT_EQ(test::Bits(read), test::Bits(n.xyz));

  ASSERT_EQ(test::RunInDir(dir, "pngtopnm n.png | pnmtoplainpnm > n.ppm"), 0);
  const std::vector<uint8_t> text = test::ReadFile(dir.Path("n.ppm"));
  std::istringstream ppm(std::string(text.begin(), text.end()));
  std::string magic;
  int w = 0, h = 0, maxval = 0;
  ppm >> magic >> w >> h >> maxval;
  EXPECT_EQ(
      magic + " " + std::to_string(w) + " " + std::to_string(h) + " " + std::to_string(maxval),
      "P3 3 2 65535");
  std::vector<int> samples;
  for (int s; ppm >> s;)
    samples.push_back(s);
  const std::vector<int> want = {32768, 32768, 0,     0,     0,     0,     52428, 6553, 32768,
                                 65535, 32768, 32768, 23593, 64224, 32768, 0,     0,    0};
  EXPECT_EQ(samples, want);
  EXPECT_THROW(NormalsPngBytes(NormalImage{2, 2, {}}), std::invalid_argument);
}

}  // namespace
}  // namespace quarvel
