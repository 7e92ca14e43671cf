// The depth maps for other tools: levels made from the depth render, the PNG, PFM and OpenEXR
// files, the sidecar, and quarvel-render's --format, --depth-range and --sidecar.
#include <gtest/gtest.h>

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <tuple>

#include "base/file_io.h"
#include "cli/json_text.h"
#include "cli/options.h"
#include "cli/output_format.h"
#include "fixtures.h"
#include "render/depth_levels.h"
#include "render/exr_file.h"
#include "render/pfm_file.h"
#include "render/png_file.h"
#include "render/rasterizer.h"
#include "render/view_ops.h"
#include "samples/write_models.h"

namespace quarvel {
namespace {

using test::Bits;
using test::HeaderNumber;
using test::MaskValues;
using test::ReadPfm;

// A greyscale picture read back from a file, top row first.
struct Grey {
  int width = 0, height = 0;
  std::vector<int> values;
};

// A binary PGM (P5) file, as pngtopnm writes it: 8 bits, or 16 bits big-endian.
std::optional<Grey> ReadPgm(const std::vector<uint8_t>& b) {
  Grey g;
  int maxval = 0;
  size_t at = 2;
  if (b.size() < 2 || b[0] != 'P' || b[1] != '5' || !HeaderNumber(b, at, g.width) ||
      !HeaderNumber(b, at, g.height) || !HeaderNumber(b, at, maxval) || maxval < 1 ||
      maxval > 65535)
    return std::nullopt;
  ++at;  // the one blank before the samples
  const size_t sampleSize = maxval > 255 ? 2 : 1;
  const size_t count = size_t(g.width) * size_t(g.height);
  if (at > b.size() || b.size() - at != count * sampleSize) return std::nullopt;
  for (size_t k = 0; k < count; ++k, at += sampleSize)
    g.values.push_back(sampleSize == 2 ? b[at] << 8 | b[at + 1] : b[at]);
  return g;
}

// The pixels of an 8-bit BMP file as the mask writes it, top row first.
std::optional<Grey> ReadBmp(const std::vector<uint8_t>& b) {
  if (b.size() < 1078 || b[0] != 'B' || b[1] != 'M') return std::nullopt;
  Grey g{int(LeU32(&b[18])), int(LeU32(&b[22])), {}};
  const size_t stride = size_t(MaskImage::Stride(g.width));
  if (g.width > 10000 || g.height > 10000 || b.size() != 1078 + stride * size_t(g.height))
    return std::nullopt;
  for (int r = g.height - 1; r >= 0; --r)
    for (int c = 0; c < g.width; ++c)
      g.values.push_back(b[1078 + size_t(r) * stride + size_t(c)]);
  return g;
}

std::string Text(const std::vector<uint8_t>& bytes) {
  return {bytes.begin(), bytes.end()};
}

// The knot, turned so that its depths vary, rendered both ways.
struct KnotRenders {
  Scene scene;
  RenderState state;
  MaskImage mask;
  DepthImage depth;
};

KnotRenders RenderKnot(int w, int h) {
  KnotRenders k;
  EXPECT_TRUE(LoadModel(k.scene, QUARVEL_SAMPLES "/knot.3ds", {}).ok);
  TurnModel(k.scene, 1, 0.3f, 0, 0.9f);
  RenderObject(k.scene, k.state, k.mask, w, h, {});
  RenderDepth(k.scene, k.state, k.depth, w, h, {});
  return k;
}

// Whether the 8-bit rasteriser's value for depth z lies in 0 to 255, unwrapped.
bool Unwrapped(float z, const RenderState& state) {
  const int32_t v = RoundToInt((z - double(state.NearZ)) * state.DepthScale);
  return z != kNoDepth && v >= 0 && v <= 255;
}

TEST(DepthLevels, LevelsClampAtBothEndsAndTheBackgroundIsZero) {
  const LevelScale s = MakeLevelScale({10, 20}, 65535);
  EXPECT_EQ(s.scale, 6553.5f);
  EXPECT_EQ(DepthLevel(kNoDepth, s), 0);
  EXPECT_EQ(DepthLevel(10, s), 65535);
  EXPECT_EQ(DepthLevel(-1e30f, s), 65535) << "nearer than near";
  EXPECT_EQ(DepthLevel(-kNoDepth, s), 65535);
  EXPECT_EQ(DepthLevel(20, s), 0);
  EXPECT_EQ(DepthLevel(1e30f, s), 0) << "farther than far: no wrapping round";
  EXPECT_EQ(DepthLevel(15, s), 65535 - 32768) << "32767.5 rounds to even";
  EXPECT_EQ(DepthLevel(12.5f, MakeLevelScale({10, 20}, 255)), 255 - 64) << "63.75";
  // A model seen face-on has a flat range: all of it is the nearest.
  const LevelScale flat = MakeLevelScale({14, 14}, 255);
  EXPECT_EQ(DepthLevel(14, flat), 255);
  EXPECT_EQ(DepthLevel(std::nextafter(14.0f, 15.0f), flat), 255);
  EXPECT_EQ(DepthLevel(kNoDepth, flat), 0);
}

// The levels made from the depth render with the render's own range are the rasteriser's bytes
// wherever those did not wrap round; 16-bit levels over 257 are within half a level of them.
TEST(DepthLevels, TheRendersOwnRangeGivesTheMasksLevels) {
  const KnotRenders k = RenderKnot(400, 300);
  const LevelScale eight = MakeLevelScale(RenderRange(k.scene, k.state), 255);
  EXPECT_EQ(eight.scale, k.state.DepthScale);
  MaskImage fromDepth;
  LevelsToMask(k.depth, eight, fromDepth);
  const Grey16Image sixteen =
      LevelsToGrey16(k.depth, MakeLevelScale(RenderRange(k.scene, k.state), 65535));
  ASSERT_EQ(sixteen.levels.size(), k.depth.depth.size());
  size_t compared = 0;
  for (int r = 0; r < 300; ++r) {
    for (int c = 0; c < 400; ++c) {
      const float z = k.depth.Row(r)[c];
      const int v16 = sixteen.levels[size_t(r) * 400 + size_t(c)];
      if (z == kNoDepth) {
        EXPECT_EQ(k.mask.Row(r)[c], 0);
        EXPECT_EQ(fromDepth.Row(r)[c], 0);
        EXPECT_EQ(v16, 0);
        continue;
      }
      if (!Unwrapped(z, k.state)) continue;
      ++compared;
      EXPECT_EQ(fromDepth.Row(r)[c], k.mask.Row(r)[c]) << r << "," << c;
      EXPECT_LE(std::fabs(v16 / 257.0 - k.mask.Row(r)[c]), 0.5 + 0.5 / 257 + 1e-9) << r << "," << c;
    }
  }
  EXPECT_GT(compared, 15000u);
}

TEST(DepthFiles, PfmHoldsTheDepthsBottomRowFirst) {
  const KnotRenders k = RenderKnot(160, 120);
  const std::vector<uint8_t> bytes = PfmBytes(k.depth);
  EXPECT_EQ(Text({bytes.begin(), bytes.begin() + 15}), "Pf\n160 120\n-1.0");
  const auto read = ReadPfm(bytes);
  ASSERT_TRUE(read);
  EXPECT_EQ(Bits(read->depth), Bits(k.depth.depth));
  EXPECT_EQ(LeFloat(&bytes[bytes.size() - 4]), k.depth.Row(0)[159]) << "the top row comes last";
}

TEST(DepthFiles, ExrHoldsTheDepthsInAFloatChannelNamedZ) {
  const KnotRenders k = RenderKnot(160, 120);
  test::ScratchDir dir;
  const std::string path = dir.Write("depth.exr", ExrBytes(k.depth));
  Imf::InputFile file(path.c_str());
  const Imath::Box2i window = file.header().dataWindow();
  ASSERT_EQ(window.min.x, 0);
  ASSERT_EQ(window.min.y, 0);
  ASSERT_EQ(window.max.x, 159);
  ASSERT_EQ(window.max.y, 119);
  const Imf::Channel* z = file.header().channels().findChannel("Z");
  ASSERT_NE(z, nullptr);
  EXPECT_EQ(z->type, Imf::FLOAT);
  std::vector<float> read(160 * 120, -1);
  Imf::FrameBuffer frame;
  frame.insert("Z", Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(read.data()), sizeof(float),
                               sizeof(float) * 160));
  file.setFrameBuffer(frame);
  file.readPixels(0, 119);
  EXPECT_EQ(Bits(read), Bits(k.depth.depth));
  EXPECT_EQ(test::RunInDir(dir, "exrheader depth.exr > header.txt"), 0);
}

TEST(DepthFiles, PngHoldsTheMaskAndTheSixteenBitLevels) {
  const KnotRenders k = RenderKnot(161, 120);  // an odd width: BMP rows have padding, PNG's none
  const Grey16Image levels =
      LevelsToGrey16(k.depth, MakeLevelScale(RenderRange(k.scene, k.state), 65535));
  test::ScratchDir dir;
  dir.Write("mask.png", PngBytes(k.mask));
  dir.Write("levels.png", PngBytes(levels));
  ASSERT_EQ(test::RunInDir(dir, "pngtopnm mask.png > mask.pgm && pngtopnm levels.png > levels.pgm"),
            0);
  const auto mask = ReadPgm(test::ReadFile(dir.Path("mask.pgm")));
  ASSERT_TRUE(mask);
  EXPECT_EQ(mask->width, 161);
  EXPECT_EQ(mask->values, MaskValues(k.mask));
  const auto sixteen = ReadPgm(test::ReadFile(dir.Path("levels.pgm")));
  ASSERT_TRUE(sixteen);
  EXPECT_EQ(sixteen->values, std::vector<int>(levels.levels.begin(), levels.levels.end()));
  EXPECT_THROW(PngBytes(Grey16Image{10, 10, {}}), std::invalid_argument);
}

TEST(JsonText, StringsAreEscapedAndAlwaysValidUtf8) {
  EXPECT_EQ(JsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(JsonString("tab\there\nnew\x01"), "\"tab\\there\\nnew\\u0001\"");
  EXPECT_EQ(JsonString("Fran\xc3\xa7ois \xe2\x82\xac \xf0\x9f\x98\x80"),
            "\"Fran\xc3\xa7ois \xe2\x82\xac \xf0\x9f\x98\x80\"");
  // Bytes that are not UTF-8: a lone continuation, an overlong form, a surrogate, a cut-off end.
  EXPECT_EQ(JsonString("\x80"), "\"\\ufffd\"");
  EXPECT_EQ(JsonString("\xc0\xaf"), "\"\\ufffd\\ufffd\"");
  EXPECT_EQ(JsonString("\xed\xa0\x80"), "\"\\ufffd\\ufffd\\ufffd\"");
  EXPECT_EQ(JsonString("ok\xe2\x82"), "\"ok\\ufffd\\ufffd\"");
  EXPECT_EQ(JsonString("\xf4\x90\x80\x80"), "\"\\ufffd\\ufffd\\ufffd\\ufffd\"") << "> U+10FFFF";
  EXPECT_EQ(JsonNumber(0.1f), "0.100000001");
  EXPECT_EQ(float(std::stod(JsonNumber(16357.9941f))), 16357.9941f);
  EXPECT_THROW(JsonNumber(kNoDepth), std::range_error) << "JSON has no number for it";
  EXPECT_THROW(JsonNumber(std::nan("")), std::range_error);
}

std::optional<RenderOptions> Parse(std::vector<std::string> args, std::string* error = nullptr) {
  std::string e;
  auto o = ParseRenderOptions(args, e);
  if (error) *error = e;
  return o;
}

TEST(OutputOptions, TheFormatComesFromTheOptionOrTheExtension) {
  EXPECT_EQ(FormatOfFileName("a.png"), OutputFormat::Png);
  EXPECT_EQ(FormatOfFileName("dir.exr/A.PFM"), OutputFormat::Pfm);
  EXPECT_EQ(FormatOfFileName("a.Exr"), OutputFormat::Exr);
  EXPECT_EQ(FormatOfFileName("a.png16"), OutputFormat::Bmp) << "not an extension of ours";
  EXPECT_EQ(FormatOfFileName("dir.png/mask"), OutputFormat::Bmp);
  EXPECT_EQ(FormatOfFileName("a.tiff"), OutputFormat::Bmp);

  const auto plain = Parse({"m.3ds"});
  const auto png = Parse({"m.3ds", "-o", "x.png"});
  const auto png16 = Parse({"m.3ds", "-o", "x.png", "--format", "png16"});
  const auto bmp = Parse({"m.3ds", "--format", "bmp", "-o", "x.exr"});
  const auto exr = Parse({"/models/m.3ds", "--format", "exr"});
  const auto unnamed16 = Parse({"m.3ds", "--format", "png16"});
  const auto seq = Parse({"m.3ds", "--frames", "3", "--bmp-sequence", "w.pfm"});
  ASSERT_TRUE(plain && png && png16 && bmp && exr && unnamed16 && seq);
  EXPECT_EQ(plain->format, OutputFormat::Bmp);
  EXPECT_EQ(png->format, OutputFormat::Png);
  EXPECT_EQ(png16->format, OutputFormat::Png16);
  EXPECT_EQ(bmp->format, OutputFormat::Bmp);
  EXPECT_EQ(exr->output, "m.exr");
  EXPECT_EQ(unnamed16->output, "m.png");
  EXPECT_EQ(seq->format, OutputFormat::Pfm);
  EXPECT_EQ(FrameFileName(seq->bmpSequence, 7, FormatExtension(seq->format)), "w.pfm0007.pfm");

  const auto ranged = Parse({"m.3ds", "--depth-range", "-2.5,1e1", "--sidecar", "m.json"});
  ASSERT_TRUE(ranged && ranged->depthRange);
  EXPECT_EQ(ranged->depthRange->near, -2.5);
  EXPECT_EQ(ranged->depthRange->far, 10);
  EXPECT_EQ(ranged->sidecar, "m.json");
}

TEST(OutputOptions, BadValuesAndCombinationsAreRefusedWithAReason) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--format", "jpeg"}, "Expected --format bmp, png, png16, pfm or exr; not 'jpeg'"},
      {{"--format", "PNG"}, "Expected --format bmp, png, png16, pfm or exr; not 'PNG'"},
      {{"--format"}, "Missing value after --format"},
      {{"--depth-range", "5,5"}, "NEAR less than FAR"},
      {{"--depth-range", "6,5"}, "NEAR less than FAR"},
      {{"--depth-range", "5"}, "Expected --depth-range NEAR,FAR"},
      {{"--depth-range", "1,2,3"}, "Expected --depth-range NEAR,FAR"},
      {{"--depth-range", "nan,1"}, "Expected --depth-range NEAR,FAR"},
      {{"--depth-range", "1,inf"}, "Expected --depth-range NEAR,FAR"},
      {{"--depth-range", "1,1e39"}, "Expected --depth-range NEAR,FAR"},
      {{"--depth-range", ",1"}, "Expected --depth-range NEAR,FAR"},
      {{"--sidecar", ""}, "Missing file name after --sidecar"},
      {{"--format", "pfm", "--depth-range", "1,2"}, "pfm holds the depth itself"},
      {{"-o", "x.exr", "--depth-range", "1,2"}, "exr holds the depth itself"},
      {{"--frames", "3", "--avi", "a.avi", "--format", "png16"},
       "An AVI file holds 8-bit masks only: --format png16 cannot be written with --avi"},
      {{"--frames", "3", "--avi", "a.avi", "--depth-range", "1,2"}, "not to an AVI file"},
      {{"--frames", "3", "--bmp-sequence", "w", "--sidecar", "s.json"},
       "--sidecar describes a single mask"},
      {{"--gamma", "0"}, "G a number greater than 0"},
      {{"--gamma", "nan"}, "G a number greater than 0"},
      {{"--levels", "1"}, "levels must be from 2 to 256, not 1"},
      {{"--levels", "257"}, "levels must be from 2 to 256, not 257"},
      {{"--background", "256"}, "must be from 0 to 255 for bmp, not 256"},
      {{"--format", "png16", "--background", "65536"}, "from 0 to 65535 for png16, not 65536"},
      {{"-o", "x.pfm", "--invert"}, "--invert applies to bmp, png and png16"},
      {{"--frames", "3", "--avi", "a.avi", "--levels", "4"}, "not to an AVI file"},
      {{"--sidecar", "s.json", "--invert"}, "cannot be written with --invert"},
  };
  for (const auto& [more, message] : cases) {
    std::vector<std::string> args = {"m.3ds"};
    args.insert(args.end(), more.begin(), more.end());
    std::string error;
    EXPECT_FALSE(Parse(args, &error)) << more[0];
    EXPECT_NE(error.find(message), std::string::npos) << more[0] << ": " << error;
  }
  EXPECT_TRUE(Parse({"m.3ds", "--frames", "3", "--avi", "a.avi", "--format", "bmp"}));
  EXPECT_TRUE(Parse({"m.3ds", "--frames", "3", "--bmp-sequence", "w", "--depth-range", "1,2"}));
}

