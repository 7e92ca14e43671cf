#include "batch_list.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "base/file_io.h"

namespace quarvel {

namespace {

constexpr uint64_t kMaxListBytes = uint64_t(1) << 30;

// The path's components, without empty ones (from "//" or a leading '/') and ".".
std::vector<std::string> Components(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    const std::string part = path.substr(start, slash - start);
    if (!part.empty() && part != ".") parts.push_back(part);
    start = slash + 1;
  }
  return parts;
}

bool IsAbsolute(const std::string& path) {
  return !path.empty() && path[0] == '/';
}

}  // namespace

ModelList::ModelList(const std::string& path) {
  if (path == "-") {
    fd_ = STDIN_FILENO;
    return;
  }
  // Looked at before it is opened (a FIFO's open would wait for a writer), and opened so that
  // it cannot block should it have changed since.
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    error_ = ErrorReason(errno);
    return;
  }
  fd_ =
      S_ISREG(st.st_mode) ? ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC) : -1;
  ownFd_ = fd_ >= 0;
  if (fd_ >= 0 && (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)))
    error_ = "Not a regular file";
  else if (fd_ < 0)
    error_ = S_ISREG(st.st_mode) ? ErrorReason(errno) : "Not a regular file";
  else if (uint64_t(st.st_size) > kMaxListBytes)
    error_ = "the list is larger than 1 GB";
}

ModelList::~ModelList() {
  if (ownFd_) ::close(fd_);
}

bool ModelList::Fill() {
  if (pos_ < end_) return true;
  if (atEnd_ || !error_.empty()) return false;
  for (;;) {
    const ssize_t n = ::read(fd_, buffer_, sizeof buffer_);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error_ = ErrorReason(errno);
    atEnd_ = n <= 0;
    pos_ = 0;
    end_ = n > 0 ? size_t(n) : 0;
    return n > 0;
  }
}

bool ModelList::NextLine(std::string& line, bool& tooLong) {
  line.clear();
  tooLong = false;
  bool any = false;
  while (Fill()) {
    any = true;
    const char* start = buffer_ + pos_;
    const void* newline = std::memchr(start, '\n', end_ - pos_);
    const size_t take = newline ? size_t(static_cast<const char*>(newline) - start) : end_ - pos_;
    const size_t room = kMaxModelLine + 1 - line.size();  // one over, to tell a '\r' from more
    line.append(start, take < room ? take : room);
    pos_ += take + (newline ? 1 : 0);
    if (newline) break;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.size() > kMaxModelLine) {
    line.resize(kMaxModelLine);
    tooLong = true;
  }
  return any && error_.empty();
}

bool ModelList::Next(std::string& line, bool& tooLong) {
  while (NextLine(line, tooLong))
    if (line.find_first_not_of(" \t") != std::string::npos && line[0] != '#') return true;
  return false;
}

FolderName ModelFolderName(const std::string& model, const std::string& root) {
  if (model.find('\0') != std::string::npos) return {"", "a NUL byte in the path"};
  std::vector<std::string> parts = Components(model);
  if (!root.empty()) {
    const std::vector<std::string> base = Components(root);
    const bool below = IsAbsolute(model) == IsAbsolute(root) && base.size() <= parts.size() &&
                       std::equal(base.begin(), base.end(), parts.begin());
    if (!below) return {"", "not below --root " + root};
    parts.erase(parts.begin(), parts.begin() + std::ptrdiff_t(base.size()));
  }
  if (parts.empty()) return {"", "no file name below the output folder"};
  std::string relative;
  for (const std::string& part : parts) {
    if (part == "..") return {"", "'..' in the path would leave the output folder"};
    relative += (relative.empty() ? "" : "/") + part;
  }
  return {relative, ""};
}

}  // namespace quarvel
