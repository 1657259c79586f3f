// F12.7, 1P E15.6 and 1P E15.7 against an independent exact reference: the fields built
// from glibc printf's digits (printf_model.h).
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "io/edit_descriptors.h"
#include "printf_model.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr long kDefaultCount = 30000;
#else
constexpr long kDefaultCount = 300000;
#endif

// How many random values each format is checked on; KV_IO_PROPERTY_COUNT overrides.
long sample_count() {
  if (const char* env = std::getenv("KV_IO_PROPERTY_COUNT")) {
    const long n = std::strtol(env, nullptr, 10);
    if (n > 0) return n;
  }
  return kDefaultCount;
}

using kv::printf_model::field_E;
using kv::printf_model::field_F;

// Checks one value in the three formats; returns the number of mismatches.
int check(double v) {
  int bad = 0;
  char got[16];
  auto compare = [&](const char* what, const std::string& want, int w) {
    const std::string have(got, static_cast<std::size_t>(w));
    if (have != want) {
      if (++bad <= 1) ADD_FAILURE() << what << " of " << std::hexfloat << v << std::defaultfloat << " (" << v
                                    << "): got [" << have << "] want [" << want << "]";
    }
  };
  kv::io::edit_F(got, v, 12, 7);
  compare("F12.7", field_F(v, 12, 7), 12);
  kv::io::edit_E(got, v, 15, 6);
  compare("1P,E15.6", field_E(v, 15, 6), 15);
  kv::io::edit_E(got, v, 15, 7);
  compare("1P,E15.7", field_E(v, 15, 7), 15);
  return bad;
}

class RoundingProperty : public ::testing::Test {
 protected:
  std::mt19937_64 rng{20260512};
  int failures = 0;
  void run(double v) {
    failures += check(v);
    failures += check(-v);
  }
  void TearDown() override { EXPECT_EQ(failures, 0); }
};

TEST_F(RoundingProperty, RandomBitPatternsOfEveryMagnitude) {
  const long n = sample_count();
  for (long i = 0; i < n && failures < 20; ++i) {
    const std::uint64_t bits = rng();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    run(v);
  }
}

TEST_F(RoundingProperty, RandomValuesAroundTheFixedFieldsRange) {
  const long n = sample_count();
  std::uniform_real_distribution<double> exponent(-12.0, 6.0);
  std::uniform_real_distribution<double> mantissa(1.0, 10.0);
  for (long i = 0; i < n && failures < 20; ++i) run(mantissa(rng) * std::pow(10.0, std::floor(exponent(rng))));
}

TEST_F(RoundingProperty, ExactTies) {
  // Every odd multiple of 1/256 is a tie at the 7th decimal.
  std::uniform_int_distribution<std::int64_t> odd(0, 1280000);
  for (int i = 0; i < 20000; ++i) run(static_cast<double>(2 * odd(rng) + 1) / 256.0);
  // Ties at 7 and 8 significant digits: N*10^e with N ending in 5 (N of 8 or 9 digits),
  // exactly representable as integers, and N/10^k = q/2^k when 5^k divides N.
  std::uniform_int_distribution<std::int64_t> m7(1000000, 9999999);
  std::uniform_int_distribution<std::int64_t> m8(10000000, 99999999);
  std::uniform_int_distribution<int> e(0, 7);
  for (int i = 0; i < 20000; ++i) {
    const double p = std::pow(10.0, e(rng));
    run(static_cast<double>(m7(rng) * 10 + 5) * p);
    run(static_cast<double>(m8(rng) * 10 + 5) * p);
  }
  for (int digits = 8; digits <= 9; ++digits) {
    const std::int64_t lo = digits == 8 ? 10000000 : 100000000;
    std::int64_t five_k = 5;
    for (int k = 1; five_k <= lo * 10; ++k, five_k *= 5) {
      // q odd with lo <= 5^k * q < 10 * lo.
      for (std::int64_t q = (lo + five_k - 1) / five_k | 1, count = 0; five_k * q < lo * 10 && count < 2000;
           q += 2, ++count)
        run(std::ldexp(static_cast<double>(q), -k));
    }
  }
}

TEST_F(RoundingProperty, NeighboursOfDecimalRoundingBoundaries) {
  // The values around x.xxxxxx5 * 10^k, where the rounding and the carry into the
  // exponent change.
  char text[64];
  std::uniform_int_distribution<int> digits(0, 9);
  for (int k = -320; k <= 308; ++k) {
    for (const char* pattern : {"9.9999995e%d", "9.99999995e%d", "1.0000005e%d", "4.4444445e%d"}) {
      std::snprintf(text, sizeof text, pattern, k);
      const double b = std::strtod(text, nullptr);
      run(b);
      run(std::nextafter(b, 0.0));
      run(std::nextafter(b, std::numeric_limits<double>::infinity()));
    }
  }
  for (int i = 0; i < 20000; ++i) {
    // x.xxxxxxx5 near the F12.7 rounding point, below 10000.
    std::snprintf(text, sizeof text, "%d%d%d%d.%d%d%d%d%d%d%d5", digits(rng), digits(rng), digits(rng), digits(rng),
                  digits(rng), digits(rng), digits(rng), digits(rng), digits(rng), digits(rng), digits(rng));
    const double b = std::strtod(text, nullptr);
    run(b);
    run(std::nextafter(b, 0.0));
    run(std::nextafter(b, 1e300));
  }
  const double specials[] = {0.0,
                             std::numeric_limits<double>::denorm_min(),
                             std::numeric_limits<double>::min(),
                             std::numeric_limits<double>::max(),
                             std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN(),
                             9999.99999995,
                             999.99999995,
                             1e-100,
                             1e100};
  for (double v : specials) run(v);
}

}  // namespace