std::string ErrText(const test::ScratchDir& dir) {
  return Text(test::ReadFile(dir.Path("err.txt")));
}

// A greyscale PNG file decoded by netpbm's pngtopnm.
std::optional<Grey> DecodePng(const test::ScratchDir& dir, const std::string& name) {
  if (test::RunInDir(dir, "pngtopnm '" + name + "' > decoded.pgm") != 0) return std::nullopt;
  return ReadPgm(test::ReadFile(dir.Path("decoded.pgm")));
}

// Numbers of the sidecar, read by Python's own JSON reader: each path such as
// ["values"]["scale"].
std::vector<double> SidecarNumbers(const test::ScratchDir& dir, const std::string& file,
                                   const std::vector<std::string>& paths) {
  std::string script = "import json; j = json.load(open(\"" + file + "\"))";
  for (const std::string& path : paths)
    script += "; print(repr(float(j" + path + ")))";
  EXPECT_EQ(test::RunInDir(dir, "python3 -c '" + script + "' > numbers.txt"), 0) << ErrText(dir);
  std::istringstream in(Text(test::ReadFile(dir.Path("numbers.txt"))));
  std::vector<double> numbers;
  for (double n; in >> n;)
    numbers.push_back(n);
  EXPECT_EQ(numbers.size(), paths.size());
  numbers.resize(paths.size());
  return numbers;
}

