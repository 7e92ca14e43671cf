#include "json_shape.h"

#include <algorithm>
#include <vector>

namespace quarvel {

JsonShape ScanJson(std::string_view json) {
  JsonShape shape;
  std::vector<char> open;  // the brackets open now
  bool inString = false;
  bool escaped = false;  // the previous character of the string was an unescaped backslash
  size_t stringStart = 0;
  std::string_view lastString;  // the last string closed at the outermost object's level
  size_t* elements = nullptr;   // the count of the top-level array open now, if any
  for (size_t i = 0; i < json.size(); ++i) {
    const char c = json[i];
    if (inString) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        inString = false;
        if (open.size() == 1) lastString = json.substr(stringStart, i - stringStart);
      }
      continue;
    }
    switch (c) {
      case '"':
        inString = true;
        stringStart = i + 1;
        if (open.size() == 2 && elements && *elements == 0) *elements = 1;
        break;
      case '{':
      case '[':
        ++shape.separators;
        if (c == '{') ++shape.objects;
        if (open.size() == 2 && elements && *elements == 0) *elements = 1;
        open.push_back(c);
        shape.depth = std::max(shape.depth, open.size());
        if (open.size() == 2 && c == '[' && open.front() == '{')
          elements = &shape.topLevelElements[std::string(lastString)];
        break;
      case '}':
      case ']':
        if (!open.empty()) open.pop_back();
        if (open.size() < 2) elements = nullptr;
        break;
      case ',':
        ++shape.separators;
        if (open.size() == 2 && elements) ++*elements;
        break;
      case ':':
        ++shape.separators;
        break;
      default:
        // A scalar element of a top-level array: the array has at least one element.
        if (open.size() == 2 && elements && *elements == 0 && c != ' ' && c != '\t' && c != '\n' &&
            c != '\r')
          *elements = 1;
        break;
    }
  }
  return shape;
}

}  // namespace quarvel
