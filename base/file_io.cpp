#include "file_io.h"

#include <fcntl.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace quarvel {

namespace {

bool WriteAll(int fd, std::span<const uint8_t> bytes) {
  const uint8_t* p = bytes.data();
  size_t n = bytes.size();
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

}  // namespace

ReplaceResult ReplaceFile(const std::string& path,
                          std::initializer_list<std::span<const uint8_t>> parts, mode_t mode) {
  std::string temp = path + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return ReplaceResult::CannotCreate;
  bool ok = true;
  for (const auto& part : parts)
    ok = ok && WriteAll(fd, part);
  ok = ::fchmod(fd, mode) == 0 && ok;
  ok = ::close(fd) == 0 && ok;
  if (ok && ::rename(temp.c_str(), path.c_str()) == 0) return ReplaceResult::Ok;
  ::unlink(temp.c_str());
  return ok ? ReplaceResult::CannotCreate : ReplaceResult::WriteFailed;
}

FileRead ReadWholeFile(const std::string& path, FileBytes& bytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return FileRead::CannotOpen;
  struct stat st {};
  FileRead result = FileRead::Ok;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    result = FileRead::CannotOpen;
  } else {
    bytes.size = static_cast<size_t>(st.st_size);
    bytes.data.reset(new uint8_t[bytes.size]);
    size_t done = 0;
    while (done < bytes.size) {
      const ssize_t n = ::read(fd, bytes.data.get() + done, bytes.size - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;  // a file that shrank while read: its end is a read error
      done += static_cast<size_t>(n);
    }
    if (done != bytes.size) result = FileRead::ReadError;
  }
  ::close(fd);
  return result;
}

}  // namespace quarvel
