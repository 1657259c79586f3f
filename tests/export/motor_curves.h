// The table of curves the motor files are tried on: the shapes that break motor files
// (a long regressive burn, a tall ignition spike, a long low tail, a curve that starts at
// its peak, a curve the window cut off, noise, a floor), the rates of real loggers (1 to
// 100 kHz) and the sizes from a 1/4A to an M motor.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace kv::test {

// Deterministic noise: SplitMix64, then a sum of uniforms for a rough Gaussian.
struct Noise {
  std::uint64_t s;
  double operator()(double sigma) {
    double sum = 0.0;
    for (int k = 0; k < 12; ++k) {
      std::uint64_t z = (s += 0x9E3779B97F4A7C15ull);
      z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
      z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
      z ^= z >> 31;
      sum += static_cast<double>(z >> 11) * 0x1p-53;
    }
    return (sum - 6.0) * sigma;
  }
};

struct TestCurve {
  std::string name;
  double dt;
  std::vector<double> F;
  double ignition;         // s: where the written curve should start
  double burnout;          // s: where it should end
  double shape_tolerance;  // share of the peak the written curve may stray from the curve
  std::vector<double> clean;  // a noisy curve without its noise, for the shape
};

// The thrust as the program keeps it with Fcor = 0: cut off from below at 0.
inline double cut(double v) { return v < 0.0 ? 0.0 : v; }

inline TestCurve short_spike() {
  // An igniter-sized burst: 12 ms at 1 kHz between zeros, 21 points in all.
  TestCurve c{"short_spike", 0.001, {}, 0.004, 0.016, 1e-12, {}};
  const double shape[] = {0, 0, 0, 0, 0, 6, 18, 25, 22, 15, 10, 7, 5, 3, 2, 1, 0, 0, 0, 0, 0};
  c.F.assign(std::begin(shape), std::end(shape));
  return c;
}

inline TestCurve long_regressive_burn() {
  // 8 s at 1 kHz: up to 120 N in 50 ms, regressing to 30 N, a quadratic tail-off of 0.4 s
  // (below 1 % of the peak 35 ms before its end).
  TestCurve c{"long_regressive_burn", 0.001, {}, 0.1, 7.865, 0.03, {}};
  for (int i = 0; i <= 8100; ++i) {
    const double t = i * c.dt;
    double v = 0.0;
    if (t > 0.1 && t <= 0.15) v = 120.0 * (t - 0.1) / 0.05;
    else if (t > 0.15 && t <= 7.5) v = 30.0 + 90.0 * std::exp(-(t - 0.15) / 2.0) - 90.0 * std::exp(-7.35 / 2.0) * (t - 0.15) / 7.35;
    else if (t > 7.5 && t < 7.9) v = 30.0 * std::pow((7.9 - t) / 0.4, 2);
    c.F.push_back(v);
  }
  return c;
}

inline TestCurve hundred_thousand_points() {
  // 10^5 samples at 100 kHz: a D-class firing with its ignition spike and noise, the
  // readings below zero cut off as the program does.
  TestCurve c{"1e5_points_100kHz", 1e-5, {}, 0.02, 0.9305, 0.03, {}};
  Noise noise{42};
  for (int i = 0; i < 100000; ++i) {
    const double t = i * c.dt;
    const double s = t - 0.02;
    double v = 0.0;
    if (s >= 0 && s < 0.025) v = 30.0 * std::sin(0.5 * M_PI * s / 0.025);
    else if (s >= 0.025 && s < 0.2) v = 13.0 + 17.0 * std::exp(-(s - 0.025) / 0.04);
    else if (s >= 0.2 && s < 0.76) v = 13.0 - 1.8 * (s - 0.2) / 0.56;
    else if (s >= 0.76 && s < 0.94) v = 11.2 * std::pow(1.0 - (s - 0.76) / 0.18, 2);
    c.F.push_back(cut(v + noise(0.05)));
    c.clean.push_back(v);
  }
  return c;
}

