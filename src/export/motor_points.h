// The points a motor file holds: the processed curve from ignition to burn-out, its time
// origin at ignition, ending at zero thrust, cut down to the points that carry its shape
// while every figure the simulators show from them stays beside the measured one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "analysis/nfpa.h"
#include "export/reader_figures.h"

namespace kv::exporter {

// The measured figures a motor file must keep: the NFPA 1125 figures of the curve.
struct MeasuredFigures {
  double total_impulse = 0.0;  // N s, from the 5 % rise to the last measurable thrust
  double peak = 0.0;           // N
  double burn_time = 0.0;      // s, between the 5 % crossings
  double average = 0.0;        // N, impulse between the crossings / burn time (OpenRocket's)
  double total_average = 0.0;  // N, total impulse / burn time (ThrustCurve's)
};

// How far the written curve may stray from the measured figures, as a share of each.
inline constexpr double kImpulseTolerance = 0.005;
inline constexpr double kPeakTolerance = 0.01;
inline constexpr double kBurnTolerance = 0.003;     // each reader's burn time...
inline constexpr double kAverageTolerance = 0.003;  // ...and average thrust

// No two written times closer than this, and the first at least this (s): ThrustCurve
// refuses a step under 10 us and merges points under 50 us.
inline constexpr double kMinStep = 1e-4;

// The no-thrust level, as a share of the peak: the stretches before ignition and after
// burn-out where the thrust stays at or below it are left out, as the measured total
// impulse leaves them out (it runs from the 5 % rise to the last thrust above this level).
inline constexpr double kNoThrustShare = kNfpaMeasurableShare;

struct MotorPoints {
  std::vector<EngPoint> points;  // the origin (0 s, 0 N) is implicit and not among them
  // Where the written time 0 lies, in s on the curve's own axis (from its first point).
  double origin = 0.0;
  double impulse = 0.0;  // of the written points, from the implicit origin
  ReaderFigures thrustcurve, openrocket;
  std::vector<std::string> notes;  // what was done to the curve that a user should know
  // Empty when every figure stays within its tolerance; else what strays, in words.
  std::string problem;
  // With a problem: a number of points that holds every figure (0 when even every point
  // does not).
  std::size_t points_needed = 0;
  std::size_t points_available = 0;  // the most points the curve can give
};

// The points for the curve sampled every dt seconds (thrust F[i] at i * dt):
// - times on a grid of at least kMinStep: at rates above 10 kHz only every second (or
//   n-th) sample is a candidate, the peak among them;
// - the leading stretch at or below the no-thrust level is dropped, its last point the
//   origin; a curve already above that level at its first point is written kMinStep
//   late, after the origin;
// - the trailing stretch at or below it is dropped after its first point, written at
//   0 N; a curve still above it at its last point gets a zero kMinStep after that point;
// - no thrust before the last point is zero or negative: such points are left out (a
//   reader takes a zero for the end of the burn);
// - when max_points > 0 and more points remain, points go one at a time, each time the
//   one whose neighbours' chord strays least (in area) from the curve it replaces, until
//   max_points are left; the final zero, the peak and, with room, the points on either
//   side of the peak and of both 5 % crossings always stay.
// Then each reader's figures of the written points are compared with `measured`: the
// total impulse within kImpulseTolerance, the peak within kPeakTolerance, each reader's
// burn time and average thrust within kBurnTolerance and kAverageTolerance; `problem`
// says what strays, and `points_needed` how many points would hold them.
// Needs a positive peak and max_points 0 or at least 2.
MotorPoints motor_points(std::span<const double> F, double dt, const MeasuredFigures& measured,
                         std::int64_t max_points);

// The points as the export chooses them: at most max_points; when those cannot keep every
// figure and the limit is not `hard` (no --points given), the fewest more that can. The
// points of every motor file the export writes, for any program that wants the same.
MotorPoints export_motor_points(std::span<const double> F, double dt, const MeasuredFigures& measured,
                                std::int64_t max_points, bool hard);

// What strays in written points from the measured figures, in words; empty when nothing.
std::string figures_problem(const MeasuredFigures& measured, double impulse, const ReaderFigures& thrustcurve,
                            const ReaderFigures& openrocket);

}  // namespace kv::exporter
