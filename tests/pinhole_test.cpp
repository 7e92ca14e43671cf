#include "render/pinhole_render.h"

#include <gtest/gtest.h>

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <limits>

#include "fixtures.h"
#include "render/normal_files.h"

namespace quarvel {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

struct D3 {
  double x, y, z;
  D3 operator-(D3 b) const { return {x - b.x, y - b.y, z - b.z}; }
  double Dot(D3 b) const { return x * b.x + y * b.y + z * b.z; }
  D3 Cross(D3 b) const { return {y * b.z - z * b.y, z * b.x - x * b.z, x * b.y - y * b.x}; }
};

// A pose turning by `degrees` about `axis`, then moving by t.
CameraPose Pose(D3 axis, double degrees, D3 t) {
  const double len = std::sqrt(axis.Dot(axis)), a = degrees * M_PI / 180, c = std::cos(a),
               s = std::sin(a), u = 1 - c, x = axis.x / len, y = axis.y / len, z = axis.z / len;
  return {{{c + x * x * u, x * y * u - z * s, x * z * u + y * s, t.x},
           {y * x * u + z * s, c + y * y * u, y * z * u - x * s, t.y},
           {z * x * u - y * s, z * y * u + x * s, c + z * z * u, t.z}}};
}

// R v + t, or R v alone.
D3 Apply(const CameraPose& p, D3 v, bool move = true) {
  const auto& m = p.m;
  return {m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z + (move ? m[0][3] : 0),
          m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z + (move ? m[1][3] : 0),
          m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z + (move ? m[2][3] : 0)};
}

// The unit cube about the origin, its triangles wound either way.
Mesh Cube() {
  std::vector<Vec3> v;
  for (int k = 0; k < 8; ++k)
    v.push_back({k & 1 ? 0.5f : -0.5f, k & 2 ? 0.5f : -0.5f, k & 4 ? 0.5f : -0.5f});
  const uint32_t i[] = {0, 3, 1, 0, 3, 2, 4, 5, 7, 4, 6, 7, 0, 1, 5, 0, 4, 5,
                        2, 3, 7, 2, 7, 6, 0, 2, 6, 0, 6, 4, 1, 7, 3, 1, 5, 7};
  std::vector<FaceIndices> f;
  for (int k = 0; k < 36; k += 3)
    f.push_back({i[k], i[k + 1], i[k + 2]});
  Mesh m;
  m.AddFaces(v, f);
  return m;
}

// A unit sphere of 20 rings of 40 quads, each two triangles.
Mesh Sphere() {
  std::vector<Vec3> v;
  std::vector<FaceIndices> f;
  for (int i = 0; i <= 20; ++i)
    for (int j = 0; j <= 40; ++j) {
      const double th = M_PI * i / 20, ph = M_PI * j / 20;
      v.push_back({float(std::sin(th) * std::cos(ph)), float(std::sin(th) * std::sin(ph)),
                   float(std::cos(th))});
      const uint32_t a = i * 41 + j, b = a + 41;
      if (i < 20 && j < 40) f.insert(f.end(), {{a, b, a + 1}, {a + 1, b, b + 1}});
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

// Moller-Trumbore against every triangle of the mesh as the pose places it, where it lies at
// z >= nearZ. The normal is the
// triangle's own in the mesh's space (an exact axis for the cube), turned by the pose.
Hit TraceMesh(const Mesh& mesh, const CameraPose& pose, double nearZ, D3 ray) {
  Hit hit;
  for (const FaceIndices& f : mesh.faces()) {
    D3 m[3], p[3];
    for (int k = 0; k < 3; ++k) {
      const Vec3 v = mesh.vertices()[f[k]];
      m[k] = {v.x, v.y, v.z};
      p[k] = Apply(pose, m[k]);
    }
    const D3 e1 = p[1] - p[0], e2 = p[2] - p[0], h = ray.Cross(e2), s = D3{0, 0, 0} - p[0];
    const double det = e1.Dot(h), u = s.Dot(h) / det, v = ray.Dot(s.Cross(e1)) / det,
                 t = e2.Dot(s.Cross(e1)) / det, margin = std::min({u, v, 1 - u - v});
    if ((t > 0 && std::fabs(margin) < 1e-9) || std::fabs(t - nearZ) < 1e-9) hit.nearEdge = true;
    if (!(t >= nearZ && margin >= 0 && t < hit.t)) continue;
    const D3 n = Apply(pose, (m[1] - m[0]).Cross(m[2] - m[0]), false);
    const double scale = (n.Dot(ray) > 0 ? -1 : 1) / std::sqrt(n.Dot(n));
    hit = {t, {n.x * scale, n.y * scale, n.z * scale}, hit.nearEdge};
  }
  return hit;
}

PerspectiveRequest Request(const CameraPose& pose, DepthKind kind, bool normals = false) {
  return {64, 48, {70, 75, 31.3, 24.6}, pose, 1e-3, kind, normals};
}

// Every pixel of the render against the tracer: covered where it hits (unless near an edge),
// with its depth within 1e-5 relative, and, when asked, its normal within `normalTolerance`.
// Gives the number of covered pixels compared.
int CompareWithTracer(const Mesh& mesh, const PerspectiveRequest& q,
                      const std::function<Hit(D3)>& trace, double normalTolerance = -1) {
  PerspectiveImages out;
  RenderPerspective(mesh, q, out);
  int compared = 0;
  for (int r = 0; r < q.height; ++r)
    for (int c = 0; c < q.width; ++c) {
      const D3 ray{(c - q.k.cx) / q.k.fx, (r - q.k.cy) / q.k.fy, 1};
      const Hit hit = trace(ray);
      const float got = out.depth.Row(r)[c];
      if (hit.nearEdge || hit.t == kInf) {
        EXPECT_TRUE(hit.nearEdge || got == kNoDepth) << c << "," << r;
        continue;
      }
      const double want = hit.t * (q.depth == DepthKind::AlongRay ? std::sqrt(ray.Dot(ray)) : 1);
      EXPECT_NEAR(got, want, 1e-5 * want) << c << "," << r;
      if (++compared, normalTolerance < 0) continue;
      const float* n = &out.normals.xyz[3 * (size_t(r) * q.width + c)];
      const D3 error = D3{n[0], n[1], n[2]} - hit.normal;
      EXPECT_LE(std::sqrt(error.Dot(error)), normalTolerance) << c << "," << r;
    }
  return compared;
}

// The normals are the mesh's own triangle normals turned by the pose: for the cube exact axes,
// exactly (0, 0, -1) for the side facing a camera that looks straight at it. The quad, on the
// plane z = y / 2 + 0.6, crosses the near plane: what lies in front keeps the plane's depths.
TEST(Perspective, DepthsAndNormalsAreTheExactRayValuesAndTheNearPlaneCutsFaces) {
  const Mesh cube = Cube(), sphere = Sphere();
  Mesh quad;
  const std::vector<Vec3> corners = {{-3, -4, -1.4f}, {3, -4, -1.4f}, {3, 4, 2.6f}, {-3, 4, 2.6f}};
  quad.AddFaces(corners, std::vector<FaceIndices>{{0, 1, 2}, {0, 2, 3}});
  const CameraPose oblique = Pose({1, 2, 0.5}, 37, {0.1, -0.05, 2.5}),
                   turned = Pose({-1, 0.3, 2}, 131, {-0.2, 0.1, 3}),
                   straight = Pose({0, 0, 1}, 0, {0, 0, 3});
  struct Case {
    const Mesh& mesh;
    CameraPose pose;
    double normalTolerance, nearZ = 1e-3;
  };
  for (const Case& k :
       {Case{cube, oblique, 2e-7}, Case{cube, turned, 2e-7}, Case{cube, straight, 0},
        Case{sphere, oblique, 2e-7}, Case{sphere, turned, 2e-7}, Case{quad, {}, 2e-7, 0.55}})
    for (DepthKind kind : {DepthKind::AlongAxis, DepthKind::AlongRay}) {
      SCOPED_TRACE(testing::Message() << k.mesh.FaceCount() << " faces, kind " << int(kind));
      PerspectiveRequest q = Request(k.pose, kind, true);
      q.nearZ = k.nearZ;
      const auto trace = [&](D3 ray) { return TraceMesh(k.mesh, k.pose, k.nearZ, ray); };
      EXPECT_GT(CompareWithTracer(k.mesh, q, trace, k.normalTolerance), 300);
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
  for (int k = 0; k < 3; ++k)
    frame.insert(std::string(1, "RGB"[k]),
                 Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(read.data() + k), 12, 36));
  file.setFrameBuffer(frame);
  file.readPixels(0, 1);
  EXPECT_EQ(test::Bits(read), test::Bits(n.xyz));

  ASSERT_EQ(test::RunInDir(dir, "pngtopnm n.png | pnmtoplainpnm > n.ppm"), 0);
  std::ifstream ppm(dir.Path("n.ppm"));
  ppm.ignore(2);             // P3
  std::vector<int> numbers;  // width, height, largest value, samples
  for (int k; ppm >> k;)
    numbers.push_back(k);
  EXPECT_EQ(numbers,
            std::vector<int>({3,     2,     65535, 32768, 32768, 0,     0,     0, 0, 52428, 6553,
                              32768, 65535, 32768, 32768, 23593, 64224, 32768, 0, 0, 0}));
  EXPECT_THROW(NormalsPngBytes(NormalImage{2, 2, {}}), std::invalid_argument);
}

}  // namespace
}  // namespace quarvel
