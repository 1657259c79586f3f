#include "analysis/series_statistics.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kv {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The continued fraction of I_x(a, b) (modified Lentz), which converges fast for
// x < (a + 1) / (a + b + 2).
double beta_fraction(double x, double a, double b) {
  constexpr double kTiny = 1e-300;
  constexpr double kEpsilon = 1e-16;
  const double qab = a + b, qap = a + 1.0, qam = a - 1.0;
  double c = 1.0;
  double d = 1.0 - qab * x / qap;
  if (std::fabs(d) < kTiny) d = kTiny;
  d = 1.0 / d;
  double h = d;
  for (int m = 1; m <= 20000; ++m) {
    const double dm = static_cast<double>(m);
    const double m2 = 2.0 * dm;
    double aa = dm * (b - dm) * x / ((qam + m2) * (a + m2));
    d = 1.0 + aa * d;
    if (std::fabs(d) < kTiny) d = kTiny;
    c = 1.0 + aa / c;
    if (std::fabs(c) < kTiny) c = kTiny;
    d = 1.0 / d;
    h *= d * c;
    aa = -(a + dm) * (qab + dm) * x / ((a + m2) * (qap + m2));
    d = 1.0 + aa * d;
    if (std::fabs(d) < kTiny) d = kTiny;
    c = 1.0 + aa / c;
    if (std::fabs(c) < kTiny) c = kTiny;
    d = 1.0 / d;
    const double del = d * c;
    h *= del;
    if (std::fabs(del - 1.0) < kEpsilon) break;
  }
  return h;
}

// I_x(a, b) with y = 1 - x given apart, so that an x close to 1 keeps its digits.
double incomplete_beta(double x, double y, double a, double b) {
  if (x <= 0.0) return 0.0;
  if (y <= 0.0) return 1.0;
  const double front =
      std::exp(std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b) + a * std::log(x) + b * std::log(y));
  if (x < (a + 1.0) / (a + b + 2.0)) return front * beta_fraction(x, a, b) / a;
  return 1.0 - front * beta_fraction(y, b, a) / b;
}

// P(T <= t) for t >= 0.
double t_upper_half(double t, double dof) {
  const double t2 = t * t;
  const double x = dof / (dof + t2), y = t2 / (dof + t2);
  return 1.0 - 0.5 * incomplete_beta(x, y, dof / 2.0, 0.5);
}

double normal_cdf(double z) { return 0.5 * std::erfc(-z / std::sqrt(2.0)); }

// The root of an increasing function between lo and hi, by halving to the last bit.
template <class F>
double increasing_root(F f, double target, double lo, double hi) {
  for (int i = 0; i < 2000; ++i) {
    const double mid = lo + (hi - lo) / 2.0;
    if (!(mid > lo && mid < hi)) break;
    if (f(mid) < target)
      lo = mid;
    else
      hi = mid;
  }
  return lo + (hi - lo) / 2.0;
}

}  // namespace

double incomplete_beta(double x, double a, double b) {
  if (!(a > 0.0 && b > 0.0 && x >= 0.0 && x <= 1.0)) return kNaN;
  return incomplete_beta(x, 1.0 - x, a, b);
}

double student_t_quantile(double p, double dof) {
  if (!(p > 0.0 && p < 1.0 && dof > 0.0)) return kNaN;
  if (p < 0.5) return -student_t_quantile(1.0 - p, dof);
  if (p == 0.5) return 0.0;
  // Far beyond a million degrees of freedom the law is the normal one but for a term in
  // 1/dof (Cornish-Fisher), whose next term is far below a double's last digit.
  constexpr double kNormalFrom = 1e6;
  if (dof >= kNormalFrom) {
    const double z = increasing_root(normal_cdf, p, 0.0, 40.0);
    return std::isinf(dof) ? z : z + (z * z * z + z) / (4.0 * dof);
  }
  // The upper bound: beyond the quantile for any dof >= a small one, widened until it is.
  double hi = 16.0;
  while (t_upper_half(hi, dof) < p && hi < 1e300) hi *= 16.0;
  return increasing_root([dof](double t) { return t_upper_half(t, dof); }, p, 0.0, hi);
}

SampleStatistics sample_statistics(std::span<const double> values) {
  SampleStatistics s;
  s.n = values.size();
  if (s.n == 0) {
    s.mean = s.std_population = s.std_percent = s.std_sample = s.ci_half = kNaN;
    return s;
  }
  const double n = static_cast<double>(s.n);
  double sum = 0.0;
  for (const double v : values) sum += v;
  const double mean = sum / n;
  // The two-pass sum of squares with its correction term: exact for equal values and
  // free of the cancellation of sum(x^2) - n mean^2.
  double squares = 0.0, deviations = 0.0;
  for (const double v : values) {
    squares += (v - mean) * (v - mean);
    deviations += v - mean;
  }
  const double ss = std::max(0.0, squares - deviations * deviations / n);
  s.mean = mean;
  s.std_population = std::sqrt(ss / n);
  s.std_percent = s.std_population / mean * 100.0;
  if (s.n < 2) {
    s.std_sample = s.ci_half = kNaN;
    return s;
  }
  s.std_sample = std::sqrt(ss / (n - 1.0));
  s.ci_half = student_t_95(n - 1.0) * s.std_sample / std::sqrt(n);
  return s;
}

}  // namespace kv
