#include "io/edit_descriptors.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace kv::io {
namespace {

void stars(char* out, int w) { std::memset(out, '*', static_cast<std::size_t>(w)); }

// Right-justifies len characters of text in a field of w columns.
bool place(char* out, int w, const char* text, int len) {
  if (len > w) {
    stars(out, w);
    return false;
  }
  std::memset(out, ' ', static_cast<std::size_t>(w - len));
  std::memcpy(out + (w - len), text, static_cast<std::size_t>(len));
  return true;
}

// Infinity and NaN: one blank, "-" for a negative infinity, the word, blanks to the
// field's end. Never a sign on NaN.
bool non_finite(char* out, double value, int w) {
  const char* word = std::isnan(value) ? " NaN" : std::signbit(value) ? " -Infinity" : " Infinity";
  const auto len = static_cast<int>(std::strlen(word));
  if (len > w) {
    stars(out, w);
    return false;
  }
  std::memcpy(out, word, static_cast<std::size_t>(len));
  std::memset(out + len, ' ', static_cast<std::size_t>(w - len));
  return true;
}

}  // namespace

bool edit_I(char* out, std::int32_t value, int w) {
  char buf[16];
  const auto r = std::to_chars(buf, buf + sizeof buf, value);
  return place(out, w, buf, static_cast<int>(r.ptr - buf));
}

bool edit_F(char* out, double value, int w, int d) {
  if (!std::isfinite(value)) return non_finite(out, value, w);
  // A magnitude of 10^w or more can never fit; this also bounds the digits below.
  if (std::fabs(value) >= 1e18 || d > 40) {
    stars(out, w);
    return false;
  }
  char buf[80];
  const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, d);
  char* end = r.ptr;
  if (d == 0) *end++ = '.';
  char* p = buf;
  if (*p == '-') {
    bool all_zero = true;
    for (const char* q = p + 1; q < end; ++q)
      if (*q >= '1' && *q <= '9') {
        all_zero = false;
        break;
      }
    if (all_zero) ++p;  // no "-" on a value whose rounded digits are all zero
  }
  auto len = static_cast<int>(end - p);
  if (len > w) {
    // Drop the optional "0" before the point.
    char* zero = (*p == '-') ? p + 1 : p;
    if (zero[0] == '0' && zero[1] == '.') {
      std::memmove(zero, zero + 1, static_cast<std::size_t>(end - zero - 1));
      --len;
    }
  }
  return place(out, w, p, len);
}

bool edit_E(char* out, double value, int w, int d) {
  if (!std::isfinite(value)) return non_finite(out, value, w);
  if (d > 40) {
    stars(out, w);
    return false;
  }
  char buf[80];
  if (value == 0.0) value = 0.0;  // negative zero has no sign
  const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, d);
  // buf: [-]D[.DDD]e(+|-)XX[X]
  char* e = static_cast<char*>(std::memchr(buf, 'e', static_cast<std::size_t>(r.ptr - buf)));
  char field[96];
  int n = 0;
  const auto mant = static_cast<int>(e - buf);
  std::memcpy(field, buf, static_cast<std::size_t>(mant));
  n = mant;
  if (d == 0) field[n++] = '.';
  const char sign = e[1];
  const char* digits = e + 2;
  const auto ndig = static_cast<int>(r.ptr - digits);
  if (ndig <= 2) {
    field[n++] = 'E';
    field[n++] = sign;
    std::memcpy(field + n, digits, 2);
    n += 2;
  } else {
    field[n++] = sign;
    std::memcpy(field + n, digits, 3);
    n += 3;
  }
  return place(out, w, field, n);
}

}  // namespace kv::io
