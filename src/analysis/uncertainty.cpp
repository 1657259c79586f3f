#include "analysis/uncertainty.h"

#include <algorithm>
#include <cstdint>

#include "analysis/impulse_class.h"

namespace kv {

double class_probability(double It, double u) {
  const std::optional<ImpulseClass> c = class_of(It, Classes::Continued);
  if (!c) return 0.0;
  return probability_within(It, u, c->lower, c->upper);
}

double number_probability(double average, double u) {
  std::int32_t n = 0;
  if (!class_number(average, n)) return 0.0;
  // n is the value's rounding, halves away from zero: the values that give n lie in
  // [n - 0.5, n + 0.5) above zero and in (n - 0.5, n + 0.5] below it. The ends carry no
  // probability under a normal law.
  const double centre = static_cast<double>(n);
  return probability_within(average, u, centre - 0.5, centre + 0.5);
}

LineFit least_squares(std::span<const double> x, std::span<const double> y) {
  LineFit fit;
  const std::size_t n = std::min(x.size(), y.size());
  if (n < 2) return fit;
  double mx = 0.0, my = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    mx += x[i];
    my += y[i];
  }
  mx /= static_cast<double>(n);
  my /= static_cast<double>(n);
  double sxx = 0.0, sxy = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    sxx += (x[i] - mx) * (x[i] - mx);
    sxy += (x[i] - mx) * (y[i] - my);
  }
  if (!(sxx > 0.0)) return fit;
  fit.valid = true;
  fit.K = sxy / sxx;
  fit.B = my - fit.K * mx;
  double ssr = 0.0, largest_y = 0.0, largest_r = 0.0;
  fit.residuals.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double r = y[i] - (fit.K * x[i] + fit.B);
    fit.residuals[i] = r;
    ssr += r * r;
    largest_y = std::max(largest_y, std::fabs(y[i]));
    largest_r = std::max(largest_r, std::fabs(r));
  }
  fit.nonlinearity_pct = largest_y > 0.0 ? 100.0 * largest_r / largest_y : 0.0;
  if (n == 2) {
    fit.s = fit.u_K = fit.u_B = std::nan("");
    return fit;
  }
  fit.s = std::sqrt(ssr / static_cast<double>(n - 2));
  fit.u_K = fit.s / std::sqrt(sxx);
  fit.u_B = fit.s * std::sqrt(1.0 / static_cast<double>(n) + mx * mx / sxx);
  return fit;
}

}  // namespace kv
