// The colours the 3D view starts with, before the options dialog changes them: the scene's and
// the stored settings' defaults. Colours are 0x00BBGGRR: red in the lowest byte; the top byte
// is ignored.
#pragma once

#include <cstdint>

namespace quarvel {

constexpr uint32_t kDefaultObjColor = 0x00FFFF99;
constexpr uint32_t kDefaultLightColor = 0x00404040;

}  // namespace quarvel
