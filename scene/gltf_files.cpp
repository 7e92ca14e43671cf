#include "gltf_files.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "base/file_io.h"
#include "import_text.h"

namespace quarvel {
namespace {

constexpr int kReadFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

GltfFolder& Folder(void* folder) {
  return *static_cast<GltfFolder*>(folder);
}

// A hex digit's value; tinygltf takes anything else as 0.
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

// The file name tinygltf makes of a uri: each "%XY" the byte of hex XY, each "+" a blank.
std::string UriFileName(const std::string& uri) {
  std::string name;
  for (size_t i = 0; i < uri.size(); ++i) {
    if (uri[i] == '+') {
      name += ' ';
    } else if (uri[i] == '%' && i + 2 < uri.size()) {
      name += static_cast<char>(HexValue(uri[i + 1]) << 4 | HexValue(uri[i + 2]));
      i += 2;
    } else {
      name += uri[i];
    }
  }
  return name;
}

struct FileDescriptor {
  int fd;
  ~FileDescriptor() {
    if (fd >= 0) ::close(fd);
  }
};

// Opens `name` inside `dir` by the real paths of both: for kernels without openat2.
int OpenByRealPath(const std::string& dir, const std::string& name) {
  const std::unique_ptr<char, decltype(&std::free)> realDir(::realpath(dir.c_str(), nullptr),
                                                            std::free);
  const std::unique_ptr<char, decltype(&std::free)> realFile(
      ::realpath((dir + '/' + name).c_str(), nullptr), std::free);
  if (!realDir || !realFile) return -1;
  if (!IsInsideFolder(realFile.get(), realDir.get())) {
    errno = EXDEV;
    return -1;
  }
  return ::open(realFile.get(), kReadFlags | O_NOFOLLOW);
}

// Opens `name`, a relative path, inside the folder `dir` for reading without blocking. A path
// whose links lead out of the folder fails with EXDEV.
int OpenBeneath(const std::string& dir, const std::string& name) {
  const int folder = ::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return -1;
  open_how how{};
  how.flags = kReadFlags;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
  const int fd = static_cast<int>(::syscall(SYS_openat2, folder, name.c_str(), &how, sizeof how));
  const int error = errno;
  ::close(folder);
  errno = error;
  // Without openat2 (older kernels, or filters that refuse calls they do not know).
  if (fd < 0 && (error == ENOSYS || error == EPERM)) return OpenByRealPath(dir, name);
  return fd;
}

// Reads `file` into `out` once its size matches; returns why it cannot be, empty when it was.
std::string ReadBufferFile(GltfFolder& folder, const std::string& name, const BufferFile& file,
                           std::vector<unsigned char>& out) {
  const std::string quoted = "the buffer file " + import_text::Quoted(name);
  const FileDescriptor in{OpenBeneath(folder.dir, name)};
  struct stat st {};
  const int error = in.fd < 0 || ::fstat(in.fd, &st) != 0 ? errno : 0;
  if (error == EXDEV) return quoted + " is reached through a link that leaves the model's folder";
  if (error != 0) return quoted + " cannot be opened: " + ErrorReason(error);
  if (!S_ISREG(st.st_mode)) return quoted + " is not a regular file";
  const auto size = static_cast<uint64_t>(st.st_size);
  if (size != file.byteLength)
    return quoted + " holds " + std::to_string(size) + " bytes, not the " +
           std::to_string(file.byteLength) + " of its buffer's byteLength";
  if (!folder.opened.insert({st.st_dev, st.st_ino}).second)
    return quoted + " is named by more than one buffer";
  out.resize(size);
  for (size_t done = 0; done < out.size();) {
    const ssize_t n = ::read(in.fd, out.data() + done, out.size() - done);
    const int readError = n < 0 ? errno : 0;
    if (readError == EINTR) continue;
    if (readError != 0) return quoted + " cannot be read: " + ErrorReason(readError);
    if (n == 0) return quoted + " became shorter while it was read";
    done += static_cast<size_t>(n);
  }
  return "";
}

bool FileExists(const std::string& path, void* folder) {
  return IsInsideFolder(path, Folder(folder).dir);
}

// tinygltf expands paths (a leading "~", variables) with this; they are taken as they are.
std::string SamePath(const std::string& path, void*) {
  return path;
}

bool ReadFile(std::vector<unsigned char>* out, std::string* err, const std::string& path,
              void* user) {
  GltfFolder& folder = Folder(user);
  const std::string& dir = folder.dir;
  if (!IsInsideFolder(path, dir)) {
    if (err) *err = "outside the model's folder";
    return false;
  }
  const std::string name = path.substr(dir.back() == '/' ? dir.size() : dir.size() + 1);
  // The first buffer of that name not read yet; an image's file never is one.
  auto [file, end] = folder.buffers.equal_range(name);
  while (file != end && file->second.read)
    ++file;
  if (file == end) {
    if (err) *err = "not a buffer of the model";
    return false;
  }
  file->second.read = true;
  folder.error = ReadBufferFile(folder, name, file->second, *out);
  if (err) *err = folder.error;
  return folder.error.empty();
}

}  // namespace

BufferFiles ExternalBufferFiles(const std::vector<JsonBuffer>& buffers) {
  BufferFiles files;
  for (const JsonBuffer& buffer : buffers) {
    if (!buffer.uri || !buffer.byteLength || buffer.uri->empty() ||
        buffer.uri->starts_with("data:"))
      continue;
    std::string name = UriFileName(UnescapeJsonString(*buffer.uri));
    // A name with a NUL in it would open a shorter one.
    if (name.find('\0') == std::string::npos)
      files.emplace(std::move(name), BufferFile{*buffer.byteLength, false});
  }
  return files;
}

bool IsInsideFolder(const std::string& path, const std::string& dir) {
  if (dir.empty()) return false;
  const std::string prefix = dir.back() == '/' ? dir : dir + '/';
  if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0) return false;
  const std::string_view relative = std::string_view(path).substr(prefix.size());
  if (relative.front() == '/') return false;
  for (size_t start = 0; start <= relative.size();) {
    const size_t slash = std::min(relative.find('/', start), relative.size());
    if (relative.substr(start, slash - start) == "..") return false;
    start = slash + 1;
  }
  return true;
}

tinygltf::FsCallbacks FolderFileAccess(GltfFolder& folder) {
  return {FileExists, SamePath, ReadFile, nullptr, &folder};
}

}  // namespace quarvel
