#include "io/edit_descriptors.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "io/fast_decimal.h"

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

// F editing from the rounded value q = |value| * 10^d: built from the right.
bool fixed_from_scaled(char* out, bool negative, std::uint64_t q, int w, int d) {
  char buf[48];
  char* const end = buf + sizeof buf;
  char* p = end - d;
  const std::uint64_t scale = [d] {
    std::uint64_t s = 1;
    for (int i = 0; i < d; ++i) s *= 10;
    return s;
  }();
  put_digits(p, q % scale, d);
  *--p = '.';
  std::uint64_t whole = q / scale;
  const bool zero_whole = whole == 0;
  do {
    *--p = static_cast<char>('0' + whole % 10);
    whole /= 10;
  } while (whole != 0);
  if (negative && q != 0) *--p = '-';  // no "-" on a value whose rounded digits are all zero
  auto len = static_cast<int>(end - p);
  if (len > w && zero_whole) {
    // Drop the optional "0" before the point.
    if (*p == '-') {
      p[1] = '-';
      ++p;
    } else {
      ++p;
    }
    --len;
  }
  return place(out, w, p, len);
}

// 1P E editing from q, the d + 1 significant digits, and the decimal exponent k.
bool scientific_from_scaled(char* out, bool negative, std::uint64_t q, int k, int w, int d) {
  char field[24];
  char* p = field;
  if (negative) *p++ = '-';
  char digits[12];
  put_digits(digits, q, d + 1);
  *p++ = digits[0];
  *p++ = '.';
  std::memcpy(p, digits + 1, static_cast<std::size_t>(d));
  p += d;
  const char sign = k < 0 ? '-' : '+';
  const auto a = static_cast<std::uint64_t>(k < 0 ? -k : k);
  if (a < 100) {
    *p++ = 'E';
    *p++ = sign;
    put_digits(p, a, 2);
    p += 2;
  } else {
    *p++ = sign;
    put_digits(p, a, 3);
    p += 3;
  }
  return place(out, w, field, static_cast<int>(p - field));
}

// The shapes written once or more per point (F12.7, 1P E15.6 and E15.7) again, with every
// size known at compile time. D + 1 digits fit the 32-bit digit writer.
template <int W, int D>
bool fixed_field(char* out, bool negative, std::uint64_t q) {
  static_assert(D >= 1 && D <= 8 && W > D + 1);
  constexpr std::uint64_t kScale = [] {
    std::uint64_t s = 1;
    for (int i = 0; i < D; ++i) s *= 10;
    return s;
  }();
  std::uint64_t whole = q / kScale;
  char* const point = out + (W - D - 1);
  put_digits<D>(point + 1, q % kScale);
  *point = '.';
  const bool minus = negative && q != 0;  // no "-" on a value whose rounded digits are all zero
  int digits = 1;
  for (std::uint64_t x = whole; x >= 10; x /= 10) ++digits;
  constexpr int kRoom = W - D - 1;
  if (digits + (minus ? 1 : 0) > kRoom) {
    if (whole != 0 || !minus || kRoom != 1) {  // only the "0" before the point may be left out
      stars(out, W);
      return false;
    }
    out[0] = '-';
    return true;
  }
  char* p = point;
  do {
    *--p = static_cast<char>('0' + whole % 10);
    whole /= 10;
  } while (whole != 0);
  if (minus) *--p = '-';
  std::memset(out, ' ', static_cast<std::size_t>(p - out));
  return true;
}

template <int W, int D>
bool scientific_field(char* out, bool negative, std::uint64_t q, int k) {
  static_assert(D >= 1 && D <= 7 && W >= D + 7);
  constexpr int kLead = W - D - 7;  // blanks before the sign's column
  std::memset(out, ' ', kLead);
  out[kLead] = negative ? '-' : ' ';
  char digits[8];
  put_digits<D + 1>(digits, q);
  out[kLead + 1] = digits[0];
  out[kLead + 2] = '.';
  std::memcpy(out + kLead + 3, digits + 1, D);
  char* x = out + W - 4;
  const char sign = k < 0 ? '-' : '+';
  const auto a = static_cast<std::uint32_t>(k < 0 ? -k : k);
  if (a < 100) {
    x[0] = 'E';
    x[1] = sign;
    std::memcpy(x + 2, kDigitPairs + 2 * a, 2);
  } else {
    x[0] = sign;
    x[1] = static_cast<char>('0' + a / 100);
    std::memcpy(x + 2, kDigitPairs + 2 * (a % 100), 2);
  }
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
  if (std::uint64_t scaled = 0; fixed_scaled(value, d, scaled)) {
    if (w == 12 && d == 7) return fixed_field<12, 7>(out, std::signbit(value), scaled);
    return fixed_from_scaled(out, std::signbit(value), scaled, w, d);
  }
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
  std::uint64_t q = 0;
  int k = 0;
  // Zero takes the short path only for as many digits as the others (at most nine).
  if ((value == 0.0 && d + 1 <= 9) || scientific_scaled(value, d + 1, q, k)) {
    if (w == 15 && d == 6) return scientific_field<15, 6>(out, value < 0.0, q, k);
    if (w == 15 && d == 7) return scientific_field<15, 7>(out, value < 0.0, q, k);
    return scientific_from_scaled(out, value < 0.0, q, k, w, d);
  }
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
