// The phases of a run that compute: each takes what earlier phases left in the run-wide
// state, applies the kernels of analysis/ to it and leaves its results there. The run
// sequence (run_sequence.cpp) writes the progress line that announces each one.
#pragma once

#include "run/run_state.h"

namespace kv {

// tq, fm and dt from the window; nc, Fmin and Fmax back to their starting values.
void prepare_conditioning(RunState& s);

// Reads the load-cell data file up to the first sample past the window. Each sample
// inside the window becomes the next point of the processed curve (its corrected time,
// its thrust cut off at Fcor), is echoed to the run log and taken into the extremes.
// A point beyond nmax stops the run with message 408.
void take_points(RunState& s);

// The cumulative impulse I and It = I(nc); with no point the run stops with message 408.
void compute_impulse(RunState& s);
// Mi: the propellant mass shared out along the curve in proportion to I.
void compute_consumed_mass(RunState& s);
// Fmed = It / tq.
void compute_mean_thrust(RunState& s);
// fmi: the backward differences of Mi.
void compute_mass_flow(RunState& s);
// c = It / M and Is = c / go.
void compute_exhaust_velocity(RunState& s);
// classe, from It; left as it is when no class applies.
void determine_class(RunState& s);

}  // namespace kv
