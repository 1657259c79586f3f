// The figures that motor certification gives a thrust curve (NFPA 1125, as NAR and TRA
// apply it), beside the program's own: the burn runs from the first to the last crossing
// of 5 % of the peak thrust, each crossing placed by linear interpolation between the
// two points around it.
//
// Two averages are in use over that burn time: the impulse between the crossings over it
// (NFPA 1125, OpenRocket), and the total impulse over it (ThrustCurve).
#pragma once

#include <cstddef>
#include <limits>
#include <span>
#include <string>

#include "analysis/impulse.h"
#include "analysis/impulse_class.h"

namespace kv {

// The share of the peak thrust at which the burn starts and ends.
inline constexpr double kNfpaThreshold = 0.05;
// The last measurable thrust, as a share of the peak: the total impulse runs on to the
// last thrust above it.
inline constexpr double kNfpaMeasurableShare = 0.01;

// The first point at the curve's highest thrust; 0 for an empty curve.
inline std::size_t peak_index(std::span<const double> F) {
  std::size_t p = 0;
  for (std::size_t k = 1; k < F.size(); ++k)
    if (F[k] > F[p]) p = k;
  return p;
}

// Where a curve rises above a level for the first time and falls below it for the last.
struct Crossings {
  std::size_t first = 0;  // the first point at or above the level
  std::size_t last = 0;   // the last point at or above it
  double start = 0.0;     // s, where the curve crosses the level before `first`
  double end = 0.0;       // s, where it crosses it after `last`
};

// The crossings of `level` by a curve that reaches it at point `peak`. A crossing
// between two points lies on the straight line between them; a curve that starts (ends)
// at or above the level starts (ends) there, at its first (last) point.
template <class Times>
Crossings crossings(std::span<const double> F, const Times& times, std::size_t peak, double level) {
  Crossings c;
  const std::size_t n = F.size();
  c.first = 0;
  while (c.first < peak && F[c.first] < level) ++c.first;
  c.last = n - 1;
  while (c.last > peak && F[c.last] < level) --c.last;
  const std::size_t a = c.first, z = c.last;
  c.start = times.at(a);
  if (a > 0) c.start = times.at(a - 1) + ((level - F[a - 1]) / (F[a] - F[a - 1])) * times.step(a);
  c.end = times.at(z);
  if (z + 1 < n) c.end = times.at(z) + ((F[z] - level) / (F[z] - F[z + 1])) * times.step(z + 1);
  return c;
}

// The impulse between the two crossings of `level`: the part-segments at both ends, from
// the level to the first (last) point above it, and the whole segments between.
template <class Times>
double impulse_inside(std::span<const double> F, const Times& times, const Crossings& c, double level) {
  double inside = 0.0;
  if (c.first > 0) inside = trapezoid(level, F[c.first], times.at(c.first) - c.start) + inside;
  walk_impulse(F, times, c.first, c.last, inside, [&](std::size_t, double I) {
    inside = I;
    return true;
  });
  if (c.last + 1 < F.size()) inside = trapezoid(F[c.last], level, c.end - times.at(c.last)) + inside;
  return inside;
}

// The total impulse as NFPA 1125 counts it: from the rise through `level` (the first
// crossing, where the curve is at the level) to the last measurable thrust: the last
// point above `measurable` (N), and the segment that follows it down to the next point.
// Nothing before the rise counts, nor the readings after that segment (a logger's noise
// around zero once the motor has burnt out).
//
// The point where that count ends: the first point after the last one above `measurable`
// (or the curve's last point), never before the last crossing's point.
inline std::size_t last_measurable(std::span<const double> F, const Crossings& c, double measurable) {
  std::size_t last = F.size() - 1;
  while (last > c.last && !(F[last] > measurable)) --last;
  if (last + 1 < F.size()) ++last;  // the fall to the first reading at or below it
  return last;
}

template <class Times>
double impulse_from_rise(std::span<const double> F, const Times& times, const Crossings& c, double level,
                         double measurable) {
  const std::size_t last = last_measurable(F, c, measurable);
  double I = 0.0;
  if (c.first > 0) I = trapezoid(level, F[c.first], times.at(c.first) - c.start) + I;
  walk_impulse(F, times, c.first, last, I, [&](std::size_t, double v) {
    I = v;
    return true;
  });
  return I;
}

// The total impulse as NFPA 1125 counts it: from the 5 % rise to the last thrust above
// 1 % of the peak. NaN for a curve without positive thrust.
template <class Times>
double nfpa_total_impulse(std::span<const double> F, const Times& times) {
  const std::size_t p = peak_index(F);
  if (F.empty() || !(F[p] > 0.0)) return std::numeric_limits<double>::quiet_NaN();
  const double level = kNfpaThreshold * F[p];
  const Crossings c = crossings(F, times, p, level);
  return impulse_from_rise(F, times, c, level, kNfpaMeasurableShare * F[p]);
}

struct NfpaFigures {
  double total_impulse = 0.0;  // N s, trapezoid rule over the whole curve
  double peak = 0.0;           // N
  double peak_time = 0.0;      // s, the first point at the peak
  double threshold = 0.0;      // N, 5 % of the peak
  double burn_start = 0.0;     // s, first crossing of the threshold
  double burn_end = 0.0;       // s, last crossing
  double burn_time = 0.0;      // s, burn_end - burn_start
  double burn_impulse = 0.0;   // N s, between the two crossings
  double average = 0.0;        // N, burn_impulse / burn_time
  std::string designation;     // the continued class of the total impulse and the average ("D12"); empty when none

  // The other average over the same burn time: total impulse / burn time (N).
  double total_average() const { return total_impulse / burn_time; }
};

// The figures of a curve. A curve without positive thrust has no burn: its burn figures
// are NaN (and its peak too when it has no point).
template <class Times>
NfpaFigures nfpa_figures(std::span<const double> F, const Times& times) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  NfpaFigures r;
  r.total_impulse = total_impulse(F, times);
  const std::size_t p = peak_index(F);
  const std::size_t n = F.size();
  r.peak = n > 0 ? F[p] : kNaN;
  r.peak_time = n > 0 ? times.at(p) : kNaN;
  if (!(n > 0 && F[p] > 0.0)) {
    r.threshold = r.burn_start = r.burn_end = r.burn_time = r.burn_impulse = r.average = kNaN;
    return r;
  }
  r.threshold = kNfpaThreshold * r.peak;
  const Crossings c = crossings(F, times, p, r.threshold);
  r.burn_start = c.start;
  r.burn_end = c.end;
  r.burn_time = c.end - c.start;
  r.burn_impulse = impulse_inside(F, times, c, r.threshold);
  r.average = r.burn_time > 0.0 ? r.burn_impulse / r.burn_time : kNaN;
  r.designation = designation(impulse_class_continued(r.total_impulse), r.average);
  return r;
}

// A curve sampled every dt seconds from time 0.
inline NfpaFigures nfpa_figures(std::span<const double> F, double dt) { return nfpa_figures(F, UniformTimes{dt}); }

// The figures as certification states them: those above, with the total impulse counted
// from the 5 % rise to the last measurable thrust (the last reading above 1 % of the peak,
// and the fall after it) and the designation of that impulse.
inline NfpaFigures certification_figures(std::span<const double> F, double dt) {
  NfpaFigures n = nfpa_figures(F, dt);
  if (!(n.peak > 0.0)) return n;
  n.total_impulse = nfpa_total_impulse(F, UniformTimes{dt});
  n.designation = designation(impulse_class_continued(n.total_impulse), n.average);
  return n;
}

}  // namespace kv
