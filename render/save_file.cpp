#include "save_file.h"

#include "base/file_io.h"

namespace quarvel {

ErrorText SaveFileBytes(const OutFolder& folder, const std::string& path,
                        std::initializer_list<std::span<const uint8_t>> parts) {
  const ReplaceStatus s = ReplaceFile(folder, path, parts);
  switch (s.result) {
    case ReplaceResult::Ok:
      return {};
    case ReplaceResult::CannotCreate:
      return {ErrorKind::File, "Cannot create file %s", path, SaveErrorReason(folder, s.error)};
    case ReplaceResult::WriteFailed:
      break;
  }
  return {ErrorKind::File, "Stream write error", path, SaveErrorReason(folder, s.error)};
}

ErrorText SaveFileText(const OutFolder& folder, const std::string& path, std::string_view text) {
  return SaveFileBytes(folder, path,
                       {{reinterpret_cast<const uint8_t*>(text.data()), text.size()}});
}

}  // namespace quarvel
