#include "program/phases.h"

#include <cstddef>
#include <span>
#include <string_view>

#include "analysis/impulse.h"
#include "analysis/impulse_class.h"
#include "analysis/mass_flow.h"
#include "analysis/window.h"
#include "input/load_cell.h"
#include "run/run_log.h"

namespace kv {
namespace {

// Points 1..nc of one of the sample arrays; the reading never takes more than the
// arrays hold.
std::span<double> curve(const std::unique_ptr<double[]>& a, std::int32_t nc) {
  return {a.get(), static_cast<std::size_t>(nc > 0 ? nc : 0)};
}

}  // namespace

void prepare_conditioning(RunState& s) {
  s.tq = burn_time(s.ti, s.tf);
  s.fm = mean_mass_flow(s.M, s.tq);
  s.dt = sampling_interval(s.w);
  s.nc = 0;
  s.Fmin = static_cast<double>(s.nmax);
  s.Fmax = 0.0;
}

void take_points(RunState& s) {
  SampleArrays& a = s.arrays;
  const Window window(s.ti, s.tf, s.dt);
  open_load_cell_file(s);
  for (;;) {
    read_sample(s.sample_t, s.sample_F);
    if (window.holds(s.sample_t)) {
      const std::int32_t n = s.nc + 1;
      const double t = element(a.t, "T", n, a.size) = corrected_time(n, s.dt);
      const double F = element(a.F, "F", n, a.size) = cut_off(s.sample_F, s.Fcor);
      s.nc = n;
      echo_line(n, t, F);
      take_extremes(n == 1, F, s.sample_t, s.Fmin, s.tmin, s.Fmax, s.tmax);
    }
    if (window.passed(s.sample_t)) break;
  }
  close_load_cell_file();
}

void compute_impulse(RunState& s) {
  cumulative_impulse(curve(s.arrays.F, s.nc), UniformTimes{s.dt}, curve(s.arrays.I, s.nc));
  s.It = element(s.arrays.I, "I", s.nc, s.arrays.size);
}

void compute_consumed_mass(RunState& s) {
  consumed_mass(curve(s.arrays.I, s.nc), s.M, s.It, curve(s.arrays.Mi, s.nc));
}

void compute_mean_thrust(RunState& s) { s.Fmed = mean_thrust(s.It, s.tq); }

void compute_mass_flow(RunState& s) { mass_flow(curve(s.arrays.Mi, s.nc), s.dt, curve(s.arrays.fmi, s.nc)); }

void compute_exhaust_velocity(RunState& s) {
  s.c = exhaust_velocity(s.It, s.M);
  s.Is = specific_impulse(s.c);
}

void determine_class(RunState& s) {
  const std::string_view text = impulse_class(s.It);
  if (!text.empty()) s.classe.assign(text);
}

}  // namespace kv
