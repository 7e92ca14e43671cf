// Writes the bundled sample model: make_samples OUT.3ds
#include <cstdio>

#include "samples/shapes.h"
#include "samples/write_3ds.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "Usage: make_samples OUT.3ds\n");
    return 2;
  }
  const quarvel::TriangleMesh knot = quarvel::TorusKnot(240, 24);
  const auto objects = quarvel::SplitMesh("Knot", knot.vertices, knot.faces);
  if (!quarvel::SaveBytes(argv[1], quarvel::Write3DS(objects))) {
    std::fprintf(stderr, "make_samples: cannot write %s\n", argv[1]);
    return 4;
  }
  return 0;
}
