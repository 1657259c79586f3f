// KALVORESTINE 2.0: thrust-curve analysis of a static firing of a solid-propellant
// rocket motor. The run is steered by its input files; it takes no arguments.
#include <memory>

#include "run/run_sequence.h"
#include "run/run_state.h"

int main() {
  // The state lives until the process ends; the sample arrays can be large.
  auto state = std::make_unique<kv::RunState>();
  kv::run(*state);
  return 0;
}
