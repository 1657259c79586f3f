// Reading the load-cell data file up to the first sample beyond the time window.
#pragma once

#include "run/run_state.h"

namespace kv {

void read_load_cell_data(RunState& s);

}  // namespace kv