const std::string kKnot = " " QUARVEL_SAMPLES "/knot.3ds --size 240x180 --clicks x:9 --clicks y:5 ";

// Every format of one view, from quarvel-render: png is the BMP's picture, pfm and exr the core's
// depth render bit for bit, png16 the 8-bit mask's levels to within half a level.
TEST(QuarvelRenderFormats, EveryFormatHoldsTheSameView) {
  test::ScratchDir dir;
  ASSERT_EQ(
      test::RunInDir(dir, "\"$R\"" + kKnot + "-o m.bmp && \"$R\"" + kKnot + "-o m.png && \"$R\"" +
                              kKnot + "-o m.pfm && \"$R\"" + kKnot + "-o m.exr && \"$R\"" + kKnot +
                              "--format png16 -o m16.png --sidecar m16.json && \"$R\"" + kKnot +
                              "-o m.dat && exrheader m.exr > header.txt"),
      0)
      << ErrText(dir);
  const auto bmp = ReadBmp(test::ReadFile(dir.Path("m.bmp")));
  ASSERT_TRUE(bmp);
  EXPECT_EQ(test::ReadFile(dir.Path("m.dat")), test::ReadFile(dir.Path("m.bmp")))
      << "any other extension gets today's BMP";

  const auto png = DecodePng(dir, "m.png");
  ASSERT_TRUE(png);
  EXPECT_EQ(png->width, 240);
  EXPECT_EQ(png->height, 180);
  EXPECT_EQ(png->values, bmp->values);

  // The core's depth render of the same view.
  Scene scene;
  ASSERT_TRUE(LoadModel(scene, QUARVEL_SAMPLES "/knot.3ds", {}).ok);
  const auto view = Parse({"m.3ds", "--clicks", "x:9", "--clicks", "y:5"});
  ASSERT_TRUE(view);
  ApplyView(scene, view->view);
  RenderState state;
  DepthImage depth;
  RenderDepth(scene, state, depth, 240, 180, {});
  const auto pfm = ReadPfm(test::ReadFile(dir.Path("m.pfm")));
  ASSERT_TRUE(pfm);
  EXPECT_EQ(Bits(pfm->depth), Bits(depth.depth));
  const std::string exr = dir.Path("m.exr");
  Imf::InputFile file(exr.c_str());
  std::vector<float> fromExr(240 * 180);
  Imf::FrameBuffer frame;
  frame.insert("Z", Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(fromExr.data()), sizeof(float),
                               sizeof(float) * 240));
  file.setFrameBuffer(frame);
  file.readPixels(0, 179);
  EXPECT_EQ(Bits(fromExr), Bits(depth.depth));
  EXPECT_EQ(std::count(depth.depth.begin(), depth.depth.begin() + 240, kNoDepth), 240)
      << "the top row is background";

  // png16 against the 8-bit mask wherever its value did not wrap round.
  const auto png16 = DecodePng(dir, "m16.png");
  ASSERT_TRUE(png16);
  size_t compared = 0;
  for (size_t k = 0; k < png16->values.size(); ++k) {
    if (depth.depth[k] == kNoDepth) {
      EXPECT_EQ(png16->values[k], 0) << k;
    }
    if (!Unwrapped(depth.depth[k], state)) continue;
    ++compared;
    EXPECT_LE(std::fabs(png16->values[k] / 257.0 - bmp->values[k]), 0.5 + 0.5 / 257 + 1e-9) << k;
  }
  EXPECT_GT(compared, 5000u);
}

