// Whether .3ds files open with Quarvel, kept in the user's XDG files: the default application
// for the model type in $XDG_CONFIG_HOME/mimeapps.list, and Quarvel's desktop entry in
// $XDG_DATA_HOME/applications. Nothing outside the user's own folders is written.
#pragma once

#include <string>
#include <vector>

#include "base/error_text.h"

namespace quarvel {

constexpr const char* kModelMimeType = "image/x-3ds";
constexpr const char* kDesktopFileName = "quarvel.desktop";

struct AssociationPaths {
  std::string dataHome;               // written: applications/ and mime/
  std::string configHome;             // written: mimeapps.list
  std::vector<std::string> dataDirs;  // read only: the system's applications and MIME types
  std::string executable;             // the running program's full path

  // The user's folders from $XDG_DATA_HOME, $XDG_CONFIG_HOME and $XDG_DATA_DIRS, or their
  // standard defaults (~/.local/share, ~/.config, /usr/local/share:/usr/share).
  static AssociationPaths ForUser(const std::string& executable);

  std::string MimeAppsList() const { return configHome + "/mimeapps.list"; }
  std::string DesktopFile() const { return dataHome + "/applications/" + kDesktopFileName; }
};

// Whether the default application for .3ds files is this program: the default desktop entry's
// Exec, lower-cased, contains the executable's file name, lower-cased, so that a copy of the
// program in another folder counts too.
bool IsAssociated(const AssociationPaths& paths);

// What a change of the association came to. `error` tells of a file that could not be read or
// written ("Cannot open file %s", "Unable to write to %s"); having nothing to change is no error.
struct AssociationResult {
  bool done = false;
  ErrorText error;
  explicit operator bool() const { return done; }
};

// Makes Quarvel's desktop entry the first default for .3ds files; the programs the list named
// before stay after it. Where the system knows no MIME type for *.3ds, one is added to the
// user's MIME database first. Done when the desktop entry and the default were written.
AssociationResult SetAssociation(const AssociationPaths& paths);

// Removes Quarvel's own desktop file ID from the defaults for .3ds files, a line that names
// nothing else with it, and Quarvel's desktop entry. Other programs' entries stay, even one whose
// Exec names a program called quarvel. Done when our entry was there and is removed.
AssociationResult RemoveAssociation(const AssociationPaths& paths);

}  // namespace quarvel
