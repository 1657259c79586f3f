// Exact decimal rounding of doubles with integer arithmetic, for the ranges where the
// scaled value fits a 128-bit integer. Every result is the exact binary value rounded to
// nearest, ties to the even digit: the same digits that std::to_chars gives with a
// precision. Outside those ranges the functions return false and the caller uses
// std::to_chars.
#pragma once

#include <cstdint>

namespace kv::io {

// 10^k for k from 0 to 19.
inline constexpr std::uint64_t kPow10[20] = {
    1ull,
    10ull,
    100ull,
    1000ull,
    10000ull,
    100000ull,
    1000000ull,
    10000000ull,
    100000000ull,
    1000000000ull,
    10000000000ull,
    100000000000ull,
    1000000000000ull,
    10000000000000ull,
    100000000000000ull,
    1000000000000000ull,
    10000000000000000ull,
    100000000000000000ull,
    1000000000000000000ull,
    10000000000000000000ull,
};

// q = |v| * 10^d rounded to an integer, for finite v with |v| < 2^20 and 0 <= d <= 9.
bool fixed_scaled(double v, int d, std::uint64_t& q);

// |v| rounded to `digits` significant digits (1 <= digits <= 9), for finite non-zero v
// roughly between 1e-20 and 1e25: 10^(digits-1) <= q < 10^digits and
// |v| ~ q * 10^(k - digits + 1), k being the decimal exponent of the first digit after
// rounding.
bool scientific_scaled(double v, int digits, std::uint64_t& q, int& k);

// Writes the n lowest decimal digits of q, with leading zeros, at out[0..n).
void put_digits(char* out, std::uint64_t q, int n);

inline constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

}  // namespace kv::io
