#include "companion/number_text.h"

#include <array>
#include <charconv>
#include <cmath>
#include <fast_float/fast_float.h>
#include <system_error>

#include "io/cp1252.h"

namespace kv::companion {
namespace {

// Enough for any double in fixed notation: 309 digits before the point, and the digits
// after it that the shortest text of a subnormal needs.
constexpr std::size_t kBuffer = 1100;

std::string non_finite(double v) {
  if (std::isnan(v)) return "nan";
  return v < 0 ? "-inf" : "inf";
}

void drop_trailing_zeros(std::string& s) {
  if (s.find('.') == std::string::npos) return;
  while (!s.empty() && s.back() == '0') s.pop_back();
  if (!s.empty() && s.back() == '.') s.pop_back();
}

void drop_negative_zero(std::string& s) {
  if (s == "-0") s = "0";
}

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

void append_shortest_fixed(std::string& out, double v) {
  if (!std::isfinite(v)) {
    out += non_finite(v);
    return;
  }
  std::array<char, kBuffer> buf;
  const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::fixed);
  const std::string_view s(buf.data(), static_cast<std::size_t>(r.ptr - buf.data()));
  out.append(s == "-0" ? "0" : s);
}

void append_fixed_trimmed(std::string& out, double v, int decimals) {
  if (!std::isfinite(v)) {
    out += non_finite(v);
    return;
  }
  std::array<char, kBuffer> buf;
  const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::fixed, decimals);
  std::string_view s(buf.data(), static_cast<std::size_t>(r.ptr - buf.data()));
  if (s.find('.') != std::string_view::npos) {
    while (s.ends_with('0')) s.remove_suffix(1);
    if (s.ends_with('.')) s.remove_suffix(1);
  }
  out.append(s == "-0" ? "0" : s);
}

std::string shortest(double v) {
  std::array<char, 40> buf;
  const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), v);
  return std::string(buf.data(), r.ptr);
}

std::string shortest_fixed(double v) {
  std::string s;
  append_shortest_fixed(s, v);
  return s;
}

std::string fixed_trimmed(double v, int decimals) {
  std::string s;
  append_fixed_trimmed(s, v, decimals);
  return s;
}

std::string fixed(double v, int decimals) {
  if (!std::isfinite(v)) return non_finite(v);
  std::array<char, kBuffer> buf;
  const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::fixed, decimals);
  std::string s(buf.data(), r.ptr);
  // "-0.000": a value that rounds to zero.
  if (s.starts_with('-') && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
  return s;
}

std::string significant(double v, int digits) {
  if (!std::isfinite(v)) return non_finite(v);
  std::array<char, 64> buf;
  const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::general, digits);
  std::string s(buf.data(), r.ptr);
  if (s.find('e') == std::string::npos) drop_trailing_zeros(s);
  drop_negative_zero(s);
  return s;
}

std::string percent(double share, int digits) { return significant(share * 100.0, digits) + " %"; }

std::string signed_percent(double share) {
  if (!std::isfinite(share)) return "-";
  const std::string digits = fixed(share * 100.0, 2);
  return (digits.starts_with('-') ? "" : "+") + digits + " %";
}

std::string json_number(double v) {
  if (!std::isfinite(v)) return "null";
  std::array<char, 64> buf;
  const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), v);
  std::string s(buf.data(), r.ptr);
  drop_negative_zero(s);
  return s;
}

std::string json_string(std::string_view utf8) {
  std::string out = "\"";
  for (const char ch : utf8) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20) {
      constexpr char kHex[] = "0123456789abcdef";
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    } else {
      out += ch;
    }
  }
  out += '"';
  return out;
}

std::string quoted_excerpt(std::string_view text, std::size_t width) {
  std::string t(text.size() > width ? text.substr(0, width - 3) : text);
  if (text.size() > width) t += "...";
  for (char& c : t)
    if (c == '\t') c = ' ';
  return "'" + t + "'";
}

std::string utf8_from_cp1252(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    char32_t cp = b;
    if (b >= 0x80 && b < 0xA0) {
      cp = io::kCp1252High[b - 0x80];
      if (cp == 0) cp = 0xFFFD;
    }
    append_utf8(out, cp);
  }
  return out;
}

std::optional<std::string> cp1252_from_utf8(std::string_view utf8) {
  std::string out;
  try {
    for (std::size_t i = 0; i < utf8.size();) out += io::cp1252_byte(io::utf8_decode(utf8, i));
  } catch (const char*) {
    return std::nullopt;
  }
  return out;
}

std::string cp1252_from_utf8_or_marks(std::string_view utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    try {
      out += io::cp1252_byte(io::utf8_decode(utf8, i));
    } catch (const char*) {
      out += '?';  // the decoder has moved past the sequence
    }
  }
  return out;
}

std::optional<double> user_number(std::string_view text) {
  if (text.empty()) return std::nullopt;
  const bool comma = text.find(',') != std::string_view::npos;
  if (comma && text.find('.') != std::string_view::npos) return std::nullopt;
  const fast_float::parse_options options(fast_float::chars_format::general, comma ? ',' : '.');
  const char* first = text.data();
  const char* last = first + text.size();
  if (*first == '+') {
    ++first;  // "+24" is as good as "24", but "+-24" is no number
    if (first == last || *first == '-') return std::nullopt;
  }
  double v = 0.0;
  const auto r = fast_float::from_chars_advanced(first, last, v, options);
  if (r.ec != std::errc{} || r.ptr != last || !std::isfinite(v)) return std::nullopt;
  return v;
}

}  // namespace kv::companion
