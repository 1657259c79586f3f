#include "input/sample_arrays.h"

#include <new>

#include "io/diagnostics.h"

namespace kv {

void create_sample_arrays(RunState& s) {
  const std::int32_t count = s.nmax > 0 ? s.nmax : 0;
  const std::uint64_t bytes = static_cast<std::uint64_t>(count) * 8u;
  std::unique_ptr<double[]>* arrays[] = {&s.arrays.t, &s.arrays.F, &s.arrays.I, &s.arrays.Mi, &s.arrays.fmi};
  for (auto* a : arrays) {
    if (bytes > 0xFFFFFFFFu) throw io::text_failure(io::kArraySizeOverflow);
    a->reset(new (std::nothrow) double[static_cast<std::size_t>(count)]);
    if (!*a) throw io::text_failure(io::kInsufficientMemory);
  }
  s.arrays.size = count;
}

}  // namespace kv
