// The "Default Applications" group of a mimeapps.list file, read and edited as text: an edit
// changes only the lines of the one MIME type, and every other line keeps its bytes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quarvel {

// The desktop entries that the first line for `mimeType` in a "Default Applications" group names,
// in their order (MIME types compare without regard to case).
std::vector<std::string> DefaultEntries(std::string_view list, std::string_view mimeType);

// `list` with `entry` first among the defaults for `mimeType`: the line that DefaultEntries reads
// names it first and keeps the other entries it named after it; every other line stays as it is.
// Where there is no such line, one is added to the first group, or a group at the end.
std::string WithDefault(std::string_view list, std::string_view mimeType, std::string_view entry);

// `list` without `entry` (that exact desktop file ID) among the defaults for `mimeType`, on every
// line for the type in a "Default Applications" group; a line that names no entry after that is
// removed. The other entries stay.
std::string WithoutDefault(std::string_view list, std::string_view mimeType,
                           std::string_view entry);

}  // namespace quarvel
