// What every model reader gives back.
#pragma once

#include <cstdint>
#include <string>

#include "base/error_text.h"

namespace quarvel {

// The outcome of a load: the number of faces added, or what went wrong.
struct ImportResult {
  bool ok = false;
  uint32_t faces = 0;
  ErrorText error;
  // What a model that loaded holds that draws nothing, or why it holds no triangles at all (such
  // as "only lines and points"), in a few words; empty when every part of it draws.
  std::string warning;
};

}  // namespace quarvel
