// KALVORESTINE 2.0: thrust-curve analysis of a static firing of a solid-propellant
// rocket motor. The run is steered by its input files; it takes no arguments.
#include <memory>
#include <new>

#include "io/diagnostics.h"
#include "run/run_sequence.h"
#include "run/run_state.h"

int main() {
  try {
    // The state lives until the process ends; the sample arrays can be large.
    auto state = std::make_unique<kv::RunState>();
    kv::run(*state);
  } catch (const std::bad_alloc&) {
    // Memory ran out somewhere else than in the sample arrays (an input record too long
    // to hold, for one): the run ends like any other failure, with its diagnostic and
    // with every record written so far in its file, not with an abort.
    kv::io::severe_text(kv::io::kInsufficientMemory, {});
  }
  return 0;
}
