// The uncertainty kernels: the noise term against a Monte Carlo of noisy copies, the
// scale of a slope error, Richardson's estimate against the trapezoid's true error on
// curves whose impulse is known exactly, the class and number probabilities, and the
// least-squares line of a set of calibration points against answers worked by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "analysis/impulse.h"
#include "analysis/uncertainty.h"

namespace kv {
namespace {

// A plateau of 40 N with a 0.1 s rise and a 0.3 s tail, sampled at 1 kHz.
std::vector<double> plateau_with_ramps() {
  std::vector<double> F;
  for (int k = 0; k <= 2000; ++k) {
    const double t = k / 1000.0;
    F.push_back(t < 0.1 ? 400.0 * t : t < 1.7 ? 40.0 : t < 2.0 ? 40.0 * (2.0 - t) / 0.3 : 0.0);
  }
  return F;
}

TEST(Uncertainty, TheNoiseTermIsTheSpreadOfTheImpulseOfNoisyCopies) {
  const std::vector<double> clean = plateau_with_ramps();
  const double dt = 0.001;
  for (const double sigma : {0.05, 0.8}) {
    SCOPED_TRACE(sigma);
    std::mt19937_64 random(20261210);
    std::normal_distribution<double> noise(0.0, sigma);
    std::vector<double> F(clean.size());
    double sum = 0.0, sq = 0.0;
    constexpr int kCopies = 10000;
    for (int copy = 0; copy < kCopies; ++copy) {
      for (std::size_t k = 0; k < F.size(); ++k) F[k] = clean[k] + noise(random);
      const double It = total_impulse(std::span<const double>(F), UniformTimes{dt});
      sum += It;
      sq += It * It;
    }
    const double mean = sum / kCopies;
    const double spread = std::sqrt((sq - kCopies * mean * mean) / (kCopies - 1));  // sample standard deviation
    const double predicted = impulse_noise(sigma, UniformTimes{dt}, 0, clean.size() - 1);
    EXPECT_NEAR(predicted, sigma * dt * std::sqrt(static_cast<double>(clean.size()) - 1.5), 1e-15);
    EXPECT_NEAR(spread / predicted, 1.0, 0.03);
  }
}

TEST(Uncertainty, ASlopeErrorScalesTheImpulseByItself) {
  // A calibration slope off by epsilon multiplies every thrust, and so the impulse, by
  // 1 + epsilon: its budget line is (u_K / K) x It, fully correlated over the samples.
  const std::vector<double> F = plateau_with_ramps();
  const double It = total_impulse(std::span<const double>(F), UniformTimes{0.001});
  for (const double epsilon : {0.003, -0.01, 0.05}) {
    std::vector<double> scaled(F);
    for (double& f : scaled) f *= 1.0 + epsilon;
    const double moved = total_impulse(std::span<const double>(scaled), UniformTimes{0.001}) - It;
    EXPECT_NEAR(moved / It, epsilon, 1e-12) << epsilon;
  }
}

TEST(Uncertainty, RichardsonEstimatesTheTrapezoidsErrorOnKnownCurves) {
  struct Curve {
    const char* name;
    double (*F)(double);
    double T;       // from 0 to T
    double exact;   // the impulse over [0, T]
    int points;
  };
  const Curve curves[] = {
      {"half a sine", [](double t) { return 30.0 * std::sin(std::numbers::pi * t / 1.6); }, 1.6, 30.0 * 3.2 / std::numbers::pi, 161},
      {"regressive decay", [](double t) { return 50.0 * std::exp(-2.0 * t); }, 2.0, 25.0 * (1.0 - std::exp(-4.0)), 101},
      {"progressive square", [](double t) { return 10.0 * t * t; }, 3.0, 90.0, 61},
      {"odd number of steps", [](double t) { return 20.0 * std::sin(std::numbers::pi * t / 2.0); }, 2.0, 80.0 / std::numbers::pi, 42},
  };
  for (const Curve& c : curves) {
    SCOPED_TRACE(c.name);
    const double dt = c.T / (c.points - 1);
    std::vector<double> F;
    for (int k = 0; k < c.points; ++k) F.push_back(c.F(k * dt));
    // The error is that of the span Richardson looks at: the whole curve, or all but its
    // last interval when the intervals are odd in number.
    const auto last = static_cast<std::size_t>((c.points - 1) % 2 == 1 ? c.points - 2 : c.points - 1);
    const double span = static_cast<double>(last) * dt;
    double exact = c.exact;
    if (last + 1 < static_cast<std::size_t>(c.points)) {
      // The exact impulse up to `span` by a fine rule: Simpson with a thousand times the points.
      const int m = 200000;
      const double h = span / m;
      double s = c.F(0) + c.F(span);
      for (int i = 1; i < m; ++i) s += (i % 2 ? 4.0 : 2.0) * c.F(i * h);
      exact = s * h / 3.0;
    }
    const double trapezoid = total_impulse(std::span<const double>(F).first(last + 1), UniformTimes{dt});
    const double true_error = trapezoid - exact;
    ASSERT_NE(true_error, 0.0);
    EXPECT_NEAR(richardson(F, dt) / true_error, 1.0, 0.2) << "estimate " << richardson(F, dt) << ", error " << true_error;
  }
}

TEST(Uncertainty, ProbabilitiesOfTheClassAndOfTheNumber) {
  struct Row {
    double value, u;
    double class_p, number_p;
  };
  const Row rows[] = {
      // It = 19 N s +- 0.5 in D (10, 20]: Phi(2) - Phi(-18).
      {19.0, 0.5, 0.9772498680518208, 1.0},
      // Exactly on a bound belongs to the lower class, and has half of it on either side.
      {20.0, 0.5, 0.5, 1.0},
      // No uncertainty at all: certain.
      {15.0, 0.0, 1.0, 1.0},
  };
  for (const Row& r : rows) {
    EXPECT_NEAR(class_probability(r.value, r.u), r.class_p, 1e-12) << r.value;
  }
  // The average 11.86 N +- 0.2 rounds to 12: P(11.5 <= X < 12.5) = Phi(3.2) - Phi(-1.8).
  EXPECT_NEAR(number_probability(11.86, 0.2), 0.9993128620620841 - 0.0359303191129258, 1e-12);
  // 80.3 N +- 0.5: a G80 or a G81?  P(79.5 <= X < 80.5) = Phi(0.4) - Phi(-1.6).
  EXPECT_NEAR(number_probability(80.3, 0.5), 0.6554217416103242 - 0.0547992916995579, 1e-12);
  EXPECT_EQ(number_probability(std::nan(""), 0.5), 0.0);
  EXPECT_EQ(class_probability(0.0, 0.5), 0.0);
  EXPECT_NEAR(rectangular(0.3), 0.3 / std::sqrt(3.0), 1e-16);
  EXPECT_NEAR(quantisation(0.012), 0.012 / std::sqrt(12.0), 1e-16);
  const double terms[] = {3.0, 4.0, 12.0};
  EXPECT_DOUBLE_EQ(combined(terms), 13.0);
}

TEST(Uncertainty, TheLeastSquaresLineOfCalibrationPoints) {
  struct Row {
    const char* name;
    std::vector<double> x, y;
    double K, B, s, u_K, u_B, nonlinearity;
  };
  const double nan = std::nan("");
  const Row rows[] = {
      // Worked by hand: mean x 1.5, mean y 2.75, Sxx 5, Sxy 5.5; residuals -0.1, 0.8,
      // -1.3, 0.6, their squares sum to 2.7.
      {"four scattered points", {0, 1, 2, 3}, {1, 3, 2, 5}, 1.1, 1.1, std::sqrt(1.35), std::sqrt(1.35 / 5.0),
       std::sqrt(1.35 * 0.7), 26.0},
      // An empty stand and a 1 kg weight: the line through both, nothing known of its scatter.
      {"two points", {-152.0, 14806.65}, {0.0, 9.80665}, 9.80665 / 14958.65, 152.0 * 9.80665 / 14958.65, nan, nan, nan, 0.0},
      // Points on a line: no scatter, no uncertainty.
      {"exactly straight", {0, 1000, 2000, 4000}, {-0.5, 9.5, 19.5, 39.5}, 0.01, -0.5, 0.0, 0.0, 0.0, 0.0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const LineFit f = least_squares(r.x, r.y);
    ASSERT_TRUE(f.valid);
    EXPECT_NEAR(f.K, r.K, 1e-12 * std::fabs(r.K));
    EXPECT_NEAR(f.B, r.B, 1e-9);
    for (const auto& [got, want] : {std::pair{f.s, r.s}, std::pair{f.u_K, r.u_K}, std::pair{f.u_B, r.u_B}}) {
      if (std::isnan(want))
        EXPECT_TRUE(std::isnan(got));
      else
        EXPECT_NEAR(got, want, 1e-9);
    }
    EXPECT_NEAR(f.nonlinearity_pct, r.nonlinearity, 1e-9);
  }
  EXPECT_FALSE(least_squares(std::vector<double>{5.0, 5.0}, std::vector<double>{1.0, 2.0}).valid);
  EXPECT_FALSE(least_squares(std::vector<double>{5.0}, std::vector<double>{1.0}).valid);
}

}  // namespace
}  // namespace kv
