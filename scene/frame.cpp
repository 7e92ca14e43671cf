#include "frame.h"

#include <algorithm>
#include <cmath>

namespace quarvel {

Frame& Frame::CreateFrame() {
  children_.push_back(std::make_unique<Frame>());
  return *children_.back();
}

void Frame::SetRotation(float x, float y, float z, float theta) {
  axis_ = {x, y, z};
  theta_ = theta;
}

void Frame::Move(double delta) {
  if (theta_ != 0) Turn(theta_ * delta);
  for (auto& child : children_)
    child->Move(delta);
}

// orientation := orientation x Rot, where Rot turns by theta about the normalised axis. Rot is
// built in double; the product is rounded to float, so turns accumulate the same way whatever
// the compiler.
void Frame::Turn(double theta) {
  const double len =
      std::sqrt(double(axis_.x) * axis_.x + double(axis_.y) * axis_.y + double(axis_.z) * axis_.z);
  if (!(len > 0) || !std::isfinite(len)) return;  // no axis to turn about
  const double x = axis_.x / len, y = axis_.y / len, z = axis_.z / len;
  const double c = std::cos(theta), s = std::sin(theta), t = 1 - c;
  const double rot[3][3] = {
      {t * x * x + c, t * x * y + s * z, t * x * z - s * y},
      {t * x * y - s * z, t * y * y + c, t * y * z + s * x},
      {t * x * z + s * y, t * y * z - s * x, t * z * z + c},
  };
  float r[3][3];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      r[i][j] = Store(orientation_[i][0] * rot[0][j] + orientation_[i][1] * rot[1][j] +
                      orientation_[i][2] * rot[2][j]);
  std::copy(&r[0][0], &r[0][0] + 9, &orientation_[0][0]);
}

Transform Frame::GetTransform() const {
  Transform t;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      t.m[i][j] = orientation_[i][j];
  t.m[3][0] = position_.x;
  t.m[3][1] = position_.y;
  t.m[3][2] = position_.z;
  return t;
}

}  // namespace quarvel
