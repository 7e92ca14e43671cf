// Primitives compressed with KHR_draco_mesh_compression, decoded into plain accessors so that the
// rest of the glTF reader sees uncompressed triangles.
#pragma once

#include <cstdint>
#include <string>

#include <tiny_gltf.h>

namespace quarvel {

// Decodes the positions and triangles of every compressed primitive of `model` into a new buffer,
// views and accessors, and points the primitive's POSITION and indices at them; primitives that
// share a stream share its decoding. The stream's counts must equal those of the primitive's
// accessors. Decoding a stream may take no more than `budget` bytes, counted before any value is
// decoded: the library's tables and every attribute the stream carries, whether glTF names it or
// not. What is kept is taken off `budget`. Returns why a primitive cannot be decoded, naming it,
// empty when all were (or none is compressed).
std::string DecodeDracoPrimitives(tinygltf::Model& model, uint64_t& budget);

}  // namespace quarvel
