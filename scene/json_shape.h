// The shape of a JSON text, found by one scan of its punctuation before any parser sees it. The
// glTF reader refuses a text whose parse would cost too much up front: tinygltf turns nested
// values into its own by recursion, one stack frame per level, and turns every element of its
// top-level arrays into a struct of its own of up to a few kilobytes, however few bytes the
// element takes in the file ("{}" is two).
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

namespace quarvel {

struct JsonShape {
  size_t depth = 0;       // of the deepest array or object; the outermost value is level 1
  size_t objects = 0;     // every object, the outermost one included
  size_t separators = 0;  // commas, colons and opening brackets: at least one per value
  // The elements of each array that is a member of the outermost object, by the member's name.
  std::map<std::string, size_t, std::less<>> topLevelElements;
};

// Brackets and commas inside strings do not count. A text that is not JSON gets a shape all the
// same; the parser refuses it later.
JsonShape ScanJson(std::string_view json);

}  // namespace quarvel
