// Primitives compressed with KHR_draco_mesh_compression, decoded into plain accessors so that the
// rest of the glTF reader sees uncompressed triangles.
#pragma once

#include <cstdint>
#include <string>

#include <tiny_gltf.h>

namespace quarvel {

// Decodes the positions and triangles of every compressed primitive of `model` into a new buffer,
// views and accessors, and points the primitive's POSITION and indices at them. The stream's
// counts must equal those of the primitive's accessors, and the decoded bytes of all primitives
// together may not exceed `budget`, which is lowered by what they take. Returns why a primitive
// cannot be decoded, naming it, empty when all were (or none is compressed).
std::string DecodeDracoPrimitives(tinygltf::Model& model, uint64_t& budget);

}  // namespace quarvel
