#include "batch_list.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "base/file_io.h"

namespace quarvel {

namespace {

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

// Reads the open file `fd` to its end into `text`. Returns "" or why it could not.
std::string ReadWhole(int fd, std::string& text) {
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return ErrorReason(errno);
    if (n == 0) return "";
    if (size_t(n) > kMaxListBytes - text.size())
      return "the list is larger than " + std::to_string(kMaxListBytes >> 20) + " MB";
    text.append(buffer, size_t(n));
  }
}

}  // namespace

ModelList::ModelList(const std::string& path) {
  int fd = STDIN_FILENO;
  struct stat st {};
  if (path != "-") {
    // Looked at before it is opened (a FIFO's open would wait for a writer), and opened so that
    // it cannot block should it have changed since.
    if (::stat(path.c_str(), &st) != 0) {
      error_ = ErrorReason(errno);
      return;
    }
    fd = S_ISREG(st.st_mode) ? ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)
                             : -1;
    if (fd < 0) {
      error_ = S_ISREG(st.st_mode) ? ErrorReason(errno) : "Not a regular file";
      return;
    }
  }
  if (::fstat(fd, &st) != 0)
    error_ = ErrorReason(errno);
  else if (path != "-" && !S_ISREG(st.st_mode))
    error_ = "Not a regular file";
  else if (S_ISREG(st.st_mode))
    text_.reserve(size_t(std::min<uint64_t>(uint64_t(st.st_size), kMaxListBytes)));
  if (error_.empty()) error_ = ReadWhole(fd, text_);
  if (S_ISREG(st.st_mode)) file_ = FileId{st.st_dev, st.st_ino};
  if (fd != STDIN_FILENO) ::close(fd);
  size_t pos = 0;
  long number = 0;
  for (std::string_view line; error_.empty() && Find(pos, number, line);)
    ++size_;
}

bool ModelList::Find(size_t& pos, long& number, std::string_view& line) const {
  while (pos < text_.size()) {
    size_t end = text_.find('\n', pos);
    if (end == std::string::npos) end = text_.size();
    line = std::string_view(text_).substr(pos, end - pos);
    pos = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.find_first_not_of(" \t") != std::string_view::npos && line[0] != '#') return true;
  }
  return false;
}

bool ModelList::Next(std::string& line, bool& tooLong, long& number) {
  std::string_view found;
  if (!error_.empty() || !Find(pos_, number_, found)) return false;
  tooLong = found.size() > kMaxModelLine;
  line = found.substr(0, kMaxModelLine);
  number = number_;
  return true;
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
