// From the logger's points to the prepared curve: the firing among the record's events,
// the tare on quiet spans, the window at the threshold's crossings and the resampling
// onto a uniform grid, each step with what the summary reports of it. Where a condition
// could move a figure by more than 1 %, the preparation stops with a DataError that names
// the option that settles it.
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

// Conditions that stop a preparation unless the user says they are as meant.
struct Accepted {
  bool clipped = false;  // a flat top at the highest reading is the motor's
  bool cut = false;      // the record starts or ends during the burn
  bool isp = false;      // a specific impulse far from what propellants give
};

struct ConditionOptions {
  Tare tare = Tare::pre;
  bool tare_given = false;                           // --tare
  double threshold_pct = 5.0;
  std::optional<std::pair<double, double>> window;  // --window TI,TF
  int event = 0;                                     // --event N; 0: the firing found
  std::vector<double> tare_spans;                    // --tare-span A,B or A,B,C,D
  double rate = 0.0;                                 // the grid's rate; 0: automatic
  double margin = 0.0;                               // s, outside the automatic window
  double cutoff = 0.0;                               // Fcor
  bool published_curve = false;                      // a curve already tared and cut
  Accepted accept;
};

// A quiet span of the record and the mean thrust over it (before the tare).
struct Span {
  double from = 0, to = 0;
  std::int64_t count = 0;
  double mean = 0, sd = 0;
  double centre = 0;  // mean time of its points
  bool given = false; // --tare-span
};

// A stretch of the record where the thrust stands out of its baseline.
struct Event {
  double start = 0, end = 0;  // s
  double peak = 0, t_peak = 0;  // N over the baseline, s
  double impulse = 0;           // N s over the baseline
  double base = 0;              // N, the record's baseline as the event stands out of it
};

// A single reading far off both its neighbours (a misread of the amplifier), taken out.
struct Glitch {
  double t = 0, F = 0, replaced_by = 0;
};

struct Prepared {
  std::int32_t rate = 0;            // the grid's rate, Hz
  // The record's events and the one prepared (an index into events; -1 with --window).
  std::vector<Event> events;
  int event = -1;
  double noise = 0;                 // N, the standard deviation of the record's quietest stretch
  double resolution = 0;            // N, the smallest step between two readings
  std::vector<Glitch> glitches;
  // The tare.
  Tare tare = Tare::none;
  std::optional<Span> pre, post;
  double drift_after = 0;           // tared thrust over the post-burn span (pre tare)
  bool drift_known = false;
  double drift_share = 0;           // what a straight-line drift would change of the impulse
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

// The events of a record from its first pass's blocks, in time order.
std::vector<Event> find_events(const Scan& scan, double sign);

// Runs the whole preparation over a reader that has made its first pass: finds the
// firing among the events, reads again the stretch around it, then condition_points.
Prepared condition(LoggerReader& reader, const Scan& scan, const ConditionOptions& options);

// The preparation of the points around a firing (times in s, thrusts in N, as read, the
// times increasing): the tare, the burn, the window on the grid and the resampled curve.
// `step_median` is the logger's median step (s); `name` names the file in messages;
// `event` bounds the firing (the whole stretch when it is not given). The points come
// side by side (as the reader gives them) or one by one.
Prepared condition_points(Curve points, double step_median, const ConditionOptions& options, const std::string& name,
                          std::optional<Event> event = std::nullopt);
Prepared condition_points(std::span<const Point> points, double step_median, const ConditionOptions& options,
                          const std::string& name, std::optional<Event> event = std::nullopt);

// The grid's rate for a burn of `burn_time` s from a logger stepping `step` s: 1 kHz at
// least, the logger's own rate when higher, and fine enough that placing ti and tf on
// the grid moves the burn time by less than 0.1 %; 1, 2 or 5 times a power of ten.
double grid_rate(double burn_time, double step);

}  // namespace kv::prepare
