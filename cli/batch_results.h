// The results of a batch: a tab-separated file with a row per model rendered, appended to and
// written through after each model, so that a batch killed half-way keeps its rows and a rerun
// adds its own below them.
#pragma once

#include <optional>
#include <string>

#include "batch.h"
#include "batch_list.h"

namespace quarvel {

class ResultsFile {
 public:
  // Opens the file `name` in the open folder `dir` (AT_FDCWD: relative to the current folder)
  // for appending, never through a symbolic link, making it when it is missing; a new or empty
  // file gets the header line. A file that is the batch's list (`list`) is left as it was and
  // refused. error() says why it could not.
  ResultsFile(int dir, const std::string& name, const std::optional<FileId>& list);
  ResultsFile(const ResultsFile&) = delete;
  ResultsFile& operator=(const ResultsFile&) = delete;
  ~ResultsFile();

  const std::string& error() const { return error_; }

  // Appends the row "model, exit code, seconds, faces, message" in one write, the model and the
  // message as PrintableText has them. False when it could not, with errno set.
  bool Add(const std::string& model, const ModelOutcome& outcome, double seconds);

 private:
  bool Append(const std::string& text);

  int fd_ = -1;
  std::string error_;
};

}  // namespace quarvel
