#include "gltf_files.h"

#include <sys/stat.h>

#include <algorithm>
#include <string_view>

#include "base/file_io.h"

namespace quarvel {
namespace {

const std::string& Folder(void* dir) {
  return *static_cast<const std::string*>(dir);
}

bool FileExists(const std::string& path, void* dir) {
  struct stat st;
  return IsInsideFolder(path, Folder(dir)) && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// tinygltf expands paths (a leading "~", variables) with this; they are taken as they are.
std::string SamePath(const std::string& path, void*) {
  return path;
}

bool ReadFile(std::vector<unsigned char>* out, std::string* err, const std::string& path,
              void* dir) {
  if (!IsInsideFolder(path, Folder(dir))) {
    if (err) *err = "outside the model's folder";
    return false;
  }
  FileBytes bytes;
  const FileReadResult read = ReadWholeFile(path, bytes);
  if (read.status != FileRead::Ok) {
    if (err) *err = read.reason;
    return false;
  }
  out->assign(bytes.data.get(), bytes.data.get() + bytes.size);
  return true;
}

}  // namespace

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

tinygltf::FsCallbacks FolderFileAccess(const std::string& dir) {
  // The user data is only ever read through Folder().
  return {FileExists, SamePath, ReadFile, nullptr, const_cast<std::string*>(&dir)};
}

}  // namespace quarvel
