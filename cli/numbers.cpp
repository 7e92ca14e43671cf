#include "numbers.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace quarvel {

bool ParseInt(const std::string& s, int& out) {
  const char* end = s.data() + s.size();
  auto [p, ec] = std::from_chars(s.data(), end, out);
  if (ec == std::errc::result_out_of_range) out = s[0] == '-' ? -INT_MAX : INT_MAX;
  return (ec == std::errc() || ec == std::errc::result_out_of_range) && p == end && !s.empty();
}

bool ParseIntIn(const std::string& s, int lo, int hi, int& out) {
  return ParseInt(s, out) && out >= lo && out <= hi;
}

bool ParseDouble(const std::string& s, double& out) {
  if (s.empty()) return false;
  char* end = nullptr;
  const double v = std::strtod(s.c_str(), &end);
  if (end != s.c_str() + s.size() || !std::isfinite(v)) return false;
  out = v;
  return true;
}

bool ParseFloat(const std::string& s, float& out) {
  double v = 0;
  if (!ParseDouble(s, v) || std::fabs(v) > kFloatMax) return false;
  out = static_cast<float>(v);
  return true;
}

}  // namespace quarvel
