#include "locations.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>

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

std::string ConfigHome() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') return xdg;
  if (const char* home = std::getenv("HOME"); home && home[0] == '/')
    return std::string(home) + "/.config";
  return "/tmp";
}

}  // namespace

FileLocations FileLocations::For(const std::string& exeDir) {
  FileLocations l{exeDir, exeDir};
  if (!IsWritableDir(exeDir)) {
    l.writableDir = ConfigHome() + "/quarvel";
    std::error_code ec;
    std::filesystem::create_directories(l.writableDir, ec);
  }
  return l;
}

FileLocations FileLocations::OfThisProgram() {
  return For(ExecutableDir());
}

std::string ExecutableDir() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return ".";
  return exe.parent_path().string();
}

}  // namespace quarvel
