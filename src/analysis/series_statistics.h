// The statistics of a column of figures from a series of firings: the mean, the
// population standard deviation (dividing by N, as the NAR's Standards and Testing
// committee computes it for its data sheets) and that deviation in per cent of the mean;
// beside them the sample standard deviation (dividing by N - 1) and the 95 % confidence
// interval of the mean from Student's t distribution.
#pragma once

#include <cstddef>
#include <span>

namespace kv {

struct SampleStatistics {
  std::size_t n = 0;
  double mean = 0.0;
  double std_population = 0.0;  // sqrt(sum (x - mean)^2 / N)
  double std_percent = 0.0;     // std_population / mean x 100
  double std_sample = 0.0;      // sqrt(sum (x - mean)^2 / (N - 1)); NaN for one value
  double ci_half = 0.0;         // t(0.975, N - 1) x std_sample / sqrt(N); NaN for one value
  double ci_low() const { return mean - ci_half; }
  double ci_high() const { return mean + ci_half; }
};

// The statistics of the values; every figure NaN when there is none.
SampleStatistics sample_statistics(std::span<const double> values);

// The regularised incomplete beta function I_x(a, b), for a, b > 0 and x in [0, 1].
double incomplete_beta(double x, double a, double b);

// The quantile of Student's t distribution with `dof` degrees of freedom (dof > 0, may
// be infinite: the normal law) at probability p in (0, 1): P(T <= t) = p.
double student_t_quantile(double p, double dof);

// The factor of the two-sided 95 % interval: the 0.975 quantile (12.706 for one degree
// of freedom, 2.262 for nine, 1.960 for infinitely many).
inline double student_t_95(double dof) { return student_t_quantile(0.975, dof); }

}  // namespace kv
