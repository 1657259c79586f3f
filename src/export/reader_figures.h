// The figures that the simulators show for a motor file's curve, computed from its
// points the way each reader computes them: the curve from the implicit origin (0 s, 0 N)
// through the points, straight between them; the burn between the first and last
// crossings of 5 % of the peak thrust, each placed by linear interpolation; the total
// impulse by the trapezoid rule over the whole curve. The two readers differ in their
// average thrust and in what they do with points that lie close together.
#pragma once

#include <span>
#include <string_view>

namespace kv::exporter {

struct EngPoint {
  double t = 0.0;  // s from the implicit origin
  double F = 0.0;  // N
};

enum class Reader {
  // ThrustCurve.org: points closer than 50 us to the one before are merged into their
  // mean; average thrust = total impulse / burn time.
  ThrustCurve,
  // OpenRocket: average thrust = impulse between the crossings / burn time.
  OpenRocket,
};

// ThrustCurve's distance below which two points are merged (its analysis's timeEpsilon).
inline constexpr double kThrustCurveMerge = 50e-6;

std::string_view reader_name(Reader r);

struct ReaderFigures {
  double total_impulse = 0.0;  // N s
  double peak = 0.0;           // N
  double burn_start = 0.0;     // s
  double burn_end = 0.0;       // s
  double burn_time = 0.0;      // s; NaN for a curve without positive thrust
  double average = 0.0;        // N, as the reader computes it
};

// The figures of points whose times rise (a point at 0 s stands for the origin itself).
ReaderFigures reader_figures(std::span<const EngPoint> points, Reader reader);

// The trapezoid impulse of the points from the implicit origin.
double eng_impulse(std::span<const EngPoint> points);

}  // namespace kv::exporter
