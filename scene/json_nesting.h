// How deeply a JSON text nests its arrays and objects, found by a scan of its brackets before any
// parser sees it. The glTF reader refuses deep nesting up front: tinygltf turns nested values
// into its own by recursion, one stack frame per level, so a file of a few hundred kilobytes of
// brackets would overflow the stack.
#pragma once

#include <cstddef>
#include <string_view>

namespace quarvel {

// True when no array or object of `json` lies more than `maxDepth` levels deep (the outermost
// value is level 1). Brackets inside strings do not count. A text that is not JSON gets a depth
// all the same; the parser refuses it later.
bool JsonNestsAtMost(std::string_view json, size_t maxDepth);

}  // namespace quarvel
