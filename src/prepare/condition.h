// From the logger's points to the prepared curve: the tare, the firing's window and the
// resampling onto a uniform grid, each step with what the summary reports of it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "prepare/logger_reader.h"

namespace kv::prepare {

enum class Tare : std::uint8_t { pre, linear, none };

struct ConditionOptions {
  Tare tare = Tare::pre;
  double threshold_pct = 5.0;
  std::optional<std::pair<double, double>> window;  // --window TI,TF
  double rate = 0.0;                                 // --rate; 0: automatic
  double margin = 0.002;                             // s, outside the automatic window
  double cutoff = 0.0;                               // Fcor
};

// A quiet span of the record and the mean thrust over it (before the tare).
struct Span {
  double from = 0, to = 0;
  std::int64_t count = 0;
  double mean = 0, sd = 0;
  double centre = 0;  // mean time of its points
};

struct Prepared {
  std::int32_t rate = 0;            // the grid's rate, Hz
  bool rate_from_logger = false;    // the logger's own rate, higher than 1000 Hz
  // The tare.
  Tare tare = Tare::none;
  std::optional<Span> pre, post;
  double drift_after = 0;           // tared thrust over the post-burn span (pre tare)
  bool drift_known = false;
  // The curve, tared.
  double peak = 0, t_peak = 0;
  double t_ignition = 0, t_burnout = 0;  // where the thrust crosses the threshold
  bool window_given = false;
  // The window on the grid: points i0..i1, ti = i0 / rate, tf = i1 / rate.
  std::int64_t i0 = 0, i1 = 0;
  double ti = 0, tf = 0;
  // The grid points written, ia..ib (ia < i0, ib > i1), with their thrust.
  std::int64_t ia = 0, ib = 0;
  std::vector<double> F;
  // Impulses over the window: the trapezoid over the logger's tared points, the one
  // over the prepared curve, and what the program will compute (cut off at Fcor).
  double impulse_logger = 0, impulse_grid = 0, impulse_program = 0;
  std::vector<std::string> warnings;

  double time(std::int64_t i) const { return static_cast<double>(i) / static_cast<double>(rate); }
  double thrust(std::int64_t i) const { return F[static_cast<std::size_t>(i - ia)]; }
  std::int64_t window_points() const { return i1 - i0 + 1; }
};

// Runs the whole preparation over a reader that has made its first pass: reads again the
// stretch around the firing that the first pass found, then condition_points.
Prepared condition(LoggerReader& reader, const Scan& scan, const ConditionOptions& options);

// The preparation of the points around a firing (times in s, thrusts in N, as read, the
// times increasing): the tare, the burn, the window on the grid and the resampled curve.
// `step_median` is the logger's median step (s); `name` names the file in messages.
Prepared condition_points(std::span<const Point> points, double step_median, const ConditionOptions& options,
                          const std::string& name);

}  // namespace kv::prepare
