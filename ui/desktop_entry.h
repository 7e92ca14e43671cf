// Desktop entry files (name.desktop): the open command of one, and the one for Quarvel.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quarvel {

// The "Exec" value of the "Desktop Entry" group, as written; none when the group or the key is
// missing.
std::optional<std::string> DesktopExec(std::string_view file);

// The desktop entry that opens files of `mimeType` with the program at `executable`: its Exec
// names the full path, quoted where it has to be, and passes the file as %f. None when the path
// cannot stand in an Exec line (a control character, or not UTF-8) or is not absolute.
std::optional<std::string> ProgramDesktopEntry(const std::string& executable,
                                               std::string_view mimeType);

}  // namespace quarvel
