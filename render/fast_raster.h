// The fast path of the rasteriser: the same pixels as DrawFace, found without testing every pixel
// of a face's bounding rectangle, on several threads. Each row of a face is one span: the exact
// inside test is monotone along a row (every operation in it is a monotone function of the
// column's sample point), so its ends can be found with a few exact tests near the edges. Threads
// take horizontal bands of the mask; the nearest surface wins whatever the order, so the bytes do
// not depend on the number of threads. A band skips the faces and the stretches of spans that
// what it has drawn already hides.
#pragma once

#include <functional>

#include "rasterizer.h"

namespace quarvel {

// Draws every face of `mesh`, placed by `t`, into `mask` with the render state. `threads` 0 means
// one per processor. `wait` is called now and then on the calling thread while the bands are
// drawn, with the share done so far (0 to 100).
void DrawFacesFast(const Mesh& mesh, const Transform& t, const RenderState& state,
                   const SamplePoints& samples, MaskImage& mask, int threads,
                   const std::function<void(int percent)>& wait);

// The same spans into a depth render: the depths DrawFaceDepth gives, the smallest per pixel,
// whatever the order of the faces and the number of threads.
void DrawFacesFastDepth(const Mesh& mesh, const Transform& t, const RenderState& state,
                        const SamplePoints& samples, DepthImage& depth, int threads,
                        const std::function<void(int percent)>& wait);

// Testing hook: faults put into the threads that the following renders start, numbered from 0 in
// the order they are started since the call (-1: none). Every start from number `refuseFrom` on
// fails as when the system refuses a thread; thread number `throwIn` throws std::bad_alloc before
// it takes any work.
struct ThreadFaultsForTesting {
  int refuseFrom = -1;
  int throwIn = -1;
};
void SetThreadFaultsForTesting(ThreadFaultsForTesting faults);

}  // namespace quarvel
