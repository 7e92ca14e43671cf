#include "file_io.h"

#include <fcntl.h>

#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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

std::string NameOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Whether `name` names no file below a folder: empty, the folder itself or the one above.
bool IsNoName(const std::string& name) {
  return name.empty() || name == "." || name == "..";
}

// Opens the folder `name` in the open folder `dir` without following a link: -1 with errno set,
// ELOOP when `name` is a symbolic link.
int OpenSubfolder(int dir, const std::string& name) {
  const int fd = ::openat(dir, name.c_str(), kFolderFlags);
  if (fd >= 0) return fd;
  const int error = errno;
  struct stat st {};
  const bool link =
      ::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
  errno = link ? ELOOP : error;
  return -1;
}

// The folder that holds `path` in the open folder `folder` (see OutFolder), entered from it one
// folder at a time. -1 with errno set: ELOOP for a link on the way, EINVAL for a path that is not
// below the folder's name or that names no file in it.
int OpenFolderOf(const OutFolder& folder, const std::string& path) {
  const std::string top = folder.path + "/";
  std::string rest = path.starts_with(top) ? path.substr(top.size()) : "";
  if (IsNoName(NameOf(rest))) {
    errno = EINVAL;
    return -1;
  }
  int dir = ::openat(folder.fd, ".", kFolderFlags);
  for (size_t slash; dir >= 0 && (slash = rest.find('/')) != std::string::npos;
       rest.erase(0, slash + 1)) {
    const std::string name = rest.substr(0, slash);
    const int next = IsNoName(name) ? -1 : OpenSubfolder(dir, name);
    const int error = IsNoName(name) ? EINVAL : errno;
    ::close(dir);
    errno = error;
    dir = next;
  }
  return dir;
}

// The folder a file is in, opened once, and the file's name in it. Everything done to the file
// is done relative to the open folder, so a link or folder swapped in on the way after the
// folder was opened cannot send the work elsewhere.
class Place {
 public:
  // In the working folder, the file a symbolic link at `path` leads to, or the file at `path`
  // when it is not a link; in an open folder, the file at `path` as OpenFolderOf finds it.
  Place(const OutFolder& folder, const std::string& path)
      : confined_(folder.Confined()),
        target_(confined_ ? path : LinkTarget(path)),
        name_(NameOf(target_)),
        dir_(confined_ ? OpenFolderOf(folder, path)
                       : ::open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}
  Place(const Place&) = delete;
  Place& operator=(const Place&) = delete;
  ~Place() {
    if (dir_ >= 0) ::close(dir_);
  }

  bool confined() const { return confined_; }
  int dir() const { return dir_; }  // -1 with errno set when the folder could not be opened
  const std::string& name() const { return name_; }
  // The path of a file named `name` in the folder.
  std::string Beside(const std::string& name) const { return FolderOf(target_) + "/" + name; }

 private:
  bool confined_;
  std::string target_;
  std::string name_;
  int dir_;
};

// A name for a temporary beside `name`: the name with six random letters and digits after a
// dot. A long name is cut (at a character's start, for UTF-8 names) so that the whole stays
// within the system's limit on a name's length.
std::string TempName(const std::string& name, int attempt) {
  static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  static constexpr size_t kSuffix = 7;
  uint64_t bits = 0;
  if (::getrandom(&bits, sizeof bits, GRND_NONBLOCK) != sizeof bits)
    bits = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()) +
           uint64_t(attempt) * 0x9E3779B97F4A7C15u;
  size_t keep = std::min(name.size(), size_t{NAME_MAX} - kSuffix);
  while (keep > 0 && keep < name.size() && (uint8_t(name[keep]) & 0xC0) == 0x80)
    --keep;
  std::string temp = name.substr(0, keep) + ".";
  for (int i = 0; i < 6; ++i, bits /= 62)
    temp += kChars[bits % 62];
  return temp;
}

// Creates a new file in the place's folder under a name no other file has, open for writing,
// and sets `temp` to its name. O_NOFOLLOW: a link is never followed to make it. The kernel
// applies the umask to `mode`, so the process's umask is never changed (other threads create
// files meanwhile).
int CreateTemp(const Place& place, mode_t mode, std::string& temp) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp = TempName(place.name(), attempt);
    const int fd = ::openat(place.dir(), temp.c_str(),
                            O_CREAT | O_EXCL | O_NOFOLLOW | O_WRONLY | O_NOCTTY | O_CLOEXEC, mode);
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

// Renames the temporary `temp` over the place's file. The rename replaces the name itself:
// whatever it names then, a link included, is never written through.
int RenameInto(const Place& place, const std::string& temp) {
  return ::renameat(place.dir(), temp.c_str(), place.dir(), place.name().c_str()) == 0 ? 0 : errno;
}

// Syncs the place's folder, so that a rename in it is on the disk too. A file system that
// cannot sync folders (EINVAL) has nothing to sync.
int SyncFolder(const Place& place) {
  return ::fsync(place.dir()) == 0 || errno == EINVAL ? 0 : errno;
}

