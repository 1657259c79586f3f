// The fixed sequence of a run.
#pragma once

#include "run/run_state.h"

namespace kv {

// Runs every step of a run over the run-wide state. Returns when the run has
// completed; a severe diagnostic ends the process before that.
void run(RunState& s);

}  // namespace kv
