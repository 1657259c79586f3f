// Fuzz target: the rendering of one value in its field, Iw, Fw.d and 1P Ew.d.
//
// Every field must be exactly its width and equal the field built from printf's digits
// (tests/printf_model.h); the field, read back, is then the nearest decimal of its kind
// to the value.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>

#include "io/edit_descriptors.h"
#include "tests/printf_model.h"

namespace {

[[noreturn]] void fail(const char* what, double v, int w, int d, const char* got, const std::string& want) {
  std::fprintf(stderr, "edit_fuzzer: %s: value %a (%.17g) w=%d d=%d\n  got  [%.*s]\n  want [%s]\n", what, v, v, w, d, w,
               got, want.c_str());
  std::abort();
}

using kv::printf_model::field_E;
using kv::printf_model::field_F;
using kv::printf_model::field_I;

void check(const char* what, bool fits, const char* field, double v, int w, int d, const std::string& want) {
  if (std::memcmp(field, want.data(), static_cast<std::size_t>(w)) != 0) fail(what, v, w, d, field, want);
  if (field[w] != '#') fail("wrote past the field", v, w, d, field, want);
  const bool starred = want.find_first_not_of('*') == std::string::npos;
  if (fits == starred) fail("fit reported wrongly", v, w, d, field, want);
}

template <typename T>
T take(const std::uint8_t*& p, std::size_t& n) {
  T v{};
  const std::size_t k = n < sizeof v ? n : sizeof v;
  std::memcpy(&v, p, k);
  p += k;
  n -= k;
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::uint8_t* p = data;
  std::size_t n = size;
  const auto sel = take<std::uint8_t>(p, n);
  const auto bits = take<std::uint64_t>(p, n);
  const auto ival = take<std::int32_t>(p, n);
  double v;
  std::memcpy(&v, &bits, sizeof v);
  if (sel & 0x80) v = static_cast<double>(ival) / 1e7 + static_cast<double>(static_cast<std::int8_t>(sel)) * 1e-9;

  char field[128];
  // The fields the program writes, then any width and any digit count.
  struct Field {
    int w, d;
  };
  const Field fixed[] = {{12, 7}};
  const Field sci[] = {{15, 6}, {15, 7}};
  const int iw[] = {2, 5, 6, 8};
  const int w_any = 1 + (sel & 0x3f);       // 1..64
  const int d_any = (sel >> 1) % 41;        // 0..40

  for (const Field& s : fixed) {
    std::memset(field, '#', sizeof field);
    check("F", kv::io::edit_F(field, v, s.w, s.d), field, v, s.w, s.d, field_F(v, s.w, s.d));
  }
  for (const Field& s : sci) {
    std::memset(field, '#', sizeof field);
    check("1P E", kv::io::edit_E(field, v, s.w, s.d), field, v, s.w, s.d, field_E(v, s.w, s.d));
  }
  for (const int w : iw) {
    std::memset(field, '#', sizeof field);
    check("I", kv::io::edit_I(field, ival, w), field, ival, w, 0, field_I(ival, w));
  }
  // Fw.d beyond 19 columns is no width the program has; there a value of 1e18 or
  // more is starred without rendering, so the comparison stops at 19.
  if (d_any < w_any && w_any <= 19) {
    std::memset(field, '#', sizeof field);
    check("F any", kv::io::edit_F(field, v, w_any, d_any), field, v, w_any, d_any, field_F(v, w_any, d_any));
  }
  if (d_any < w_any) {
    std::memset(field, '#', sizeof field);
    check("1P E any", kv::io::edit_E(field, v, w_any, d_any), field, v, w_any, d_any, field_E(v, w_any, d_any));
  }
  std::memset(field, '#', sizeof field);
  check("I any", kv::io::edit_I(field, ival, w_any), field, ival, w_any, 0, field_I(ival, w_any));

  // Read back with from_chars, each field of the program's widths is the value rounded
  // to its digits (a three-digit exponent has no "E": it is put back for reading).
  if (std::isfinite(v)) {
    auto read_back = [&](const char* what, bool ok, int w, int d, const char* ref_fmt) {
      if (!ok) return;
      std::string text(field, static_cast<std::size_t>(w));
      text.erase(0, text.find_first_not_of(' '));
      const std::size_t sign = text.find_first_of("+-", 1);
      if (sign != std::string::npos && text[sign - 1] != 'E') text.insert(sign, "E");
      double back = 0.0;
      const auto r = std::from_chars(text.data(), text.data() + text.size(), back);
      char buf[512];
      std::snprintf(buf, sizeof buf, ref_fmt, d, v);
      double want = 0.0;
      std::from_chars(buf, buf + std::strlen(buf), want);
      if (r.ec != std::errc{} || r.ptr != text.data() + text.size() || back != want) fail(what, v, w, d, field, buf);
    };
    std::memset(field, '#', sizeof field);
    read_back("F12.7 does not read back", kv::io::edit_F(field, v, 12, 7), 12, 7, "%.*f");
    std::memset(field, '#', sizeof field);
    read_back("1P E15.6 does not read back", kv::io::edit_E(field, v, 15, 6), 15, 6, "%.*e");
    std::memset(field, '#', sizeof field);
    read_back("1P E15.7 does not read back", kv::io::edit_E(field, v, 15, 7), 15, 7, "%.*e");
  }
  return 0;
}
