#include "replace_file.h"

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

}  // namespace quarvel
