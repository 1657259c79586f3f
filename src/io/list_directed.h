// The list-directed reader: free-form values separated by blanks, tabs, commas, slashes
// and record ends, read into typed variables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "io/text_field.h"

namespace kv::io {

// One variable of a list-directed read.
struct Target {
  enum class Kind : std::uint8_t { Text, Integer, Real };
  Kind kind;
  void* where;
  std::size_t length = 0;  // text: the field's width

  Target(std::int32_t& i) : kind(Kind::Integer), where(&i) {}
  Target(double& r) : kind(Kind::Real), where(&r) {}
  template <std::size_t N>
  Target(TextField<N>& t) : kind(Kind::Text), where(t.chars.data()), length(N) {}
};

// Reads values into the targets from the file's next records. The read starts at the
// beginning of the next record and, after its last target, skips the rest of the
// record it ended in. An empty list consumes exactly one record. A null value, or a
// "/", leaves a target as it was. The end of the file where a record or a value is
// needed ends the run with message 24; a malformed number with 59; an integer out of
// range with 64.
void read(int unit, std::initializer_list<Target> targets);

// True when the file has no record left: the next read would meet the end of the file.
bool at_end(int unit);

// The common read of a data record, taken only when it cannot fail: the next record
// lies whole in what has been read of the file and holds a plain number for each
// target, all reals. Returns false, having consumed and assigned nothing, otherwise;
// read() then takes the record by the full rules.
bool read_plain(int unit, std::initializer_list<Target> targets);

// Conversions of one value's text, as the reader applies them. They return 0 or the
// number of the message that rejects the text.
int convert_real(const char* begin, const char* end, double& out);
int convert_integer(const char* begin, const char* end, std::int32_t& out);

}  // namespace kv::io
