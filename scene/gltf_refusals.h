// tinygltf's refusals whose own words do not say what is wrong where, told again from the JSON
// text it refused.
#pragma once

#include <string>
#include <string_view>

namespace quarvel {

// tinygltf's refusal `firstLine` of the JSON text `json`, in words that name what is wrong and
// where ("byteStride 256 of bufferView 3 is not a multiple of 4 from 4 to 252"); `firstLine`
// itself when it is not one of those, or when the text does not show where.
std::string ClearerRefusal(std::string_view json, const std::string& firstLine);

}  // namespace quarvel
