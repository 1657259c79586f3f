// The motor's impulse class, from its total impulse.
#pragma once

#include <cstdint>
#include <string_view>

#include "run/run_state.h"

namespace kv {

// The class whose interval (lower, upper] holds the total impulse It: "1/8A", "1/4A",
// "1/2A" or a letter from A to N; empty when none does (It <= 0, above 20480 N s, NaN).
std::string_view impulse_class(double It);

// Writes its progress line and sets classe to the class whose interval
// (lower, upper] holds It; leaves it alone when none does.
void determine_class(RunState& s);

// The class number of the designation: Fmed rounded to the nearest whole number,
// halves away from zero. False for a non-finite value or one outside 32 bits.
bool class_number(double Fmed, std::int32_t& number);

}  // namespace kv