// Writes the parts into the character device or FIFO at the place, as it is: such a file is
// written to, never replaced (a rename over /dev/null would leave a plain file in its place). A
// FIFO without a reader is refused (ENXIO) rather than waited for.
ReplaceStatus WriteInPlace(const Place& place,
                           std::initializer_list<std::span<const uint8_t>> parts) {
  const int fd = ::openat(place.dir(), place.name().c_str(),
                          O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return {ReplaceResult::CannotCreate, errno};
  int error = ::fcntl(fd, F_SETFL, 0) == 0 ? 0 : errno;
  for (const auto& part : parts)
    if (error == 0 && !WriteAll(fd, part)) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  return {error == 0 ? ReplaceResult::Ok : ReplaceResult::WriteFailed, error};
}

// Whether the place's name is something other than a regular file or a link: what a rename
// must not replace.
bool IsSpecial(const Place& place, struct stat& st) {
  return ::fstatat(place.dir(), place.name().c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
         !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode);
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

TempFile CreateTempBeside(const std::string& path, TempMode mode, const OutFolder& folder) {
  const Place place(folder, path);
  if (place.dir() < 0) return {-1, "", errno};
  struct stat st {};
  const bool keep = mode == TempMode::LikeReplaced &&
                    ::fstatat(place.dir(), place.name().c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                    S_ISREG(st.st_mode);
  // Until the replaced file's permissions are set, the temporary is its owner's only.
  std::string temp;
  const int fd = CreateTemp(place, keep ? 0600 : 0666, temp);
  if (fd < 0) return {-1, "", errno};
  if (keep && ::fchmod(fd, st.st_mode & 07777) != 0) {
    const int error = errno;
    ::close(fd);
    ::unlinkat(place.dir(), temp.c_str(), 0);
    return {-1, "", error};
  }
  return {fd, place.Beside(temp), 0};
}

int RenameOver(const std::string& temp, const std::string& path, const OutFolder& folder) {
  const Place place(folder, path);
  if (place.dir() < 0) return errno;
  const std::string name = NameOf(temp);
  if (place.Beside(name) != temp) return EINVAL;  // not a temporary made beside `path`
  struct stat st {};
  if (IsSpecial(place, st)) return S_ISDIR(st.st_mode) ? EISDIR : EEXIST;  // it stays what it is
  const int error = RenameInto(place, name);
  return error != 0 ? error : SyncFolder(place);
}

ReplaceStatus ReplaceFile(const OutFolder& folder, const std::string& path,
                          std::initializer_list<std::span<const uint8_t>> parts) {
  const Place place(folder, path);
  if (place.dir() < 0) return {ReplaceResult::CannotCreate, errno};
  struct stat st {};
  const bool exists = ::fstatat(place.dir(), place.name().c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  if (exists && S_ISLNK(st.st_mode)) return {ReplaceResult::CannotCreate, ELOOP};
  // In an open folder only the folder's own files are written: a device or FIFO is refused.
  if (exists && (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode)) && !place.confined())
    return WriteInPlace(place, parts);
  if (exists && !S_ISREG(st.st_mode))
    return {ReplaceResult::CannotCreate, S_ISDIR(st.st_mode) ? EISDIR : EEXIST};
  // A replaced file's permissions are set before any byte is written; until then the
  // temporary is readable by its owner only.
  const bool replacing = exists && S_ISREG(st.st_mode);
  std::string temp;
  const int fd = CreateTemp(place, replacing ? 0600 : 0666, temp);
  if (fd < 0) return {ReplaceResult::CannotCreate, errno};
  int error = FillTemp(fd, parts, replacing ? &st : nullptr);
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error != 0) {
    ::unlinkat(place.dir(), temp.c_str(), 0);
    return {ReplaceResult::WriteFailed, error};
  }
  error = RenameInto(place, temp);
  if (error != 0) {
    ::unlinkat(place.dir(), temp.c_str(), 0);
    return {ReplaceResult::CannotCreate, error};
  }
  error = SyncFolder(place);
  return {error == 0 ? ReplaceResult::Ok : ReplaceResult::WriteFailed, error};
}

int MakeFolder(const OutFolder& folder, const std::string& path) {
  if (!folder.Confined()) {
    if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) return errno;
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
  }
  if (path == folder.path) return 0;
  const int dir = OpenFolderOf(folder, path);
  if (dir < 0) return errno;
  const std::string name = NameOf(path);
  int error = ::mkdirat(dir, name.c_str(), 0777) == 0 || errno == EEXIST ? 0 : errno;
  const int made = error == 0 ? OpenSubfolder(dir, name) : -1;
  if (error == 0) error = made >= 0 ? 0 : errno;
  if (made >= 0) ::close(made);
  ::close(dir);
  return error;
}

std::string SaveErrorReason(const OutFolder& folder, int error) {
  if (folder.Confined() && error == ELOOP)
    return "a symbolic link is in the way; links are not followed here";
  return ErrorReason(error);
}

bool IsTempName(const std::string& name) {
  const size_t dot = name.size() < 8 ? 0 : name.size() - 7;
  return dot > 0 && name[dot] == '.' &&
         std::all_of(name.begin() + long(dot) + 1, name.end(), [](char c) {
           return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
         });
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
