#include "camera_views.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <numbers>

#include "base/file_io.h"
#include "scene/json_shape.h"

namespace quarvel {

namespace {

constexpr double kDegree = std::numbers::pi / 180;
constexpr uint64_t kMaxPosesFile = 64 << 20;
// A transforms.json nests five levels deep (its frames' matrices' rows); the parser's values are
// freed by recursion, so a deeper text is refused before it is parsed.
constexpr size_t kMaxPosesDepth = 16;

// OpenGL's camera axes and OpenCV's differ by a half turn about x: y and z change sign.
Affine FlipYZ() {
  Affine f;
  f.m[1][1] = f.m[2][2] = -1;
  return f;
}

// A camera at `eye` looking at `target`, `up` upwards in the picture (or, when it looks along
// `up`, `fallbackUp`): camera-to-world with OpenGL's axes.
Affine LookAt(const Point& eye, const Point& target, const Point& up, const Point& fallbackUp) {
  const Point back = Normalized(eye - target);
  Point right = Cross(up, back);
  if (Length(right) < 1e-9) right = Cross(fallbackUp, back);
  right = Normalized(right);
  const Point trueUp = Cross(back, right);
  Affine pose;
  for (int i = 0; i < 3; ++i) {
    pose.m[i][0] = right[i];
    pose.m[i][1] = trueUp[i];
    pose.m[i][2] = back[i];
    pose.m[i][3] = eye[i];
  }
  return pose;
}

// One camera-to-world matrix out of JSON: four rows of four finite numbers, a rotation part
// orthonormal to within 1e-4 with determinant +1, and a bottom row of 0 0 0 1.
std::optional<Affine> PoseOf(const nlohmann::json& rows) {
  if (!rows.is_array() || rows.size() != 4) return std::nullopt;
  double m[4][4];
  for (int i = 0; i < 4; ++i) {
    if (!rows[i].is_array() || rows[i].size() != 4) return std::nullopt;
    for (int j = 0; j < 4; ++j) {
      if (!rows[i][j].is_number()) return std::nullopt;
      m[i][j] = rows[i][j].get<double>();
      if (!std::isfinite(m[i][j])) return std::nullopt;
    }
  }
  if (m[3][0] != 0 || m[3][1] != 0 || m[3][2] != 0 || m[3][3] != 1) return std::nullopt;
  Affine pose;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 4; ++j)
      pose.m[i][j] = m[i][j];
  for (int a = 0; a < 3; ++a)
    for (int b = 0; b < 3; ++b) {
      const double dot = m[0][a] * m[0][b] + m[1][a] * m[1][b] + m[2][a] * m[2][b];
      if (std::fabs(dot - (a == b ? 1 : 0)) > 1e-4) return std::nullopt;
    }
  const Point x{m[0][0], m[1][0], m[2][0]}, y{m[0][1], m[1][1], m[2][1]},
      z{m[0][2], m[1][2], m[2][2]};
  if (Dot(Cross(x, y), z) < 0) return std::nullopt;  // a mirror, not a turn
  return pose;
}

// Finds where a JSON text stops being JSON: a parse that keeps nothing, noting the first error.
struct JsonErrorFinder : nlohmann::json_sax<nlohmann::json> {
  size_t at = 0;          // bytes read when the error was found
  std::string token;      // the number, when too large
  bool overflow = false;  // a number too large for a double

  bool null() override { return true; }
  bool boolean(bool) override { return true; }
  bool number_integer(number_integer_t) override { return true; }
  bool number_unsigned(number_unsigned_t) override { return true; }
  bool number_float(number_float_t, const string_t&) override { return true; }
  bool string(string_t&) override { return true; }
  bool binary(binary_t&) override { return true; }
  bool start_object(size_t) override { return true; }
  bool key(string_t&) override { return true; }
  bool end_object() override { return true; }
  bool start_array(size_t) override { return true; }
  bool end_array() override { return true; }
  bool parse_error(size_t position, const std::string& last,
                   const nlohmann::json::exception& e) override {
    at = position;
    token = last;
    overflow = e.id == 406;
    return false;
  }
};

// Why a text that is not JSON is not, with the line where that shows.
std::string JsonError(std::span<const uint8_t> text) {
  JsonErrorFinder finder;
  nlohmann::json::sax_parse(text.begin(), text.end(), &finder);
  const auto end = text.begin() + ptrdiff_t(std::min(finder.at, text.size()));
  const auto line = 1 + std::count(text.begin(), end, uint8_t('\n'));
  const std::string where = " at line " + std::to_string(line);
  if (finder.overflow) return "the number " + finder.token + where + " is out of range";
  if (end == text.end()) return "its JSON ends too soon" + where;
  const auto lineStart = std::find(std::make_reverse_iterator(end), text.rend(), uint8_t('\n'));
  const auto column = std::distance(lineStart.base(), end);
  return "its JSON is invalid" + where + ", column " + std::to_string(column);
}

}  // namespace

Intrinsics CameraIntrinsics(const CameraOptions& options, int width, int height) {
  if (options.intrinsics) return *options.intrinsics;
  const double fov = options.fovDegrees > 0 ? options.fovDegrees : kDefaultFovDegrees;
  const double f = width / 2.0 / std::tan(fov * kDegree / 2);
  return {f, f, (width - 1) / 2.0, (height - 1) / 2.0};
}