// --invert, --background, --gamma and --levels against the plain picture of the same view: the
// pixels the depth render covers get the reshaped level, the others the background.
TEST(QuarvelRenderFormats, TonesReshapeTheCoveredPixelsAndSetTheBackground) {
  test::ScratchDir dir;
  const std::string r = " && \"$R\"" + kKnot;
  ASSERT_EQ(
      test::RunInDir(
          dir, "true" + r + "-o d.pfm" + r + "-o p.png" + r + "--format png16 -o p16.png" + r +
                   "--invert --background 255 -o i.bmp" + r + "--gamma 2 --levels 4 -o g.png" + r +
                   "--format png16 --invert --gamma 0.5 --background 7 -o i16.png"),
      0)
      << ErrText(dir);
  const auto depth = ReadPfm(test::ReadFile(dir.Path("d.pfm")));
  const auto plain = DecodePng(dir, "p.png"), plain16 = DecodePng(dir, "p16.png");
  ASSERT_TRUE(depth && plain && plain16);
  const std::tuple<std::optional<Grey>, const Grey&, int, std::function<int(int)>> cases[] = {
      {ReadBmp(test::ReadFile(dir.Path("i.bmp"))), *plain, 255, [](int v) { return 255 - v; }},
      {DecodePng(dir, "g.png"), *plain, 0,
       [](int v) { return int(std::lround(std::pow(v / 255.0, 2) * 3)) * 85; }},
      {DecodePng(dir, "i16.png"), *plain16, 7,
       [](int v) { return int(std::lround((1 - std::pow(v / 65535.0, 0.5)) * 65535)); }},
  };
  for (const auto& [toned, from, background, level] : cases) {
    ASSERT_TRUE(toned && toned->values.size() == from.values.size());
    for (size_t k = 0; k < from.values.size(); ++k)
      ASSERT_EQ(toned->values[k], depth->depth[k] == kNoDepth ? background : level(from.values[k]))
          << k;
  }
}

