// Where the help pages are, and the addresses the Help menu and the about box open. The manual is
// a folder of HTML pages, "quarvel.help", shipped beside the executable (or, for an installed
// copy, in ../share/quarvel/ relative to it) and opened in the user's browser at a topic.
#pragma once

#include <string>
#include <string_view>

#include "base/error_text.h"

namespace quarvel {

// The help's name as the texts know it: a language file may map it to a help of its own, whose
// folder is that name with ".chm" replaced by ".help".
inline constexpr const char* kHelpFileName = "quarvel.chm";
inline constexpr const char* kDefaultHelpFolder = "quarvel.help";
inline constexpr const char* kDefaultTopic = "index.htm";

// The topic each window opens on F1.
inline constexpr const char* kMainFormTopic = "how_to_use.htm";
inline constexpr const char* kOptionsTopic = "Options_dialog.htm";
inline constexpr const char* kAnimationTopic = "Export_of_animation.htm";

inline constexpr const char* kWebSite = "https://quarvel.example.org";
// The program's own address, never a translatable text: no language file can send the user to
// pages of its choosing.
inline constexpr const char* kOnlineHelp = "https://quarvel.example.org/help/";
inline constexpr const char* kContactMail = "support@quarvel.example.org";

// The help folder's name for a help file name: a final ".chm" (any case) becomes ".help", any
// other name stays as it is. A name that could reach outside the folder it is looked for in
// (empty, "." or "..", or holding a '/' or a NUL) gives the default folder.
std::string HelpFolderName(std::string_view helpFileName);

struct HelpPage {
  std::string path;   // the page's file; empty when it was not found
  ErrorText error{};  // why not: the page as it would lie beside the executable
};

// The page `topic` (the default topic when empty) in the first help folder that exists: beside
// the executable, or else in ../share/quarvel/ relative to it.
HelpPage FindHelpPage(const std::string& exeDir, std::string_view helpFileName,
                      std::string_view topic);

}  // namespace quarvel
