// The propellant: how its mass is shared out along the curve, the mass flow, the
// exhaust velocity and the specific impulse. No mass is measured during a firing; the
// propellant mass M (kg) is shared out in proportion to the impulse delivered so far.
//
// M is given in kilograms; every mass and mass flow derived from it is in grams and
// grams per second, while the exhaust velocity uses kilograms and so comes out in m/s.
#pragma once

#include <cstddef>
#include <span>

namespace kv {

// Standard gravity at sea level, m/s².
inline constexpr double go = 9.80665;

// The mass in grams of M kilograms.
constexpr double grams(double M) { return M * 1000.0; }

// The mean mass flow over the burn time tq (g/s).
constexpr double mean_mass_flow(double M, double tq) { return grams(M) / tq; }

// The mass consumed up to each point (g): Mi[k] = ((M * 1000) * I[k]) / It, for the
// cumulative impulse I and the total impulse It. Mi has the size of I.
inline void consumed_mass(std::span<const double> I, double M, double It, std::span<double> Mi) {
  for (std::size_t k = 0; k < I.size(); ++k) Mi[k] = (grams(M) * I[k]) / It;
}

// The mass flow at each point (g/s): 0 at the first, then the backward difference
// (Mi[k] - Mi[k-1]) / dt, the mean flow over the interval that ends at point k. fmi has
// the size of Mi.
inline void mass_flow(std::span<const double> Mi, double dt, std::span<double> fmi) {
  if (!Mi.empty()) fmi[0] = 0.0;
  for (std::size_t k = 1; k < Mi.size(); ++k) fmi[k] = (Mi[k] - Mi[k - 1]) / dt;
}

// The mean effective exhaust velocity (m/s): the total impulse over the propellant mass.
constexpr double exhaust_velocity(double It, double M) { return It / M; }

// The mean specific impulse (s) of an exhaust velocity c.
constexpr double specific_impulse(double c) { return c / go; }

}  // namespace kv
