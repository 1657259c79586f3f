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

}  // namespace kv::io
