// Where Quarvel's files live. The read-only files (language files, help) are looked for beside
// the executable, then in ../share/quarvel/ relative to it, so that a copy in the build folder
// and a copy installed under any prefix both find theirs. The files Quarvel writes (Quarvel.cfg,
// comprd2.dat) go beside the executable too, unless it is an installed copy (one with
// ../share/quarvel/) or its folder is not writable: then they go to $XDG_CONFIG_HOME/quarvel/.
#pragma once

#include <string>
#include <vector>

namespace quarvel {

struct FileLocations {
  std::string exeDir;                 // the executable's folder, without a trailing separator
  std::string writableDir;            // where the settings and the compressor data are written
  std::vector<std::string> dataDirs;  // where read-only files are looked for, in order

  // The locations for an executable in `exeDir`; creates the fallback folder when needed.
  static FileLocations For(const std::string& exeDir);
  // The locations of the running program.
  static FileLocations OfThisProgram();

  std::string Settings() const { return writableDir + "/Quarvel.cfg"; }
  std::string CompressorData() const { return writableDir + "/comprd2.dat"; }
  // The file of a language: the first of `dataDirs` that holds it, or else its name beside the
  // executable (a file that does not exist leaves the texts in English).
  std::string LanguageFile(const std::string& language) const;
  // The names of the language files of every folder of `dataDirs`, sorted, each name once.
  std::vector<std::string> LanguageFiles() const;
};

// The folders read-only files are looked for in: `exeDir`, then exeDir/../share/quarvel.
std::vector<std::string> DataDirs(const std::string& exeDir);

// The folder of the running executable.
std::string ExecutableDir();

// The folder for the user's settings: $XDG_CONFIG_HOME, or ".config" in the home folder, taken
// from $HOME or else from the password database. Empty when no home folder is known: the
// settings then stay beside the executable.
std::string ConfigHome();

}  // namespace quarvel
