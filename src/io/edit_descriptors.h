// How one value becomes the characters of its field: Iw, Fw.d (scale factor 0) and
// 1P Ew.d. Each function fills exactly w characters at out and returns false when the
// value does not fit, in which case the field is w asterisks.
//
// Rounding is to nearest on the exact binary value, ties to the even digit.
#pragma once

#include <cstdint>

namespace kv::io {

bool edit_I(char* out, std::int32_t value, int w);
bool edit_F(char* out, double value, int w, int d);
bool edit_E(char* out, double value, int w, int d);

// Where the digits of an F or E field come from: the integer arithmetic of
// fast_decimal.h where it applies (std::to_chars elsewhere), or std::to_chars alone. Both
// give the same digits, and one renderer per descriptor lays them out; the program uses
// the first, and bench/sweep_float32 checks that the two agree.
enum class DigitSource : std::uint8_t { Integer, ToChars };
bool edit_F(char* out, double value, int w, int d, DigitSource source);
bool edit_E(char* out, double value, int w, int d, DigitSource source);

}  // namespace kv::io
