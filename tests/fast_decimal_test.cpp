// The integer-arithmetic decimal rounding gives exactly the digits of std::to_chars with
// a precision (round to nearest on the exact binary value, ties to even).
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "decimal_cases.h"
#include "io/fast_decimal.h"

namespace {

std::string digits_of(std::uint64_t q, int n) {
  std::string s(static_cast<std::size_t>(n), '?');
  kv::io::put_digits(s.data(), q, n);
  return s;
}

// to_chars(fixed, d) of |v| without the point, leading zeros dropped, "0" for zero.
std::string fixed_reference(double v, int d) {
  char buf[400];
  const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::fixed, d);
  std::string s;
  for (const char* p = buf; p < r.ptr; ++p)
    if (*p != '.') s += *p;
  const auto nz = s.find_first_not_of('0');
  return nz == std::string::npos ? "0" : s.substr(nz);
}

// to_chars(scientific, digits - 1) of |v|: the digits and the decimal exponent.
void scientific_reference(double v, int digits, std::string& mant, int& k) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::scientific, digits - 1);
  const std::string s(buf, r.ptr);
  const auto e = s.find('e');
  mant.clear();
  for (std::size_t i = 0; i < e; ++i)
    if (s[i] != '.') mant += s[i];
  k = std::stoi(s.substr(e + 1));
}

void check_fixed(double v, int d) {
  std::uint64_t q = 0;
  if (!kv::io::fixed_scaled(v, d, q)) {
    EXPECT_FALSE(std::fabs(v) < 0x1p20 && std::fabs(v) >= 0x1p-1022) << "refused " << v;
    return;
  }
  const std::string got = std::to_string(q);
  ASSERT_EQ(got, fixed_reference(v, d)) << std::hexfloat << v << " d=" << d;
}

void check_scientific(double v, int digits) {
  std::uint64_t q = 0;
  int k = 0;
  if (!kv::io::scientific_scaled(v, digits, q, k)) {
    EXPECT_FALSE(std::fabs(v) >= 1e-18 && std::fabs(v) < 1e19) << "refused " << v;
    return;
  }
  std::string mant;
  int ref_k = 0;
  scientific_reference(v, digits, mant, ref_k);
  ASSERT_EQ(digits_of(q, digits), mant) << std::hexfloat << v << " digits=" << digits;
  ASSERT_EQ(k, ref_k) << std::hexfloat << v << " digits=" << digits;
}

TEST(FastDecimal, WorkedValues) {
  struct Case {
    double v;
    int digits;
    std::uint64_t q;
    int k;
  };
  // The ties of the record writer's examples go to the even digit; 9.99999995 carries.
  const Case cases[] = {
      {12345665.0, 7, 1234566, 7}, {12345675.0, 7, 1234568, 7}, {0.125, 7, 1250000, -1},
      {9.99999995, 7, 1000000, 1}, {123.45678, 7, 1234568, 2},  {0.0012345678, 8, 12345678, -3},
      {1.0, 1, 1, 0},              {9.5, 1, 1, 1},              {8.5, 1, 8, 0},
  };
  for (const Case& c : cases) {
    std::uint64_t q = 0;
    int k = 0;
    ASSERT_TRUE(kv::io::scientific_scaled(c.v, c.digits, q, k)) << c.v;
    EXPECT_EQ(q, c.q) << c.v;
    EXPECT_EQ(k, c.k) << c.v;
  }
  struct Fixed {
    double v;
    int d;
    std::uint64_t q;
  };
  const Fixed fixed[] = {{-0.00000004, 7, 0}, {-0.00000006, 7, 1}, {999.99999996, 7, 10000000000},
                         {0.5, 0, 0},         {1.5, 0, 2},         {2.5, 0, 2},
                         {0.00000005, 7, 0},  {0.15, 1, 1},        {0.0, 7, 0}};
  for (const Fixed& c : fixed) {
    std::uint64_t q = 99;
    ASSERT_TRUE(kv::io::fixed_scaled(c.v, c.d, q)) << c.v;
    EXPECT_EQ(q, c.q) << c.v << " d=" << c.d;
  }
}

TEST(FastDecimal, RefusesWhatItCannotScaleExactly) {
  std::uint64_t q = 0;
  int k = 0;
  EXPECT_FALSE(kv::io::fixed_scaled(1048576.0, 7, q));  // 2^20
  EXPECT_FALSE(kv::io::fixed_scaled(1.0, 10, q));
  EXPECT_FALSE(kv::io::fixed_scaled(std::nan(""), 7, q));
  EXPECT_FALSE(kv::io::scientific_scaled(0.0, 7, q, k));
  EXPECT_FALSE(kv::io::scientific_scaled(1e100, 7, q, k));
  EXPECT_FALSE(kv::io::scientific_scaled(5e-324, 7, q, k));
  EXPECT_FALSE(kv::io::scientific_scaled(1.0, 10, q, k));
}

// A modest sweep here; bench/check_decimal runs the same cases by the hundred million.
TEST(FastDecimal, AgreesWithToCharsOnGeneratedCases) {
  for (std::uint64_t i = 0; i < 200000; ++i) {
    for (const int d : {0, 6, 7, 9}) check_fixed(kv::decimal_cases::value(i, d, 8), d);
    for (const int digits : {1, 7, 8, 9}) check_scientific(kv::decimal_cases::value(i, 7, digits), digits);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

}  // namespace
