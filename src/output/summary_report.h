// The summary report: the case's data, the main and other results and the thrust
// statistics.
#pragma once

#include "run/run_state.h"

namespace kv {

void write_summary_report(const RunState& s);

}  // namespace kv