// --supersample 4 against the picture four times as wide and high, each 4 x 4 block's mean
// rounded half up: the plain mask, and 16-bit levels with tones.
TEST(QuarvelRenderFormats, SupersamplingAveragesThePictureOfFourTimesTheSize) {
  test::ScratchDir dir;
  const std::string r = " && \"$R\"" + kKnot, toned = "--format png16 --invert --background 9 ";
  ASSERT_EQ(test::RunInDir(
                dir, "true" + r + "--supersample 4 -o s.bmp" + r + "--size 960x720 -o b.bmp" + r +
                         toned + "--supersample 4 -o s16.png" + r + toned +
                         "--size 960x720 -o b16.png" + r + "--supersample 4 --levels 5 -o s5.bmp"),
            0)
      << ErrText(dir);
  const std::pair<std::optional<Grey>, std::optional<Grey>> cases[] = {
      {ReadBmp(test::ReadFile(dir.Path("s.bmp"))), ReadBmp(test::ReadFile(dir.Path("b.bmp")))},
      {DecodePng(dir, "s16.png"), DecodePng(dir, "b16.png")}};
  for (const auto& [small, big] : cases) {
    ASSERT_TRUE(small && big && big->width == 4 * small->width);
    std::vector<int> filtered;
    for (int y = 0; y < small->height; ++y)
      for (int x = 0; x < small->width; ++x) {
        int sum = 0;
        for (int k = 0; k < 16; ++k)
          sum += big->values[size_t((4 * y + k / 4) * big->width + 4 * x + k % 4)];
        filtered.push_back((2 * sum + 16) / 32);
      }
    EXPECT_EQ(small->values, filtered);
  }
  // A count of levels comes after the mean: the picture holds those levels only.
  const auto five = ReadBmp(test::ReadFile(dir.Path("s5.bmp")));
  ASSERT_TRUE(five);
  for (int v : five->values)
    ASSERT_TRUE(v == 0 || v == 64 || v == 128 || v == 191 || v == 255) << v;
}

