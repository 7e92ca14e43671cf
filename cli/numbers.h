// Numbers of the command line, each read whole: a value with anything before or after the
// number is refused.
#pragma once

#include <string>

namespace quarvel {

// A whole number. One beyond an int's range reads as the largest int of its sign, so that the
// range checks that follow refuse it with their own message rather than a parse error.
bool ParseInt(const std::string& s, int& out);
// A whole number from lo to hi.
bool ParseIntIn(const std::string& s, int lo, int hi, int& out);
// A finite number within a float's range, rounded to float.
bool ParseFloat(const std::string& s, float& out);
// A finite number, kept in double.
bool ParseDouble(const std::string& s, double& out);

}  // namespace quarvel
