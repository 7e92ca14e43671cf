// How fast the perspective camera renders one 512 x 512 view of a torus knot, with and without
// normals. The mesh is built in memory, outside the timing; each render includes its pictures'
// allocation, as every view of a dataset run does.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>

#include "render/pinhole_render.h"
#include "samples/shapes.h"

namespace quarvel::bench {

namespace {

void BM_PerspectiveKnot(benchmark::State& state) {
  const auto faces = state.range(0);
  const TriangleMesh knot = TorusKnot(int(faces / 80), 40);
  Mesh mesh;
  mesh.AddFaces(knot.vertices, knot.faces);
  // The camera looks at the knot's centre from a distance that keeps it all in a 60 degree view.
  const Box box = mesh.GetBox();
  const double size =
      std::max({box.max.x - box.min.x, box.max.y - box.min.y, box.max.z - box.min.z});
  PerspectiveRequest q;
  q.width = q.height = 512;
  q.k = {443.4, 443.4, 255.5, 255.5};
  q.pose.m[0][3] = -(box.min.x + box.max.x) / 2.0;
  q.pose.m[1][3] = -(box.min.y + box.max.y) / 2.0;
  q.pose.m[2][3] = 1.5 * size - (box.min.z + box.max.z) / 2.0;
  q.depth = DepthKind::AlongRay;
  q.normals = state.range(1) != 0;
  for (auto _ : state) {
    PerspectiveImages out;
    RenderPerspective(mesh, q, out);
    benchmark::DoNotOptimize(out.depth.depth.data());
  }
  state.counters["faces/s"] =
      benchmark::Counter(double(faces), benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_PerspectiveKnot)
    ->ArgNames({"faces", "normals"})
    ->ArgsProduct({{100000, 1000000}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

}  // namespace

}  // namespace quarvel::bench