// The sidecar is JSON; its numbers are the render's, and its mapping turns a png16 value back
// into the depth of the pixel to within one level.
TEST(QuarvelRenderFormats, TheSidecarMapsLevelsBackToDepths) {
  test::ScratchDir dir;
  // A model whose name needs escaping: a quote, a backslash and a byte that is not UTF-8.
  const std::string model = "k\"n\\ot\xff.3ds";
  dir.Write(model, test::ReadFile(QUARVEL_SAMPLES "/knot.3ds"));
  const std::string args = " \"$(printf 'k\"n\\\\ot\\377.3ds')\" --size 240x180 --clicks x:9 ";
  ASSERT_EQ(test::RunInDir(dir, "\"$R\"" + args +
                                    "--format png16 -o m.png --sidecar m.json && "
                                    "\"$R\"" +
                                    args +
                                    "-o m.pfm && "
                                    "python3 -m json.tool m.json > pretty.txt"),
            0)
      << ErrText(dir);
  const std::string json = Text(test::ReadFile(dir.Path("m.json")));
  for (const char* field :
       {"\"width\": 240", "\"height\": 180", "\"format\": \"png16\"",
        "\"model\": \"k\\\"n\\\\ot\\ufffd.3ds\"", "\"file\": \"m.png\"", "\"PixelScale\": ",
        "\"NearZ\": ", "\"DepthScale\": ", "\"RenderBox\": ", "\"ModelTransform\": [",
        "\"FitScale\": ", "\"depthRange\": ", "\"given\": false", "\"kind\": \"levels\"",
        "\"top\": 65535"})
    EXPECT_NE(json.find(field), std::string::npos) << field << " in " << json;

  Scene scene;
  ASSERT_TRUE(LoadModel(scene, QUARVEL_SAMPLES "/knot.3ds", {}).ok);
  const auto view = Parse({"m.3ds", "--clicks", "x:9"});
  ASSERT_TRUE(view);
  ApplyView(scene, view->view);
  RenderState state;
  MaskImage mask;
  RenderObject(scene, state, mask, 240, 180, {});
  const std::vector<double> n =
      SidecarNumbers(dir, "m.json",
                     {"[\"NearZ\"]", "[\"DepthScale\"]", "[\"PixelScale\"]",
                      "[\"RenderBox\"][\"max\"][2]", "[\"ModelTransform\"][14]", "[\"FitScale\"]",
                      "[\"values\"][\"near\"]", "[\"values\"][\"scale\"]"});
  EXPECT_EQ(float(n[0]), state.NearZ);
  EXPECT_EQ(float(n[1]), state.DepthScale);
  EXPECT_EQ(float(n[2]), state.PixelScale);
  EXPECT_EQ(float(n[3]), state.RenderBox.max.z);
  EXPECT_EQ(float(n[4]), scene.ModelTransform.m[3][2]);
  EXPECT_EQ(float(n[5]), scene.FitScale);
  const double near = n[6], scale = n[7];
  const auto png16 = DecodePng(dir, "m.png");
  const auto pfm = ReadPfm(test::ReadFile(dir.Path("m.pfm")));
  ASSERT_TRUE(png16 && pfm);
  size_t mapped = 0;
  for (size_t k = 0; k < png16->values.size(); ++k) {
    const int v = png16->values[k];
    if (v == 0 || v == 65535) continue;
    EXPECT_LE(std::fabs(near + (65535 - v) / scale - pfm->depth[k]), 1 / scale) << k;
    ++mapped;
  }
  EXPECT_GT(mapped, 5000u);
}

// --depth-range sets the levels of bmp and png16: nearer than NEAR is white, farther than FAR
// black, in between the levels follow the depth.
TEST(QuarvelRenderFormats, ADepthRangeClampsAtBothEnds) {
  test::ScratchDir dir;
  ASSERT_EQ(test::RunInDir(dir, "\"$R\"" + kKnot + "-o m.pfm && \"$R\"" + kKnot +
                                    "--depth-range 14,16 -o m.bmp && \"$R\"" + kKnot +
                                    "--depth-range 14,16 --format png16 -o m.png"),
            0)
      << ErrText(dir);
  const auto pfm = ReadPfm(test::ReadFile(dir.Path("m.pfm")));
  const auto bmp = ReadBmp(test::ReadFile(dir.Path("m.bmp")));
  const auto png16 = DecodePng(dir, "m.png");
  ASSERT_TRUE(pfm && bmp && png16);
  size_t nearer = 0, farther = 0, between = 0;
  for (size_t k = 0; k < pfm->depth.size(); ++k) {
    const float z = pfm->depth[k];
    const int v8 = bmp->values[k], v16 = png16->values[k];
    if (z == kNoDepth) {
      EXPECT_EQ(v8, 0);
      EXPECT_EQ(v16, 0);
    } else if (z <= 14) {
      ++nearer;
      EXPECT_EQ(v8, 255) << z;
      EXPECT_EQ(v16, 65535) << z;
    } else if (z >= 16) {
      ++farther;
      EXPECT_EQ(v8, 0) << z;
      EXPECT_EQ(v16, 0) << z;
    } else {
      ++between;
      EXPECT_LE(std::fabs(v8 - (16.0 - z) / 2 * 255), 0.5 + 1e-3) << z;
      EXPECT_LE(std::fabs(v16 - (16.0 - z) / 2 * 65535), 0.5 + 0.1) << z;
    }
  }
  EXPECT_GT(nearer, 500u);
  EXPECT_GT(farther, 500u);
  EXPECT_GT(between, 500u);
}

// An animation writes NAME0000.png and on in the format asked for, frame for frame the pictures
// of the BMP sequence; with a depth range, every frame has the same one.
TEST(QuarvelRenderFormats, AnAnimationWritesFramesInTheFormat) {
  test::ScratchDir dir;
  const std::string run = " " QUARVEL_TEST_DATA "/fels.3ds --size 120x100 --frames 3 ";
  ASSERT_EQ(test::RunInDir(dir, "\"$R\"" + run + "--bmp-sequence w.bmp && \"$R\"" + run +
                                    "--bmp-sequence w.png && \"$R\"" + run +
                                    "--format exr --bmp-sequence d && \"$R\"" + run +
                                    "--format png16 --depth-range 13,17 --bmp-sequence r"),
            0)
      << ErrText(dir);
  for (int i = 0; i < 3; ++i) {
    const std::string n = "000" + std::to_string(i);
    const auto bmp = ReadBmp(test::ReadFile(dir.Path("w.bmp" + n + ".bmp")));
    const auto png = DecodePng(dir, "w.png" + n + ".png");
    ASSERT_TRUE(bmp && png) << i;
    EXPECT_EQ(png->values, bmp->values) << "frame " << i;
    EXPECT_TRUE(std::filesystem::exists(dir.Path("d" + n + ".exr"))) << i;
    EXPECT_TRUE(DecodePng(dir, "r" + n + ".png")) << i;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.Path("w.png0000.bmp")));
  EXPECT_FALSE(std::filesystem::exists(dir.Path("w.png0003.png")));
  // Frame 2 of the ranged run: its levels follow the one range given.
  Imf::InputFile exr(dir.Path("d0002.exr").c_str());
  std::vector<float> depth(120 * 100);
  Imf::FrameBuffer frame;
  frame.insert("Z", Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(depth.data()), sizeof(float),
                               sizeof(float) * 120));
  exr.setFrameBuffer(frame);
  exr.readPixels(0, 99);
  const auto ranged = DecodePng(dir, "r0002.png");
  ASSERT_TRUE(ranged);
  const LevelScale s = MakeLevelScale({13, 17}, 65535);
  for (size_t k = 0; k < depth.size(); ++k)
    EXPECT_EQ(ranged->values[k], DepthLevel(depth[k], s)) << k;
}

