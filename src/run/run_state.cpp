#include "run/run_state.h"

#include <string>

#include "io/diagnostics.h"

namespace kv {

void subscript_out_of_range(const char* array, std::int32_t n, std::int32_t size) {
  std::string text = "fort: (2): Subscript #1 of the array ";
  text += array;
  text += " has value " + std::to_string(n);
  if (n < 1)
    text += " which is less than the lower bound of 1";
  else
    text += " which is greater than the upper bound of " + std::to_string(size);
  throw io::text_failure(io::kSubscriptOutOfRange, text);
}

}  // namespace kv