ModelSphere FileSphere(const Scene& scene, ModelFormat format) {
  const Affine fileFromMesh = MeshFromFile(scene, format).Inverse();
  const Box b = scene.ModelMesh->GetBox();
  const Point lo = fileFromMesh.Apply({b.min.x, b.min.y, b.min.z});
  const Point hi = fileFromMesh.Apply({b.max.x, b.max.y, b.max.z});
  return {0.5 * (lo + hi), 0.5 * Length(hi - lo)};
}

double CameraDistance(const CameraOptions& options, const Intrinsics& k, int width, int height,
                      const ModelSphere& sphere) {
  if (options.distance > 0) return options.distance;
  // The half angles the picture spans on its narrower side from the principal point.
  const double halfX = std::atan(std::min(k.cx + 0.5, width - 0.5 - k.cx) / k.fx);
  const double halfY = std::atan(std::min(k.cy + 0.5, height - 0.5 - k.cy) / k.fy);
  const double half = std::min(halfX, halfY);
  const double radius = sphere.radius > 0 ? sphere.radius : 1;
  return half > 0 ? 1.1 * radius / std::sin(half) : 10 * radius;
}

std::vector<Affine> OrbitCameras(const CameraOptions& options, const ModelSphere& sphere,
                                 double distance, ModelFormat format) {
  // The file's up axis, and the side the orthographic view looks from: -y for z-up files, +z for
  // y-up ones; `side` (+x for both) completes them, so that azimuths grow anticlockwise seen
  // from above.
  const bool zUp = IsZUp(format);
  const Point up = zUp ? Point{0, 0, 1} : Point{0, 1, 0};
  const Point front = zUp ? Point{0, -1, 0} : Point{0, 0, 1};
  const Point side = Cross(up, front);
  std::vector<Affine> cameras;
  const int n = options.views;
  for (int i = 0; i < n; ++i) {
    double elevation, azimuth;
    if (options.onSphere) {
      const double h = 1 - (2 * i + 1) / double(n);  // heights evenly spread, top first
      elevation = std::asin(h);
      azimuth = i * std::numbers::pi * (3 - std::sqrt(5.0));  // the golden angle
    } else {
      elevation = options.orbitDegrees * kDegree;
      azimuth = 2 * std::numbers::pi * i / n;
    }
    const Point direction =
        std::cos(elevation) * (std::cos(azimuth) * front + std::sin(azimuth) * side) +
        std::sin(elevation) * up;
    cameras.push_back(
        LookAt(sphere.centre + distance * direction, sphere.centre, up, -1.0 * front));
  }
  return cameras;
}

std::optional<std::vector<Affine>> ReadPoses(const std::string& path, std::string& error) {
  FileBytes bytes;
  const FileReadResult read = ReadWholeFile(
      path, bytes,
      {0, [](uint64_t size, std::span<const uint8_t>) { return size <= kMaxPosesFile; }});
  if (read.status != FileRead::Ok) {
    error = read.status == FileRead::Refused ? "larger than 64 MB" : read.reason;
    return std::nullopt;
  }
  const auto text = bytes.span();
  if (ScanJson({reinterpret_cast<const char*>(text.data()), text.size()}).depth > kMaxPosesDepth) {
    error = "its JSON nests more than 16 levels deep";
    return std::nullopt;
  }
  const nlohmann::json json = nlohmann::json::parse(text.begin(), text.end(), nullptr, false);
  if (json.is_discarded()) {
    error = JsonError(text);
    return std::nullopt;
  }
  nlohmann::json matrices = nlohmann::json::array();
  if (json.is_array()) {
    matrices = json;
  } else if (json.is_object() && json.contains("frames") && json["frames"].is_array()) {
    for (const auto& frame : json["frames"])
      matrices.push_back(frame.is_object() && frame.contains("transform_matrix")
                             ? frame["transform_matrix"]
                             : nlohmann::json());
  } else {
    error = "not a list of 4 x 4 matrices, nor an object with \"frames\"";
    return std::nullopt;
  }
  if (matrices.empty() || matrices.size() > size_t(kMaxViews)) {
    error = "it must hold from 1 to 100000 poses";
    return std::nullopt;
  }
  std::vector<Affine> poses;
  for (const auto& m : matrices) {
    const auto pose = PoseOf(m);
    if (!pose) {
      error = "pose " + std::to_string(poses.size() + 1) +
              " is not a rotation and a position (4 x 4, bottom row 0 0 0 1)";
      return std::nullopt;
    }
    poses.push_back(*pose);
  }
  return poses;
}

Affine WorldToCamera(const Affine& cameraToWorld) {
  return FlipYZ().After(cameraToWorld.Inverse());
}

Affine CameraToWorld(const Affine& worldToCamera) {
  return worldToCamera.Inverse().After(FlipYZ());
}

Affine FrontCamera(const Scene& scene, double distance) {
  // The scene point of a mesh point v is v M (row vector) with the model frame's transform M;
  // the camera stands at (0, 0, kModelDepth - distance x FitScale), y turned down, and camera
  // units are the model's: scene units over FitScale.
  const Transform t = scene.ModelFrame->GetTransform();
  const double s = scene.FitScale;
  Affine mesh;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      mesh.m[i][j] = t.m[j][i];
  for (int i = 0; i < 3; ++i)
    mesh.m[i][3] = t.m[3][i];
  mesh.m[2][3] -= kModelDepth - distance * s;
  Affine toCamera;
  toCamera.m[0][0] = toCamera.m[2][2] = 1 / s;
  toCamera.m[1][1] = -1 / s;
  return toCamera.After(mesh);
}

}  // namespace quarvel
