#include "options.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "render/view_ops.h"

namespace quarvel {

const char* const kRenderUsage =
    "Usage: quarvel-render MODEL.3ds [-o OUT.bmp] [--size WxH] [view operations...] [--info]\n"
    "\n"
    "Renders the depth mask of a .3ds model as an 8-bit greyscale BMP (white = nearest).\n"
    "\n"
    "  -o, --output FILE  the mask's file (default: the model's name with .bmp, here)\n"
    "  --size WxH         mask size in pixels, each from 100 to 10000 (default 640x480)\n"
    "  --info             print the import's result, the model's extents and fit scale\n"
    "  --threads N        draw on N threads (default: one per processor; the mask is the same)\n"
    "  -h, --help         show this text\n"
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
    "  --move-z S         move the model S units away from the viewer (zooms the mask)\n"
    "\n"
    "Exit codes:\n"
    "  0  done\n"
    "  2  a bad command line, or an output that is the model file itself\n"
    "  3  a model that cannot be read\n"
    "  4  a file that cannot be opened or written\n"
    "  5  not enough memory, or another failure\n";

namespace {

// A whole number. One beyond an int's range reads as the largest int of its sign, so that the
// range checks that follow refuse it with their own message rather than a parse error.
bool ParseInt(const std::string& s, int& out) {
  const char* end = s.data() + s.size();
  auto [p, ec] = std::from_chars(s.data(), end, out);
  if (ec == std::errc::result_out_of_range) out = s[0] == '-' ? -INT_MAX : INT_MAX;
  return (ec == std::errc() || ec == std::errc::result_out_of_range) && p == end && !s.empty();
}

bool ParseFloat(const std::string& s, float& out) {
  if (s.empty()) return false;
  char* end = nullptr;
  const double v = std::strtod(s.c_str(), &end);
  if (end != s.c_str() + s.size() || !std::isfinite(v) || std::fabs(v) > 3.4e38) return false;
  out = static_cast<float>(v);
  return true;
}

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

std::string DefaultOutput(const std::string& model) {
  std::string name = BaseName(model);
  const size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name + ".bmp";
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
    } else if (a == "--info") {
      o.info = true;
    } else if (a == "-o" || a == "--output") {
      if (!value(o.output) || o.output.empty()) return fail("Missing file name after " + a);
    } else if (a == "--size") {
      if (!value(v) || !ParseSize(v, o.width, o.height))
        return fail("Expected --size WIDTHxHEIGHT, for example --size 640x480");
      if (o.width < kMinSize || o.width > kMaxSize || o.height < kMinSize || o.height > kMaxSize)
        return fail("Width and height must each be from 100 to 10000 pixels, not " + v);
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
    } else if (a == "--move-x" || a == "--move-y" || a == "--move-z") {
      ViewOp op{a == "--move-x"   ? ViewOp::MoveX
                : a == "--move-y" ? ViewOp::MoveY
                                  : ViewOp::MoveZ,
                {},
                0,
                0};
      if (!value(v) || !ParseFloat(v, op.value)) return fail("Expected a distance after " + a);
      o.view.push_back(op);
    } else {
      return fail("Unknown option " + a);
    }
  }
  if (o.model.empty()) return fail("No model file given");
  if (o.output.empty()) o.output = DefaultOutput(o.model);
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
    }
  }
}

}  // namespace quarvel
