// Text from outside (a model's path, a message) made safe to print on a terminal and to keep in a
// row of a tab-separated file, without losing what it said.
#pragma once

#include <string>
#include <string_view>

namespace quarvel {

// The text with tab, line feed, carriage return and backslash written as \t, \n, \r and \\, and
// every other byte that is not part of a printable UTF-8 character (control bytes, C1 controls,
// bytes of no valid sequence) as \x and two lower-case hex digits, so that no control byte
// reaches a terminal, a row stays one row, and the original bytes can be read back.
std::string PrintableText(std::string_view text);

}  // namespace quarvel
