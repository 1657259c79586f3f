// The kernels that every figure of the program and its companions comes from, on
// curves whose answers are known by hand: the trapezoid over a uniform and an
// irregular time axis, the window's edges, the cut-off and the extremes, the mass shared
// out along the curve, the class table's rows and a class position.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "analysis/impulse.h"
#include "analysis/impulse_class.h"
#include "analysis/mass_flow.h"
#include "analysis/window.h"

namespace kv {
namespace {

TEST(TrapezoidKernel, CumulativeAndTotalImpulseOnAUniformGrid) {
  struct Case {
    const char* name;
    std::vector<double> F;
    double dt;
    std::vector<double> I;
  };
  const Case cases[] = {
      {"triangular pulse", {0, 10, 0}, 0.5, {0, 2.5, 5.0}},
      {"constant thrust", {4, 4, 4, 4}, 0.25, {0, 1, 2, 3}},
      {"the worked example", {0, 10, 20, 10, 0}, 0.1, {0, 0.5, 2.0, 3.5, 4.0}},
      {"one point", {7}, 0.1, {0}},
      {"no point", {}, 0.1, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<double> I(c.F.size(), -1.0);
    cumulative_impulse(c.F, UniformTimes{c.dt}, std::span<double>(I));
    ASSERT_EQ(I.size(), c.I.size());
    for (std::size_t k = 0; k < I.size(); ++k) EXPECT_NEAR(I[k], c.I[k], 1e-12) << k;
    // The total is the cumulative impulse at the last point, the same double.
    EXPECT_EQ(total_impulse(c.F, UniformTimes{c.dt}), I.empty() ? 0.0 : I.back());
  }
}

TEST(TrapezoidKernel, PointsAtTheirOwnTimesAndBetweenTwoTimes) {
  const std::vector<double> t = {0.0, 0.1, 0.3, 0.4};
  const std::vector<double> F = {0.0, 10.0, 10.0, 0.0};
  EXPECT_NEAR(total_impulse(F, PointTimes{t}), 0.5 + 2.0 + 0.5, 1e-12);

  // Straight between the points, flat beyond the ends.
  struct Between {
    double a, b, impulse;
  };
  const Between rows[] = {
      {0.05, 0.35, 0.5 * (5 + 10) * 0.05 + 2.0 + 0.5 * (10 + 5) * 0.05},
      {0.1, 0.3, 2.0},           // both ends on points
      {0.12, 0.2, 10.0 * 0.08},  // inside one segment
      {-1.0, 0.0, 0.0},          // before the first point, at its thrust
      {0.4, 2.0, 0.0},           // after the last
      {-1.0, 5.0, 3.0},
  };
  for (const Between& r : rows) {
    SCOPED_TRACE(r.a);
    EXPECT_NEAR(impulse_between(t, F, r.a, r.b), r.impulse, 1e-12) << r.b;
  }
}

TEST(TrapezoidKernel, AWalkStopsWhereItsVisitSays) {
  const std::vector<double> F = {1, 1, 1, 9, 1};
  std::size_t last = 0;
  double at_last = -1;
  walk_impulse(F, UniformTimes{1.0}, [&](std::size_t k, double I) {
    if (F[k] > 5 || I > 1.5) return false;
    last = k;
    at_last = I;
    return true;
  });
  EXPECT_EQ(last, 1u);  // point 2 has I = 2 N s
  EXPECT_EQ(at_last, 1.0);
}

TEST(WindowKernel, HalfASamplingIntervalOnEitherSideBothEdgesOutside) {
  const Window w(0.0, 0.4, 0.1);  // -0.05 < t < 0.45
  struct Row {
    double t;
    bool before, holds, passed;
  };
  const Row rows[] = {
      {-1.0, true, false, false},       {-0.05, true, false, false},       {std::nextafter(-0.05, 1.0), false, true, false},
      {0.0, false, true, false},        {0.4, false, true, false},         {0.45, false, false, false},
      {std::nextafter(0.45, 1.0), false, false, true},                     {std::nan(""), false, false, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.t);
    EXPECT_EQ(w.before(r.t), r.before);
    EXPECT_EQ(w.holds(r.t), r.holds);
    EXPECT_EQ(w.passed(r.t), r.passed);
  }
  EXPECT_EQ(sampling_interval(0), INFINITY);  // w = 0: every finite time in the window
  EXPECT_TRUE(Window(0.0, 0.4, sampling_interval(0)).holds(1e300));
}

TEST(WindowKernel, CutOffAndExtremes) {
  EXPECT_EQ(cut_off(-0.5, 0.0), 0.0);
  EXPECT_EQ(cut_off(0.0, 0.0), 0.0);
  EXPECT_EQ(cut_off(3.0, 0.0), 3.0);
  EXPECT_EQ(cut_off(3.0, 5.0), 5.0);
  EXPECT_TRUE(std::isnan(cut_off(std::nan(""), 0.0)));
  EXPECT_EQ(corrected_time(1, 0.1), 0.0);
  EXPECT_EQ(corrected_time(3, 0.1), 2 * 0.1);

  struct Curve {
    const char* name;
    std::vector<std::pair<double, double>> points;  // (original time, processed thrust)
    double Fmin, tmin, Fmax, tmax;
  };
  const Curve curves[] = {
      {"the worked example", {{0.0, 0}, {0.1, 10}, {0.2, 20}, {0.3, 10}, {0.4, 0}}, 0, 0.0, 20, 0.2},
      {"ties keep the earliest point", {{1.0, 5}, {1.1, 9}, {1.2, 5}, {1.3, 9}}, 5, 1.0, 9, 1.1},
      {"the first point sets both", {{2.0, 500}}, 500, 2.0, 500, 2.0},
      {"all below zero", {{0.0, -3}, {0.1, -1}, {0.2, -2}}, -3, 0.0, -1, 0.1},
  };
  for (const Curve& c : curves) {
    SCOPED_TRACE(c.name);
    double Fmin = 100, tmin = 0, Fmax = 0, tmax = 0;  // the run's starting values (nmax, 0)
    for (std::size_t k = 0; k < c.points.size(); ++k)
      take_extremes(k == 0, c.points[k].second, c.points[k].first, Fmin, tmin, Fmax, tmax);
    EXPECT_EQ(Fmin, c.Fmin);
    EXPECT_EQ(tmin, c.tmin);
    EXPECT_EQ(Fmax, c.Fmax);
    EXPECT_EQ(tmax, c.tmax);
  }
}

TEST(MassFlowKernel, TheWorkedExample) {
  const std::vector<double> I = {0.0, 0.5, 2.0, 3.5, 4.0};
  std::vector<double> Mi(I.size()), fmi(I.size());
  consumed_mass(I, 0.01, 4.0, Mi);
  mass_flow(Mi, 0.1, fmi);
  const double expected_Mi[] = {0.0, 1.25, 5.0, 8.75, 10.0};
  const double expected_fmi[] = {0.0, 12.5, 37.5, 37.5, 12.5};
  for (std::size_t k = 0; k < I.size(); ++k) {
    EXPECT_NEAR(Mi[k], expected_Mi[k], 1e-12) << k;
    EXPECT_NEAR(fmi[k], expected_fmi[k], 1e-9) << k;
  }
  EXPECT_EQ(mean_mass_flow(0.1, 2.5), 40.0);
  const double c = exhaust_velocity(4.0, 0.01);
  EXPECT_EQ(c, 400.0);
  EXPECT_NEAR(specific_impulse(c), 40.78865, 0.5e-5);
  EXPECT_EQ(specific_impulse(exhaust_velocity(10.0, 0.0)), INFINITY);  // M = 0
  EXPECT_TRUE(std::isnan(specific_impulse(exhaust_velocity(0.0, 0.0))));
}

TEST(ImpulseClassKernel, RowsOfBothTablesAndAPositionInsideAClass) {
  struct Row {
    double It;
    Classes table;
    std::optional<ImpulseClass> row;
  };
  const Row rows[] = {
      {0.3, Classes::Program, ImpulseClass{0.0, 0.3125, "1/8A"}},
      {30.0, Classes::Program, ImpulseClass{20.0, 40.0, "E"}},
      {20480.0, Classes::Program, ImpulseClass{10240.0, 20480.0, "N"}},
      {20481.0, Classes::Program, std::nullopt},
      {20481.0, Classes::Continued, ImpulseClass{20480.0, 40960.0, "O"}},
      {83886080.0, Classes::Continued, ImpulseClass{41943040.0, 83886080.0, "Z"}},
      {83886081.0, Classes::Continued, std::nullopt},
      {0.0, Classes::Continued, std::nullopt},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.It);
    const std::optional<ImpulseClass> got = class_of(r.It, r.table);
    ASSERT_EQ(got.has_value(), r.row.has_value());
    if (!got) continue;
    EXPECT_EQ(got->lower, r.row->lower);
    EXPECT_EQ(got->upper, r.row->upper);
    EXPECT_EQ(got->text, r.row->text);
  }
  EXPECT_EQ(class_position(*class_of(32.4, Classes::Program), 32.4), (32.4 - 20.0) / 20.0);  // 62 % of class E
  EXPECT_EQ(designation("E", 18.5), "E19");
  EXPECT_EQ(designation("", 18.5), "");
}

}  // namespace
}  // namespace kv
