// NFPA 1125 figures on curves whose burn time and average thrust are known exactly, and
// the class letters past N.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "analysis/impulse_class.h"
#include "analysis/nfpa.h"

namespace kv {
namespace {

// A polyline given by its corners (time, thrust), sampled every dt from 0 to its last
// corner; the corners fall on samples, so the sampled curve is the polyline itself.
std::vector<double> polyline(const std::vector<std::pair<double, double>>& corners, double dt) {
  std::vector<double> F;
  const long n = std::lround(corners.back().first / dt);
  for (long i = 0; i <= n; ++i) {
    const double t = static_cast<double>(i) * dt;
    double v = 0.0;
    for (std::size_t k = 1; k < corners.size(); ++k) {
      const auto [ta, Fa] = corners[k - 1];
      const auto [tb, Fb] = corners[k];
      if (t >= ta - 1e-12 && t <= tb + 1e-12) {
        v = tb > ta ? Fa + (Fb - Fa) * (t - ta) / (tb - ta) : Fb;
        break;
      }
    }
    F.push_back(v);
  }
  return F;
}

struct Analytic {
  const char* name;
  std::vector<std::pair<double, double>> corners;
  double dt;
  double total, peak, start, end, inside;
};

// Each ramp from 0 to P crosses 5 % of the peak 5 % of the way up; the corner triangles
// outside the crossings are what the burn impulse leaves out.
const Analytic kAnalytic[] = {
    // 0 -> 100 N at 0.5 s -> 0 at 1 s: crossings at 0.025 s and 0.975 s; outside, two
    // triangles of 0.5 * 0.025 * 5 N s.
    {"triangle", {{0, 0}, {0.5, 100}, {1.0, 0}}, 0.001, 50.0, 100.0, 0.025, 0.975, 50.0 - 2 * 0.0625},
    // Crossings between samples: 30 samples up (1.5 samples to the crossing), 70 down.
    {"triangle_crossing_between_samples", {{0, 0}, {0.03, 60}, {0.1, 0}}, 0.001, 3.0, 60.0, 0.0015, 0.1 - 0.0035,
     3.0 - 0.5 * 0.0015 * 3 - 0.5 * 0.0035 * 3},
    // Up in 0.2 s to 40 N, flat for 0.6 s, down in 0.4 s.
    {"trapezoid", {{0, 0}, {0.2, 40}, {0.8, 40}, {1.2, 0}}, 0.001, 36.0, 40.0, 0.01, 1.18, 36.0 - 0.01 - 0.02},
    // A rectangle of 10 N for 1 s with 5 ms ramps, zero before and after it.
    {"rectangle_with_ramps",
     {{0, 0}, {0.3, 0}, {0.305, 10}, {1.305, 10}, {1.31, 0}, {1.5, 0}},
     0.0005,
     10.05,
     10.0,
     0.30025,
     1.30975,
     10.05 - 2 * 0.5 * 0.00025 * 0.5},
};

TEST(NfpaFigures, AnalyticCurvesGiveTheirExactBurnTimeAndAverage) {
  for (const Analytic& a : kAnalytic) {
    SCOPED_TRACE(a.name);
    const std::vector<double> F = polyline(a.corners, a.dt);
    const NfpaFigures r = nfpa_figures(F, a.dt);
    const double tol = 1e-9;
    EXPECT_NEAR(r.total_impulse, a.total, tol * a.total);
    EXPECT_NEAR(r.peak, a.peak, tol * a.peak);
    EXPECT_NEAR(r.threshold, 0.05 * a.peak, tol);
    EXPECT_NEAR(r.burn_start, a.start, tol);
    EXPECT_NEAR(r.burn_end, a.end, tol);
    EXPECT_NEAR(r.burn_time, a.end - a.start, tol);
    EXPECT_NEAR(r.burn_impulse, a.inside, tol * a.total);
    EXPECT_NEAR(r.average, a.inside / (a.end - a.start), tol * a.peak);
  }
}

TEST(NfpaFigures, BurnEdgesAtTheEndsOfTheCurveAndBetweenPulses) {
  struct Case {
    const char* name;
    std::vector<double> F;
    double start, end, inside;
  };
  const double dt = 0.1;
  const Case cases[] = {
      // Already above 5 % at the first sample: the burn starts there.
      {"starts_above", {10, 10, 10, 0}, 0.0, 0.2 + 0.095, 2.0 + 0.5 * (10 + 0.5) * 0.095},
      // Still above 5 % at the last sample: the burn ends there.
      {"ends_above", {0, 10, 10, 10}, 0.005, 0.3, 0.5 * (0.5 + 10) * 0.095 + 2.0},
      // Only the peak is above: the burn is the two part-segments around it.
      {"single_sample", {0, 10, 0}, 0.005, 0.195, 2 * 0.5 * (0.5 + 10) * 0.095},
      // Two pulses with a gap below 5 % between them: the burn runs from the first
      // crossing to the last and takes in the gap.
      {"two_pulses", {0, 10, 0, 0, 10, 0}, 0.005, 0.495, 2.0 - 2 * 0.5 * 0.005 * 0.5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const NfpaFigures r = nfpa_figures(c.F, dt);
    EXPECT_NEAR(r.burn_start, c.start, 1e-12);
    EXPECT_NEAR(r.burn_end, c.end, 1e-12);
    EXPECT_NEAR(r.burn_impulse, c.inside, 1e-12);
    EXPECT_NEAR(r.average, c.inside / (c.end - c.start), 1e-9);
  }
}

TEST(NfpaFigures, NoPositiveThrustHasNoBurn) {
  for (const std::vector<double>& F : {std::vector<double>{0, 0, 0}, {-1, -2}, {}}) {
    const NfpaFigures r = nfpa_figures(F, 0.01);
    EXPECT_TRUE(std::isnan(r.burn_time));
    EXPECT_TRUE(std::isnan(r.average));
    EXPECT_EQ(r.designation, "");
  }
}

TEST(NfpaFigures, ClassesContinuePastNByDoublingWithUpperBoundsInclusive) {
  struct Row {
    double impulse;
    double average;
    const char* designation;
  };
  const Row rows[] = {
      {0.0, 5.0, ""},                 // no impulse, no class
      {0.3125, 0.4, "1/8A0"},         // top of the first class
      {0.3126, 1.0, "1/4A1"},
      {2.5, 12.5, "A13"},             // halves round away from zero
      {2.5000001, 3.0, "B3"},
      {18.97, 12.28, "D12"},
      {20480.0, 1000.0, "N1000"},     // the program's last class, bound included
      {20480.01, 1000.0, "O1000"},
      {40960.0, 3400.4, "O3400"},
      {40960.5, 3400.0, "P3400"},
      {81920.0, 5000.0, "P5000"},
      {81920.1, 5000.0, "Q5000"},
      {20480.0 * 4096, 9e4, "Z90000"},  // Z: twelve doublings past N
      {20480.0 * 4096 + 1, 9e4, ""},
      {std::nan(""), 10.0, ""},
      {10.0, std::nan(""), ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.impulse);
    EXPECT_EQ(designation(impulse_class_continued(r.impulse), r.average), r.designation);
  }
}

TEST(NfpaFigures, TotalImpulseFromTheRiseToTheLastMeasurableThrust) {
  // Points 0.1 s apart. The level is 5 N, what counts as measurable thrust above 1 N.
  struct Row {
    const char* name;
    std::vector<double> F;
    double impulse;
  };
  const Row rows[] = {
      // The rise crosses 5 N halfway from 0 to 10: from there, 0.05 * (5 + 10) / 2 and
      // then the whole curve down to the zero after the last point above 1 N.
      {"a clean burn", {0, 10, 10, 0}, 0.375 + 1.0 + 0.5},
      // Readings before the rise do not count (the 2 N before the crossing).
      {"a floor before ignition", {2, 2, 8, 8, 0}, 0.05 * (5 + 8) / 2 + 0.8 + 0.4},
      // Noise after burn-out at or below 1 N does not count; the fall to the first such
      // reading does.
      {"noise after burn-out", {0, 10, 10, 1, 0.5, 1, 0.2}, 0.375 + 1.0 + 0.55},
      // A reading above 1 N long after burn-out is still measurable thrust.
      {"a late reading above 1 N", {0, 10, 10, 0, 0, 2, 0}, 0.375 + 1.0 + 0.5 + 0.0 + 0.1 + 0.1},
      // A curve that starts at its level counts from its first point, one that ends
      // above it to its last.
      {"starts and ends above", {10, 10, 10}, 2.0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const UniformTimes times{0.1};
    const std::size_t p = peak_index(r.F);
    const Crossings c = crossings(std::span<const double>(r.F), times, p, 5.0);
    EXPECT_NEAR(impulse_from_rise(std::span<const double>(r.F), times, c, 5.0, 1.0), r.impulse, 1e-12);
  }
}

}  // namespace
}  // namespace kv
