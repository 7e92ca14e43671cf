#include "options.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <span>
#include <string_view>

#include "dataset_options.h"
#include "numbers.h"
#include "render/view_ops.h"
#include "supersample.h"

namespace quarvel {

const char* const kRenderUsage =
    "Usage: quarvel-render MODEL [-o OUT.bmp] [--size WxH] [view operations...] [--info]\n"
    "                      [--format F] [--depth-range NEAR,FAR] [--sidecar FILE.json]\n"
    "                      [--invert] [--background LEVEL] [--gamma G] [--levels K]\n"
    "                      [--supersample N] [--px-per-mm P | --dpi D] [--units U]\n"
    "                      [--margin PIXELS]\n"
    "       quarvel-render MODEL [--size WxH] [view operations...] --frames N [--turns X,Y,Z]\n"
    "                      [--scale-by AXES] (--bmp-sequence NAME.bmp [--format F]\n"
    "                      [--depth-range NEAR,FAR] | --avi FILE.avi [--fps F] [--codec FOURCC]\n"
    "                      [--quality Q] [--key-frames K] [--data-rate KBPS] [--verbose])\n"
    "       quarvel-render MODEL --camera perspective [--fov DEG | --intrinsics FX,FY,CX,CY]\n"
    "                      [--distance D] [--depth z|ray] [--size WxH] [-o OUT]\n"
    "                      [--views N [--orbit DEG | --views-on sphere] | --poses FILE.json]\n"
    "                      [--normals] [--mask]\n"
    "       quarvel-render --batch LIST --out-dir DIR [--root DIR] [--shard I/N] [--skip-done]\n"
    "                      [--model-timeout S] [--model-memory MB] [--results FILE.tsv]\n"
    "                      [the options of one model]\n"
    "       quarvel-render --codecs | --help | --version\n"
    "\n"
    "Renders the depth mask of a model as an 8-bit greyscale BMP (white = nearest), or the model\n"
    "turning as an animation: a sequence of BMP files or an AVI file. The mask can also be\n"
    "written as PNG, as 16-bit levels, or as the depth itself in floats. MODEL is a .3ds, .obj,\n"
    ".stl (binary or text), .ply, .gltf or .glb file, told by its extension; STL and PLY are\n"
    "z-up like .3ds, OBJ and glTF y-up and seen from their front (+z).\n"
    "\n"
    "  -o, --output FILE  the mask's file (default: the model's name with .bmp, or the\n"
    "                     extension of --format, here)\n"
    "  --size WxH         mask size in pixels, each from 100 to 10000 (default 640x480; from 16\n"
    "                     with --camera perspective)\n"
    "  --info             print the import's result, the model's extents and fit scale\n"
    "  --threads N        draw a single mask on N threads (default: one per processor; the mask\n"
    "                     is the same)\n"
    "  -h, --help         show this text\n"
    "  --version          show the program's version\n"
    "\n"
    "Output formats:\n"
    "  --format F         the format of the mask's file or of each frame's file (default: from\n"
    "                     the extension of -o or of --bmp-sequence's name: .bmp, .png, .pfm or\n"
    "                     .exr; any other name gets bmp):\n"
    "                       bmp    the 8-bit mask: 255 (white) nearest, 0 farthest and background\n"
    "                       png    the same mask as an 8-bit greyscale PNG\n"
    "                       png16  a 16-bit greyscale PNG: 65535 nearest, 0 farthest and\n"
    "                              background\n"
    "                       pfm    32-bit floats (PFM, bottom row first) holding the depth in\n"
    "                              scene units along the view, +infinity for the background\n"
    "                       exr    the same depth in an OpenEXR file, one float channel named Z\n"
    "  --depth-range NEAR,FAR\n"
    "                     the depths, in scene units along the view, that the levels of bmp, png\n"
    "                     and png16 span: NEAR and nearer is white, FAR and farther black. The\n"
    "                     default is the model's own depth range, with bmp and png the mask as\n"
    "                     the renderer draws it. Every frame of an animation gets the same range.\n"
    "  --sidecar FILE.json\n"
    "                     also write FILE.json describing the mask: its size and scales, the\n"
    "                     model's placement, the depth range and how a value turns back into a\n"
    "                     depth (a single mask only, and not with the options below)\n"
    "\n"
    "The levels of bmp, png and png16, for a single mask or each frame of --bmp-sequence (top\n"
    "is 255, or 65535 for png16; v is a covered pixel's level over top, 1 nearest, 0 farthest):\n"
    "  --invert           farthest white, nearest black: v becomes 1 - v\n"
    "  --background LEVEL the level of the pixels no face covers, from 0 to top (default 0)\n"
    "  --gamma G          a power curve: v becomes v^G, before --invert; G greater than 0\n"
    "                     (default 1)\n"
    "  --levels K         K evenly spaced levels, from 2 to 256: v becomes round(v x (K - 1)) /\n"
    "                     (K - 1), after --gamma and --invert\n"
    "  --supersample N    N x N samples per pixel, from 2 to 8: each sample is the level of the\n"
    "                     picture N times as wide and high (the options above but --levels\n"
    "                     included, the background where no face covers it), a pixel the mean\n"
    "                     of its samples rounded half up, then --levels if a face covers it;\n"
    "                     the picture is drawn in bands, taking about N x N times as long\n"
    "\n"
    "Physical scale, for a single mask to be carved, burnt or printed at a known size:\n"
    "  --px-per-mm P      P pixels per millimetre, from 0.0001 to 100000, in place of fitting\n"
    "                     the model to the picture; the PNG or BMP file states this density\n"
    "  --dpi D            the same in pixels per inch, from 0.00254 to 2540000 (254 dpi is 10\n"
    "                     pixels per mm)\n"
    "  --units U          what one unit of the model is: mm (the default), cm, m or in\n"
    "  --margin PIXELS    without --size, the picture is just large enough for the model's box\n"
    "                     as the view shows it, with PIXELS more on every side (0 to 1000,\n"
    "                     default 0); with --size, the model is centred at the scale instead\n"
    "  At this scale each pixel is sampled at its centre and every row is drawn; --depth-range\n"
    "  and the sidecar's depths are in the model's units from the nearest point of its box, and\n"
    "  pfm and exr hold such depths. The sidecar gives millimetres per pixel and per level. A\n"
    "  picture that would be more than 10000 pixels a side is refused, with the scale that fits.\n"
    "\n"
    "View operations, applied in the order given, as the view controls would:\n"
    "  --rotate AXIS:RAD  turn by RAD radians about AXIS (x, y, z or ax,ay,az), the way\n"
    "                     --clicks turns for positive N\n"
    "  --clicks AXIS:N    N arrow clicks of 0.05 radian about x, y or z. Positive N turns as\n"
    "                     the left arrow does: about z counter-clockwise in the mask, about x\n"
    "                     the top away from the viewer, about y the right side towards the\n"
    "                     viewer (clockwise seen from the axis' positive end: x to the right,\n"
    "                     y up, z away from the viewer). Negative N turns as the right arrow.\n"
    "  --move-x S         move the model S units along its own x axis\n"
    "  --move-y S         move the model S units along its own y axis\n"
    "  --move-z S         move the model S units away from the viewer (zooms the mask). Each S\n"
    "                     is from -3.4e38 to 3.4e38, and the moves along x and y keep the\n"
    "                     model within that range; unmoved the model is 15 units away, and\n"
    "                     the orthographic camera needs it in front (more than 0 away), not so\n"
    "                     near that the pixel scale passes 3.4e38, nor so far that a float\n"
    "                     cannot tell its nearest depth from its farthest\n"
    "  --view SIDE        first of all, wherever it stands: show the model from its front (the\n"
    "                     default), back, left, right, top or bottom, its own sides turned to\n"
    "                     the viewer by exact quarter turns. top looks down the model's up axis\n"
    "                     (z for .3ds, STL and PLY, y for OBJ and glTF), so the mask is a\n"
    "                     heightmap, white highest; the model's back is at the top of the\n"
    "                     picture (+y for z-up models, -z for y-up ones). bottom has the front\n"
    "                     at the top; left and right keep the model's top up, right showing\n"
    "                     its +x side. The fit is the same from every side.\n"
    "\n"
    "Animation: the model, placed by the view operations, turns over N frames and comes back to\n"
    "where it started; every frame has the same depth range, wide enough for the turning model.\n"
    "  --frames N         the number of frames, from 2 to 10000\n"
    "  --turns X,Y,Z      turns per cycle about x, y and z, each from -100 to 100 (default\n"
    "                     0,1,0): the model turns about the axis (X,Y,Z), as many whole times\n"
    "                     as the count largest in size says (y wins a tie, z a tie with x)\n"
    "  --scale-by AXES    the axes the depth range allows for: any of x, y and z, or none\n"
    "                     (default xz)\n"
    "  --bmp-sequence NAME.bmp\n"
    "                     write frame i as NAME.bmp followed by i in four digits and .bmp, in\n"
    "                     NAME.bmp's folder: walk.bmp0000.bmp, walk.bmp0001.bmp and so on\n"
    "                     (the frames of other formats end in their extension: walk.png gives\n"
    "                     walk.png0000.png)\n"
    "  --avi FILE.avi     write the frames as one AVI file of 8-bit masks, replacing FILE.avi\n"
    "  --fps F            the AVI file's frames per second, from 1 to 40 (default 25)\n"
    "  --codec FOURCC     the AVI file's compressor, such as FFV1 or dpx (see --codecs); none,\n"
    "                     raw or 0 for uncompressed frames (the default). A compressor this\n"
    "                     machine does not have, or one that cannot take frames of this size,\n"
    "                     gives uncompressed frames, with a note that says why.\n"
    "  --quality Q        compression quality, from 0 to 10000 (0: the compressor's default)\n"
    "  --key-frames K     a key frame every K frames, up to 10000 (0: the compressor's choice)\n"
    "  --data-rate KBPS   data rate in kilobits per second, up to 1000000 (0: the compressor's\n"
    "                     choice)\n"
    "  --verbose          show FFmpeg's own messages too, such as an encoder's warnings\n"
    "  --codecs           list the compressors this machine offers for AVI files; one is\n"
    "                     lossless when a test frame comes back from it exactly\n"
    "\n"
    "The perspective camera, for measured depths and datasets (the orthographic camera above\n"
    "is the default). Depths are in the model file's units, +infinity where no face is seen:\n"
    "  --camera perspective\n"
    "                     a pinhole camera; each pixel's centre is tested against the projected\n"
    "                     faces and gets the exact depth of the nearest along its ray. Without\n"
    "                     --views or --poses, one picture from where the orthographic view looks,\n"
    "                     the view operations placing the model: exr and pfm hold the depths,\n"
    "                     bmp, png and png16 levels over --depth-range (default: the picture's\n"
    "                     own nearest and farthest); --sidecar writes its camera as a\n"
    "                     transforms.json\n"
    "  --fov DEG          the horizontal field of view, above 0 and below 180 (default 50), and\n"
    "                     wide enough that its focal length is at most 3.4e38 pixels\n"
    "  --intrinsics FX,FY,CX,CY\n"
    "                     focal lengths and principal point in pixels, as OpenCV has them (the\n"
    "                     first pixel's centre is 0,0); --fov F gives FX = FY =\n"
    "                     W / 2 / tan(F / 2), CX = (W - 1) / 2, CY = (H - 1) / 2; each in a\n"
    "                     float's range: FX and FY from 1.2e-38 to 3.4e38, CX and CY from\n"
    "                     -3.4e38 to 3.4e38\n"
    "  --distance D       the camera's distance from the centre of the model's box, in model\n"
    "                     units, above 0 and at most 3.4e38 (default: the model's bounding\n"
    "                     sphere fits the picture). Every camera must stand near enough that\n"
    "                     the model's depths stay at most 3.4e38, and a single picture's must\n"
    "                     have the model in front\n"
    "  --depth z|ray      z along the camera's axis (the default), or the distance along the ray\n"
    "  --views N          N cameras round the model, looking at its centre, upright for the\n"
    "                     file's up axis, from 1 to 100000; -o names the folder they fill\n"
    "                     (default: the model's name with -views): depth/0000.exr and on\n"
    "                     (--format pfm for PFM), then transforms.json, written last, in the\n"
    "                     convention neural-field tools read (camera-to-world matrices in the\n"
    "                     file's coordinates with OpenGL's camera axes; cx and cy count the\n"
    "                     first pixel's centre as 0.5)\n"
    "  --orbit DEG        the views on a ring at this elevation, -90 to 90 (default 0), the first\n"
    "                     in front, going round anticlockwise seen from above\n"
    "  --views-on sphere  the views spread evenly over a sphere instead, top first\n"
    "  --poses FILE.json  the cameras of a file instead: a list of 4 x 4 camera-to-world\n"
    "                     matrices, or the frames of a transforms.json\n"
    "  --normals          each view also writes normals/0000.exr (png for pfm views): the unit\n"
    "                     normal of the nearest face in the camera's axes as OpenCV has them\n"
    "                     (x right, y down, z forward), facing the camera\n"
    "  --mask             each view also writes mask/0000.png: 255 where a face is seen\n"
    "\n"
    "Whole collections: the models of a list, each rendered with the options given in a child\n"
    "process of its own into a folder of its own; a bad model is recorded and the batch goes on:\n"
    "  --batch LIST       one model file a line (- for standard input; blank lines and lines\n"
    "                     starting with # are skipped)\n"
    "  --out-dir DIR      the models' folders go here, each named by the model's path (relative\n"
    "                     to --root), file name included; a picture keeps the name of -o\n"
    "                     (default mask and the format's extension), views fill the folder\n"
    "  --root DIR         the folder the list's paths are named from\n"
    "  --shard I/N        render only the I-th of N shares of the list (every N-th model from\n"
    "                     the I-th, I from 0), so that a job array needs no coordinator\n"
    "  --skip-done        skip the models whose folder a finished run has marked done\n"
    "  --model-timeout S  stop a model after S seconds\n"
    "  --model-memory MB  stop a model that needs more than MB megabytes of address space\n"
    "  --results FILE.tsv the results, a row per model: model, exit code, seconds, faces and\n"
    "                     message (default: DIR/results.tsv, or results-I-of-N.tsv for a shard)\n"
    "  The exit code is 0 when every model was rendered or skipped, 1 when any failed.\n"
    "\n"
    "Exit codes:\n"
    "  0  done\n"
    "  2  a bad command line, or an output that is the model file or another output\n"
    "  3  a model that cannot be read\n"
    "  4  a file that cannot be opened or written, an animation's frame included\n"
    "  5  not enough memory, or another failure\n"
    "  129, 130, 143  stopped by SIGHUP, SIGINT or SIGTERM after the frame under way\n";

namespace {

bool ParseAxis(const std::string& s, Vec3& axis) {
  if (s == "x" || s == "X")
    axis = {1, 0, 0};
  else if (s == "y" || s == "Y")
    axis = {0, 1, 0};
  else if (s == "z" || s == "Z")
    axis = {0, 0, 1};
  else {
    const size_t a = s.find(','), b = s.find(',', a == std::string::npos ? a : a + 1);
    if (a == std::string::npos || b == std::string::npos) return false;
    return ParseFloat(s.substr(0, a), axis.x) && ParseFloat(s.substr(a + 1, b - a - 1), axis.y) &&
           ParseFloat(s.substr(b + 1), axis.z) && (axis.x != 0 || axis.y != 0 || axis.z != 0);
  }
  return true;
}

bool ParseSize(const std::string& s, int& w, int& h) {
  const size_t x = s.find_first_of("xX");
  return x != std::string::npos && ParseInt(s.substr(0, x), w) && ParseInt(s.substr(x + 1), h);
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string DefaultOutput(const std::string& model, const std::string& extension) {
  std::string name = BaseName(model);
  const size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name + extension;
}

// "NEAR,FAR": two finite numbers, NEAR less than FAR.
bool ParseDepthRange(const std::string& s, DepthRange& range) {
  const size_t comma = s.find(',');
  float near = 0, far = 0;
  if (comma == std::string::npos || !ParseFloat(s.substr(0, comma), near) ||
      !ParseFloat(s.substr(comma + 1), far) || !(near < far))
    return false;
  range = {near, far};
  return true;
}

// Sets one of the output options from its value; returns the message for a bad value.
std::string SetOutputOption(const std::string& a, const std::string& v, RenderOptions& o) {
  if (a == "--format") {
    const auto format = FormatByName(v);
    if (!format) return "Expected --format bmp, png, png16, pfm or exr; not '" + v + "'";
    o.format = *format;
  } else if (a == "--depth-range") {
    DepthRange range;
    if (!ParseDepthRange(v, range))
      return "Expected --depth-range NEAR,FAR with two numbers, NEAR less than FAR, for example "
             "--depth-range 10.5,19.5; not '" +
             v + "'";
    o.depthRange = range;
  } else {  // --sidecar
    if (v.empty()) return "Missing file name after " + a;
    o.sidecar = v;
  }
  return "";
}

// Sets one of the options that reshape the levels from its value; returns the message for a
// bad value. The background's range depends on the format, checked once that is known.
std::string SetToneOption(const std::string& a, const std::string& v, RenderOptions& o) {
  if (a == "--background") {
    if (!ParseInt(v, o.tones.background))
      return "Expected a level after --background, such as 255; not '" + v + "'";
  } else if (a == "--gamma") {
    if (!ParseFloat(v, o.tones.gamma) || !(o.tones.gamma > 0))
      return "Expected --gamma G with G a number greater than 0, for example --gamma 2.2; not '" +
             v + "'";
  } else if (a == "--supersample") {
    if (!ParseIntIn(v, kMinSupersample, kMaxSupersample, o.supersample))
      return "The samples per pixel across and down (--supersample) must be from 2 to 8, not " + v;
  } else if (!ParseIntIn(v, kMinToneLevels, kMaxToneLevels, o.tones.levels)) {  // --levels
    return "The number of levels must be from 2 to 256, not " + v;
  }
  return "";
}

// Sets one of the options of a physical scale from its value; returns the message for a bad
// value.
std::string SetScaleOption(const std::string& a, const std::string& v, PhysicalScale& s) {
  double n = 0;
  if (a == "--units") {
    const auto mm = MillimetresPerUnit(v);
    if (!mm) return "Expected --units mm, cm, m or in; not '" + v + "'";
    s.units = v;
    s.mmPerUnit = *mm;
  } else if (a == "--margin") {
    if (!ParseIntIn(v, 0, kMaxMargin, s.margin))
      return "The margin must be from 0 to 1000 pixels, not " + v;
  } else {  // --px-per-mm, --dpi
    if (s.Given()) return "Give the scale once: --px-per-mm or --dpi";
    s.byDpi = a == "--dpi";
    // In the unit given and in double, so that the ends as written are taken.
    const double lo = s.byDpi ? kMinDpi : kMinPixelsPerMm;
    const double hi = s.byDpi ? kMaxDpi : kMaxPixelsPerMm;
    if (!ParseDouble(v, n) || !(n >= lo && n <= hi))
      return s.byDpi
                 ? "The scale (--dpi) must be from 0.00254 to 2540000 pixels per inch, not " + v
                 : "The scale (--px-per-mm) must be from 0.0001 to 100000 pixels per mm, not " + v;
    s.pixelsPerMm = s.byDpi ? n / kMmPerInch : n;
  }
  return "";
}

// "X,Y,Z": three whole turns, each from -100 to 100.
bool ParseTurns(const std::string& s, AnimationParams& p) {
  const size_t a = s.find(','), b = s.find(',', a == std::string::npos ? a : a + 1);
  if (a == std::string::npos || b == std::string::npos) return false;
  int x, y, z;
  if (!ParseIntIn(s.substr(0, a), -kMaxTurns, kMaxTurns, x) ||
      !ParseIntIn(s.substr(a + 1, b - a - 1), -kMaxTurns, kMaxTurns, y) ||
      !ParseIntIn(s.substr(b + 1), -kMaxTurns, kMaxTurns, z))
    return false;
  p.x = static_cast<int16_t>(x);
  p.y = static_cast<int16_t>(y);
  p.z = static_cast<int16_t>(z);
  return true;
}

// "none", or each of x, y and z at most once.
bool ParseScaleBy(const std::string& s, AnimationParams& p) {
  p.scaleX = p.scaleY = p.scaleZ = false;
  if (s == "none") return true;
  for (const char c : s) {
    bool* flag = nullptr;
    switch (c) {
      case 'x':
      case 'X':
        flag = &p.scaleX;
        break;
      case 'y':
      case 'Y':
        flag = &p.scaleY;
        break;
      case 'z':
      case 'Z':
        flag = &p.scaleZ;
        break;
      default:
        return false;
    }
    if (*flag) return false;
    *flag = true;
  }
  return !s.empty();
}

// Four printable characters, as in the file; "0", "none" or "raw" for uncompressed frames. A
// shorter code ends in blanks, as "dpx " does: --codecs prints it as dpx, and dpx is taken.
bool ParseFourCC(const std::string& s, uint32_t& fourcc) {
  if (s == "0" || s == "none" || s == "raw") {
    fourcc = 0;
    return true;
  }
  if (s.empty() || s.size() > 4) return false;
  const std::string code = s + std::string(4 - s.size(), ' ');
  fourcc = 0;
  for (size_t i = 0; i < 4; ++i) {
    const auto c = static_cast<unsigned char>(code[i]);
    if (c < 0x20 || c > 0x7E) return false;
    fourcc |= uint32_t(c) << (8 * i);
  }
  return true;
}

// Sets one of the animation's options from its value; returns the message for a bad value.
std::string SetAnimationOption(const std::string& a, const std::string& v, RenderOptions& o) {
  int n = 0;
  if (a == "--frames") {
    if (!ParseIntIn(v, kMinFrames, kMaxFrames, n))
      return "The number of frames must be from 2 to 10000, not " + v;
    o.anim.frames = n;
  } else if (a == "--turns") {
    if (!ParseTurns(v, o.anim))
      return "Expected --turns X,Y,Z with each from -100 to 100, for example --turns 0,1,0";
  } else if (a == "--scale-by") {
    if (!ParseScaleBy(v, o.anim))
      return "Expected --scale-by with x, y and z, each at most once, or none; not '" + v + "'";
  } else if (a == "--bmp-sequence" || a == "--avi") {
    if (v.empty()) return "Missing file name after " + a;
    (a == "--avi" ? o.avi : o.bmpSequence) = v;
  } else if (a == "--fps") {
    if (!ParseIntIn(v, 1, kMaxFps, n)) return "The frame rate must be from 1 to 40, not " + v;
    o.anim.fps = n;
  } else if (a == "--codec") {
    if (!ParseFourCC(v, o.compress.fccHandler))
      return "Expected a four-character code after --codec, such as FFV1, or none; not '" + v + "'";
  } else if (a == "--quality") {
    if (!ParseIntIn(v, 0, kMaxQuality, n)) return "The quality must be from 0 to 10000, not " + v;
    o.compress.dwQuality = n;
  } else if (a == "--key-frames") {
    if (!ParseIntIn(v, 0, kMaxKeyFrameEvery, n))
      return "The key-frame interval must be from 0 to 10000 frames, not " + v;
    o.compress.dwKeyFrameEvery = n;
  } else {  // --data-rate, in kilobits per second; the options hold bytes per second
    if (!ParseIntIn(v, 0, kMaxDataRate, n))
      return "The data rate must be from 0 to 1000000 kilobits per second, not " + v;
    o.compress.dwBytesPerSecond = n * 1000 / 8;
  }
  return "";
}

constexpr std::string_view kAnimationOptions[] = {
    "--frames", "--turns", "--scale-by", "--bmp-sequence", "--avi",
    "--fps",    "--codec", "--quality",  "--key-frames",   "--data-rate"};
constexpr std::string_view kAviOptions[] = {"--fps", "--codec", "--quality", "--key-frames",
                                            "--data-rate"};
constexpr std::string_view kOutputOptions[] = {"--format", "--depth-range", "--sidecar"};
constexpr std::string_view kToneOptions[] = {"--background", "--gamma", "--levels",
                                             "--supersample"};
constexpr std::string_view kScaleOptions[] = {"--px-per-mm", "--dpi", "--units", "--margin"};

bool IsOneOf(std::string_view a, std::span<const std::string_view> names) {
  return std::find(names.begin(), names.end(), a) != names.end();
}

// Output options that make no sense with the rest: the message, or an empty text.
std::string CheckOutputCombination(const RenderOptions& o) {
  if (!o.avi.empty() && o.format != OutputFormat::Bmp)
    return "An AVI file holds 8-bit masks only: --format " + FormatName(o.format) +
           " cannot be written with --avi (use --bmp-sequence)";
  if (!o.avi.empty() && o.depthRange)
    return "--depth-range applies to --bmp-sequence and single masks, not to an AVI file";
  if (o.depthRange && !HoldsLevels(o.format))
    return "--depth-range applies to bmp, png and png16; " + FormatName(o.format) +
           " holds the depth itself";
  if (o.Animation() && !o.sidecar.empty())
    return "--sidecar describes a single mask; an animation writes none";
  return "";
}

// The options that reshape the levels, `first` the first of them given (or an empty text), with
// the output: the message, or an empty text. `background` is the value of --background as typed.
std::string CheckToneCombination(const RenderOptions& o, const std::string& first,
                                 const std::string& background) {
  if (first.empty()) return "";
  if (!o.avi.empty())
    return first + " applies to --bmp-sequence and single masks, not to an AVI file";
  if (!HoldsLevels(o.format))
    return first + " applies to bmp, png and png16; " + FormatName(o.format) +
           " holds the depth itself";
  // The sidecar turns plain levels back into depths, a rule these options no longer follow.
  if (!o.sidecar.empty())
    return "--sidecar gives the depths of plain levels; it cannot be written with " + first;
  const int top = o.format == OutputFormat::Png16 ? 65535 : 255;
  if (o.tones.background < 0 || o.tones.background > top)
    return "The background level must be from 0 to " + std::to_string(top) + " for " +
           FormatName(o.format) + ", not " + background;
  return "";
}

// The options of a physical scale, `first` the first of them given (or an empty text), with the
// rest: the message, or an empty text.
std::string CheckScaleCombination(const RenderOptions& o, const std::string& first) {
  if (first.empty()) return "";
  if (!o.physical.Given()) return first + " applies with a scale: give --px-per-mm or --dpi";
  if (o.Animation()) return first + " applies to a single mask, not to an animation";
  if (o.sizeGiven && o.physical.margin != 0)
    return "--margin applies when the scale sets the picture's size; --size gives it here";
  return "";
}

// The orthographic camera sees the model only in front of it: the moves along z must leave the
// model frame, 15 units away at rest, farther than 0. The message, or an empty text.
std::string CheckModelInFront(const RenderOptions& o) {
  if (o.camera.perspective) return "";  // that camera stands where the moves leave the model
  float z = kModelDepth;
  for (const ViewOp& op : o.view)
    if (op.kind == ViewOp::MoveZ) z = Store(double(z) + op.value);  // as MoveFrameZ stores it
  if (z > 0) return "";
  char where[32];
  std::snprintf(where, sizeof where, "%.9g", z);
  return o.moveZText + " takes the model to the viewer or behind it: it would be " + where +
         " units away, and must stay in front, above 0 (it is 15 units away unmoved)";
}

// Options that make no sense together: the message, or an empty text. `given` lists the
// animation's options in the order given.
std::string CheckCombination(const RenderOptions& o, const std::vector<std::string>& given,
                             bool outputGiven) {
  if (!o.Animation()) {
    if (given.empty()) return "";
    return given.front() +
           " belongs to an animation: give --frames N with --bmp-sequence NAME.bmp or --avi "
           "FILE.avi";
  }
  if (!o.bmpSequence.empty() && !o.avi.empty())
    return "Choose --bmp-sequence or --avi: a run writes one of them";
  if (std::find(given.begin(), given.end(), "--frames") == given.end())
    return "An animation needs its number of frames: --frames N";
  if (outputGiven)
    return "-o names a single mask's file; an animation writes the files of --bmp-sequence or "
           "--avi";
  if (o.threads != 0)
    return "--threads applies to a single mask; an animation draws on all processors";
  if (o.avi.empty())
    for (const std::string& a : given)
      if (IsOneOf(a, kAviOptions)) return a + " applies only to an AVI file (--avi)";
  return "";
}

}  // namespace

std::optional<RenderOptions> ParseRenderOptions(const std::vector<std::string>& args,
                                                std::string& error) {
  RenderOptions o;
  auto fail = [&](const std::string& message) -> std::optional<RenderOptions> {
    error = message;
    return std::nullopt;
  };
  bool optionsEnded = false;
  std::vector<std::string> animationOptions;
  std::string toneOption;                 // the first option given that reshapes the levels
  std::string scaleOption;                // the first option given of a physical scale
  std::string cameraOption, batchOption;  // the first given of the perspective camera, of --batch
  std::string sizeValue;                  // the value of --size, as given
  std::string backgroundValue;            // the value of --background, as given
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (!optionsEnded && a == "--") {
      optionsEnded = true;
      continue;
    }
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    std::string v;
    if (optionsEnded || a.size() < 2 || a[0] != '-') {
      if (!o.model.empty()) return fail("Only one model can be rendered at a time: " + a);
      o.model = a;
    } else if (a == "-h" || a == "--help") {
      o.help = true;
      return o;
    } else if (a == "--version") {
      o.version = true;
      return o;
    } else if (a == "--info") {
      o.info = true;
    } else if (a == "--verbose") {
      o.verbose = true;
    } else if (a == "--invert") {
      o.tones.invert = true;
      if (toneOption.empty()) toneOption = a;
    } else if (a == "--codecs") {
      o.listCodecs = true;
      return o;
    } else if (IsOneOf(a, kAnimationOptions)) {
      if (!value(v)) return fail("Missing value after " + a);
      if (const std::string bad = SetAnimationOption(a, v, o); !bad.empty()) return fail(bad);
      animationOptions.push_back(a);
    } else if (IsOneOf(a, kOutputOptions)) {
      if (!value(v)) return fail("Missing value after " + a);
      if (const std::string bad = SetOutputOption(a, v, o); !bad.empty()) return fail(bad);
      o.formatGiven = o.formatGiven || a == "--format";
    } else if (IsOneOf(a, kToneOptions)) {
      if (!value(v)) return fail("Missing value after " + a);
      if (const std::string bad = SetToneOption(a, v, o); !bad.empty()) return fail(bad);
      if (toneOption.empty()) toneOption = a;
      if (a == "--background") backgroundValue = v;
    } else if (IsOneOf(a, kScaleOptions)) {
      if (!value(v)) return fail("Missing value after " + a);
      if (const std::string bad = SetScaleOption(a, v, o.physical); !bad.empty()) return fail(bad);
      if (scaleOption.empty()) scaleOption = a;
    } else if (a == "-o" || a == "--output") {
      if (!value(o.output) || o.output.empty()) return fail("Missing file name after " + a);
    } else if (a == "--size") {
      if (!value(v) || !ParseSize(v, o.width, o.height))
        return fail("Expected --size WIDTHxHEIGHT, for example --size 640x480");
      o.sizeGiven = true;  // its range depends on the camera: checked once every option is read
      sizeValue = v;
    } else if (a == "--threads") {
      if (!value(v) || !ParseInt(v, o.threads) || o.threads < 1 || o.threads > 256)
        return fail("Expected a number of threads from 1 to 256 after --threads");
    } else if (a == "--rotate" || a == "--clicks") {
      const bool rotate = a == "--rotate";
      const size_t colon = value(v) ? v.find(':') : std::string::npos;
      if (colon == std::string::npos)
        return fail("Expected " + a + (rotate ? " AXIS:RADIANS" : " AXIS:N"));
      ViewOp op{rotate ? ViewOp::Rotate : ViewOp::Clicks, {}, 0, 0};
      const std::string axis = v.substr(0, colon), amount = v.substr(colon + 1);
      if (!ParseAxis(axis, op.axis) || (!rotate && axis.size() != 1))
        return fail("Unknown axis '" + axis + "' in " + a +
                    (rotate ? " (x, y, z or ax,ay,az)" : " (x, y or z)"));
      if (rotate ? !ParseFloat(amount, op.value) : !ParseInt(amount, op.clicks))
        return fail("Expected a number after the axis in " + a + ", not '" + amount + "'");
      if (!rotate && (op.clicks < -kMaxClicks || op.clicks > kMaxClicks))
        return fail("At most 1000000 clicks in one --clicks");
      o.view.push_back(op);
    } else if (a == "--view") {
      ViewOp op{ViewOp::Side, {}, 0, 0};
      const auto side = value(v) ? SideByName(v) : std::nullopt;
      if (!side) return fail("Expected --view front, back, left, right, top or bottom");
      if (!o.view.empty() && o.view.front().kind == ViewOp::Side)
        return fail("Only one --view can be given");
      op.side = *side;
      o.view.insert(o.view.begin(), op);  // the start every other operation turns from
    } else if (a == "--move-x" || a == "--move-y" || a == "--move-z") {
      ViewOp op{a == "--move-x"   ? ViewOp::MoveX
                : a == "--move-y" ? ViewOp::MoveY
                                  : ViewOp::MoveZ,
                {},
                0,
                0};
      if (!value(v) || !ParseFloat(v, op.value))
        return fail("Expected a distance from -3.4e38 to 3.4e38 after " + a + ", not '" + v + "'");
      (op.kind == ViewOp::MoveZ ? o.moveZText : o.moveXYText) = a + " " + v;
      o.view.push_back(op);
    } else if (IsDatasetOption(a)) {
      if (DatasetOptionTakesValue(a) && !value(v)) return fail("Missing value after " + a);
      if (const std::string bad = SetDatasetOption(a, v, o); !bad.empty()) return fail(bad);
      std::string& first = IsBatchOption(a) ? batchOption : cameraOption;
      if (first.empty()) first = a;
    } else {
      return fail("Unknown option " + a);
    }
  }
  if (o.model.empty() && batchOption.empty()) return fail("No model file given");
  // The perspective camera's pictures may be smaller: datasets use 64 x 64.
  const int least = o.camera.perspective ? kMinViewSize : kMinPicSize;
  if (std::min(o.width, o.height) < least || std::max(o.width, o.height) > kMaxPicSize)
    return fail("Width and height must each be from " + std::to_string(least) + " to 10000 pixels" +
                (o.camera.perspective ? " with --camera perspective" : "") + ", not " + sizeValue);
  if (const std::string bad = CheckCombination(o, animationOptions, !o.output.empty());
      !bad.empty())
    return fail(bad);
  if (!o.formatGiven)
    o.format = o.camera.ManyViews() ? OutputFormat::Exr
                                    : FormatOfFileName(o.Animation() ? o.bmpSequence : o.output);
  if (const std::string bad = CheckOutputCombination(o); !bad.empty()) return fail(bad);
  if (const std::string bad = CheckModelInFront(o); !bad.empty()) return fail(bad);
  if (const std::string bad = CheckToneCombination(o, toneOption, backgroundValue); !bad.empty())
    return fail(bad);
  if (const std::string bad = CheckScaleCombination(o, scaleOption); !bad.empty()) return fail(bad);
  if (const std::string bad = CheckDatasetCombination(o, cameraOption, batchOption); !bad.empty())
    return fail(bad);
  if (o.output.empty() && !o.Batch())
    o.output = o.camera.ManyViews() ? DefaultOutput(o.model, "-views")
                                    : DefaultOutput(o.model, FormatExtension(o.format));
  if (o.output.empty() && !o.camera.ManyViews()) o.output = "mask" + FormatExtension(o.format);
  o.anim.width = o.width;
  o.anim.height = o.height;
  return o;
}

void ApplyView(Scene& scene, const std::vector<ViewOp>& view) {
  for (const ViewOp& op : view) {
    switch (op.kind) {
      case ViewOp::Rotate:
        TurnModel(scene, op.axis.x, op.axis.y, op.axis.z, op.value);
        break;
      case ViewOp::Clicks:
        for (int k = 0; k < std::abs(op.clicks); ++k)
          TurnModel(scene, op.axis.x, op.axis.y, op.axis.z,
                    op.clicks > 0 ? kClickAngle : -kClickAngle);
        break;
      case ViewOp::MoveX:
        MoveMesh(scene, op.value, 0, 0);
        break;
      case ViewOp::MoveY:
        MoveMesh(scene, 0, op.value, 0);
        break;
      case ViewOp::MoveZ:
        MoveFrameZ(scene, op.value);
        break;
      case ViewOp::Side:
        ShowSide(scene, op.side);
        break;
    }
  }
}

}  // namespace quarvel
