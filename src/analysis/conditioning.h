// Curve conditioning: the quantities derived before the reading, the time window, the
// processed points and the extremes of the processed curve.
#pragma once

#include "run/run_state.h"

namespace kv {

// Writes its progress line, computes tq, fm and dt, and resets nc and the extremes.
void prepare_conditioning(RunState& s);

// ti - dt/2 < time < tf + dt/2, both strict.
inline bool sample_in_window(const RunState& s, double time) {
  return s.ti - (s.dt / 2) < time && time < s.tf + (s.dt / 2);
}
// The reading ends after the first sample beyond tf + dt/2 (strictly).
inline bool past_window(const RunState& s, double time) { return time > s.tf + (s.dt / 2); }

// Appends point nc + 1: corrected time (nc - 1) * dt and the thrust, cut off from below
// at Fcor.
void add_point(RunState& s, double thrust);
// Compares the point just added with Fmin and Fmax; the first point sets both, and the
// earliest point keeps an extreme.
void update_extremes(RunState& s, double time);

}  // namespace kv
