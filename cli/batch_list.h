// A batch's list of models, read a line at a time so that a list of millions of lines (or one
// coming down a pipe on standard input) is never held whole, and the folder each model's
// outputs go to.
#pragma once

#include <string>

namespace quarvel {

// The longest model line taken; a longer one is a failed row, not a model.
constexpr size_t kMaxModelLine = 4096;

class ModelList {
 public:
  // Opens the list at `path`, "-" for standard input. A path that names anything but a regular
  // file, or a file over 1 GB, is refused: error() says why.
  explicit ModelList(const std::string& path);
  ModelList(const ModelList&) = delete;
  ModelList& operator=(const ModelList&) = delete;
  ~ModelList();

  // Empty while the list can be read.
  const std::string& error() const { return error_; }

  // The next model line, without a trailing '\r': false at the end of the list or on a read
  // error. Lines of nothing but blanks and lines starting with '#' are passed over. A line over
  // kMaxModelLine bytes comes back cut to that length with `tooLong` set.
  bool Next(std::string& line, bool& tooLong);

 private:
  bool NextLine(std::string& line, bool& tooLong);
  bool Fill();

  int fd_ = -1;
  bool ownFd_ = false;
  bool atEnd_ = false;
  std::string error_;
  char buffer_[65536];
  size_t pos_ = 0;
  size_t end_ = 0;
};

// Where a model's outputs go below the output folder: `relative` (components joined by '/', the
// model's file name, extension included, last), or `error` saying why the model has none.
struct FolderName {
  std::string relative;
  std::string error;
};

// With a root: the model's path relative to it, compared component by component without looking
// at the disk. Without one: the path as given, without its leading '/'. A name holding ".." or
// none at all is refused, as it would leave the output folder; so is one with a NUL byte,
// which no file name holds.
FolderName ModelFolderName(const std::string& model, const std::string& root);

}  // namespace quarvel
