// A batch's list of models, read whole before the first model is rendered, so that nothing the
// batch writes (its results file, say, named as the list) feeds the list while it runs, and the
// folder each model's outputs go to.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quarvel {

// The longest model line taken; a longer one is a failed row, not a model.
constexpr size_t kMaxModelLine = 4096;

// The largest list taken: millions of model paths.
constexpr size_t kMaxListBytes = size_t(256) << 20;

// A file as the system tells one from another: two paths to it (a hard or a symbolic link) give
// the same.
struct FileId {
  uint64_t device = 0;
  uint64_t inode = 0;
  bool operator==(const FileId&) const = default;
};

class ModelList {
 public:
  // Reads the list at `path`, "-" for standard input, whole. A path that names anything but a
  // regular file, or a list over kMaxListBytes, is refused: error() says why.
  explicit ModelList(const std::string& path);

  // Empty when the list was read.
  const std::string& error() const { return error_; }

  // The list's file, when it is a regular file (standard input may be one).
  const std::optional<FileId>& file() const { return file_; }

  // The number of model lines.
  long size() const { return size_; }

  // The next model line, without a trailing '\r', and its line number in the list (from 1):
  // false at the end of the list. Lines of nothing but blanks and lines starting with '#' are
  // passed over. A line over kMaxModelLine bytes comes back cut to that length with `tooLong`
  // set.
  bool Next(std::string& line, bool& tooLong, long& number);

 private:
  bool Find(size_t& pos, long& number, std::string_view& line) const;

  std::string text_;
  std::string error_;
  std::optional<FileId> file_;
  long size_ = 0;
  size_t pos_ = 0;
  long number_ = 0;
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
