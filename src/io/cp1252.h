// Every text the program writes is single-byte Windows-1252, whatever the platform.
// The sources are UTF-8; this is the one place where a UTF-8 literal becomes the bytes
// that reach the files. It runs at compile time, so a literal that cannot be written
// in Windows-1252 does not compile.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace kv::io {

// Windows-1252 bytes 0x80..0x9F and the Unicode code points they stand for
// (0 where the byte is unassigned).
inline constexpr std::array<char32_t, 32> kCp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0};

// Converts one code point; a code point outside Windows-1252 is a compile error when
// this runs in a constant expression.
constexpr char cp1252_byte(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(static_cast<unsigned char>(cp));
  for (std::size_t i = 0; i < kCp1252High.size(); ++i)
    if (kCp1252High[i] != 0 && kCp1252High[i] == cp) return static_cast<char>(static_cast<unsigned char>(0x80 + i));
  throw "character cannot be written in Windows-1252";
}

// Decodes the UTF-8 sequence at s[i] and advances i past it.
constexpr char32_t utf8_decode(std::string_view s, std::size_t& i) {
  const auto b0 = static_cast<unsigned char>(s[i++]);
  if (b0 < 0x80) return b0;
  int more = b0 >= 0xF0 ? 3 : b0 >= 0xE0 ? 2 : b0 >= 0xC0 ? 1 : -1;
  if (more < 0) throw "malformed UTF-8 in a literal";
  char32_t cp = b0 & (0x3F >> more);
  while (more-- > 0) {
    if (i >= s.size()) throw "truncated UTF-8 in a literal";
    const auto b = static_cast<unsigned char>(s[i++]);
    if ((b & 0xC0) != 0x80) throw "malformed UTF-8 in a literal";
    cp = (cp << 6) | (b & 0x3F);
  }
  return cp;
}

// A string literal fixed at compile time, usable as a template argument.
template <std::size_t N>
struct FixedString {
  char chars[N]{};
  consteval FixedString() = default;
  consteval FixedString(const char (&s)[N]) {
    for (std::size_t i = 0; i < N; ++i) chars[i] = s[i];
  }
  constexpr std::string_view view() const { return {chars, N - 1}; }
};

// Joins two fixed strings, for layouts that share their first items.
template <std::size_t A, std::size_t B>
consteval FixedString<A + B - 1> operator+(const FixedString<A>& a, const FixedString<B>& b) {
  FixedString<A + B - 1> out;
  for (std::size_t i = 0; i + 1 < A; ++i) out.chars[i] = a.chars[i];
  for (std::size_t i = 0; i < B; ++i) out.chars[A - 1 + i] = b.chars[i];
  return out;
}

template <std::size_t N>
struct Cp1252Text {
  std::array<char, N> bytes{};
  std::size_t size = 0;
  constexpr std::string_view view() const { return {bytes.data(), size}; }
};

template <FixedString S>
consteval auto to_cp1252() {
  Cp1252Text<sizeof(S.chars)> out;
  const std::string_view src = S.view();
  for (std::size_t i = 0; i < src.size();) out.bytes[out.size++] = cp1252_byte(utf8_decode(src, i));
  return out;
}

template <FixedString S>
inline constexpr auto kCp1252 = to_cp1252<S>();

}  // namespace kv::io

namespace kv {
// "Saída"_w is the five bytes of the word in Windows-1252.
template <io::FixedString S>
constexpr std::string_view operator""_w() {
  return io::kCp1252<S>.view();
}
}  // namespace kv
