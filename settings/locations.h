// Where Quarvel's files live. Everything read-only ships beside the executable (language files,
// help); the files Quarvel writes (Quarvel.cfg, comprd2.dat) go there too, unless that folder is
// not writable (an installed copy), in which case they go to $XDG_CONFIG_HOME/quarvel/.
#pragma once

#include <string>

namespace quarvel {

struct FileLocations {
  std::string exeDir;       // the executable's folder, without a trailing separator
  std::string writableDir;  // where the settings and the compressor data are written

  // The locations for an executable in `exeDir`; creates the fallback folder when needed.
  static FileLocations For(const std::string& exeDir);
  // The locations of the running program.
  static FileLocations OfThisProgram();

  std::string Settings() const { return writableDir + "/Quarvel.cfg"; }
  std::string CompressorData() const { return writableDir + "/comprd2.dat"; }
  std::string LanguageFile(const std::string& language) const {
    return exeDir + "/" + language + ".quarvel.lang";
  }
};

// The folder of the running executable.
std::string ExecutableDir();

// The folder for the user's settings: $XDG_CONFIG_HOME, or ".config" in the home folder, taken
// from $HOME or else from the password database. Empty when no home folder is known: the
// settings then stay beside the executable.
std::string ConfigHome();

}  // namespace quarvel
