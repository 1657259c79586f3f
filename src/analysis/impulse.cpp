#include "analysis/impulse.h"

#include "run/run_state.h"
#include "run/run_log.h"

namespace kv {

void compute_impulse(RunState& s) {
  progress("vai começar o cálculo de Ii e It"_w);
  const auto size = s.arrays.size;
  if (s.nc >= 1) element(s.arrays.I, "I", 1, size) = 0.0;
  const double* F = s.arrays.F.get();
  double* I = s.arrays.I.get();
  for (std::int32_t i = 2; i <= s.nc; ++i) {
    const auto k = static_cast<std::size_t>(i) - 1;
    I[k] = ((F[k] + F[k - 1]) * s.dt) / 2.0 + I[k - 1];
  }
  s.It = element(s.arrays.I, "I", s.nc, size);
}

void compute_mean_thrust(RunState& s) { s.Fmed = s.It / s.tq; }

}  // namespace kv
