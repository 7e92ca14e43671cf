// Writes the benchmarks' torus knot as a .3ds file, for the scripts that time whole processes.
// Usage: knot_model FACES OUT.3ds   (FACES a multiple of 80, such as 100000)
#include <cstdio>
#include <cstdlib>
#include <string>

#include "models.h"
#include "samples/write_3ds.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: knot_model FACES OUT.3ds\n");
    return 2;
  }
  const long long faces = std::atoll(argv[1]);
  if (faces < 80 || faces % 80 != 0) {
    std::fprintf(stderr, "knot_model: FACES must be a positive multiple of 80\n");
    return 2;
  }
  if (!quarvel::SaveBytes(argv[2], quarvel::bench::KnotFile(faces))) {
    std::fprintf(stderr, "knot_model: %s: cannot write\n", argv[2]);
    return 4;
  }
  return 0;
}
