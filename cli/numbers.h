// Numbers of the command line, each read whole: a value with anything before or after the
// number is refused.
#pragma once

#include <string>

namespace quarvel {

// The range of the 32-bit floats the renderers store, as the options give it: values of the
// camera and the view, and every one derived from them, must stay within it.
constexpr double kFloatMax = 3.4e38;   // the largest size
constexpr double kFloatMin = 1.2e-38;  // the smallest size above 0 held to full precision

// A whole number. One beyond an int's range reads as the largest int of its sign, so that the
// range checks that follow refuse it with their own message rather than a parse error.
bool ParseInt(const std::string& s, int& out);
// A whole number from lo to hi.
bool ParseIntIn(const std::string& s, int lo, int hi, int& out);
// A finite number from -kFloatMax to kFloatMax, rounded to float.
bool ParseFloat(const std::string& s, float& out);
// A finite number, kept in double.
bool ParseDouble(const std::string& s, double& out);

}  // namespace quarvel
