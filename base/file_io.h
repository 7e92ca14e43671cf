// The file and byte helpers shared by every layer: replacing a file whole, reading a file whole,
// and little-endian numbers out of a byte buffer.
#pragma once

#include <fcntl.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>

namespace quarvel {

// The folder the savers below take paths from. The working folder (AT_FDCWD, the default): a
// path is used as written, links on its way and at its end followed. An open folder: `path` is
// the folder's name as messages show it, every path given is that name, a slash and a path
// below it, and the folders on the way are entered from the open folder without following a
// link; a link found where a folder or a file goes is refused (ELOOP), so nothing is written
// through it, and a folder swapped in by name after it was opened is never written into.
struct OutFolder {
  int fd = AT_FDCWD;
  std::string path;
  bool Confined() const { return fd != AT_FDCWD; }
};

// Replacing a file whole: the new bytes go to a temporary file beside it, which is synced to
// the disk and then renamed over it, and the folder is synced after the rename, so a crash, a
// power cut or a full disk leaves the old file or the new one, never half of either.
enum class ReplaceResult { Ok, CannotCreate, WriteFailed };

struct ReplaceStatus {
  ReplaceResult result = ReplaceResult::Ok;
  int error = 0;  // the errno of the call that failed
};

// Writes the parts, in order, as the file at `path` in `folder`. A new file gets the permissions
// the umask leaves of 0666; a replaced file keeps its permissions. In the working folder, a
// symbolic link at `path` stays: the file it points to is replaced (created, when the link
// dangles). CannotCreate: the temporary
// could not be made or renamed; WriteFailed: a write or sync failed, or the folder could not be
// synced after the rename (the new file is in place then). A character device or a FIFO at
// `path` is written to as it stands, never replaced (a FIFO must have a reader: ENXIO otherwise);
// a folder (EISDIR), a socket or a block device (EEXIST) is refused.
ReplaceStatus ReplaceFile(const OutFolder& folder, const std::string& path,
                          std::initializer_list<std::span<const uint8_t>> parts);
inline ReplaceStatus ReplaceFile(const std::string& path,
                                 std::initializer_list<std::span<const uint8_t>> parts) {
  return ReplaceFile(OutFolder{}, path, parts);
}

// Makes the folder at `path` in `folder` unless it is there already. Returns 0 or the errno of
// the call that failed: ENOTDIR when something else has the name.
int MakeFolder(const OutFolder& folder, const std::string& path);

// The reason to give for a failure of the calls above: the system's text, or for a link met in
// an open folder, that it is a link that is never followed.
std::string SaveErrorReason(const OutFolder& folder, int error);

// The permissions of a file made beside another: those the umask leaves of 0666, as for a new
// file, or those of the regular file at the other's name, which it is to replace.
enum class TempMode { New, LikeReplaced };

// A new file beside `path` (in the folder of the file a symbolic link at `path` leads to), under
// a name no other file has, with the permissions `mode` says and never made through a link. Its
// name stays within the system's 255-byte limit even when `path`'s name is that long, and is
// one that IsTempName takes. In an open folder, `path` is taken as ReplaceFile takes it.
struct TempFile {
  int fd = -1;  // open for writing; the caller closes it
  std::string path;
  int error = 0;  // the errno of the call that failed, when fd is -1
};
TempFile CreateTempBeside(const std::string& path, TempMode mode, const OutFolder& folder = {});

// Whether `name` has the form of a temporary's name: a name, a dot and six letters or digits.
bool IsTempName(const std::string& name);

// Renames the finished file `temp`, made by CreateTempBeside for `path`, over `path` (over the
// file a symbolic link at `path` leads to; the link stays) and syncs the folder. Returns 0 or
// the errno of the call that failed; EISDIR or EEXIST when `path` is a folder, a device or a FIFO,
// which a rename would replace. `folder` is the one the temporary was made in.
int RenameOver(const std::string& temp, const std::string& path, const OutFolder& folder = {});

// The file that `path` names once symbolic links at its end are followed (it may not exist):
// `path` itself when it is not a link. A chain of more than 40 links ends at a link.
std::string LinkTarget(const std::string& path);

// True when both paths name the same existing file (same device and inode), whatever their
// spelling or the links on the way.
bool IsSameFile(const std::string& a, const std::string& b);

// The system's text for an errno value, such as "No space left on device".
std::string ErrorReason(int error);

// A whole file in memory. The buffer is not cleared first: every byte of it is read.
struct FileBytes {
  std::unique_ptr<uint8_t[]> data;
  size_t size = 0;
  std::span<const uint8_t> span() const { return {data.get(), size}; }
};

// Refused: the check below turned the file down, before anything was allocated for it.
enum class FileRead { Ok, CannotOpen, ReadError, Refused };

struct FileReadResult {
  FileRead status = FileRead::Ok;
  // Why it failed: the system's reason (strerror) for CannotOpen and ReadError, "Not a regular
  // file" for a path that names anything else; empty when there is none.
  std::string reason;
};

// A look at a file before it is read whole: `accept` sees the file's size and its first
// `headSize` bytes (fewer when the file is shorter) and returns false to refuse it.
struct FileCheck {
  size_t headSize = 0;
  std::function<bool(uint64_t size, std::span<const uint8_t> head)> accept;
};

// Reads a regular file whole into `bytes`, after `check` accepted it. A path that names anything
// else (a folder, a FIFO, a device) is never opened for reading, and the open cannot block.
FileReadResult ReadWholeFile(const std::string& path, FileBytes& bytes,
                             const FileCheck& check = {});

// Little-endian numbers at `p`; the caller has checked that the bytes are there.
inline uint16_t LeU16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t LeU32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline float LeFloat(const uint8_t* p) {
  const uint32_t bits = LeU32(p);
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

}  // namespace quarvel
