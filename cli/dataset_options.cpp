#include "dataset_options.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "batch_folder.h"
#include "numbers.h"
#include "options.h"

namespace quarvel {

namespace {

constexpr std::array<std::string_view, 9> kCameraValued = {
    "--camera", "--fov",   "--intrinsics", "--distance", "--depth",
    "--views",  "--orbit", "--views-on",   "--poses"};
constexpr std::array<std::string_view, 2> kCameraFlags = {"--normals", "--mask"};
constexpr std::array<std::string_view, 7> kBatchValued = {
    "--batch", "--out-dir", "--root", "--shard", "--model-timeout", "--model-memory", "--results"};
constexpr std::string_view kSkipDone = "--skip-done";
constexpr int kMaxShards = 1000000;

template <size_t N>
bool In(const std::array<std::string_view, N>& names, std::string_view a) {
  return std::find(names.begin(), names.end(), a) != names.end();
}

// "FX,FY,CX,CY": four numbers a float holds, FX and FY above 0 at full precision.
bool ParseIntrinsics(const std::string& s, Intrinsics& k) {
  double v[4];
  size_t start = 0;
  for (int i = 0; i < 4; ++i) {
    const size_t comma = i < 3 ? s.find(',', start) : s.size();
    if (comma == std::string::npos || !ParseDouble(s.substr(start, comma - start), v[i]))
      return false;
    start = comma + 1;
  }
  k = {v[0], v[1], v[2], v[3]};
  const auto focal = [](double f) { return f >= kFloatMin && f <= kFloatMax; };
  const auto centre = [](double c) { return std::fabs(c) <= kFloatMax; };
  return focal(v[0]) && focal(v[1]) && centre(v[2]) && centre(v[3]);
}

// "I/N": 0 <= I < N.
bool ParseShard(const std::string& s, int& index, int& count) {
  const size_t slash = s.find('/');
  return slash != std::string::npos && ParseIntIn(s.substr(slash + 1), 1, kMaxShards, count) &&
         ParseIntIn(s.substr(0, slash), 0, count - 1, index);
}

std::string SetCameraOption(const std::string& a, const std::string& v, CameraOptions& c) {
  double x = 0;
  if (a == "--camera") {
    if (v != "perspective" && v != "orthographic")
      return "Expected --camera perspective or orthographic; not '" + v + "'";
    c.perspective = v == "perspective";
  } else if (a == "--fov") {
    if (!ParseDouble(v, x) || !(x > 0 && x < 180))
      return "The field of view (--fov) must be a number of degrees above 0 and below 180, not " +
             v;
    c.fovDegrees = x;
    c.lensText = a + " " + v;
  } else if (a == "--intrinsics") {
    Intrinsics k;
    if (!ParseIntrinsics(v, k))
      return "Expected --intrinsics FX,FY,CX,CY in pixels, FX and FY from 1.2e-38 to 3.4e38, CX "
             "and CY from -3.4e38 to 3.4e38, for example --intrinsics 500,500,255.5,255.5; not '" +
             v + "'";
    c.intrinsics = k;
    c.lensText = a + " " + v;
  } else if (a == "--distance") {
    if (!ParseDouble(v, x) || !(x > 0 && x <= kFloatMax))
      return "The camera's distance (--distance) must be a number above 0 and at most 3.4e38, "
             "not " +
             v;
    c.distance = x;
    c.distanceText = a + " " + v;
  } else if (a == "--depth") {
    if (v != "z" && v != "ray") return "Expected --depth z or ray; not '" + v + "'";
    c.depth = v == "z" ? DepthKind::AlongAxis : DepthKind::AlongRay;
  } else if (a == "--views") {
    if (!ParseIntIn(v, 1, kMaxViews, c.views))
      return "The number of views must be from 1 to 100000, not " + v;
  } else if (a == "--orbit") {
    if (!ParseDouble(v, x) || !(x >= -90 && x <= 90))
      return "The ring's elevation (--orbit) must be from -90 to 90 degrees, not " + v;
    c.orbitDegrees = x;
  } else if (a == "--views-on") {
    if (v != "ring" && v != "sphere") return "Expected --views-on ring or sphere; not '" + v + "'";
    c.onSphere = v == "sphere";
  } else if (a == "--poses") {
    if (v.empty()) return "Missing file name after --poses";
    c.poses = v;
  } else {
    (a == "--normals" ? c.normals : c.mask) = true;
  }
  return "";
}

std::string SetBatchOption(const std::string& a, const std::string& v, BatchOptions& b) {
  double x = 0;
  int n = 0;
  if (a == "--shard") {
    if (!ParseShard(v, b.shardIndex, b.shardCount))
      return "Expected --shard I/N with 0 <= I < N, for example --shard 3/8; not '" + v + "'";
  } else if (a == "--model-timeout") {
    if (!ParseDouble(v, x) || !(x > 0 && x <= 1e6))
      return "The time a model may take (--model-timeout) must be from above 0 to 1000000 "
             "seconds, not " +
             v;
    b.modelTimeout = x;
  } else if (a == "--model-memory") {
    if (!ParseIntIn(v, 16, 100000000, n))
      return "The memory a model may use (--model-memory) must be from 16 to 100000000 MB, "
             "not " +
             v;
    b.modelMemory = uint64_t(n) << 20;
  } else if (a == kSkipDone) {
    b.skipDone = true;
  } else if (v.empty()) {
    return "Missing file name after " + a;
  } else {
    (a == "--batch"     ? b.list
     : a == "--out-dir" ? b.outDir
     : a == "--root"    ? b.root
                        : b.results) = v;
  }
  return "";
}

std::string CheckCamera(const RenderOptions& o, const std::string& first) {
  const CameraOptions& c = o.camera;
  if (!c.perspective) return first == "--camera" ? "" : first + " applies to --camera perspective";
  if (c.fovDegrees > 0 && c.intrinsics) return "Give --fov or --intrinsics, not both";
  if (const double f = CameraIntrinsics(c, o.width, o.height).fx; f > kFloatMax) {
    char focal[32];
    std::snprintf(focal, sizeof focal, "%.3g", f);
    return c.lensText + " is too narrow for a picture " + std::to_string(o.width) +
           " pixels wide: its focal length, " + focal +
           " pixels, is more than the 3.4e38 a float holds";
  }
  if (c.views > 0 && !c.poses.empty()) return "Give --views or --poses, not both";
  if (c.views == 0 && (c.onSphere || c.orbitDegrees != 0))
    return "--orbit and --views-on place the views of --views N";
  if (c.onSphere && c.orbitDegrees != 0)
    return "--orbit places the views on a ring; --views-on sphere spreads them over a sphere";
  if (!c.ManyViews() && (c.normals || c.mask))
    return std::string(c.normals ? "--normals" : "--mask") + " applies with --views or --poses";
  if (o.Animation())
    return "--camera perspective makes one picture or a set of views, not an animation";
  if (o.tones.Any() || o.supersample > 1 || o.physical.Given())
    return "--camera perspective writes plain depths and levels: --invert, --background, "
           "--gamma, --levels, --supersample and a physical scale belong to the orthographic "
           "camera";
  if (!c.ManyViews()) return "";
  if (!o.view.empty())
    return "The views of --views and --poses stand round the model as its file has it: view "
           "operations apply to one view";
  if (o.formatGiven && o.format != OutputFormat::Exr && o.format != OutputFormat::Pfm)
    return "Views hold depths: --format exr or pfm";
  if (!o.sidecar.empty()) return "Views are described by their transforms.json, not --sidecar";
  if (o.depthRange) return "Views hold depths: --depth-range applies to levels";
  return "";
}

std::string CheckBatch(const RenderOptions& o, const std::string& first) {
  const BatchOptions& b = o.batch;
  if (b.list.empty()) return first + " applies to --batch LIST";
  if (!o.model.empty()) return "--batch takes its models from the list: give no MODEL";
  if (b.outDir.empty()) return "--batch needs an output folder: --out-dir DIR";
  if (o.Animation()) return "--batch renders single masks and views, not animations";
  if (o.info) return "--info applies to one model, not to --batch";
  // A picture and its sidecar keep their file names, and only those, in a model's folder.
  for (const auto& [option, name] : {std::pair{"-o", &o.output}, {"--sidecar", &o.sidecar}})
    if (name->substr(name->find_last_of('/') + 1) == kDoneMarker)
      return std::string(option) + " " + *name + ": " + kDoneMarker +
             " is the name of the marker of a model that is done; choose another name";
  return "";
}

}  // namespace

bool IsDatasetOption(std::string_view a) {
  return In(kCameraValued, a) || In(kCameraFlags, a) || In(kBatchValued, a) || a == kSkipDone;
}

bool DatasetOptionTakesValue(std::string_view a) {
  return In(kCameraValued, a) || In(kBatchValued, a);
}

bool IsBatchOption(std::string_view a) {
  return In(kBatchValued, a) || a == kSkipDone;
}

std::string SetDatasetOption(const std::string& a, const std::string& v, RenderOptions& o) {
  if (In(kCameraValued, a) || In(kCameraFlags, a)) return SetCameraOption(a, v, o.camera);
  return SetBatchOption(a, v, o.batch);
}

std::string CheckDatasetCombination(const RenderOptions& o, const std::string& firstCamera,
                                    const std::string& firstBatch) {
  if (!firstCamera.empty())
    if (std::string bad = CheckCamera(o, firstCamera); !bad.empty()) return bad;
  if (!firstBatch.empty()) return CheckBatch(o, firstBatch);
  return "";
}

}  // namespace quarvel
