#include "io/fast_decimal.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace kv::io {
namespace {

#ifdef __SIZEOF_INT128__
__extension__ typedef unsigned __int128 u128;
#endif

constexpr std::uint64_t kPow5[28] = {
    1ull,
    5ull,
    25ull,
    125ull,
    625ull,
    3125ull,
    15625ull,
    78125ull,
    390625ull,
    1953125ull,
    9765625ull,
    48828125ull,
    244140625ull,
    1220703125ull,
    6103515625ull,
    30517578125ull,
    152587890625ull,
    762939453125ull,
    3814697265625ull,
    19073486328125ull,
    95367431640625ull,
    476837158203125ull,
    2384185791015625ull,
    11920928955078125ull,
    59604644775390625ull,
    298023223876953125ull,
    1490116119384765625ull,
    7450580596923828125ull,
};


// The doubles nearest to 10^k for k from -kPow10Bias to kPow10Bias - 1.
constexpr int kPow10Bias = 32;
constexpr double kNearPow10[2 * kPow10Bias] = {
    1e-32, 1e-31, 1e-30, 1e-29, 1e-28, 1e-27, 1e-26, 1e-25, 1e-24, 1e-23, 1e-22, 1e-21, 1e-20,
    1e-19, 1e-18, 1e-17, 1e-16, 1e-15, 1e-14, 1e-13, 1e-12, 1e-11, 1e-10, 1e-9,  1e-8,  1e-7,
    1e-6,  1e-5,  1e-4,  1e-3,  1e-2,  1e-1,  1e0,   1e1,   1e2,   1e3,   1e4,   1e5,   1e6,
    1e7,   1e8,   1e9,   1e10,  1e11,  1e12,  1e13,  1e14,  1e15,  1e16,  1e17,  1e18,  1e19,
    1e20,  1e21,  1e22,  1e23,  1e24,  1e25,  1e26,  1e27,  1e28,  1e29,  1e30,  1e31,
};


#ifdef __SIZEOF_INT128__
// The binary value of a finite, normal double: |v| = m * 2^e with 2^52 <= m < 2^53.
struct Binary {
  std::uint64_t m;
  int e;
};

// False for zero, subnormals, infinities and NaN.
bool decompose(double v, Binary& b) {
  const auto bits = std::bit_cast<std::uint64_t>(v);
  const int be = static_cast<int>((bits >> 52) & 0x7FF);
  if (be == 0 || be == 0x7FF) return false;
  b.m = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
  b.e = be - 1075;
  return true;
}

// Where the discarded part of a scaled value stands against one half.
enum class Rest { None, Below, Half, Above };

Rest compare_half(u128 rem, u128 half) {
  if (rem == 0) return Rest::None;
  return rem < half ? Rest::Below : rem == half ? Rest::Half : Rest::Above;
}

// floor(m * 2^e * 10^p) and the rest, exactly. False when an operand would not fit.
inline bool scale(const Binary& b, int p, std::uint64_t& q, Rest& rest) {
  if (p >= 0) {
    if (p > 27) return false;
    const u128 n = static_cast<u128>(b.m) * kPow5[p];  // < 2^116
    const int s = b.e + p;                             // times 2^s
    if (s >= 0) {
      if (s > 10) return false;  // the results asked for are far below 2^64
      const u128 r = n << s;
      if (r >> 64) return false;
      q = static_cast<std::uint64_t>(r);
      rest = Rest::None;
      return true;
    }
    const int r = -s;
    if (r >= 127) return false;
    const u128 qq = n >> r;
    if (qq >> 64) return false;
    q = static_cast<std::uint64_t>(qq);
    const u128 one = static_cast<u128>(1) << r;
    rest = compare_half(n & (one - 1), one >> 1);
    return true;
  }
  if (-p > 19) return false;
  const u128 ten = kPow10[-p];
  if (b.e >= 0) {
    if (b.e > 74) return false;
    const u128 n = static_cast<u128>(b.m) << b.e;
    const u128 qq = n / ten;
    if (qq >> 64) return false;
    q = static_cast<std::uint64_t>(qq);
    const u128 rem = n % ten;
    rest = rem == 0 ? Rest::None : (rem * 2 < ten ? Rest::Below : rem * 2 == ten ? Rest::Half : Rest::Above);
    return true;
  }
  const u128 den = ten << -b.e;  // < 2^64 * 2^52
  const u128 n = b.m;
  q = static_cast<std::uint64_t>(n / den);
  const u128 rem = n % den;
  rest = rem == 0 ? Rest::None : (rem * 2 < den ? Rest::Below : rem * 2 == den ? Rest::Half : Rest::Above);
  return true;
}

std::uint64_t round_even(std::uint64_t q, Rest rest) {
  return q + ((rest == Rest::Above || (rest == Rest::Half && (q & 1))) ? 1 : 0);
}
#endif

}  // namespace

