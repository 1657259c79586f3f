// The firing's window and the processed curve: which samples of a load-cell record
// belong to the firing, what each becomes as a point of the processed curve, the
// curve's extremes, and the quantities derived from the window before any sample is read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace kv {

// The interval between two samples of a logger sampling w times a second (s).
constexpr double sampling_interval(std::int32_t w) { return 1.0 / static_cast<double>(w); }

// The program's burn time: the window's length, tf - ti (s), whatever the samples in it.
constexpr double burn_time(double ti, double tf) { return tf - ti; }

// The window from ti to tf with half a sampling interval dt on either side: a sample
// belongs to the firing when ti - dt/2 < t < tf + dt/2, both strict, so that samples
// taken at ti and at tf themselves belong to it.
class Window {
 public:
  constexpr Window(double ti, double tf, double dt) : opens_(ti - (dt / 2)), closes_(tf + (dt / 2)) {}

  constexpr bool holds(double t) const { return opens_ < t && t < closes_; }
  // At or before ti - dt/2.
  constexpr bool before(double t) const { return t <= opens_; }
  // Beyond tf + dt/2: the first such sample ends the reading.
  constexpr bool passed(double t) const { return t > closes_; }

  constexpr double opens() const { return opens_; }    // ti - dt/2
  constexpr double closes() const { return closes_; }  // tf + dt/2

 private:
  double opens_, closes_;
};

// The corrected time of point n (from 1): (n - 1) * dt, counted from the first sample
// taken, whatever the samples' own times.
constexpr double corrected_time(std::int32_t n, double dt) { return static_cast<double>(n - 1) * dt; }

// A processed thrust: a thrust below the cut-off Fcor counts as Fcor (N).
constexpr double cut_off(double F, double Fcor) { return F < Fcor ? Fcor : F; }

// A curve's thrusts as the program processes them, each cut off at Fcor.
struct CutOff {
  std::span<const double> F;
  double Fcor;
  constexpr std::size_t size() const { return F.size(); }
  constexpr double operator[](std::size_t k) const { return cut_off(F[k], Fcor); }
};

// Takes a point (processed thrust F at the sample's original time t) into the extremes
// of the curve so far. The first point sets both extremes, since no starting value is a
// thrust of the curve; a later one replaces an extreme only when it passes it, so the
// earliest point keeps it.
constexpr void take_extremes(bool first, double F, double t, double& Fmin, double& tmin, double& Fmax, double& tmax) {
  if (first || F < Fmin) {
    Fmin = F;
    tmin = t;
  }
  if (first || F > Fmax) {
    Fmax = F;
    tmax = t;
  }
}

}  // namespace kv
