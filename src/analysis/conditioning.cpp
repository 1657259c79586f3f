#include "analysis/conditioning.h"

#include "run/run_state.h"
#include "run/run_log.h"

namespace kv {

void prepare_conditioning(RunState& s) {
  progress("vai começar o cálculo de tq, fm, dt, Ag e Ae"_w);
  s.tq = s.tf - s.ti;
  s.fm = (s.M * 1000.0) / s.tq;
  s.dt = 1.0 / static_cast<double>(s.w);
  s.nc = 0;
  s.Fmin = static_cast<double>(s.nmax);
  s.Fmax = 0.0;
}

void add_point(RunState& s, double thrust) {
  const std::int32_t n = s.nc + 1;
  const auto size = s.arrays.size;
  element(s.arrays.t, "T", n, size) = static_cast<double>(n - 1) * s.dt;
  double& F = element(s.arrays.F, "F", n, size);
  F = thrust;
  if (thrust < s.Fcor) F = s.Fcor;
  s.nc = n;
}

void update_extremes(RunState& s, double time) {
  const double F = s.arrays.F[static_cast<std::size_t>(s.nc) - 1];
  // The first point sets both extremes: the starting values (nmax and 0) are no thrust
  // of the curve, and a curve whose thrusts all lie at or above nmax, or all at or below
  // 0, must not report them as its minimum or maximum. Later points replace an extreme
  // only when they pass it, so the earliest point keeps it.
  const bool first = s.nc == 1;
  if (first || F < s.Fmin) {
    s.Fmin = F;
    s.tmin = time;
  }
  if (first || F > s.Fmax) {
    s.Fmax = F;
    s.tmax = time;
  }
}

}  // namespace kv
