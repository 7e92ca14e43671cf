// Whether .3ds files open with Quarvel, kept in the user's XDG files: the default application
// for the model type in $XDG_CONFIG_HOME/mimeapps.list, and Quarvel's desktop entry in
// $XDG_DATA_HOME/applications. Nothing outside the user's own folders is written.
#pragma once

#include <string>
#include <vector>

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

// Makes Quarvel's desktop entry the default for .3ds files, in place of another program's. Where
// the system knows no MIME type for *.3ds, one is added to the user's MIME database first.
// Returns whether the desktop entry and the default were written.
bool SetAssociation(const AssociationPaths& paths);

// Removes the default for .3ds files, and Quarvel's desktop entry when that was the default,
// but only when the default's Exec names this executable's file name. Returns whether it was
// removed.
bool RemoveAssociation(const AssociationPaths& paths);

}  // namespace quarvel