bool fixed_scaled(double v, int d, std::uint64_t& q) {
#ifdef __SIZEOF_INT128__
  if (d < 0 || d > 9) return false;
  Binary b;
  if (!decompose(v, b)) {
    if (v == 0.0) {
      q = 0;
      return true;
    }
    return false;
  }
  if (b.e + 52 >= 20) return false;  // |v| >= 2^20
  // |v| * 10^d = m * 5^d * 2^(e + d), and e + d < 0 here.
  const u128 n = static_cast<u128>(b.m) * kPow5[d];  // < 2^75
  const int r = -(b.e + d);
  if (r >= 76) {  // below one half: rounds to zero
    q = 0;
    return true;
  }
  const u128 one = static_cast<u128>(1) << r;
  q = round_even(static_cast<std::uint64_t>(n >> r), compare_half(n & (one - 1), one >> 1));
  return true;
#else
  (void)v, (void)d, (void)q;
  return false;
#endif
}

bool scientific_scaled(double v, int digits, std::uint64_t& q, int& k) {
#ifdef __SIZEOF_INT128__
  if (digits < 1 || digits > 9) return false;
  Binary b;
  if (!decompose(v, b)) return false;
  // The decimal exponent, first guessed from the binary one and the nearest doubles of
  // the powers of ten; the exact digit count of the scaled value below settles it.
  const int e2 = b.e + 52;        // 2^e2 <= |v| < 2^(e2 + 1)
  int k0 = (e2 * 78913) >> 18;    // floor(e2 * log10(2)): k is k0 or k0 + 1
  if (k0 >= -kPow10Bias && k0 + 1 < kPow10Bias && std::fabs(v) >= kNearPow10[k0 + 1 + kPow10Bias]) ++k0;
  const std::uint64_t top = kPow10[digits];
  const std::uint64_t bottom = kPow10[digits - 1];
  // The usual case, in a straight line: |v| * 10^p = m * 5^p / 2^r with the guess right.
  if (const int p = digits - 1 - k0; p >= 0 && p <= 27 && b.e + p < 0 && b.e + p > -127) {
    const u128 n = static_cast<u128>(b.m) * kPow5[p];
    const int r = -(b.e + p);
    const u128 qq = n >> r;
    const auto floor = static_cast<std::uint64_t>(qq);
    if ((qq >> 64) == 0 && floor >= bottom && floor < top) {
      const u128 rem = n & ((static_cast<u128>(1) << r) - 1);
      const u128 half = static_cast<u128>(1) << (r - 1);
      q = floor + ((rem > half || (rem == half && (floor & 1))) ? 1 : 0);
      k = k0;
      if (q == top) {  // the rounding carried into a new digit
        q = bottom;
        ++k;
      }
      return true;
    }
  }
  Rest rest;
  if (!scale(b, digits - 1 - k0, q, rest)) return false;
  if (q >= top) {
    ++k0;
    if (!scale(b, digits - 1 - k0, q, rest)) return false;
  } else if (q < bottom) {
    --k0;
    if (!scale(b, digits - 1 - k0, q, rest)) return false;
  }
  q = round_even(q, rest);
  if (q == top) {  // the rounding carried into a new digit
    q = bottom;
    ++k0;
  }
  k = k0;
  return true;
#else
  (void)v, (void)digits, (void)q, (void)k;
  return false;
#endif
}

void put_digits(char* out, std::uint64_t q, int n) {
  while (n >= 2) {
    n -= 2;
    std::memcpy(out + n, kDigitPairs + 2 * (q % 100), 2);
    q /= 100;
  }
  if (n == 1) out[0] = static_cast<char>('0' + q % 10);
}

}  // namespace kv::io