inline TestCurve long_zero_tail() {
  // A 1 s trapezoid burn followed by 30 s of zeros (1 % of the peak is 2.5 ms before the
  // end of the ramp down).
  TestCurve c{"long_zero_tail", 0.001, {}, 0.05, 1.2475, 0.03, {}};
  for (int i = 0; i <= 31250; ++i) {
    const double t = i * c.dt;
    double v = 0.0;
    if (t > 0.05 && t <= 0.15) v = 50.0 * (t - 0.05) / 0.1;
    else if (t > 0.15 && t <= 1.0) v = 50.0;
    else if (t > 1.0 && t < 1.25) v = 50.0 * (1.25 - t) / 0.25;
    c.F.push_back(v);
  }
  return c;
}

inline TestCurve long_low_tail() {
  // A 1 s burn at 40 N, then 3 s of a low tail at 1.6 N (4 % of the peak: under the
  // 5 % that ends the burn, above the 1 % of no thrust), the tail 16 % of the impulse:
  // ThrustCurve's average (total impulse / burn time) and OpenRocket's (impulse between
  // the crossings / burn time) differ by as much.
  TestCurve c{"long_low_tail", 0.001, {}, 0.1, 4.25, 0.03, {}};
  for (int i = 0; i <= 4500; ++i) {
    const double t = i * c.dt;
    double v = 0.0;
    if (t > 0.1 && t <= 0.15) v = 40.0 * (t - 0.1) / 0.05;
    else if (t > 0.15 && t <= 1.1) v = 40.0;
    else if (t > 1.1 && t <= 1.15) v = 40.0 - 38.4 * (t - 1.1) / 0.05;
    else if (t > 1.15 && t <= 4.15) v = 1.6;
    else if (t > 4.15 && t < 4.25) v = 1.6 * (4.25 - t) / 0.1;
    c.F.push_back(v);
  }
  return c;
}

inline TestCurve peak_first() {
  // The window opened after the rise: the first point is the peak, then an exponential
  // decay, below 1 % of the peak after 0.3 ln 100 = 1.382 s.
  TestCurve c{"peak_first", 0.001, {}, 0.0, 1.382, 0.03, {}};
  for (int i = 0; i <= 1500; ++i) c.F.push_back(80.0 * std::exp(-(i * c.dt) / 0.3));
  return c;
}

inline TestCurve cut_off_by_the_window() {
  // The window closed before the tail-off: the curve ends at full thrust.
  TestCurve c{"cut_off_by_the_window", 0.01, {}, 0.1, 2.0, 0.03, {}};
  for (int i = 0; i <= 200; ++i) {
    const double t = i * c.dt;
    c.F.push_back(t <= 0.1 ? 0.0 : t <= 0.2 ? 20.0 * (t - 0.1) / 0.1 : 20.0 - 2.0 * (t - 0.2));
  }
  return c;
}

inline TestCurve tall_ignition_spike() {
  // 2 s at 5 kHz, 10 N flat but for an ignition spike of 45 N over 3 ms: the peak carries
  // almost no impulse, and still must stay, and sets the 5 % level.
  TestCurve c{"tall_ignition_spike", 0.0002, {}, 0.1, 2.1, 0.03, {}};
  for (int i = 0; i <= 11000; ++i) {
    const double t = i * c.dt;
    const double spike = t > 0.1 && t < 0.103 ? 35.0 * (1.0 - std::fabs(t - 0.1015) / 0.0015) : 0.0;
    c.F.push_back((t > 0.1 && t < 2.1 ? 10.0 : 0.0) + spike);
  }
  return c;
}

inline TestCurve noisy_plateau_with_a_narrow_spike() {
  // 2 s at 5 kHz of 20 N with noise of 0.4 N, and a one-sample ignition spike of 23.5 N:
  // the noise's zigzags carry as much impulse as the spike, which must still stay.
  TestCurve c{"noisy_plateau_with_a_narrow_spike", 0.0002, {}, 0.1, 2.1, 0.05, {}};
  Noise noise{7};
  for (int i = 0; i <= 11000; ++i) {
    const double t = i * c.dt;
    const double v = i == 600 ? 23.5 : t > 0.1 && t < 2.1 ? 20.0 : 0.0;
    c.F.push_back(i == 600 || v == 0.0 ? v : v + noise(0.4));
    c.clean.push_back(v);
  }
  return c;
}

