// How uncertain a figure is: the models of the terms of an uncertainty budget, their
// combination into a standard uncertainty u and an expanded one U = k u, the probability
// that a class or a designation's number is the one printed, and the straight line a set
// of dead-weight calibration points gives.
//
// Every term is a standard uncertainty in the unit of its figure; terms are independent
// of one another and combine as the root of the sum of their squares. A bound b of which
// nothing more is known (a rounding, a non-linearity given as a percentage, a drift whose
// course between two spans is unknown) is a rectangular distribution: u = b / sqrt(3).
#pragma once

#include <cmath>
#include <cstddef>
#include <span>
#include <vector>

#include "analysis/impulse.h"

namespace kv {

// The coverage factor of the expanded uncertainty: U = 2 u, about 95 % for a normal law.
inline constexpr double kCoverage = 2.0;

// The standard uncertainty of a quantity known only to lie within +-half_width.
inline double rectangular(double half_width) { return std::fabs(half_width) / std::sqrt(3.0); }

// The standard uncertainty of a reading rounded to steps of `step`: step / sqrt(12).
inline double quantisation(double step) { return std::fabs(step) / std::sqrt(12.0); }

// Independent terms combined: the root of the sum of their squares.
inline double combined(std::span<const double> terms) {
  double sum = 0.0;
  for (const double u : terms) sum += u * u;
  return std::sqrt(sum);
}

// The trapezoid impulse is sum_k w_k F_k, with w_k half the step on either side of point
// k. Noise of standard deviation sigma, independent from point to point, gives the
// impulse the standard uncertainty sigma * sqrt(sum_k w_k^2). Over a uniform grid of n
// points that is sigma * dt * sqrt(n - 1.5).
template <class Times>
double impulse_noise(double sigma, const Times& times, std::size_t first, std::size_t last) {
  if (last <= first) return 0.0;
  double sum = 0.0;
  for (std::size_t k = first; k <= last; ++k) {
    const double before = k > first ? times.step(k) : 0.0;
    const double after = k < last ? times.step(k + 1) : 0.0;
    const double w = (before + after) / 2.0;
    sum += w * w;
  }
  return std::fabs(sigma) * std::sqrt(sum);
}

// Richardson's estimate of the trapezoid rule's error on a uniform grid: the impulse at
// dt against the impulse at 2 dt over the same span, their difference divided by 3 (the
// rule's error falls with the square of the step). The span is the curve's, less its last
// interval when the number of intervals is odd. Signed: the trapezoid at dt minus the
// exact impulse, as far as the estimate tells.
inline double richardson(std::span<const double> F, double dt) {
  if (F.size() < 3) return 0.0;
  std::size_t last = F.size() - 1;
  if (last % 2 == 1) --last;
  double fine = 0.0, coarse = 0.0;
  for (std::size_t k = 1; k <= last; ++k) fine = trapezoid(F[k - 1], F[k], dt) + fine;
  for (std::size_t k = 2; k <= last; k += 2) coarse = trapezoid(F[k - 2], F[k], 2.0 * dt) + coarse;
  return (coarse - fine) / 3.0;
}

// The standard uncertainty of the time at which a curve crosses a level, from noise sigma
// on the thrust where the curve's slope is `slope` (N/s): sigma / |slope|; infinite on a
// flat stretch.
inline double crossing_time(double sigma, double slope) { return std::fabs(sigma) / std::fabs(slope); }

// The probability that a normally distributed quantity (mean, standard uncertainty u)
// lies above `lower` and at most `upper`; with u = 0, 1 or 0.
inline double probability_within(double mean, double u, double lower, double upper) {
  if (!(u > 0.0)) return lower < mean && mean <= upper ? 1.0 : 0.0;
  const auto below = [&](double x) { return 0.5 * std::erfc(-(x - mean) / (u * std::sqrt(2.0))); };
  return below(upper) - below(lower);
}

// The probability that the total impulse lies in the class that its value gives (classes
// by impulse_class_continued); 0 when the value gives none.
double class_probability(double It, double u);

// The probability that the average thrust rounds to the designation's number that its
// value rounds to (halves away from zero); 0 for a value with no number.
double number_probability(double average, double u);

// A straight line y = K x + B fitted by least squares to points (x, y), with the
// standard uncertainties of K and B from the scatter of the points about it (s, with n - 2
// degrees of freedom: none for two points, which a line always meets, so that s, u_K and
// u_B are NaN then), the residuals y - (K x + B), and the largest residual as a share of
// the largest |y| (the non-linearity, %).
struct LineFit {
  double K = 0.0, B = 0.0;
  double s = 0.0;
  double u_K = 0.0, u_B = 0.0;
  std::vector<double> residuals;
  double nonlinearity_pct = 0.0;
  bool valid = false;  // two points at two different x at least
};
LineFit least_squares(std::span<const double> x, std::span<const double> y);

}  // namespace kv
