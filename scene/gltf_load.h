// A glTF file's JSON and buffers read into tinygltf's model, after the checks tinygltf does not
// make itself: the layout of a .glb, the nesting depth of the JSON, the files it may read.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include <tiny_gltf.h>

namespace quarvel {

// Loads `file`, a .glb when `binary`, else a .gltf text, into `model`. Buffers come from the BIN
// chunk (which they may not claim more of than it holds), from data: URIs, or from files inside
// `baseDir` (none when it is empty) of their byteLength; images are neither read nor decoded.
// Returns why the file cannot be read (the first line of tinygltf's error, or what the checks
// before it found), in printable ASCII, empty on success.
std::string LoadGltfModel(std::span<const uint8_t> file, bool binary, const std::string& baseDir,
                          tinygltf::Model& model);

}  // namespace quarvel
