// The triangles of a glTF primitive of triangles (mode 4), a triangle strip (5) or a triangle fan
// (6), as positions in its list of corners (its indices, or its vertices without indices), in
// the file's winding.
#pragma once

#include <array>
#include <cstddef>

namespace quarvel {

// How many triangles `corners` corners make in `mode`: each three in a row for a list (a
// remainder is left over), every corner after the second for a strip or a fan.
size_t TriangleCount(int mode, size_t corners);

// Triangle `t`'s corners: (3t, 3t + 1, 3t + 2) in a list; in a strip (t, t + 1, t + 2) for an
// even t and (t, t + 2, t + 1) for an odd one, so that every triangle faces the same way; in a
// fan (t + 1, t + 2, 0).
std::array<size_t, 3> TriangleCorners(int mode, size_t t);

}  // namespace quarvel
