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

// `list` with `entry` as the one default for `mimeType`: every such line in a "Default
// Applications" group says so; where there is none, the line is added to the first group, or a
// group is added at the end.
std::string WithDefault(std::string_view list, std::string_view mimeType, std::string_view entry);

// `list` without `entry` among the defaults for `mimeType`; a line that names no entry after
// that is removed.
std::string WithoutDefault(std::string_view list, std::string_view mimeType,
                           std::string_view entry);

}  // namespace quarvel
