// The statistics of a series' columns and the Student t factor of their confidence
// interval.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "analysis/series_statistics.h"

namespace kv {
namespace {

// Three values whose figures follow by hand: mean 12, squares of the deviations 8.
TEST(SeriesStatistics, PopulationAndSampleDeviationsByHand) {
  const std::vector<double> v{10.0, 14.0, 12.0};
  const SampleStatistics s = sample_statistics(v);
  EXPECT_EQ(s.n, 3u);
  EXPECT_DOUBLE_EQ(s.mean, 12.0);
  EXPECT_DOUBLE_EQ(s.std_population, std::sqrt(8.0 / 3.0));  // divides by N
  EXPECT_DOUBLE_EQ(s.std_sample, 2.0);                        // divides by N - 1
  EXPECT_DOUBLE_EQ(s.std_percent, std::sqrt(8.0 / 3.0) / 12.0 * 100.0);
  // t(0.975, 2) = 4.3026527297494639
  EXPECT_NEAR(s.ci_half, 4.3026527297494639 * 2.0 / std::sqrt(3.0), 1e-12);
  EXPECT_DOUBLE_EQ(s.ci_low(), 12.0 - s.ci_half);
  EXPECT_DOUBLE_EQ(s.ci_high(), 12.0 + s.ci_half);
}

// Large equal offsets must not cancel the small spread away, and equal values have none.
TEST(SeriesStatistics, OffsetsAndEqualValues) {
  const std::vector<double> v{1e9 + 10.0, 1e9 + 14.0, 1e9 + 12.0};
  const SampleStatistics s = sample_statistics(v);
  EXPECT_DOUBLE_EQ(s.std_sample, 2.0);
  const std::vector<double> same(7, 0.1);
  const SampleStatistics e = sample_statistics(same);
  EXPECT_EQ(e.std_population, 0.0);
  EXPECT_EQ(e.std_sample, 0.0);
  EXPECT_EQ(e.ci_half, 0.0);
}

TEST(SeriesStatistics, TooFewValues) {
  const SampleStatistics none = sample_statistics({});
  EXPECT_TRUE(std::isnan(none.mean));
  EXPECT_TRUE(std::isnan(none.std_population));
  const std::vector<double> one{5.0};
  const SampleStatistics s = sample_statistics(one);
  EXPECT_EQ(s.mean, 5.0);
  EXPECT_EQ(s.std_population, 0.0);
  EXPECT_TRUE(std::isnan(s.std_sample));
  EXPECT_TRUE(std::isnan(s.ci_half));
}

// The 0.975 quantile against values computed to 30 digits, across the range of degrees of freedom a series has and beyond.
TEST(StudentT, KnownQuantiles) {
  struct Case {
    double dof, t;
  };
  const Case cases[] = {
      {1, 12.706204736174705},  {2, 4.3026527297494639},  {3, 3.1824463052837096},
      {5, 2.5705818356363155},  {9, 2.2621571627982055},  {10, 2.2281388519862747},
      {29, 2.0452296421327043}, {30, 2.0422724563012383}, {100, 1.9839715185235523},
      {1000, 1.9623390808264085}, {1e5, 1.9599877075346096}, {1e7, 1.9599642217672055},
      {std::numeric_limits<double>::infinity(), 1.9599639845400542},
  };
  for (const Case& c : cases) EXPECT_NEAR(student_t_95(c.dof), c.t, 1e-10 * c.t) << "dof " << c.dof;
  // The rounded values every table prints.
  EXPECT_EQ(std::round(student_t_95(1) * 1000) / 1000, 12.706);
  EXPECT_EQ(std::round(student_t_95(9) * 1000) / 1000, 2.262);
  EXPECT_EQ(std::round(student_t_95(29) * 1000) / 1000, 2.045);
}

// One and two degrees of freedom have closed forms: tan(pi (p - 1/2)) and
// (2p - 1) sqrt(2 / (4 p (1 - p))); both tails and the centre.
TEST(StudentT, ClosedFormsAtAnyProbability) {
  for (const double p : {0.001, 0.025, 0.3, 0.5, 0.6, 0.9, 0.95, 0.975, 0.995, 0.9999}) {
    EXPECT_NEAR(student_t_quantile(p, 1), std::tan(std::numbers::pi * (p - 0.5)),
                1e-11 * (1 + std::fabs(std::tan(std::numbers::pi * (p - 0.5)))))
        << p;
    const double two = (2 * p - 1) * std::sqrt(2.0 / (4 * p * (1 - p)));
    EXPECT_NEAR(student_t_quantile(p, 2), two, 1e-11 * (1 + std::fabs(two))) << p;
  }
  EXPECT_TRUE(std::isnan(student_t_quantile(0.0, 3)));
  EXPECT_TRUE(std::isnan(student_t_quantile(1.0, 3)));
  EXPECT_TRUE(std::isnan(student_t_quantile(0.9, 0)));
}

// I_x(a, b) where it has a closed form: I_x(a, 1) = x^a, I_x(1, b) = 1 - (1 - x)^b,
// and its symmetry I_x(a, b) = 1 - I_(1-x)(b, a).
TEST(IncompleteBeta, ClosedFormsAndSymmetry) {
  for (const double x : {0.0, 0.01, 0.3, 0.5, 0.77, 0.999, 1.0}) {
    EXPECT_NEAR(incomplete_beta(x, 3.5, 1.0), std::pow(x, 3.5), 1e-14) << x;
    EXPECT_NEAR(incomplete_beta(x, 1.0, 0.5), 1.0 - std::sqrt(1.0 - x), 1e-14) << x;
    EXPECT_NEAR(incomplete_beta(x, 40.0, 2.5), 1.0 - incomplete_beta(1.0 - x, 2.5, 40.0), 1e-14) << x;
  }
  EXPECT_TRUE(std::isnan(incomplete_beta(1.5, 1, 1)));
  EXPECT_TRUE(std::isnan(incomplete_beta(0.5, 0, 1)));
}

}  // namespace
}  // namespace kv
