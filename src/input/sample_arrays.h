// The five sample arrays and the checked access to their elements.
#pragma once

#include <cstdint>
#include <memory>

#include "run/run_state.h"

namespace kv {

// Writes its progress line, then creates t, F, I, Mi and fmi with nmax elements each
// (none when nmax <= 0). An array whose size in bytes needs more than 32 bits ends the
// run with message 179; memory that cannot be had ends it with message 41.
void create_sample_arrays(RunState& s);

// Element n (from 1) of an array; an index outside 1..size is never carried out: the
// run ends with a diagnostic naming the array, the index and the bound.
[[noreturn]] void subscript_out_of_range(const char* array, std::int32_t n, std::int32_t size);

inline double& element(const std::unique_ptr<double[]>& a, const char* name, std::int32_t n, std::int32_t size) {
  if (n < 1 || n > size) subscript_out_of_range(name, n, size);
  return a[static_cast<std::size_t>(n) - 1];
}

}  // namespace kv