inline TestCurve floor_below_the_no_thrust_level() {
  // The case's cut-off Fcor = 0.4 N (0.8 % of the peak) floors 3 s of readings before
  // ignition and 0.5 s after burn-out: below 1 % of the peak, they are left out.
  TestCurve c{"floor_below_the_no_thrust_level", 0.001, {}, 3.0, 4.15, 0.03, {}};
  for (int i = 0; i <= 4650; ++i) {
    const double t = i * c.dt;
    double v = 0.4;
    if (t > 3.0 && t <= 3.05) v = 0.4 + 49.6 * (t - 3.0) / 0.05;
    else if (t > 3.05 && t <= 4.05) v = 50.0;
    else if (t > 4.05 && t < 4.15) v = 0.4 + 49.6 * (4.15 - t) / 0.1;
    c.F.push_back(v);
  }
  return c;
}

// A G-class firing as a logger at `rate` Hz records it: 0.3 s of quiet before ignition,
// a 20 ms rise to 120 N, a progressive-regressive burn of 1.3 s, a tail-off of 0.15 s and
// 0.5 s of quiet, the noise 0.2 N, cut off at 0 as the program does with Fcor = 0.
inline TestCurve logger(double rate) {
  TestCurve c{"logger_" + std::to_string(static_cast<int>(rate / 1000)) + "kHz", 1.0 / rate, {}, 0.3, 1.77, 0.04, {}};
  Noise noise{static_cast<std::uint64_t>(rate)};
  const auto n = static_cast<int>(2.3 * rate);
  for (int i = 0; i <= n; ++i) {
    const double t = i * c.dt;
    const double s = t - 0.3;
    double v = 0.0;
    if (s > 0 && s <= 0.02) v = 120.0 * s / 0.02;
    else if (s > 0.02 && s <= 0.1) v = 120.0 - 500.0 * (s - 0.02);
    else if (s > 0.1 && s <= 1.32) v = 80.0 + 20.0 * std::sin(M_PI * (s - 0.1) / 1.22);
    else if (s > 1.32 && s < 1.47) v = 80.0 * std::pow((1.47 - s) / 0.15, 1.5);
    c.F.push_back(cut(v + noise(0.2)));
    c.clean.push_back(v);
  }
  return c;
}

inline TestCurve quarter_a() {
  // A 1/4A motor: 0.5 N s, 5 N peak, at 1 kHz.
  TestCurve c{"quarter_A", 0.001, {}, 0.05, 0.24, 0.03, {}};
  for (int i = 0; i <= 300; ++i) {
    const double t = i * c.dt;
    double v = 0.0;
    if (t > 0.05 && t <= 0.07) v = 5.0 * (t - 0.05) / 0.02;
    else if (t > 0.07 && t <= 0.2) v = 5.0 - 2.0 * (t - 0.07) / 0.13;
    else if (t > 0.2 && t < 0.24) v = 3.0 * (0.24 - t) / 0.04;
    c.F.push_back(v);
  }
  return c;
}

inline TestCurve m_motor() {
  // An M motor: about 7000 N s over 3.5 s at 1 kHz, 2600 N peak, with noise of 5 N.
  TestCurve c{"M_motor", 0.001, {}, 0.2, 3.9, 0.03, {}};
  Noise noise{99};
  for (int i = 0; i <= 4500; ++i) {
    const double t = i * c.dt;
    double v = 0.0;
    if (t > 0.2 && t <= 0.3) v = 2600.0 * (t - 0.2) / 0.1;
    else if (t > 0.3 && t <= 3.5) v = 2600.0 - 700.0 * (t - 0.3) / 3.2;
    else if (t > 3.5 && t < 3.9) v = 1900.0 * (3.9 - t) / 0.4;
    c.F.push_back(cut(v + (v > 0 ? noise(5.0) : 0.0)));
    c.clean.push_back(v);
  }
  return c;
}

inline std::vector<TestCurve> curves() {
  return {short_spike(),         long_regressive_burn(),
          hundred_thousand_points(), long_zero_tail(),
          long_low_tail(),       peak_first(),
          cut_off_by_the_window(), tall_ignition_spike(),
          noisy_plateau_with_a_narrow_spike(), floor_below_the_no_thrust_level(),
          logger(5000),          logger(10000),
          logger(20000),         quarter_a(),
          m_motor()};
}

}  // namespace kv::test
