#include "json_nesting.h"

namespace quarvel {

bool JsonNestsAtMost(std::string_view json, size_t maxDepth) {
  size_t depth = 0;
  bool inString = false;
  bool escaped = false;  // the previous character of the string was an unescaped backslash
  for (const char c : json) {
    if (inString) {
      if (escaped)
        escaped = false;
      else if (c == '\\')
        escaped = true;
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > maxDepth) return false;
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return true;
}

}  // namespace quarvel
