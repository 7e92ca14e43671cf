// Pieces of JSON text: strings escaped, numbers written so that floats read back the same.
#pragma once

#include <string>
#include <string_view>

namespace quarvel {

// A JSON string literal, quotes included: quotes, backslashes and control characters escaped,
// UTF-8 kept, and each byte that is not part of valid UTF-8 (a file name may hold any byte)
// given as U+FFFD.
std::string JsonString(std::string_view text);

// A number with nine significant digits (%.9g: every float reads back as itself), or 17 for a
// double to read back as itself. Throws std::range_error for an infinity or NaN, which JSON has
// no numbers for: a file must not hold null where a number belongs.
std::string JsonNumber(double value, int digits = 9);

}  // namespace quarvel
