// The glTF extensions a file may require: those the reader implements, and those that only change
// how a model looks, which a depth mask never shows.
#pragma once

#include <string>

#include <tiny_gltf.h>

namespace quarvel {

// Why the file cannot be read because of an extension in its extensionsRequired (the first the
// reader neither implements nor may leave aside, or an element that names none), empty when there
// is none.
std::string UnreadRequiredExtension(const tinygltf::Model& model);

}  // namespace quarvel
