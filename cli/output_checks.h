// What quarvel-render refuses before it reads anything: an output that would replace the model or
// another output of the same command, and frame names longer than a file name can be.
#pragma once

#include "options.h"

namespace quarvel {

// Prints why the command's outputs cannot be written as asked and returns true, or returns false
// when they can.
bool OutputsRefused(const RenderOptions& o);

}  // namespace quarvel
