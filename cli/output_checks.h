// What quarvel-render refuses before it reads anything: an output that would replace the model or
// another output of the same command, and frame names longer than a file name can be; and what
// it warns of: an output named for another format.
#pragma once

#include "options.h"

namespace quarvel {

// Prints why the command's outputs cannot be written as asked and returns true, or returns false
// when they can.
bool OutputsRefused(const RenderOptions& o);

// Warns, in one line, of an output whose name does not end in the extension of what is written
// into it when its format was not given (-o k.jpg writes a BMP file).
void WarnOfMisnamedOutput(const RenderOptions& o);

}  // namespace quarvel
