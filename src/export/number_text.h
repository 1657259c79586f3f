// Numbers as text, always through std::to_chars: exact, the same on every platform and
// independent of the locale.
#pragma once

#include <string>
#include <string_view>

namespace kv::exporter {

// The shortest fixed-notation text that reads back as the same double ("0.0089", "30",
// "12345.67"); "nan" or "inf" for those.
std::string shortest_fixed(double v);

// v rounded to `decimals` places (ties to even on the exact binary value), trailing zeros
// and a trailing point dropped; never "-0".
std::string fixed_trimmed(double v, int decimals);

// The same two, appended to a text without a text of their own (for long outputs).
void append_shortest_fixed(std::string& out, double v);
void append_fixed_trimmed(std::string& out, double v, int decimals);

// v with `digits` significant digits, trailing zeros dropped ("18.97574", "1.6"), for
// the readable table.
std::string significant(double v, int digits);

// A JSON number: the shortest text that reads back as the same double; null when the
// value is not finite.
std::string json_number(double v);

// A JSON string literal from UTF-8 text.
std::string json_string(std::string_view utf8);

// The UTF-8 of a Windows-1252 text (the case's texts as the program's files hold them);
// a byte with no character in Windows-1252 becomes U+FFFD.
std::string utf8_from_cp1252(std::string_view bytes);

// Reads a decimal number given on the command line: a decimal point or a decimal comma,
// an optional exponent, nothing else around it. False when the text is no such number.
bool parse_decimal(std::string_view text, double& out);

}  // namespace kv::exporter
