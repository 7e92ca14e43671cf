// What tinygltf refuses in valid compressed files, changed in their JSON text before it reads
// them, and changed back once it has:
// - A file compressed with meshopt may declare the uncompressed bytes as a buffer without a uri
//   ("fallback": true in its extension) that a reader able to decode never loads. tinygltf would
//   copy it from a .glb's binary chunk, which does not hold it, or look for a file it has none of:
//   the buffer is given a one-byte placeholder, emptied after.
// - A primitive compressed with Draco names an indices accessor without a bufferView, which
//   tinygltf refuses: the member moves into the primitive's Draco extension object, where the
//   Draco decoder finds the count it must decode to.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <tiny_gltf.h>

namespace quarvel {

// The member of a primitive's Draco extension object that holds its indices accessor.
inline constexpr const char* kDracoIndices = "indices";

// The JSON text with those changes, or nothing when it needs none (or is no JSON object, which
// the parser refuses later).
std::optional<std::string> FixedForTinygltf(std::string_view json);

// Empties each buffer that was given the placeholder: no view may read from it until a decoder
// points its views at buffers of their own.
void DropPlaceholders(tinygltf::Model& model);

}  // namespace quarvel
