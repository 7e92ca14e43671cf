// glTF 1.0 files, which this reader does not read: told apart so that they are refused by name
// instead of by whatever part of them glTF 2.0 lacks.
#pragma once

#include <string_view>

namespace quarvel {

// Whether the JSON text is glTF 1.0's: its asset's version is 1.x, or it has no asset and keeps
// its top-level collections (meshes, accessors...) as objects keyed by name instead of arrays.
bool IsGltf1Json(std::string_view json);

// Whether an asset's version, as tinygltf read it, is 1.x.
bool IsGltf1Version(std::string_view version);

}  // namespace quarvel
