// Models written by other programs (gltfpack, gltf-transform, assimp; see data/SOURCES.md) in the
// forms they write: quantized, compressed, instanced, as strips and fans, and concave polygons.
// Each must give, through quarvel-render, the mask of a plain twin that holds the same triangles
// as floats in triangle lists.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fixtures.h"

namespace quarvel {
namespace {

constexpr size_t kBmpHeader = 1078;  // the file and picture headers and the grey palette

// The pixels of the mask quarvel-render writes for exported/`model`, or the exit code and what
// it said when it fails.
struct Rendered {
  std::vector<uint8_t> pixels;
  std::string failure;
};

Rendered Render(const test::ScratchDir& dir, const std::string& model) {
  const std::string out = model + ".bmp";
  const int code =
      test::RunInDir(dir, "\"$R\" \"" + std::string(QUARVEL_TEST_DATA) + "/exported/" + model +
                              "\" -o " + out + " --size 320x240 --clicks x:7 --clicks y:-4");
  if (code != 0) {
    const std::vector<uint8_t> err = test::ReadFile(dir.Path("err.txt"));
    return {{}, "exit " + std::to_string(code) + ": " + std::string(err.begin(), err.end())};
  }
  const std::vector<uint8_t> bmp = test::ReadFile(dir.Path(out));
  if (bmp.size() <= kBmpHeader) return {{}, "no picture"};
  return {{bmp.begin() + kBmpHeader, bmp.end()}, ""};
}

struct Twins {
  const char* file;
  const char* twin;
  // Pixels allowed to differ: 0 where the file holds the twin's floats exactly.
  int differing;
};

TEST(RealFiles, EachFileGivesThePlainTwinsMask) {
  // The knots' corners are whole numbers up to 16383, so that 14-bit quantization (gltfpack,
  // Draco) holds them exactly. gltf-transform instead stores them as normalized 16-bit numbers
  // about the model's centre, moving each by up to 1/8: 155 pixels change (by one grey level,
  // or at the outline) with the tool's own decoding; 320 is 2% of the knot's pixels. gltfpack
  // stores the instances' rotations as normalized 16-bit numbers: 17 pixels change that way.
  const Twins rows[] = {
      {"knot-gltfpack.glb", "knot.glb", 0},
      {"knot-quantize.glb", "knot.glb", 320},
      {"knot-meshopt.glb", "knot.glb", 320},
      {"knot-gltfpack-c.glb", "knot.glb", 0},
      {"knot-draco.glb", "knot.glb", 0},
      {"knots-instance.glb", "knots.glb", 0},
      {"knots-gltfpack-mi.glb", "knots.glb", 60},
      {"knot-strips.gltf", "knot.glb", 0},
      {"small-knot-fans.glb", "small-knot.glb", 0},
      {"small-knot-assimp.obj", "small-knot.glb", 0},
      {"small-knot-assimp.stl", "small-knot.stl", 0},
      {"small-knot-assimp.ply", "small-knot.stl", 0},
      {"concave.obj", "concave-triangles.obj", 0},
  };
  test::ScratchDir dir;
  for (const Twins& row : rows) {
    const Rendered twin = Render(dir, row.twin), file = Render(dir, row.file);
    ASSERT_EQ(twin.failure, "") << row.twin;
    ASSERT_NE(twin.pixels, std::vector<uint8_t>(twin.pixels.size(), 0)) << row.twin;
    EXPECT_EQ(file.failure, "") << row.file;
    if (file.pixels.size() != twin.pixels.size()) continue;
    int differing = 0;
    for (size_t i = 0; i < twin.pixels.size(); ++i)
      differing += file.pixels[i] != twin.pixels[i];
    EXPECT_LE(differing, row.differing) << row.file << " against " << row.twin;
  }
}

}  // namespace
}  // namespace quarvel
