// Numbers and texts as the companions show them, and the one rule for a number that a
// user types. Every conversion goes through std::to_chars / fast_float: exact, the same
// on every platform and independent of the locale.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kv::companion {

// The shortest text that reads back as the same double, as std::to_chars gives it
// ("0.0089", "1e-05", "30").
std::string shortest(double v);

// The shortest fixed-notation text that reads back as the same double ("0.0089", "30",
// "12345.67"); "nan" or "inf" for those; never "-0".
std::string shortest_fixed(double v);

// v rounded to `decimals` places (ties to even on the exact binary value), trailing zeros
// and a trailing point dropped; never "-0".
std::string fixed_trimmed(double v, int decimals);

// The same two, appended to a text without a text of their own (for long outputs).
void append_shortest_fixed(std::string& out, double v);
void append_fixed_trimmed(std::string& out, double v, int decimals);

// v with exactly `decimals` places, so that a column lines up ("0.000", "-3.62"); a value
// that rounds to zero has no sign.
std::string fixed(double v, int decimals);

// v with `digits` significant digits and no trailing zeros ("18.97574", "1.6", "2e-07");
// "nan" or "inf" for those; never "-0".
std::string significant(double v, int digits);

// A share as a percentage with `digits` significant digits: "0.5 %".
std::string percent(double share, int digits);
// A share as a percentage with two decimals and a sign always, so that a column lines
// up: "+3.57 %", "-0.05 %", "+0.00 %"; "-" when it has no value.
std::string signed_percent(double share);

// A JSON number: the shortest text that reads back as the same double; null when the
// value is not finite.
std::string json_number(double v);

// A JSON string literal from UTF-8 text.
std::string json_string(std::string_view utf8);

// A line of a file as a message quotes it: in apostrophes, tabs shown as blanks, cut to
// `width` characters with "..." when it is longer.
std::string quoted_excerpt(std::string_view text, std::size_t width);

// The UTF-8 of a Windows-1252 text (the texts of the program's files); a byte with no
// character in Windows-1252 becomes U+FFFD.
std::string utf8_from_cp1252(std::string_view bytes);

// The Windows-1252 bytes of a UTF-8 text; nothing when it is not UTF-8 or holds a
// character that Windows-1252 cannot write.
std::optional<std::string> cp1252_from_utf8(std::string_view utf8);
// The same with '?' for each character that has no byte (or is not UTF-8).
std::string cp1252_from_utf8_or_marks(std::string_view utf8);

// A number typed by a user, on the command line: the whole text, a decimal point or a
// decimal comma (never both), an optional sign and exponent ("24", "+24", "0.028",
// "0,028", "1e-3"); finite. Nothing when the text is no such number.
std::optional<double> user_number(std::string_view text);

}  // namespace kv::companion
