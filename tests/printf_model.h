// The fields Iw, Fw.d and 1P Ew.d built independently of the program's writer: the digits
// come from the C library's printf ("%.*f", "%.*e"), which rounds the exact binary value
// to nearest with ties to even for any number of digits (glibc), and the field is laid
// out from them by the writer's rules. Shared by the rounding property test and the
// field fuzzer.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace kv::printf_model {

// Right-justified in w columns, or w asterisks when it needs more.
inline std::string right(const std::string& s, int w) {
  if (static_cast<int>(s.size()) > w) return std::string(static_cast<std::size_t>(w), '*');
  return std::string(static_cast<std::size_t>(w) - s.size(), ' ') + s;
}

// Infinity and NaN: one blank, "-" for a negative infinity, the word, blanks to the end.
inline std::string non_finite(double v, int w) {
  const std::string s = std::isnan(v) ? " NaN" : std::signbit(v) ? " -Infinity" : " Infinity";
  if (static_cast<int>(s.size()) > w) return std::string(static_cast<std::size_t>(w), '*');
  return s + std::string(static_cast<std::size_t>(w) - s.size(), ' ');
}

// printf of one value with a precision, whatever its length.
inline std::string printed(const char* format, int d, double v) {
  const int n = std::snprintf(nullptr, 0, format, d, v);
  if (n <= 0) return {};
  // Printed into the string itself, whose terminating zero takes the one printf writes.
  std::string s(static_cast<std::size_t>(n), '\0');
  std::snprintf(s.data(), s.size() + 1, format, d, v);
  return s;
}

inline std::string field_I(std::int32_t v, int w) { return right(std::to_string(v), w); }

inline std::string field_F(double v, int w, int d) {
  if (!std::isfinite(v)) return non_finite(v, w);
  // Sixteen digits before the point never fit such a field; spare printf the long expansion.
  if (std::fabs(v) >= 1e15 && w < 16) return std::string(static_cast<std::size_t>(w), '*');
  std::string s = printed("%.*f", d, v);
  if (d == 0) s += '.';
  // No "-" on a value whose rounded digits are all zero.
  if (s[0] == '-' && s.find_first_of("123456789") == std::string::npos) s.erase(0, 1);
  // The "0" before the point goes when the field has no room for it.
  if (static_cast<int>(s.size()) > w) {
    const std::size_t z = s[0] == '-' ? 1 : 0;
    if (s.compare(z, 2, "0.") == 0) s.erase(z, 1);
  }
  return right(s, w);
}

inline std::string field_E(double v, int w, int d) {
  if (!std::isfinite(v)) return non_finite(v, w);
  const std::string s = printed("%.*e", d, v == 0.0 ? 0.0 : v);  // zero has no sign
  const std::size_t e = s.find('e');
  std::string mant = s.substr(0, e);
  if (d == 0) mant += '.';
  const long x = std::strtol(s.c_str() + e + 1, nullptr, 10);
  char exp[48];
  if (x <= -100 || x >= 100)
    std::snprintf(exp, sizeof exp, "%c%03ld", x < 0 ? '-' : '+', x < 0 ? -x : x);
  else
    std::snprintf(exp, sizeof exp, "E%c%02ld", x < 0 ? '-' : '+', x < 0 ? -x : x);
  return right(mant + exp, w);
}

}  // namespace kv::printf_model
