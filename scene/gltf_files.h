// The only files tinygltf may read for a glTF model: external buffers and images inside the
// model's folder, named by relative paths without "..". Its own file access would follow any path
// a file names, absolute or not, and also look in the current folder.
#pragma once

#include <string>

#include <tiny_gltf.h>

namespace quarvel {

// True when `path` names something inside the folder `dir` (a non-empty path): it is `dir`, a
// slash and a relative path none of whose parts is "..".
bool IsInsideFolder(const std::string& path, const std::string& dir);

// File access confined to the folder `dir`, which must outlive the callbacks: no file at all when
// `dir` is empty. Files are read whole, and only regular files; nothing is ever written.
tinygltf::FsCallbacks FolderFileAccess(const std::string& dir);

}  // namespace quarvel
