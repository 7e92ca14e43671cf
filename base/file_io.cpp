#include "file_io.h"

#include <fcntl.h>

#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>

namespace quarvel {

namespace {

bool WriteAll(int fd, std::span<const uint8_t> bytes) {
  const uint8_t* p = bytes.data();
  size_t n = bytes.size();
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w < 0) return false;
    if (w == 0) {
      errno = EIO;  // no progress and no reason given
      return false;
    }
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

// The folder of `path`, for opening; "." for a bare name.
std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// `path` with six random letters and digits after a dot.
std::string TempName(const std::string& path, int attempt) {
  static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  uint64_t bits = 0;
  if (::getrandom(&bits, sizeof bits, GRND_NONBLOCK) != sizeof bits)
    bits = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()) +
           uint64_t(attempt) * 0x9E3779B97F4A7C15u;
  std::string name = path + ".";
  for (int i = 0; i < 6; ++i, bits /= 62)
    name += kChars[bits % 62];
  return name;
}

// Creates a new file beside `path` under a name no other file has, open for writing. The
// kernel applies the umask to `mode`, so the process's umask is never changed (other threads
// create files meanwhile).
int CreateTemp(const std::string& path, mode_t mode, std::string& temp) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp = TempName(path, attempt);
    const int fd = ::open(temp.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Writes the temporary file whole, gives it the replaced file's permissions and syncs it.
// Returns 0 or the errno of the call that failed.
int FillTemp(int fd, std::initializer_list<std::span<const uint8_t>> parts,
             const struct stat* replaced) {
  for (const auto& part : parts)
    if (!WriteAll(fd, part)) return errno;
  if (replaced && ::fchmod(fd, replaced->st_mode & 07777) != 0) return errno;
  return ::fsync(fd) == 0 ? 0 : errno;
}

// Syncs the folder, so that the rename in it is on the disk too. A folder that cannot be
// opened for reading is left to the system; a file system that cannot sync folders (EINVAL)
// has nothing to sync.
int SyncFolder(const std::string& path) {
  const int dir = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return 0;
  const int error = ::fsync(dir) == 0 || errno == EINVAL ? 0 : errno;
  ::close(dir);
  return error;
}

}  // namespace

std::string LinkTarget(const std::string& path) {
  std::string p = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
    char link[PATH_MAX];
    const ssize_t n = ::readlink(p.c_str(), link, sizeof link);
    if (n <= 0 || size_t(n) >= sizeof link) return p;
    const std::string next(link, size_t(n));
    p = next[0] == '/' ? next : FolderOf(p) + "/" + next;
  }
  return p;
}

ReplaceStatus ReplaceFile(const std::string& path,
                          std::initializer_list<std::span<const uint8_t>> parts) {
  const std::string target = LinkTarget(path);
  struct stat st {};
  const bool exists = ::lstat(target.c_str(), &st) == 0;
  if (exists && S_ISLNK(st.st_mode)) return {ReplaceResult::CannotCreate, ELOOP};
  // A replaced file's permissions are set before any byte is written; until then the
  // temporary is readable by its owner only.
  const bool replacing = exists && S_ISREG(st.st_mode);
  std::string temp;
  const int fd = CreateTemp(target, replacing ? 0600 : 0666, temp);
  if (fd < 0) return {ReplaceResult::CannotCreate, errno};
  int error = FillTemp(fd, parts, replacing ? &st : nullptr);
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error != 0) {
    ::unlink(temp.c_str());
    return {ReplaceResult::WriteFailed, error};
  }
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    error = errno;
    ::unlink(temp.c_str());
    return {ReplaceResult::CannotCreate, error};
  }
  error = SyncFolder(target);
  return {error == 0 ? ReplaceResult::Ok : ReplaceResult::WriteFailed, error};
}

bool IsSameFile(const std::string& a, const std::string& b) {
  struct stat sa {};
  struct stat sb {};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

std::string ErrorReason(int error) {
  char buf[256];
  return ::strerror_r(error, buf, sizeof buf);  // the GNU form: returns the text
}

namespace {

constexpr const char* kNotRegular = "Not a regular file";

// Reads up to `n` bytes at `offset`: returns how many were read (fewer at the file's end), or -1
// with errno set.
ssize_t ReadAt(int fd, uint8_t* p, size_t n, off_t offset) {
  size_t done = 0;
  while (done < n) {
    const ssize_t r = ::pread(fd, p + done, n - done, offset + static_cast<off_t>(done));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return -1;
    if (r == 0) break;
    done += static_cast<size_t>(r);
  }
  return static_cast<ssize_t>(done);
}

FileReadResult ReadOpenFile(int fd, FileBytes& bytes, const FileCheck& check) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return {FileRead::CannotOpen, ErrorReason(errno)};
  if (!S_ISREG(st.st_mode)) return {FileRead::CannotOpen, kNotRegular};  // replaced meanwhile
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
    return {FileRead::ReadError, ErrorReason(errno)};
  const auto size = static_cast<uint64_t>(st.st_size);
  if (check.accept) {
    const size_t headSize = check.headSize < size ? check.headSize : static_cast<size_t>(size);
    const std::unique_ptr<uint8_t[]> head(new uint8_t[headSize]);
    const ssize_t n = ReadAt(fd, head.get(), headSize, 0);
    if (n < 0) return {FileRead::ReadError, ErrorReason(errno)};
    if (!check.accept(size, {head.get(), static_cast<size_t>(n)})) return {FileRead::Refused, ""};
  }
  bytes.size = static_cast<size_t>(size);
  bytes.data.reset(new uint8_t[bytes.size]);
  const ssize_t n = ReadAt(fd, bytes.data.get(), bytes.size, 0);
  if (n < 0) return {FileRead::ReadError, ErrorReason(errno)};
  // A file that shrank while read: its end is a read error.
  if (static_cast<size_t>(n) != bytes.size) return {FileRead::ReadError, ""};
  return {};
}

}  // namespace

FileReadResult ReadWholeFile(const std::string& path, FileBytes& bytes, const FileCheck& check) {
  // The path is looked at before it is opened: opening a FIFO for reading waits for a writer.
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {FileRead::CannotOpen, ErrorReason(errno)};
  if (!S_ISREG(st.st_mode)) return {FileRead::CannotOpen, kNotRegular};
  // Should the path have become a FIFO or a device since, O_NONBLOCK still returns at once.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return {FileRead::CannotOpen, ErrorReason(errno)};
  FileReadResult result = ReadOpenFile(fd, bytes, check);
  ::close(fd);
  return result;
}

}  // namespace quarvel
