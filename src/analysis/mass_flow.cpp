#include "analysis/mass_flow.h"

#include "run/run_log.h"

namespace kv {

// Every loop below runs over points 1..nc, which the reading has checked against the
// size of the arrays.

void compute_consumed_mass(RunState& s) {
  const double* I = s.arrays.I.get();
  double* Mi = s.arrays.Mi.get();
  for (std::int32_t n = 1; n <= s.nc; ++n) {
    const auto k = static_cast<std::size_t>(n) - 1;
    Mi[k] = ((s.M * 1000.0) * I[k]) / s.It;
  }
}

void compute_mass_flow(RunState& s) {
  progress("vai começar o cálculo de fmi (estimativa inicial)"_w);
  const double* Mi = s.arrays.Mi.get();
  double* fmi = s.arrays.fmi.get();
  if (s.nc >= 1) fmi[0] = 0.0;
  for (std::int32_t i = 2; i <= s.nc; ++i) {
    const auto k = static_cast<std::size_t>(i) - 1;
    fmi[k] = (Mi[k] - Mi[k - 1]) / s.dt;
  }
}

void compute_exhaust_velocity(RunState& s) {
  progress("vai começar o cálculo de c e Is"_w);
  s.c = s.It / s.M;
  s.Is = s.c / go;
}

}  // namespace kv
