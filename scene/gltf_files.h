// The only files tinygltf may read for a glTF model: the external buffers its JSON declares,
// inside the model's folder, named by relative paths without "..", and holding exactly their
// buffer's byteLength. Its own file access would follow any path a file names, absolute or not,
// also look in the current folder, and read a file whole before comparing its size.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <tiny_gltf.h>

#include "json_shape.h"

namespace quarvel {

// A buffer's external file, by its name as tinygltf asks for it: the uri with its JSON escapes
// and its "%XY" resolved. Buffers that name the same file are kept in their order.
struct BufferFile {
  uint64_t byteLength = 0;
  bool read = false;  // tinygltf has asked for it
};
using BufferFiles = std::multimap<std::string, BufferFile>;

// What the file access of one model knows and finds.
struct GltfFolder {
  std::string dir;                           // the model's folder; empty: no file is read
  BufferFiles buffers;                       // the external buffers the JSON declares
  std::set<std::pair<dev_t, ino_t>> opened;  // the files read so far
  std::string error;  // why the last buffer file asked for was refused; empty when none was
};

// The external files of `buffers`: those with a byteLength and a uri that is not a data: URI.
BufferFiles ExternalBufferFiles(const std::vector<JsonBuffer>& buffers);

// True when `path` names something inside the folder `dir` (a non-empty path): it is `dir`, a
// slash and a relative path none of whose parts is "..".
bool IsInsideFolder(const std::string& path, const std::string& dir);

// File access confined to the buffers of `folder`, which must outlive the callbacks. Each buffer
// file is opened beneath the folder (a link that leads out of it is refused), checked to be a
// regular file of its buffer's byteLength, and read once; other files (images) are never read,
// and nothing is ever written.
tinygltf::FsCallbacks FolderFileAccess(GltfFolder& folder);

}  // namespace quarvel
