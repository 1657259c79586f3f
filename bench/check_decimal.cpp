// Checks the integer-arithmetic decimal rounding against std::to_chars on as many
// generated cases as asked for (hundreds of millions take a few minutes):
//
//   check_decimal [count] [first]
//
// Prints the number of cases checked, how many took the integer path, and the first
// disagreement if there is one (exit status 1).
#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "../tests/decimal_cases.h"
#include "io/fast_decimal.h"

namespace {

bool same_fixed(double v, int d, std::uint64_t q) {
  char ref[400];
  const auto r = std::to_chars(ref, ref + sizeof ref, std::fabs(v), std::chars_format::fixed, d);
  char got[32];
  const auto g = std::to_chars(got, got + sizeof got, q);
  // ref without its point, leading zeros dropped.
  char flat[400];
  std::size_t n = 0;
  for (const char* p = ref; p < r.ptr; ++p)
    if (*p != '.') flat[n++] = *p;
  std::size_t z = 0;
  while (z + 1 < n && flat[z] == '0') ++z;
  return static_cast<std::size_t>(g.ptr - got) == n - z && std::memcmp(got, flat + z, n - z) == 0;
}

bool same_scientific(double v, int digits, std::uint64_t q, int k) {
  char ref[64];
  const auto r = std::to_chars(ref, ref + sizeof ref, std::fabs(v), std::chars_format::scientific, digits - 1);
  char mine[64];
  char* p = mine;
  char ds[16];
  kv::io::put_digits(ds, q, digits);
  *p++ = ds[0];
  if (digits > 1) {
    *p++ = '.';
    std::memcpy(p, ds + 1, static_cast<std::size_t>(digits - 1));
    p += digits - 1;
  }
  *p++ = 'e';
  *p++ = k < 0 ? '-' : '+';
  const int a = k < 0 ? -k : k;
  if (a < 10) *p++ = '0';
  p = std::to_chars(p, mine + sizeof mine, a).ptr;
  return p - mine == r.ptr - ref && std::memcmp(mine, ref, static_cast<std::size_t>(p - mine)) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::uint64_t count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100000000ull;
  const std::uint64_t first = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 0;
  std::uint64_t fast = 0, checked = 0;
  for (std::uint64_t i = first; i < first + count; ++i) {
    const int d = static_cast<int>(i % 10);       // fixed: 0..9 places
    const int digits = 1 + static_cast<int>(i % 9);  // scientific: 1..9 digits
    double v = kv::decimal_cases::value(i, d, digits);
    std::uint64_t q = 0;
    int k = 0;
    if (kv::io::fixed_scaled(v, d, q)) {
      ++fast;
      if (!same_fixed(v, d, q)) {
        std::printf("fixed mismatch: case %" PRIu64 " v=%a d=%d q=%" PRIu64 "\n", i, v, d, q);
        return 1;
      }
    }
    v = kv::decimal_cases::value(i, 7, digits);
    if (kv::io::scientific_scaled(v, digits, q, k)) {
      ++fast;
      if (!same_scientific(v, digits, q, k)) {
        std::printf("scientific mismatch: case %" PRIu64 " v=%a digits=%d q=%" PRIu64 " k=%d\n", i, v, digits, q, k);
        return 1;
      }
    }
    checked += 2;
  }
  std::printf("%" PRIu64 " cases checked, %" PRIu64 " on the integer path, no disagreement\n", checked, fast);
  return 0;
}
