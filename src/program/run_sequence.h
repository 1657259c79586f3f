// The fixed sequence of a run, and the one place where a run that a failure stopped is
// reported and ended.
#pragma once

#include <cstdint>

#include "run/run_state.h"

namespace kv {

// Runs every step of a run over the run-wide state. Returns when the run has completed;
// a failure on the way throws io::Failure (or std::bad_alloc) out of it.
void run(RunState& s);

// The whole program: a run over a fresh state, then the exit status. A failure that
// stopped the run is reported here and nowhere else (io::end_run): every record written
// so far reaches its file, the diagnostic line goes to the standard error stream, and
// the status is C0000000 (hex) plus its number. Memory that ran out outside the sample
// arrays is message 41.
std::uint32_t run_program();

}  // namespace kv
