// Buffer views compressed with EXT_meshopt_compression or KHR_meshopt_compression, decoded into
// buffers of their own so that the rest of the glTF reader sees plain views.
#pragma once

#include <cstdint>
#include <string>

#include <tiny_gltf.h>

namespace quarvel {

// Decodes every compressed view of `model` into a new buffer and points the view at it (offset
// 0, its byteStride kept). The decoded bytes of all views together may not exceed `budget`, which
// is lowered by what they take. Returns why a view cannot be decoded, naming it, empty when all
// were (or none is compressed).
std::string DecodeMeshoptViews(tinygltf::Model& model, uint64_t& budget);

}  // namespace quarvel
