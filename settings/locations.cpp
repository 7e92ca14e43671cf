#include "locations.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "localizer.h"

namespace quarvel {

namespace {

bool IsWritableDir(const std::string& dir) {
  std::error_code ec;
  if (!std::filesystem::is_directory(dir, ec)) return false;
  const auto perms = std::filesystem::status(dir, ec).permissions();
  using std::filesystem::perms;
  return !ec &&
         (perms & (perms::owner_write | perms::group_write | perms::others_write)) != perms::none &&
         ::access(dir.c_str(), W_OK) == 0;
}

// The user's home folder from the password database, or empty.
std::string HomeFromPasswd() {
  const long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buf(size > 0 ? size_t(size) : 16384);
  struct passwd pw {};
  struct passwd* found = nullptr;
  while (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == ERANGE &&
         buf.size() < (size_t(1) << 20))
    buf.resize(buf.size() * 2);
  return found && found->pw_dir && found->pw_dir[0] == '/' ? found->pw_dir : "";
}

}  // namespace

std::string ConfigHome() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') return xdg;
  if (const char* home = std::getenv("HOME"); home && home[0] == '/')
    return std::string(home) + "/.config";
  const std::string home = HomeFromPasswd();
  return home.empty() ? "" : home + "/.config";
}

std::vector<std::string> DataDirs(const std::string& exeDir) {
  const std::filesystem::path exe(exeDir);
  return {exeDir, (exe / ".." / "share" / "quarvel").lexically_normal().string()};
}

FileLocations FileLocations::For(const std::string& exeDir) {
  FileLocations l{exeDir, exeDir, DataDirs(exeDir)};
  std::error_code error;
  const bool installed = std::filesystem::is_directory(l.dataDirs.back(), error);
  if (!installed && IsWritableDir(exeDir)) return l;
  if (const std::string config = ConfigHome(); !config.empty()) {
    l.writableDir = config + "/quarvel";
    std::error_code ec;
    std::filesystem::create_directories(l.writableDir, ec);
  }
  return l;
}

FileLocations FileLocations::OfThisProgram() {
  return For(ExecutableDir());
}

std::string FileLocations::LanguageFile(const std::string& language) const {
  const std::string name = "/" + language + ".quarvel.lang";
  for (const std::string& dir : dataDirs) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(dir + name, ec)) return dir + name;
  }
  return exeDir + name;
}

std::vector<std::string> FileLocations::LanguageFiles() const {
  std::vector<std::string> files;
  for (const std::string& dir : dataDirs)
    for (std::string& name : ListLanguageFiles(dir))
      if (std::find(files.begin(), files.end(), name) == files.end())
        files.push_back(std::move(name));
  std::sort(files.begin(), files.end());
  return files;
}

std::string ExecutableDir() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return ".";
  return exe.parent_path().string();
}

}  // namespace quarvel
