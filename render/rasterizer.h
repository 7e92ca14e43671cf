// The depth rasteriser: every face of the model mesh, placed by the model frame's transform,
// projected orthographically along z and scanned pixel by pixel into the mask. The nearest point
// of the depth range becomes 255, the farthest 0; uncovered pixels stay 0.
#pragma once

#include <cstdint>
#include <vector>

#include "base/feedback.h"
#include "depth_image.h"
#include "mask_image.h"
#include "scene/scene.h"

namespace quarvel {

// What the renderer keeps between renders.
struct RenderState {
  int MaskWidth = 0, MaskHeight = 0;
  Box RenderBox;
  float NearZ = 0;
  float DepthScale = 0;
  float PixelScale = 0;
  // When above 0, the picture's pixels per scene unit in place of the fit: a fixed physical
  // scale, the same whatever the picture's size and the model's distance.
  float FixedPixelScale = 0;
  bool MaskReady = false;
};

// How the faces are drawn: the fast path on `threads` threads (0: one per processor), or the
// plain path, one face and one pixel at a time. Both give the same bytes.
struct RasterMode {
  int threads = 0;
  bool plain = false;
};

// Renders the model into a new mask of width x height. While an animation is being exported
// (`keepRenderBox`), RenderBox stays as GetMaxBox set it so that fit and depth scale hold still.
void RenderObject(Scene& scene, RenderState& state, MaskImage& mask, int width, int height,
                  const Feedback& fb, bool keepRenderBox = false, RasterMode mode = {});

// The same render into a new depth image: per pixel the smallest plane depth of the faces
// covering it, the very float RenderObject maps to a grey level (the same pixels, the top row
// never drawn), kNoDepth where none does.
void RenderDepth(Scene& scene, RenderState& state, DepthImage& depth, int width, int height,
                 const Feedback& fb, bool keepRenderBox = false, RasterMode mode = {});

// What both renders set up first: the model's transform, RenderBox (unless kept), the scene's
// extents, NearZ, DepthScale and PixelScale (FixedPixelScale when set) for a picture of
// width x height.
void SetUpRender(Scene& scene, RenderState& state, int width, int height, bool keepRenderBox);

// Sets RenderBox for an animation: the box of the model as last placed, its depth range widened
// so that the model turning about the chosen axes stays within it.
void GetMaxBox(const Scene& scene, RenderState& state, bool byX, bool byY, bool byZ);

// The box of the eight transformed corners of `b`.
Box TransformBox(const Transform& t, const Box& b);

// One face transformed into the scene, with what the scan needs of it.
struct FaceSetup {
  Vec3 p0, p1, p2;
  float area2;  // twice the signed projected area
  float minX, maxX, minY, maxY;
  Vec3 n;   // plane normal (P1 - P0) x (P2 - P0); n.z equals area2
  float d;  // plane offset n . P0
};

FaceSetup SetUpFace(const Transform& t, Vec3 a, Vec3 b, Vec3 c);
// The same from the three corners already transformed.
FaceSetup SetUpPlacedFace(Vec3 p0, Vec3 p1, Vec3 p2);
// The corners, area and bounds only; SetUpPlane adds the plane when the face draws something.
FaceSetup SetUpOutline(Vec3 p0, Vec3 p1, Vec3 p2);
void SetUpPlane(FaceSetup& f);

// The rows (counted from the bottom) and columns a face's bounding rectangle covers in the
// picture, clipped to it and to rows rowLo to rowHi. The top row (row H - 1 from the bottom is
// row 0 from the top) is never drawn.
struct PixelRange {
  int r0, r1, c0, c1;
  bool empty() const { return r1 < r0 || c1 < c0; }
};
PixelRange FacePixels(const FaceSetup& f, const RenderState& state, int rowLo, int rowHi);

// Whether the sample point (x, y) lies in the face, edges included, whatever its winding.
bool PointInFace(const FaceSetup& f, float x, float y);

// The sample points of a render depend only on the column and the row: computed once.
struct SamplePoints {
  std::vector<float> insideX, insideY;  // inside-test coordinates, rounded to float
  std::vector<double> depthX, depthY;   // plane-depth coordinates, kept in double
  SamplePoints(int width, int height, float pixelScale);
};

// Scans one face into the mask with the current render state, testing every pixel of its
// bounding rectangle: the plain statement of the rules. Only rows rowLo to rowHi (counted from
// the bottom) are drawn, into a mask whose row 0 is the picture's row `bandTop` (from the top):
// a band of the picture when that is not 0.
void DrawFace(const FaceSetup& f, const RenderState& state, const SamplePoints& samples,
              MaskImage& mask, int rowLo = 0, int rowHi = INT32_MAX, int bandTop = 0);
// The same pixels with the same plane depth, keeping the smallest depth per pixel (-0 stored as
// +0).
void DrawFaceDepth(const FaceSetup& f, const RenderState& state, const SamplePoints& samples,
                   DepthImage& depth, int rowLo = 0, int rowHi = INT32_MAX, int bandTop = 0);

}  // namespace quarvel
