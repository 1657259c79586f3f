// Consumed mass and mass flow per point, exhaust velocity and specific impulse.
#pragma once

#include "run/run_state.h"

namespace kv {

// Mi(n) = ((M * 1000) * I(n)) / It, in grams.
void compute_consumed_mass(RunState& s);
// Writes its progress line; fmi(1) = 0, fmi(i) = (Mi(i) - Mi(i-1)) / dt.
void compute_mass_flow(RunState& s);
// Writes its progress line; c = It / M, Is = c / go.
void compute_exhaust_velocity(RunState& s);

}  // namespace kv
