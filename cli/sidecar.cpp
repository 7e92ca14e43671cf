#include "sidecar.h"

#include <cmath>
#include <initializer_list>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "json_text.h"

namespace quarvel {

namespace {

using Member = std::pair<std::string_view, std::string>;

// A JSON object of the members given: on one line, or a member a line ending the text.
std::string Object(std::initializer_list<Member> members, bool lines = false) {
  std::string out = "{";
  bool first = true;
  for (const auto& [name, value] : members) {
    out += first ? "" : ",";
    out += lines ? "\n  " : first ? "" : " ";
    out += JsonString(name);
    out += ": ";
    out += value;
    first = false;
  }
  out += lines ? "\n}\n" : "}";
  return out;
}

// A JSON array of numbers.
std::string Array(std::initializer_list<double> numbers) {
  std::string out = "[";
  for (const double n : numbers) {
    out += out.size() > 1 ? ", " : "";
    out += JsonNumber(n);
  }
  out += "]";
  return out;
}

std::string Vector(const Vec3& v) {
  return Array({v.x, v.y, v.z});
}

std::string Matrix(const Transform& t) {
  const auto& m = t.m;
  return Array({m[0][0], m[0][1], m[0][2], m[0][3], m[1][0], m[1][1], m[1][2], m[1][3], m[2][0],
                m[2][1], m[2][2], m[2][3], m[3][0], m[3][1], m[3][2], m[3][3]});
}

// One of the render's own numbers; throws std::range_error naming it when it is not finite, as
// when the model is flat or a point as seen.
std::string RenderNumber(std::string_view name, double value, std::string_view why) {
  if (!std::isfinite(value))
    throw std::range_error(std::string(name) + " is not finite: " + std::string(why));
  return JsonNumber(value);
}

// The depths' unit and origin, as the sidecar says them.
std::string DepthWords(const SidecarFacts& facts) {
  if (!facts.physical.Given()) return "scene units";
  return "model units (" + facts.physical.units + ") from the nearest point of the model's box";
}

// How a level v of the file turns back into a depth.
std::string LevelRule(const OutputRequest& request, int top) {
  const std::string t = std::to_string(top);
  std::string rule = "depth = near + (";
  rule += t;
  if (UsesMask(request)) {
    rule += " - v) / scale for v > 0, to within half a level; v = 0 is the background or the ";
    rule += "farthest depth";
    return rule;
  }
  rule += " - v) / scale for 0 < v < ";
  rule += t;
  rule += ", to within half a level; v = ";
  rule += t;
  rule += " is near or nearer; v = 0 is the background, or far or farther";
  return rule;
}

// How the format's values map to depths; `levels` in the sidecar's depth units.
std::string Values(const SidecarFacts& facts, const LevelScale& levels) {
  const OutputRequest& request = facts.request;
  if (!HoldsLevels(request.format))
    return Object({{"kind", JsonString("depth")},
                   {"rule", JsonString("the value is the depth along the view in " +
                                       DepthWords(facts) + "; +inf is the background")}});
  return Object({{"kind", JsonString("levels")},
                 {"bits", levels.top == 255 ? "8" : "16"},
                 {"top", std::to_string(levels.top)},
                 {"near", JsonNumber(levels.range.near)},
                 {"far", JsonNumber(levels.range.far)},
                 {"scale", JsonNumber(levels.scale)},
                 {"rule", JsonString(LevelRule(request, levels.top))}});
}

// What a physical scale adds: the units, and millimetres per pixel and per level.
std::string Physical(const PhysicalScale& physical, const LevelScale& levels) {
  return Object({{"units", JsonString(physical.units)},
                 {"millimetresPerUnit", JsonNumber(physical.mmPerUnit)},
                 {"pixelsPerMillimetre", JsonNumber(physical.pixelsPerMm)},
                 {"millimetresPerPixel", JsonNumber(1 / physical.pixelsPerMm)},
                 {"millimetresPerLevel", JsonNumber(physical.mmPerUnit / levels.scale)},
                 {"depthOrigin", JsonString("the nearest point of the model's box")}});
}

}  // namespace

std::string SidecarJson(const SidecarFacts& facts, const Scene& scene, const RenderState& state) {
  LevelScale levels = RequestLevels(facts.request, scene, state);
  if (UsesMask(facts.request)) levels.scale = state.DepthScale;  // the rasteriser's own scale
  const DepthUnits units = facts.physical.Given() ? ModelDepthUnits(scene) : DepthUnits{};
  levels.range = {float(units.ToModel(levels.range.near)), float(units.ToModel(levels.range.far))};
  levels.scale = float(levels.scale * units.sceneUnitsPerUnit);
  const Box& box = state.RenderBox;
  std::string json =
      Object({{"format", JsonString(FormatName(facts.request.format))},
              {"file", JsonString(facts.output)},
              {"model", JsonString(facts.model)},
              {"width", std::to_string(state.MaskWidth)},
              {"height", std::to_string(state.MaskHeight)},
              {"PixelScale", RenderNumber("PixelScale", state.PixelScale, "the model has no size")},
              {"NearZ", JsonNumber(state.NearZ)},
              {"DepthScale",
               RenderNumber("DepthScale", state.DepthScale, "the model has no depth as seen")},
              {"RenderBox", Object({{"min", Vector(box.min)}, {"max", Vector(box.max)}})},
              {"ModelTransform", Matrix(scene.ModelTransform)},
              {"FitScale", JsonNumber(scene.FitScale)},
              {"depthRange", Object({{"near", JsonNumber(levels.range.near)},
                                     {"far", JsonNumber(levels.range.far)},
                                     {"given", facts.request.depthRange ? "true" : "false"}})},
              {"values", Values(facts, levels)}},
             true);
  if (facts.physical.Given())  // one more member before the closing brace
    json.insert(json.size() - 3, ",\n  \"physicalScale\": " + Physical(facts.physical, levels));
  return json;
}

}  // namespace quarvel
