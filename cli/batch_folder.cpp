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

// The marker is written in place rather than through a temporary: only its presence counts, and
// it appears only once the outputs are complete, so a batch killed while writing it leaves a
// marker that is still true, never a stray temporary file in the model's folder.
std::string WriteDoneMarker(const std::string& path, const std::string& model) {
  const std::string text = model + "\n";
  const int fd = ::open((path + "/" + kDoneMarker).c_str(),
                        O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0644);
  if (fd < 0) return ErrorReason(errno);
  errno = ENOSPC;  // what a short write without an error means
  const bool written =
      ::write(fd, text.data(), text.size()) == ssize_t(text.size()) && ::fsync(fd) == 0;
  const int error = errno;
  ::close(fd);
  if (!written) {
    ::unlink((path + "/" + kDoneMarker).c_str());  // a marker that did not make it says nothing
    return ErrorReason(error);
  }
  // The folder is synced too, so that the marker's name is on the disk with its bytes.
  const int folder = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  return "";
}

}  // namespace quarvel
