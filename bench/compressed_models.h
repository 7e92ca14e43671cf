// The benchmarks' knot as a .glb compressed the ways web pipelines compress them: Draco as their
// tools write it by default (edgebreaker, positions quantized to 14 bits, speed 5), and meshopt's
// vertex and index codecs over the float positions, with a fallback buffer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quarvel::bench {

// The knot of `faces` triangles (a multiple of 80) as a .glb compressed with `codec`, "draco" or
// "meshopt". Generated once per codec and size and kept for the whole run.
const std::vector<uint8_t>& CompressedKnotGlb(const std::string& codec, int64_t faces);

}  // namespace quarvel::bench
