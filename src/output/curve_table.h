// The curve table: one record per point of the processed curve.
#pragma once

#include "run/run_state.h"

namespace kv {

// With toB = 1 the time array is shifted by ti in place first, to original times.
void write_curve_table(RunState& s);

}  // namespace kv
