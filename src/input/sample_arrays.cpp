#include "input/sample_arrays.h"

#include <new>
#include <string>

#include "io/diagnostics.h"
#include "io/record_writer.h"
#include "run/run_log.h"

namespace kv {

void create_sample_arrays(RunState& s) {
  progress("Vai alocar memória para os vetores"_w);
  const std::int32_t count = s.nmax > 0 ? s.nmax : 0;
  const std::uint64_t bytes = static_cast<std::uint64_t>(count) * 8u;
  std::unique_ptr<double[]>* arrays[] = {&s.arrays.t, &s.arrays.F, &s.arrays.I, &s.arrays.Mi, &s.arrays.fmi};
  for (auto* a : arrays) {
    if (bytes > 0xFFFFFFFFu) io::severe_text(io::kArraySizeOverflow, {});
    a->reset(new (std::nothrow) double[static_cast<std::size_t>(count)]);
    if (!*a) io::severe_text(io::kInsufficientMemory, {});
  }
  s.arrays.size = count;
}

void subscript_out_of_range(const char* array, std::int32_t n, std::int32_t size) {
  std::string text = "fort: (2): Subscript #1 of the array ";
  text += array;
  text += " has value " + std::to_string(n);
  if (n < 1)
    text += " which is less than the lower bound of 1";
  else
    text += " which is greater than the upper bound of " + std::to_string(size);
  io::severe_text(io::kSubscriptOutOfRange, text);
}

}  // namespace kv
