#include "io/edit_descriptors.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "io/fast_decimal.h"

namespace kv::io {
namespace {

// The widest digit strings that reach the renderers: F of a magnitude below 10^18 with
// up to 40 fraction digits, and E with up to 41 significant digits.
constexpr int kMaxDigits = 64;
constexpr int kMaxFractionDigits = 40;

void stars(char* out, int w) { std::memset(out, '*', static_cast<std::size_t>(w)); }

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

// Fw.d of a value rounded to d fraction digits, given as the n >= d + 1 digits of its
// magnitude (the integer part, at least one digit, then the d fraction digits).
// - "-" only when the value is negative and its rounded digits are not all zero;
// - the one "0" of a zero integer part is left out when the field has no room for it;
// - right-justified in w columns, or w asterisks when it needs more.
inline bool render_F(char* out, int w, int d, bool negative, const char* digits, int n) {
  const int whole = n - d;
  bool minus = false;
  if (negative)
    for (int i = 0; i < n; ++i)
      if (digits[i] != '0') {
        minus = true;
        break;
      }
  int skip = 0;  // leading digits left out
  int len = (minus ? 1 : 0) + whole + 1 + d;
  if (len > w && whole == 1 && digits[0] == '0') {
    skip = 1;
    --len;
  }
  if (len > w) {
    stars(out, w);
    return false;
  }
  char* p = out + (w - len);
  std::memset(out, ' ', static_cast<std::size_t>(w - len));
  if (minus) *p++ = '-';
  std::memcpy(p, digits + skip, static_cast<std::size_t>(whole - skip));
  p += whole - skip;
  *p++ = '.';
  std::memcpy(p, digits + whole, static_cast<std::size_t>(d));
  return true;
}

// 1P Ew.d of a value rounded to d + 1 significant digits with the decimal exponent k of
// its first digit: "-" for a negative value, the first digit, ".", the d others, then
// E and the signed exponent in two digits, or the signed exponent alone in three when
// it needs them. Zero is all zero digits with the exponent +00, and no sign.
inline bool render_E(char* out, int w, int d, bool negative, const char* digits, int k) {
  const int magnitude = k < 0 ? -k : k;  // at most 324 for a double
  constexpr int kExponentLen = 4;         // E+XX, or +XXX
  const int len = (negative ? 1 : 0) + 2 + d + kExponentLen;
  if (len > w) {
    stars(out, w);
    return false;
  }
  char* p = out + (w - len);
  std::memset(out, ' ', static_cast<std::size_t>(w - len));
  if (negative) *p++ = '-';
  *p++ = digits[0];
  *p++ = '.';
  std::memcpy(p, digits + 1, static_cast<std::size_t>(d));
  p += d;
  const char sign = k < 0 ? '-' : '+';
  if (magnitude < 100) {
    *p++ = 'E';
    *p++ = sign;
    std::memcpy(p, kDigitPairs + 2 * magnitude, 2);
  } else {
    *p++ = sign;
    put_digits(p, static_cast<std::uint64_t>(magnitude), 3);
  }
  return true;
}

// The number of decimal digits of q (1 for 0).
inline int digit_count(std::uint64_t q) {
  int n = 1;
  while (n < 20 && q >= kPow10[n]) ++n;
  return n;
}

}  // namespace

bool edit_I(char* out, std::int32_t value, int w) {
  char buf[16];
  const auto r = std::to_chars(buf, buf + sizeof buf, value);
  const auto len = static_cast<int>(r.ptr - buf);
  if (len > w) {
    stars(out, w);
    return false;
  }
  std::memset(out, ' ', static_cast<std::size_t>(w - len));
  std::memcpy(out + (w - len), buf, static_cast<std::size_t>(len));
  return true;
}

bool edit_F(char* out, double value, int w, int d) { return edit_F(out, value, w, d, DigitSource::Integer); }
bool edit_E(char* out, double value, int w, int d) { return edit_E(out, value, w, d, DigitSource::Integer); }

bool edit_F(char* out, double value, int w, int d, DigitSource source) {
  if (!std::isfinite(value)) return non_finite(out, value, w);
  const bool negative = std::signbit(value);
  char digits[kMaxDigits];
  if (std::uint64_t q = 0; source == DigitSource::Integer && fixed_scaled(value, d, q)) {
    // Exact integer arithmetic: q = |value| * 10^d rounded; at least one integer digit.
    const int count = digit_count(q);
    const int n = count > d ? count : d + 1;
    put_digits(digits, q, n);
    // F12.7 is the time of every record of the curve table and of every echo line: with
    // the width and the digits as constants the compiler lays the field out without
    // loops. The general call below writes the same bytes, only slower.
    if (w == 12 && d == 7) return render_F(out, 12, 7, negative, digits, n);
    return render_F(out, w, d, negative, digits, n);
  }
  // A magnitude of 10^18 or more never fits the program's fields; this also bounds the
  // digits that to_chars gives.
  if (std::fabs(value) >= 1e18 || d > kMaxFractionDigits) {
    stars(out, w);
    return false;
  }
  char buf[kMaxDigits + 8];
  const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::fixed, d);
  int n = 0;
  for (const char* p = buf; p < r.ptr; ++p)
    if (*p != '.') digits[n++] = *p;
  return render_F(out, w, d, negative, digits, n);
}

bool edit_E(char* out, double value, int w, int d, DigitSource source) {
  if (!std::isfinite(value)) return non_finite(out, value, w);
  if (d > kMaxFractionDigits) {
    stars(out, w);
    return false;
  }
  const bool negative = value < 0.0;  // negative zero has no sign
  char digits[kMaxDigits];
  std::uint64_t q = 0;
  int k = 0;
  if (value == 0.0) {
    std::memset(digits, '0', static_cast<std::size_t>(d + 1));
  } else if (source == DigitSource::Integer && scientific_scaled(value, d + 1, q, k)) {
    // Exact integer arithmetic: the d + 1 significant digits and the exponent.
    put_digits(digits, q, d + 1);
    // E15.6 and E15.7 are the thrusts, impulses and masses of every curve table record
    // and echo line: as for F12.7 above, constants make them the fast path, and the
    // general call below writes the same bytes.
    if (w == 15 && d == 6) return render_E(out, 15, 6, negative, digits, k);
    if (w == 15 && d == 7) return render_E(out, 15, 7, negative, digits, k);
  } else {
    char buf[kMaxDigits + 16];
    const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, d);
    // buf: D[.DDD]e(+|-)XX[X]
    const char* e = static_cast<const char*>(std::memchr(buf, 'e', static_cast<std::size_t>(r.ptr - buf)));
    int n = 0;
    for (const char* p = buf; p < e; ++p)
      if (*p != '.') digits[n++] = *p;
    std::from_chars(e[1] == '+' ? e + 2 : e + 1, r.ptr, k);
  }
  return render_E(out, w, d, negative, digits, k);
}

}  // namespace kv::io
