// The motor's impulse class and its designation (class, then the rounded average
// thrust: D12).
//
// The classes come from one table in which each class reaches twice the impulse of the
// one before, from "1/8A" (up to 0.3125 N s) on. The program's summary report knows the
// seventeen classes up to N (20480 N s); a motor file needs a name past N too, and there
// the letters go on by doubling (O up to 40960 N s, and so on to Z).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kv {

// A class holds the total impulses in (lower, upper], N s.
struct ImpulseClass {
  double lower;
  double upper;
  std::string_view text;  // "1/8A", "1/4A", "1/2A", or a letter
};

// The program's table (1/8A to N), or the table continued past N (to Z).
enum class Classes : std::uint8_t { Program, Continued };

// The class whose interval holds the total impulse It; none when It <= 0, It lies beyond
// the table or is not a number.
std::optional<ImpulseClass> class_of(double It, Classes table);

// Its text; empty when no class applies.
std::string_view impulse_class(double It);            // the program's table
std::string_view impulse_class_continued(double It);  // continued past N

// Where It lies inside its class, from 0 at the lower bound to 1 at the upper one
// (0.62: "62 % of class E").
constexpr double class_position(const ImpulseClass& c, double It) { return (It - c.lower) / (c.upper - c.lower); }

// The class number of a designation: the average thrust rounded to the nearest whole
// number, halves away from zero. False for a non-finite value or one outside 32 bits.
bool class_number(double average, std::int32_t& number);

// The designation: the class text followed at once by the class number in full ("D12",
// "1/2A3", "O3400"); empty when the class text is empty or the number has no value.
std::string designation(std::string_view class_text, double average);

}  // namespace kv
