#include "batch_results.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "base/file_io.h"

namespace quarvel {

namespace {

// The field with its tabs and line breaks turned into blanks, so that a row stays one row.
std::string Field(const std::string& text) {
  std::string field = text;
  for (char& c : field)
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  return field;
}

}  // namespace

ResultsFile::ResultsFile(int dir, const std::string& name)
    : fd_(::openat(dir, name.c_str(),
                   O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
                   0644)) {
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0)
    error_ = ErrorReason(errno);
  else if (!S_ISREG(st.st_mode))
    error_ = "Not a regular file";
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
  return Append(Field(model) + numbers + Field(outcome.message) + "\n");
}

}  // namespace quarvel