// The density a BMP header (biXPelsPerMeter, biYPelsPerMeter) or a PNG pHYs chunk states, as
// {x, y}; {-1, -1} for a PNG without one.
std::pair<long, long> Density(const std::vector<uint8_t>& b) {
  auto be32 = [&](size_t at) {
    return long(b[at]) << 24 | long(b[at + 1]) << 16 | b[at + 2] << 8 | b[at + 3];
  };
  if (b.size() > 46 && b[0] == 'B') return {long(LeU32(&b[38])), long(LeU32(&b[42]))};
  for (size_t at = 8; at + 17 <= b.size(); at += 12 + size_t(be32(at)))
    if (std::equal(b.begin() + long(at) + 4, b.begin() + long(at) + 8, "pHYs") && b[at + 16] == 1)
      return {be32(at + 8), be32(at + 12)};
  return {-1, -1};
}

// A physical scale: a 40 x 20 x 5 mm box from the top at 10 pixels per mm (or 254 dpi) is 400 x
// 200 pixels, every one covered and white, with the density in the file; from the front with a
// margin of 3 it is 406 x 56. A depth range is in mm from the top. A hemisphere on a plate, its
// grid points at the pixels' centres, gives its heights within half a level.
TEST(QuarvelRenderFormats, APhysicalScaleSetsThePixelsSizeAndTheFilesDensity) {
  test::ScratchDir dir;
  dir.Write("box.stl", WriteBinaryStl(test::Box({0, 0, 0}, {40, 20, 5})));
  TriangleMesh dome;
  const uint32_t n = 101;  // 0.25 mm apart from -12.5 to 12.5 mm: a pixel apart at 4 per mm
  for (uint32_t i = 0; i < n * n; ++i) {
    const double x = (int(i % n) - 50) * 0.25, y = (int(i / n) - 50) * 0.25;
    dome.vertices.push_back(
        {Store(x), Store(y), Store(std::sqrt(std::max(0.0, 100 - x * x - y * y)))});
    if (i % n < n - 1 && i < n * (n - 1))
      dome.faces.insert(dome.faces.end(), {{i, i + 1, i + n + 1}, {i, i + n + 1, i + n}});
  }
  dir.Write("dome.stl", WriteBinaryStl(dome));
  const std::string r = " && \"$R\" box.stl --view top ";
  ASSERT_EQ(test::RunInDir(dir, "true" + r + "--px-per-mm 10 -o t.png" + r + "--dpi 254 -o t.bmp" +
                                    r + "--px-per-mm 10 --format png16 --supersample 3 -o s.png" +
                                    r + "--px-per-mm 10 --depth-range -1,4 -o d.png" + r +
                                    "-o plain.bmp && \"$R\" box.stl --view front --px-per-mm 10 "
                                    "--margin 3 -o f.bmp && \"$R\" dome.stl --view top --px-per-mm "
                                    "4 --size 101x101 -o dome.bmp" +
                                    r + "--units cm --px-per-mm 1 --format png16 --sidecar s.json" +
                                    r + "--px-per-mm 1 -o z.pfm"),
            0)
      << ErrText(dir);
  const auto count = [](const Grey& g, int v) { return std::ranges::count(g.values, v); };
  const std::tuple<const char*, std::optional<Grey>, int, int, int, long, long> cases[] = {
      {"t.png", DecodePng(dir, "t.png"), 400, 200, 255, 80000, 10000},
      {"t.bmp", ReadBmp(test::ReadFile(dir.Path("t.bmp"))), 400, 200, 255, 80000, 10000},
      {"s.png", DecodePng(dir, "s.png"), 400, 200, 65535, 80000, 10000},
      {"d.png", DecodePng(dir, "d.png"), 400, 200, 204, 80000, 10000},  // 255 x 4 / 5
      {"plain.bmp", ReadBmp(test::ReadFile(dir.Path("plain.bmp"))), 640, 480, 255, 73920, 0},
      {"f.bmp", ReadBmp(test::ReadFile(dir.Path("f.bmp"))), 406, 56, 255, 20000, 10000}};
  for (const auto& [name, grey, width, height, level, many, density] : cases) {
    ASSERT_TRUE(grey) << name;
    EXPECT_EQ(std::tie(grey->width, grey->height), std::tie(width, height)) << name;
    EXPECT_EQ(count(*grey, level), many) << name;
    EXPECT_EQ(Density(test::ReadFile(dir.Path(name))), std::make_pair(density, density)) << name;
  }
  // In cm the box is 400 x 200 mm and 50 mm high; depths are from its top.
  const std::vector<double> facts = SidecarNumbers(
      dir, "s.json",
      {"[\"width\"]", "[\"depthRange\"][\"far\"]", "[\"physicalScale\"][\"millimetresPerPixel\"]",
       "[\"physicalScale\"][\"millimetresPerLevel\"]"});
  const double expected[] = {400, 5, 1, 50 / 65535.0};
  for (size_t k = 0; k < facts.size(); ++k)
    EXPECT_NEAR(facts[k], expected[k], expected[k] * 1e-6) << k;
  const auto depths = ReadPfm(test::ReadFile(dir.Path("z.pfm")));
  ASSERT_TRUE(depths && depths->width == 40);
  EXPECT_EQ(std::ranges::count(depths->depth, 0.0f), 40 * 20);
  // Too large a picture says which scale fits, in the form given.
  EXPECT_EQ(test::RunInDir(dir, "\"$R\" box.stl --view top --dpi 254000"), 2);
  EXPECT_EQ(ErrText(dir),
            "quarvel-render: box.stl: At this scale the picture would be 400000 x 200000 pixels, "
            "more than 10000 a side; --dpi 6350 or less fits\n");
  const auto domeMask = ReadBmp(test::ReadFile(dir.Path("dome.bmp")));
  ASSERT_TRUE(domeMask && domeMask->values.size() == n * n);
  for (uint32_t i = 0; i < n * n; ++i) {
    const double x = (int(i % n) - 50) * 0.25, y = (50 - int(i / n)) * 0.25;
    ASSERT_NEAR(domeMask->values[i], 25.5 * std::sqrt(std::max(0.0, 100 - x * x - y * y)), 0.501)
        << i;
  }
}

