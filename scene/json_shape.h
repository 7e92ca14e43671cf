// The shape of a JSON text, found by one scan of its punctuation before any parser sees it. The
// glTF reader refuses a text whose parse would cost too much up front: tinygltf turns nested
// values into its own by recursion, one stack frame per level, and turns every element of its
// top-level arrays into a struct of its own of up to a few kilobytes, however few bytes the
// element takes in the file ("{}" is two). The scan also notes what each buffer declares, which
// the glTF reader checks before tinygltf copies or reads any buffer's bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarvel {

// An element of the outermost object's "buffers" array: the members that say where its bytes
// come from and how many there are. A member written twice is taken as its later value, as the
// parser keeps it.
struct JsonBuffer {
  std::optional<std::string_view> uri;  // when a string: its text as written, escapes unresolved
  std::optional<uint64_t> byteLength;   // when an unsigned integer that fits in 64 bits
};

struct JsonShape {
  size_t depth = 0;       // of the deepest array or object; the outermost value is level 1
  size_t objects = 0;     // every object, the outermost one included
  size_t separators = 0;  // commas, colons and opening brackets: at least one per value
  // The elements of each array that is a member of the outermost object, by the member's name.
  std::map<std::string, size_t, std::less<>> topLevelElements;
  std::vector<JsonBuffer> buffers;  // in order; none unless "buffers" is an array of objects
};

// Brackets and commas inside strings do not count, and member names are compared with their
// escapes resolved. A text that is not JSON gets a shape all the same; the parser refuses it later.
JsonShape ScanJson(std::string_view json);

// The text of a JSON string written as `raw` (without its quotes), escapes resolved and "\u"
// escapes in UTF-8. A broken escape is kept as it stands: the parser refuses such a text.
std::string UnescapeJsonString(std::string_view raw);

}  // namespace quarvel
