// The layout of a binary glTF (.glb) file, checked before tinygltf reads it: a 12-byte header
// (magic "glTF", version 2, total length), the JSON chunk, then optionally more chunks, the first
// of them the BIN chunk that holds the binary buffer. Each chunk is an 8-byte header (length,
// type) and its data.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace quarvel {

struct GlbLayout {
  std::span<const uint8_t> json;  // the JSON chunk's data
  uint32_t length = 0;            // the header's total length: the bytes the chunks lie in
  uint32_t binLength = 0;         // the bytes of the chunk after the JSON chunk, 0 without one
  std::string error;              // why the layout is refused; empty when it is sound
};

// Checks that the header names a version 2 file no longer than `file`, that its first chunk is
// JSON, and that the JSON chunk and, when one follows, the next chunk's header and data lie inside
// the header's length. (tinygltf 2.7 checks the second chunk's data against the length without
// its 8-byte header, which would let it copy up to 8 bytes past the end.)
GlbLayout CheckGlbLayout(std::span<const uint8_t> file);

}  // namespace quarvel
