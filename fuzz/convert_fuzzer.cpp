// Fuzz target: the conversion of one value's text into a real or an integer, as the
// list-directed reader applies it to every number of every input file.
//
// Each input is one value's text. Both conversions must accept exactly the texts of
// their form, reject the rest with the right message, and give the value that the C
// library's correctly rounded strtod (or strtoll) gives for the same text.
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "io/list_directed.h"

namespace {

bool digit(char c) { return c >= '0' && c <= '9'; }
bool exponent_letter(char c) { return std::strchr("eEdDqQ", c) != nullptr && c != '\0'; }

// [sign] digits [. digits] [letter [sign] digits], at least one mantissa digit; the
// text is rewritten into the form strtod reads (letter "e").
bool real_form(const std::string& s, std::string& c_form) {
  std::size_t i = 0;
  c_form.clear();
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) c_form += s[i++];
  std::size_t mantissa_digits = 0;
  bool point = false;
  for (; i < s.size(); ++i) {
    if (digit(s[i])) {
      ++mantissa_digits;
    } else if (s[i] == '.' && !point) {
      point = true;
    } else {
      break;
    }
    c_form += s[i];
  }
  if (mantissa_digits == 0) return false;
  if (i == s.size()) return true;
  if (!exponent_letter(s[i])) return false;
  c_form += 'e';
  ++i;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) c_form += s[i++];
  if (i == s.size()) return false;
  for (; i < s.size(); ++i) {
    if (!digit(s[i])) return false;
    c_form += s[i];
  }
  return true;
}

bool plain_integer_form(const std::string& s) {
  std::size_t i = (!s.empty() && (s[0] == '+' || s[0] == '-')) ? 1 : 0;
  if (i == s.size()) return false;
  for (; i < s.size(); ++i)
    if (!digit(s[i])) return false;
  return true;
}

[[noreturn]] void fail(const char* what, const std::string& text) {
  std::fprintf(stderr, "convert_fuzzer: %s for text [%s]\n", what, text.c_str());
  std::abort();
}

bool same(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b)); }

void check_real(const std::string& text) {
  std::string c_form;
  const bool valid = real_form(text, c_form);
  double got = 12345.0;
  const int msg = kv::io::convert_real(text.data(), text.data() + text.size(), got);
  if (!valid) {
    if (msg != 59) fail("real: malformed text not rejected with 59", text);
    if (!same(got, 12345.0)) fail("real: rejected text changed the target", text);
    return;
  }
  if (msg != 0) fail("real: well-formed text rejected", text);
  const double want = std::strtod(c_form.c_str(), nullptr);
  if (!same(got, want)) {
    std::fprintf(stderr, "got %a want %a\n", got, want);
    fail("real: value differs from the correctly rounded one", text);
  }
}

void check_integer(const std::string& text) {
  std::int32_t got = 12345;
  const int msg = kv::io::convert_integer(text.data(), text.data() + text.size(), got);
  if (plain_integer_form(text)) {
    errno = 0;
    const long long v = std::strtoll(text.c_str(), nullptr, 10);
    const bool fits = errno == 0 && v >= INT32_MIN && v <= INT32_MAX;
    if (fits && (msg != 0 || got != v)) fail("integer: wrong value", text);
    if (!fits && msg != 64) fail("integer: out of range not rejected with 64", text);
    return;
  }
  std::string c_form;
  if (!real_form(text, c_form)) {
    if (msg != 59) fail("integer: malformed text not rejected with 59", text);
    return;
  }
  const double r = std::trunc(std::strtod(c_form.c_str(), nullptr));
  if (r >= -2147483648.0 && r <= 2147483647.0) {
    if (msg != 0 || got != static_cast<std::int32_t>(r)) fail("integer: real text not truncated toward zero", text);
  } else if (msg != 64) {
    fail("integer: real text out of range not rejected with 64", text);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 4096) return 0;
  // The reader never hands a conversion a separator (blank, tab, comma, slash) or a
  // record end; everything else may reach it.
  std::string text;
  for (std::size_t i = 0; i < size; ++i) {
    const char c = static_cast<char>(data[i]);
    if (c == ' ' || c == '\t' || c == ',' || c == '/' || c == '\n') continue;
    text += c;
  }
  if (text.empty()) return 0;  // the reader never converts an empty text
  check_real(text);
  check_integer(text);
  return 0;
}
