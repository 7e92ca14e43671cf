#include "batch_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <span>
#include <system_error>

#include "base/file_io.h"

namespace quarvel {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Opens the folder `name` in the open folder `dir`, making it first when it is missing.
int OpenOrMake(int dir, const std::string& name, std::string& error) {
  if (::mkdirat(dir, name.c_str(), 0777) != 0 && errno != EEXIST) {
    error = ErrorReason(errno);
    return -1;
  }
  const int fd = ::openat(dir, name.c_str(), kFolderFlags);
  if (fd >= 0) return fd;
  const int why = errno;
  struct stat st {};
  if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
    error = "'" + name + "' in the output folder is a symbolic link";
  else
    error = ErrorReason(why);
  return -1;
}

}  // namespace

int OpenOutputFolder(const std::string& path, std::string& error) {
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) error = ErrorReason(ec ? ec.value() : errno);
  return fd;
}

int OpenModelFolder(int outDir, const std::string& relative, std::string& error) {
  int dir = outDir;
  size_t start = 0;
  while (dir >= 0 && start < relative.size()) {
    size_t slash = relative.find('/', start);
    if (slash == std::string::npos) slash = relative.size();
    const int next = OpenOrMake(dir, relative.substr(start, slash - start), error);
    if (dir != outDir) ::close(dir);
    dir = next;
    start = slash + 1;
  }
  return dir;
}

bool HasDoneMarker(int folder) {
  struct stat st {};
  return ::fstatat(folder, kDoneMarker, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
}

void RemoveDoneMarker(int folder) {
  ::unlinkat(folder, kDoneMarker, 0);
}

std::string WriteDoneMarker(const std::string& path, const std::string& model) {
  const std::string text = model + "\n";
  const ReplaceStatus status =
      ReplaceFile(path + "/" + kDoneMarker,
                  {std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size())});
  return status.result == ReplaceResult::Ok ? "" : ErrorReason(status.error);
}

}  // namespace quarvel
