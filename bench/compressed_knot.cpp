// Writes the benchmarks' torus knot as a compressed .glb, for timing quarvel-render on it.
// Usage: compressed_knot FACES draco|meshopt OUT.glb   (FACES a multiple of 80, such as 1000000)
#include <cstdio>
#include <cstdlib>
#include <string>

#include "compressed_models.h"
#include "samples/write_3ds.h"

int main(int argc, char** argv) {
  const std::string codec = argc == 4 ? argv[2] : "";
  const long long faces = argc == 4 ? std::atoll(argv[1]) : 0;
  if (faces < 80 || faces % 80 != 0 || (codec != "draco" && codec != "meshopt")) {
    std::fprintf(stderr, "usage: compressed_knot FACES draco|meshopt OUT.glb\n");
    return 2;
  }
  const std::vector<uint8_t>& file = quarvel::bench::CompressedKnotGlb(codec, faces);
  if (file.empty() || !quarvel::SaveBytes(argv[3], file)) {
    std::fprintf(stderr, "compressed_knot: %s: cannot write\n", argv[3]);
    return 4;
  }
  return 0;
}