TEST(QuarvelRenderFormats, BadOptionsAreUsageErrors) {
  test::ScratchDir dir;
  const std::string model = " " QUARVEL_TEST_DATA "/fels.3ds ";
  for (const char* args :
       {"--format tiff", "--depth-range 3", "--depth-range 2,1", "--format exr --depth-range 1,2",
        "--frames 3 --avi a.avi --format png", "--frames 3 --bmp-sequence w --sidecar s.json",
        "--supersample 1", "--supersample 9", "--format pfm --supersample 2", "--px-per-mm -1",
        "--dpi 0", "--px-per-mm 1 --dpi 9", "--px-per-mm 1 --units ft", "--units cm", "--margin 2",
        "--px-per-mm 1 --size 200x200 --margin 2", "--px-per-mm 1 --frames 3 --bmp-sequence w"}) {
    EXPECT_EQ(test::RunInDir(dir, "\"$R\"" + model + args), 2) << args;
    EXPECT_NE(ErrText(dir).find("\nTry 'quarvel-render --help'.\n"), std::string::npos) << args;
  }
  EXPECT_EQ(test::RunInDir(dir, "\"$R\"" + model + "--frames 3 --avi a.avi --format png"), 2);
  EXPECT_EQ(ErrText(dir).substr(0, ErrText(dir).find('\n')),
            "quarvel-render: An AVI file holds 8-bit masks only: --format png cannot be written "
            "with --avi (use --bmp-sequence)");
  // The sidecar may not take the place of the mask or of the model.
  dir.Write("m.3ds", test::ReadFile(QUARVEL_TEST_DATA "/fels.3ds"));
  EXPECT_EQ(test::RunInDir(dir, "\"$R\" m.3ds -o m.png --sidecar m.png"), 2);
  EXPECT_EQ(ErrText(dir),
            "quarvel-render: m.png: the sidecar would replace the model or the mask; name another "
            "file with --sidecar\n");
  EXPECT_EQ(test::RunInDir(dir, "\"$R\" m.3ds -o m.png --sidecar ./m.3ds"), 2);
  EXPECT_EQ(test::ReadFile(dir.Path("m.3ds")), test::ReadFile(QUARVEL_TEST_DATA "/fels.3ds"));
  EXPECT_FALSE(std::filesystem::exists(dir.Path("m.png")));
}

// A full disk, made with a limit on the size of files: every format's file fails whole, with the
// file's name and the reason, and the old file stays.
TEST(QuarvelRenderFormats, AFailedWriteLeavesTheOldFileAndNothingElse) {
  for (const char* format : {"png", "png16", "pfm", "exr"}) {
    test::ScratchDir dir;
    const std::string out = dir.Write("out.x", {'o', 'l', 'd'});
    EXPECT_EQ(test::RunInDir(dir, std::string("trap '' XFSZ && ulimit -f 2 && \"$R\" ") +
                                      QUARVEL_SAMPLES "/knot.3ds --size 600x600 --format " +
                                      format + " -o out.x --sidecar out.json"),
              4)
        << format;
    EXPECT_EQ(ErrText(dir), "quarvel-render: out.x: Stream write error (File too large)\n")
        << format;
    EXPECT_EQ(test::ReadFile(out), (std::vector<uint8_t>{'o', 'l', 'd'})) << format;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path("")), {}), 2)
        << format << ": no temporary file and no sidecar left";
  }
  // A sidecar that cannot be written: the mask is written, the run fails with the sidecar's name.
  test::ScratchDir dir;
  EXPECT_EQ(test::RunInDir(dir, "\"$R\" " QUARVEL_TEST_DATA
                                "/fels.3ds -o m.png --sidecar no/such/folder.json"),
            4);
  EXPECT_EQ(ErrText(dir),
            "quarvel-render: no/such/folder.json: Cannot create file no/such/folder.json (No such "
            "file or directory)\n");
  EXPECT_TRUE(DecodePng(dir, "m.png"));
}

}  // namespace
}  // namespace quarvel
