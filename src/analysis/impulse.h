// The impulse of a thrust curve: the trapezoid rule in the one expression and the one
// order of summation that every impulse of the program and of its companions comes from,
// so that a figure computed twice is the same double twice.
//
// A curve is its thrusts F[k] (N) and a time axis that says where point k lies:
// UniformTimes for a curve sampled every dt seconds (the program's processed curve),
// PointTimes for a curve given at its own times (a logger's points, a motor file's).
#pragma once

#include <cstddef>
#include <span>

namespace kv {

// Point k at k * dt seconds.
struct UniformTimes {
  double dt;
  constexpr double at(std::size_t k) const { return static_cast<double>(k) * dt; }
  // From point k - 1 to point k.
  constexpr double step(std::size_t) const { return dt; }
};

// Point k at t[k] seconds; the times increase.
struct PointTimes {
  std::span<const double> t;
  constexpr double at(std::size_t k) const { return t[k]; }
  constexpr double step(std::size_t k) const { return t[k] - t[k - 1]; }
};

// A curve's thrusts read from its last point to its first, for a walk from the end.
struct Reversed {
  std::span<const double> F;
  constexpr std::size_t size() const { return F.size(); }
  constexpr double operator[](std::size_t k) const { return F[F.size() - 1 - k]; }
};

// The impulse of one segment, from thrust Fa to thrust Fb over h seconds (N s): the sum
// of the two thrusts first, times h, then halved.
constexpr double trapezoid(double Fa, double Fb, double h) { return ((Fb + Fa) * h) / 2.0; }

// Walks the curve from point `first` to point `last` (both included), calling
// visit(k, I) with the impulse I from `first` to k: `start` at `first`, then each
// segment added to the impulse before it. A visit that returns false ends the walk.
// F is anything indexable that has size(): a span, Reversed, CutOff (window.h).
template <class Thrusts, class Times, class Visit>
constexpr void walk_impulse(const Thrusts& F, const Times& times, std::size_t first, std::size_t last, double start,
                            Visit visit) {
  double I = start;
  if (!visit(first, I)) return;
  for (std::size_t k = first + 1; k <= last; ++k) {
    I = trapezoid(F[k - 1], F[k], times.step(k)) + I;
    if (!visit(k, I)) return;
  }
}

// The same over the whole curve, from 0 at its first point; nothing for an empty one.
template <class Thrusts, class Times, class Visit>
constexpr void walk_impulse(const Thrusts& F, const Times& times, Visit visit) {
  const std::size_t n = F.size();
  if (n > 0) walk_impulse(F, times, 0, n - 1, 0.0, visit);
}

// The cumulative impulse I[k] from the first point to point k (I[0] = 0); I has the
// curve's size.
template <class Thrusts, class Times>
constexpr void cumulative_impulse(const Thrusts& F, const Times& times, std::span<double> I) {
  walk_impulse(F, times, [&](std::size_t k, double v) {
    I[k] = v;
    return true;
  });
}

// The total impulse: the cumulative impulse at the last point; 0 for fewer than two
// points.
template <class Thrusts, class Times>
constexpr double total_impulse(const Thrusts& F, const Times& times) {
  double total = 0.0;
  walk_impulse(F, times, [&](std::size_t, double v) {
    total = v;
    return true;
  });
  return total;
}

// The mean thrust over a burn time (N).
constexpr double mean_thrust(double It, double burn_time) { return It / burn_time; }

// A curve given at points as a function of time: straight between its points and flat
// beyond its ends. `cursor` remembers where the last call stopped; calls whose times do
// not decrease walk the curve once.
inline double thrust_at(std::span<const double> t, std::span<const double> F, double x, std::size_t& cursor) {
  const std::size_t n = t.size();
  std::size_t& j = cursor;
  while (j + 1 < n && t[j + 1] <= x) ++j;
  if (x <= t[0]) return F[0];
  if (j + 1 >= n) return F[n - 1];
  if (x == t[j]) return F[j];
  return F[j] + (F[j + 1] - F[j]) * ((x - t[j]) / (t[j + 1] - t[j]));
}

// The impulse of a curve given at points between the times a and b (a < b): the
// thrust at a and at b as thrust_at gives it, and every point strictly between them.
inline double impulse_between(std::span<const double> t, std::span<const double> F, double a, double b) {
  std::size_t cursor = 0;
  double x0 = a, y0 = thrust_at(t, F, a, cursor), I = 0.0;
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (t[i] <= a) continue;
    if (t[i] >= b) break;
    I = trapezoid(y0, F[i], t[i] - x0) + I;
    x0 = t[i];
    y0 = F[i];
  }
  std::size_t end_cursor = 0;
  return trapezoid(y0, thrust_at(t, F, b, end_cursor), b - x0) + I;
}

}  // namespace kv
