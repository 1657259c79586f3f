// Impulse of the processed curve and the mean thrust.
#pragma once

#include "run/run_state.h"

namespace kv {

// Writes its progress line; I(1) = 0, then the trapezoid rule on the uniform grid;
// It = I(nc).
void compute_impulse(RunState& s);
// Fmed = It / tq: the burn time given by the window, not the span of the points.
void compute_mean_thrust(RunState& s);

}  // namespace kv
