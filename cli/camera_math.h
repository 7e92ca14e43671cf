// The few pieces of 3D arithmetic the perspective camera's placement needs, in double: points,
// affine maps p -> A p + b, and the map between a model's file coordinates and its fitted mesh.
#pragma once

#include <array>

#include "render/pinhole_render.h"
#include "scene/model_formats.h"
#include "scene/scene.h"

namespace quarvel {

using Point = std::array<double, 3>;

Point operator+(const Point& a, const Point& b);
Point operator-(const Point& a, const Point& b);
Point operator*(double s, const Point& a);
double Dot(const Point& a, const Point& b);
Point Cross(const Point& a, const Point& b);
double Length(const Point& a);
Point Normalized(const Point& a);

// p -> m[.][0..2] p + m[.][3], row by row: the same layout as CameraPose.
struct Affine {
  double m[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};

  Point Apply(const Point& p) const;
  // The map that applies `first`, then this one.
  Affine After(const Affine& first) const;
  // The inverse map; the linear part must be invertible.
  Affine Inverse() const;
  CameraPose AsPose() const;
};

// A model file's own coordinates and its fitted mesh (scene axes, centred, scaled by FitScale):
// the readers turn z-up files (.3ds, STL, PLY) and y-up ones (OBJ, glTF) into scene axes in
// their own way, and FitModel then moves and scales the mesh.
Affine MeshFromFile(const Scene& scene, ModelFormat format);
// Whether the format's up axis is z (else y).
bool IsZUp(ModelFormat format);

}  // namespace quarvel
