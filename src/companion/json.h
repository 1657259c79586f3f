// A JSON text read into a tree of values, for the records the companions write and read
// back (a case's record of how it was made). Numbers are read exactly (from_chars).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kv::companion {

struct JsonValue {
  enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
  bool boolean = false;
  double number = 0.0;
  std::string string;
  std::vector<JsonValue> array;
  std::map<std::string, JsonValue, std::less<>> object;

  // The member `key` of an object; a null value when there is none (or this is no object).
  const JsonValue& operator[](std::string_view key) const;
  // The number, when this is one.
  std::optional<double> as_number() const;
};

// The value of the whole text; nothing when it is not one JSON value (what is wrong is
// then in `why`, with its byte offset).
std::optional<JsonValue> parse_json(std::string_view text, std::string* why = nullptr);

}  // namespace kv::companion
