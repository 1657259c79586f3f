// The curve a simulator gets: the processed curve from ignition to burn-out, its time
// origin at ignition, ending at zero thrust, cut down to the points that carry its shape.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kv::exporter {

struct EngPoint {
  double t = 0.0;  // s from the implicit origin
  double F = 0.0;  // N
};

struct EngCurve {
  std::vector<EngPoint> points;  // the origin (0 s, 0 N) is implicit and not among them
  // Where the origin lies on the processed curve's time axis: a written time t stands
  // for the processed curve's origin + t (the first point of a curve that starts above
  // the no-thrust level aside, which is written dt/10 s late).
  double origin = 0.0;
  std::vector<std::string> notes;  // what was done to the curve that a user should know
};

// The no-thrust level, as a share of the peak: stretches before ignition and after
// burn-out where the thrust stays at or below it are left out...
inline constexpr double kNoThrustShare = 0.01;
// ...as long as each holds at most this share of the total impulse.
inline constexpr double kEndImpulseShare = 0.001;

// The curve sampled every dt seconds (thrust F[i] at i * dt) as a simulator takes it:
// - the leading stretch at or below the no-thrust level is dropped, and its last point
//   becomes the origin; a curve already above that level at its first point keeps every
//   point, the first one moved from 0 s to dt/10 s;
// - the trailing stretch at or below it is dropped after its first point, written at 0 N;
//   a curve still above it at its last point gets a zero dt/10 s after that point;
// - a negative thrust is written as 0 N;
// - when max_points > 0 and more points remain, points go one at a time, each time the
//   one whose neighbours' chord strays least (in area) from the points it replaces,
//   until max_points are left; the final zero, the peak and, with room for four points,
//   the points on either side of the peak always stay. What strays most from a straight
//   line - the ignition spike, the peak, the corners of the tail-off - survives, and
//   the impulse changes least. max_points = 0 keeps them all.
// Needs a positive peak and at least 2 points (max_points 0 or at least 2).
EngCurve eng_curve(std::span<const double> F, double dt, std::int64_t max_points);

// The trapezoid impulse of written points, from the implicit origin.
double eng_impulse(std::span<const EngPoint> points);

}  // namespace kv::exporter
