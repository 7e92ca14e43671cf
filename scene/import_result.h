// What every model reader gives back.
#pragma once

#include <cstdint>

#include "base/error_text.h"

namespace quarvel {

// The outcome of a load: the number of faces added, or what went wrong.
struct ImportResult {
  bool ok = false;
  uint32_t faces = 0;
  ErrorText error;
};

}  // namespace quarvel
