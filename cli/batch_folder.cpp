#include "batch_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <span>
#include <system_error>

namespace quarvel {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Opens the folder `name` in the open folder `dir`, making it first when it is missing; `made`
// says whether it was.
int OpenOrMake(int dir, const std::string& name, bool& made, std::string& error) {
  made = ::mkdirat(dir, name.c_str(), 0777) == 0;
  if (!made && errno != EEXIST) {
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

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Removes the temporaries written from `since` on in the open folder and, with `subfolders`, in
// its own folders, which go too when that leaves them empty (the renders make no folder deeper).
void RemoveTemporariesIn(int folder, time_t since, bool subfolders) {
  const int fd = ::openat(folder, ".", kFolderFlags);
  DIR* const dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
  if (!dir) {
    if (fd >= 0) ::close(fd);
    return;
  }
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    struct stat st {};
    if (name == "." || name == ".." || ::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
      continue;
    if (S_ISREG(st.st_mode) && IsTempName(name) && st.st_mtim.tv_sec >= since)
      ::unlinkat(fd, name.c_str(), 0);
    const int sub =
        subfolders && S_ISDIR(st.st_mode) ? ::openat(fd, name.c_str(), kFolderFlags) : -1;
    if (sub < 0) continue;
    RemoveTemporariesIn(sub, since, false);
    ::close(sub);
    ::unlinkat(fd, name.c_str(), AT_REMOVEDIR);  // fails, as it should, when anything is left
  }
  ::closedir(dir);
}

}  // namespace

int OpenOutputFolder(const std::string& path, std::string& error) {
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) error = ErrorReason(ec ? ec.value() : errno);
  return fd;
}

ModelFolder OpenModelFolder(int outDir, const std::string& relative, std::string& error) {
  ModelFolder folder;
  int dir = outDir;
  bool failed = false;
  for (size_t start = 0; !failed && start < relative.size();) {
    size_t slash = relative.find('/', start);
    if (slash == std::string::npos) slash = relative.size();
    const std::string name = relative.substr(start, slash - start);
    bool made = false;
    const int next = OpenOrMake(dir, name, made, error);
    failed = next < 0;
    if (!failed) {
      if (dir != outDir) ::close(dir);
      dir = next;
      folder.names.push_back(name);
      folder.made = made ? folder.made + 1 : 0;
    }
    start = slash + 1;
  }
  if (dir == outDir) return {};
  folder.fd = dir;
  if (failed) CloseModelFolder(folder);
  return folder;
}

void CloseModelFolder(ModelFolder& folder) {
  int dir = folder.fd;
  folder.fd = -1;
  for (size_t i = folder.names.size(); dir >= 0 && i > folder.names.size() - folder.made; --i) {
    struct stat own {};
    const int parent = ::fstat(dir, &own) == 0 ? ::openat(dir, "..", kFolderFlags) : -1;
    ::close(dir);
    dir = parent;
    const char* name = folder.names[i - 1].c_str();
    struct stat named {};
    if (parent < 0 || ::fstatat(parent, name, &named, AT_SYMLINK_NOFOLLOW) != 0 ||
        !SameFile(own, named) || ::unlinkat(parent, name, AT_REMOVEDIR) != 0)
      break;
  }
  if (dir >= 0) ::close(dir);
}

bool HasDoneMarker(int folder) {
  struct stat st {};
  return ::fstatat(folder, kDoneMarker, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
         st.st_size > 0;
}

void RemoveDoneMarker(int folder) {
  ::unlinkat(folder, kDoneMarker, 0);
}

// The marker is written in place rather than through a temporary: only its presence counts, and
// it appears only once the outputs are complete, so a batch killed while writing it leaves a
// marker that is still true, never a stray temporary in the model's folder. A link or anything
// but a regular file at its name is refused (O_NONBLOCK: a FIFO there does not wait).
std::string WriteDoneMarker(const OutFolder& folder, const std::string& model) {
  const std::string text = model + "\n";
  const int fd =
      ::openat(folder.fd, kDoneMarker,
               O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0644);
  if (fd < 0) return SaveErrorReason(folder, errno);
  struct stat st {};
  errno = EISDIR;  // what is in the way when it is not a regular file
  bool written = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::ftruncate(fd, 0) == 0;
  if (written) errno = ENOSPC;  // what a short write without an error means
  written =
      written && ::write(fd, text.data(), text.size()) == ssize_t(text.size()) && ::fsync(fd) == 0;
  const int error = errno;
  ::close(fd);
  if (!written) {
    if (S_ISREG(st.st_mode)) ::unlinkat(folder.fd, kDoneMarker, 0);  // it would say nothing
    return ErrorReason(error);
  }
  ::fsync(folder.fd);  // the marker's name on the disk with its bytes
  return "";
}

void RemoveTemporaries(int folder, time_t since) {
  RemoveTemporariesIn(folder, since, true);
}

}  // namespace quarvel
