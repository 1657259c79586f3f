// Fixed-width text fields, padded with blanks on the right, as the case parameters hold
// them, and the trimmed form in which every file name, command and A value uses them.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace kv::io {

// Leading blanks removed, trailing blanks dropped; only the blank (code 32) counts.
constexpr std::string_view trimmed(std::string_view s) {
  const auto first = s.find_first_not_of(' ');
  // An all-blank text gives an empty view that still points into it, never a null one.
  if (first == std::string_view::npos) return s.substr(s.size());
  const auto last = s.find_last_not_of(' ');
  return s.substr(first, last - first + 1);
}

template <std::size_t N>
struct TextField {
  std::array<char, N> chars = blanks();

  static constexpr std::array<char, N> blanks() {
    std::array<char, N> a{};
    a.fill(' ');
    return a;
  }
  constexpr std::string_view view() const { return {chars.data(), N}; }
  constexpr std::string_view trim() const { return trimmed(view()); }
  // Sets the field from a text: its leftmost N characters, padded with blanks.
  constexpr void assign(std::string_view s) {
    const std::size_t n = s.size() < N ? s.size() : N;
    for (std::size_t i = 0; i < n; ++i) chars[i] = s[i];
    for (std::size_t i = n; i < N; ++i) chars[i] = ' ';
  }
};

}  // namespace kv::io
