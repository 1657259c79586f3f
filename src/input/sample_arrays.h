// The five sample arrays, created once with nmax elements each.
#pragma once

#include "run/run_state.h"

namespace kv {

// Creates t, F, I, Mi and fmi with nmax elements each (none when nmax <= 0). An array
// whose size in bytes needs more than 32 bits stops the run with message 179; memory
// that cannot be had stops it with message 41.
void create_sample_arrays(RunState& s);

}  // namespace kv
