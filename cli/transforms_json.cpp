#include "transforms_json.h"

#include <cmath>

#include "json_text.h"

namespace quarvel {

namespace {

std::string Matrix(const Affine& a) {
  std::string out = "[";
  for (int i = 0; i < 4; ++i) {
    out += i == 0 ? "[" : ", [";
    for (int j = 0; j < 4; ++j) {
      const double v = i < 3 ? a.m[i][j] : j == 3 ? 1 : 0;
      out += (j == 0 ? "" : ", ") + JsonNumber(v + 0.0, 17);  // -0 written as 0
    }
    out += "]";
  }
  return out + "]";
}

void Member(std::string& out, const std::string& name, const std::string& value,
            const char* indent = "  ") {
  out += indent + JsonString(name) + ": " + value + ",\n";
}

}  // namespace

std::string TransformsJson(const TransformsFacts& facts) {
  const Intrinsics& k = facts.k;
  std::string out = "{\n";
  Member(out, "camera_model", JsonString("PINHOLE"));
  Member(out, "camera_angle_x", JsonNumber(2 * std::atan(facts.width / (2 * k.fx)), 17));
  Member(out, "camera_angle_y", JsonNumber(2 * std::atan(facts.height / (2 * k.fy)), 17));
  Member(out, "fl_x", JsonNumber(k.fx, 17));
  Member(out, "fl_y", JsonNumber(k.fy, 17));
  Member(out, "cx", JsonNumber(k.cx + 0.5, 17));
  Member(out, "cy", JsonNumber(k.cy + 0.5, 17));
  Member(out, "w", std::to_string(facts.width));
  Member(out, "h", std::to_string(facts.height));
  Member(out, "depth_kind",
         JsonString(facts.depth == DepthKind::AlongAxis ? "z along the camera's axis"
                                                        : "distance along the ray"));
  Member(out, "depth_unit", JsonString("the model file's units; +inf where no face is seen"));
  Member(out, "normals_space",
         JsonString("camera axes as OpenCV has them: x right, y down, z forward; unit normals "
                    "facing the camera, 0 0 0 where no face is seen"));
  Member(out, "model", JsonString(facts.model));
  out += "  \"frames\": [";
  for (size_t i = 0; i < facts.cameraToWorld.size(); ++i) {
    const ViewFiles& f = facts.files[i];
    out += i == 0 ? "\n" : ",\n";
    out += "    {\n";
    Member(out, "file_path", JsonString(f.depth), "      ");
    Member(out, "depth_file_path", JsonString(f.depth), "      ");
    if (!f.normals.empty()) Member(out, "normals_file_path", JsonString(f.normals), "      ");
    if (!f.mask.empty()) Member(out, "mask_path", JsonString(f.mask), "      ");
    out += "      \"transform_matrix\": " + Matrix(facts.cameraToWorld[i]) + "\n    }";
  }
  out += "\n  ]\n}\n";
  return out;
}

}  // namespace quarvel
