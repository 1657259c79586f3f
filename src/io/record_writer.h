// The formatted record writer: applies a layout to a list of values and appends the
// records to the file of a unit.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "io/layout.h"

namespace kv::io {

// One value of a formatted write: a text, a 32-bit integer or a 64-bit real.
struct Value {
  enum class Kind : std::uint8_t { Text, Integer, Real };
  Kind kind;
  std::string_view text{};
  std::int32_t integer = 0;
  double real = 0.0;

  constexpr Value(std::string_view s) : kind(Kind::Text), text(s) {}
  constexpr Value(const char* s) : kind(Kind::Text), text(s) {}
  constexpr Value(std::int32_t i) : kind(Kind::Integer), integer(i) {}
  constexpr Value(double r) : kind(Kind::Real), real(r) {}
};

// One formatted write. The values go to the value items in order; processing stops at
// a value item when no value is left, or at the end of the layout, and the current
// record is written then, even when empty. A numeric field too narrow for its value is
// filled with asterisks, and after the write's last record the output conversion error
// is reported; the run goes on. A write the OS refuses throws message 38, and memory
// that cannot be had for the records message 66.
void write(int unit, LayoutView layout, std::initializer_list<Value> values = {});

// The records of one formatted write, appended to a buffer instead of a file: the same
// bytes, line ends included. Returns false when a numeric field did not fit (it holds
// asterisks then). Throws std::bad_alloc when the buffer cannot grow.
bool format_records(std::string& out, LayoutView layout, std::initializer_list<Value> values);

// A list-directed write of one text: a record of one blank followed by the text.
void write_list(int unit, std::string_view text);

}  // namespace kv::io
