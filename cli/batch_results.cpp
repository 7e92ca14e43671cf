#include "batch_results.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "base/file_io.h"
#include "printable_text.h"

namespace quarvel {

ResultsFile::ResultsFile(int dir, const std::string& name, const std::optional<FileId>& list)
    : fd_(::openat(dir, name.c_str(),
                   O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
                   0644)) {
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0)
    error_ = ErrorReason(errno);
  else if (!S_ISREG(st.st_mode))
    error_ = "Not a regular file";
  else if (list == FileId{st.st_dev, st.st_ino})
    error_ = "it is the list of models; name another with --results";
  else if (st.st_size == 0 && !Append("model\texit_code\tseconds\tfaces\tmessage\n"))
    error_ = ErrorReason(errno);
}

ResultsFile::~ResultsFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool ResultsFile::Append(const std::string& text) {
  for (;;) {
    const ssize_t n = ::write(fd_, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n >= 0 && n != ssize_t(text.size())) errno = ENOSPC;
    return n == ssize_t(text.size());
  }
}

bool ResultsFile::Add(const std::string& model, const ModelOutcome& outcome, double seconds) {
  char numbers[64];
  std::snprintf(numbers, sizeof numbers, "\t%d\t%.3f\t%llu\t", outcome.exitCode, seconds,
                static_cast<unsigned long long>(outcome.faces));
  return Append(PrintableText(model) + numbers + PrintableText(outcome.message) + "\n");
}

}  // namespace quarvel
