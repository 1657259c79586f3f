// Doubles that exercise decimal rounding: random bit patterns, random values across the
// usual magnitudes, exact ties for fixed and for scientific rounding, values next to
// powers of ten and one unit in the last place around ties. Deterministic from the
// index, so a failure can be replayed.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace kv::decimal_cases {

inline std::uint64_t mix(std::uint64_t z) {
  z += 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

inline std::uint64_t pow10u(int n) {
  std::uint64_t p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

// Case i for fields with d digits after the point (fixed) or `digits` significant
// digits (scientific). Always finite.
inline double value(std::uint64_t i, int d, int digits) {
  const std::uint64_t r = mix(i * 0x100000001B3ull + 12345);
  const std::uint64_t r2 = mix(r);
  double v = 0.0;
  switch (i % 8) {
    case 0: {  // any finite bit pattern
      v = std::bit_cast<double>(r);
      if (!std::isfinite(v)) v = std::bit_cast<double>(r & 0xBFFFFFFFFFFFFFFFull);
      break;
    }
    case 1: {  // random mantissa, binary exponent between -90 and 90
      const int e = static_cast<int>(r2 % 181) - 90;
      v = std::ldexp(static_cast<double>(r >> 11) * 0x1p-53 + 0.5, e);
      break;
    }
    case 2: {  // exact tie of fixed rounding to d places: odd / 2^(d+1)
      const std::uint64_t c = (r >> (12 + r2 % 40)) | 1u;
      v = std::ldexp(static_cast<double>(c), -(d + 1));
      break;
    }
    case 3: {  // exact tie of scientific rounding: c / 2^j with c * 5^j of digits+1 digits
      const int j = static_cast<int>(r2 % 24);
      std::uint64_t p5 = 1;
      for (int n = 0; n < j; ++n) p5 *= 5;
      const std::uint64_t lo = pow10u(digits) / p5 + 1;
      const std::uint64_t hi = pow10u(digits + 1) / p5;
      if (hi <= lo) {
        v = 0.5;
        break;
      }
      const std::uint64_t c = (lo + r % (hi - lo)) | 1u;
      v = std::ldexp(static_cast<double>(c), -j);
      break;
    }
    case 4: {  // integer ties: digits + 1 significant digits ending in 5, times 10^s
      const std::uint64_t a = pow10u(digits - 1) + r % (9 * pow10u(digits - 1));
      double t = static_cast<double>(a * 10 + 5);
      for (int s = static_cast<int>(r2 % 6); s > 0; --s) t *= 10.0;
      v = t;
      break;
    }
    case 5: {  // next to a power of ten, and the values that carry into it
      const int k = static_cast<int>(r2 % 50) - 25;
      const double p = std::pow(10.0, k);
      const double carry = p * (1.0 - 0.5 * std::pow(10.0, -digits));
      const double base = (r & 1) ? p : carry;
      v = base;
      for (int n = static_cast<int>(r >> 60) - 8; n != 0; n += n > 0 ? -1 : 1)
        v = std::nextafter(v, n > 0 ? std::numeric_limits<double>::infinity() : 0.0);
      break;
    }
    case 6: {  // one or two units in the last place around a tie
      const std::uint64_t c = (r >> (12 + r2 % 40)) | 1u;
      v = std::ldexp(static_cast<double>(c), -(d + 1));
      const int steps = static_cast<int>(r2 >> 61) - 4;
      for (int n = steps; n != 0; n += n > 0 ? -1 : 1)
        v = std::nextafter(v, n > 0 ? std::numeric_limits<double>::infinity() : 0.0);
      break;
    }
    default: {  // decimal data as a load cell writes it: a few digits after the point
      const int places = static_cast<int>(r2 % 9);
      const double n = static_cast<double>(static_cast<std::int64_t>(r >> 34) - (1ll << 29));
      v = n / std::pow(10.0, places);
      break;
    }
  }
  return (r2 >> 63) ? -v : v;
}

}  // namespace kv::decimal_cases
