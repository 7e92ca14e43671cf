// A glTF file's JSON and buffers read into tinygltf's model, after the checks tinygltf does not
// make itself: the layout of a .glb, the nesting depth of the JSON, the files it may read.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include <tiny_gltf.h>

namespace quarvel {

// Compressed views decode to many times their size, nodes may show one mesh many times and
// accessors may share bytes, so what a glTF file makes is bounded apart from its size: the
// decoded buffers and the mesh the reader makes of the model together at most this many times
// the bytes of the file and of the buffer files it reads.
constexpr uint64_t kGltfMaxGrowth = 64;

// Loads `file`, a .glb when `binary`, else a .gltf text, into `model`. Buffers come from the BIN
// chunk (which they may not claim more of than it holds), from data: URIs, or from files inside
// `baseDir` (none when it is empty) of their byteLength; images are neither read nor decoded.
// Views and primitives compressed with meshopt or Draco are decoded into plain ones, and buffers
// that only stand in for compressed bytes are left empty. Returns why the file cannot be read
// (the first line of tinygltf's error, what the checks before it found, a decoder's reason, or
// that it is glTF 1.0), in printable ASCII, empty on success. `budget` gets what is left, once
// the views and primitives are decoded, for the mesh made of the model.
std::string LoadGltfModel(std::span<const uint8_t> file, bool binary, const std::string& baseDir,
                          tinygltf::Model& model, uint64_t& budget);

}  // namespace quarvel
