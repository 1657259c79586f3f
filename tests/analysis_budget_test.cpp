// The uncertainty budget of a firing's figures: its noise lines against the spread of
// the figures over noisy copies of a curve, a slope error against the figures of a scaled
// curve, the noise found in a curve itself, and the sources it names as left out.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "analysis/budget.h"
#include "analysis/impulse.h"
#include "analysis/nfpa.h"
#include "analysis/uncertainty.h"

namespace kv {
namespace {

constexpr double kDt = 0.001;

// A plateau of 40 N with a 0.1 s rise and a 0.3 s tail, quiet before and after, at 1 kHz.
std::vector<double> plateau_with_ramps() {
  std::vector<double> F;
  for (int k = 0; k <= 2400; ++k) {
    const double t = k / 1000.0 - 0.2;
    F.push_back(t < 0 ? 0.0 : t < 0.1 ? 400.0 * t : t < 1.7 ? 40.0 : t < 2.0 ? 40.0 * (2.0 - t) / 0.3 : 0.0);
  }
  return F;
}

struct Spread {
  double sum = 0, sq = 0;
  int n = 0;
  void add(double v) {
    sum += v;
    sq += v * v;
    ++n;
  }
  double deviation() const {
    const double m = sum / n;
    return std::sqrt((sq - n * m * m) / (n - 1));
  }
};

// Over 10^4 noisy copies, the spread of each figure is the budget's noise line for it:
// the window's impulse and average through the trapezoid's weights, the NFPA 1125 burn
// time through the slope at the crossings, which bounds it.
TEST(Budget, TheNoiseLinesAreTheSpreadOfTheFiguresOfNoisyCopies) {
  const std::vector<double> clean = plateau_with_ramps();
  const double sigma = 0.4;
  BudgetInputs in;
  in.noise_sigma_N = sigma;
  const double length = static_cast<double>(clean.size() - 1) * kDt;
  const double It0 = total_impulse(std::span<const double>(clean), UniformTimes{kDt});
  const Budget window = window_budget(clean, kDt, It0, length, It0 / length, in);
  const Budget nfpa = nfpa_budget(clean, kDt, 0.4, in);
  const auto noise_line = [](const Budget& b) {
    for (const BudgetTerm& t : b.terms)
      if (t.source == "noise") return t;
    ADD_FAILURE() << "no noise line";
    return BudgetTerm{};
  };
  const BudgetTerm wn = noise_line(window), nn = noise_line(nfpa);

  std::mt19937_64 random(20261210);
  std::normal_distribution<double> noise(0.0, sigma);
  std::vector<double> F(clean.size());
  Spread It, average, nfpa_It, burn;
  for (int copy = 0; copy < 10000; ++copy) {
    for (std::size_t k = 0; k < F.size(); ++k) F[k] = clean[k] + noise(random);
    const std::span<const double> curve(F);
    It.add(total_impulse(curve, UniformTimes{kDt}));
    average.add(total_impulse(curve, UniformTimes{kDt}) / (static_cast<double>(F.size() - 1) * kDt));
    // The NFPA figures of the noisy copy with the clean curve's threshold and peak, so that
    // the spread is the crossings' and the readings', not that of the peak's own noise.
    const UniformTimes times{kDt};
    const Crossings c = crossings(curve, times, peak_index(clean), 2.0);
    nfpa_It.add(impulse_from_rise(curve, times, c, 2.0, 0.4));
    burn.add(c.end - c.start);
  }
  EXPECT_NEAR(It.deviation() / wn.u[kTotalImpulse], 1.0, 0.03);
  EXPECT_NEAR(average.deviation() / wn.u[kAverage], 1.0, 0.03);
  // A crossing lies between two readings and its interpolation averages their noise, so
  // that sigma / |dF/dt| is a bound the spread comes close to, never passes.
  EXPECT_LE(burn.deviation(), nn.u[kBurnTime]);
  EXPECT_GT(burn.deviation(), 0.8 * nn.u[kBurnTime]);
  // From the rise, the impulse's span is shorter than the window's and the tail's noise
  // counts only down to the last measurable thrust: the line is within a few per cent.
  EXPECT_NEAR(nfpa_It.deviation() / nn.u[kTotalImpulse], 1.0, 0.05);
  EXPECT_LT(nn.u[kTotalImpulse], wn.u[kTotalImpulse]);
  EXPECT_EQ(nn.u[kPeak], sigma);
}

// A slope error of epsilon scales every thrust: the total impulse, the average and the
// peak move by exactly epsilon times themselves, the burn time not at all (the threshold
// scales with the peak), and the slope line is (u_K / K) x figure.
TEST(Budget, ASlopeErrorMovesTheThrustFiguresByItsShareAndTheSlopeLineIsThatShare) {
  const std::vector<double> clean = plateau_with_ramps();
  const double epsilon = 0.003;
  std::vector<double> scaled(clean);
  for (double& f : scaled) f *= 1.0 + epsilon;
  BudgetInputs in;
  in.slope_share = epsilon;
  in.mass_kg = 0.03;
  const Budget b = nfpa_budget(clean, kDt, 0.4, in);
  const Budget s = nfpa_budget(scaled, kDt, 0.4 * (1.0 + epsilon), in);
  for (const Figure f : {kTotalImpulse, kAverage, kPeak, kSpecificImpulse, kExhaustVelocity})
    EXPECT_NEAR(s.value[f] - b.value[f], epsilon * b.value[f], 1e-12 * b.value[f]) << kFigureNames[f];
  EXPECT_NEAR(s.value[kBurnTime], b.value[kBurnTime], 1e-12);
  ASSERT_EQ(b.terms.front().source, "calibration slope");
  for (const Figure f : {kTotalImpulse, kAverage, kPeak, kSpecificImpulse})
    EXPECT_NEAR(b.terms.front().u[f], epsilon * b.value[f], 1e-12 * b.value[f]) << kFigureNames[f];
  EXPECT_EQ(b.terms.front().u[kBurnTime], 0.0);
}

// What is not known is named, never silently left out of U; what is known is not named.
TEST(Budget, EverySourceWithoutItsInputIsNamedAsLeftOut) {
  const std::vector<double> clean = plateau_with_ramps();
  const auto names = [](const Budget& b) {
    std::string s;
    for (const std::string& l : b.left_out) s += l.substr(0, l.find(':')) + "; ";
    return s;
  };
  EXPECT_EQ(names(nfpa_budget(clean, kDt, 0.4, {})),
            "calibration slope; non-linearity and hysteresis; tare offset and drift; noise; clock; specific impulse "
            "and exhaust velocity; ");
  BudgetInputs all;
  all.slope_share = 0.003;
  all.nonlinearity_N = 0.1;
  all.tare_offset_N = 0.02;
  all.tare_drift_N = 0.2;
  all.noise_sigma_N = 0.05;
  all.quantisation_N = 0.01;
  all.clock_share = 1e-4;
  all.mass_kg = 0.03;
  all.mass_u_kg = 1e-4;
  const Budget b = nfpa_budget(clean, kDt, 0.4, all);
  EXPECT_EQ(names(b), "");
  // Each line adds to u as the root of the sum of squares, and U = 2 u.
  for (std::size_t f = 0; f < kFigures; ++f) {
    double sum = 0;
    for (const BudgetTerm& t : b.terms) sum += t.u[f] * t.u[f];
    EXPECT_DOUBLE_EQ(b.u[f], std::sqrt(sum)) << kFigureNames[f];
    EXPECT_DOUBLE_EQ(b.U[f], 2.0 * b.u[f]);
  }
  // A drift of 0.2 N between the spans, over the impulse's span, as the tare line says.
  for (const BudgetTerm& t : b.terms)
    if (t.source == "tare drift") {
      EXPECT_NEAR(t.u[kAverage], 0.2 / std::sqrt(3.0), 1e-15);
    }
  // The 40 N s-class figure far from any bound: its class and number are certain.
  EXPECT_GT(b.class_probability, 0.999);
}

// The slope, the non-linearity and the clock are alike in every firing on one stand; the
// rest differ from firing to firing, and only those make up a firing's own uncertainty.
// Of the sources left out, the firing-to-firing ones are named as such.
TEST(Budget, TermsAlikeInEveryFiringAreToldApart) {
  const std::vector<double> clean = plateau_with_ramps();
  BudgetInputs all;
  all.slope_share = 0.003;
  all.nonlinearity_N = 0.1;
  all.tare_offset_N = 0.02;
  all.noise_sigma_N = 0.05;
  all.clock_share = 1e-4;
  const Budget b = nfpa_budget(clean, kDt, 0.4, all);
  double own = 0.0;
  for (const BudgetTerm& t : b.terms) {
    const bool common = t.source == "calibration slope" || t.source == "non-linearity and hysteresis" || t.source == "clock";
    EXPECT_EQ(t.common, common) << t.source;
    if (!common) own += t.u[kTotalImpulse] * t.u[kTotalImpulse];
  }
  EXPECT_DOUBLE_EQ(own_uncertainty(b, kTotalImpulse), std::sqrt(own));
  EXPECT_LT(own_uncertainty(b, kTotalImpulse), b.u[kTotalImpulse]);
  EXPECT_TRUE(b.own_left_out.empty());
  const std::vector<std::string> unknown{"tare offset and drift", "noise"};
  EXPECT_EQ(nfpa_budget(clean, kDt, 0.4, {}).own_left_out, unknown);
}

TEST(Budget, TheNoiseOfACurveIsFoundFromTheCurveItself) {
  const std::vector<double> clean = plateau_with_ramps();
  for (const double sigma : {0.02, 0.3, 2.0}) {
    SCOPED_TRACE(sigma);
    std::mt19937_64 random(7);
    std::normal_distribution<double> noise(0.0, sigma);
    std::vector<double> F(clean);
    for (double& f : F) f += noise(random);
    EXPECT_NEAR(noise_from_curve(F) / sigma, 1.0, 0.06);
  }
  EXPECT_EQ(noise_from_curve(clean), 0.0);
}

TEST(Budget, AMassIsKnownToHalfItsLastDigit) {
  const struct {
    double value, half_digit;
  } rows[] = {{0.0125, 0.00005}, {0.028, 0.0005}, {1.0, 0.5}, {0.1, 0.05}, {2.75e-3, 5e-6}};
  for (const auto& r : rows)
    EXPECT_NEAR(last_digit_uncertainty(r.value), r.half_digit / std::sqrt(3.0), 1e-12 * r.half_digit) << r.value;
}

}  // namespace
}  // namespace kv
