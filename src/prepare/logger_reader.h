// Reading a logger's file into points (time in s, thrust in N), streamed: the first pass
// checks every line and keeps only statistics and a coarse summary of the curve in
// blocks; a second pass reads again the stretch around the firing, from the offset of a
// block, at full resolution. What the file is (formats.h) and how its lines are laid out
// (logger_format.h) are found from its first lines.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "prepare/formats.h"
#include "prepare/logger_format.h"
#include "prepare/text_lines.h"

namespace kv::prepare {

std::string_view unit_name(TimeUnit u);
std::string_view unit_name(ThrustUnit u);
// Newtons per unit.
double newtons_per(ThrustUnit u);

struct ReadOptions {
  LayoutRequest layout;
  TimeUnit time_unit = TimeUnit::s;
  bool time_unit_given = false;
  ThrustUnit thrust_unit = ThrustUnit::N;
  bool thrust_unit_given = false;
  double scale = 1.0;   // thrust = scale * raw + offset, then the unit
  double offset = 0.0;
  double rate = 0.0;    // --rate with no time column: the logger's rate; 0 when not given
  int run = 0;          // --run: the run of a file that holds several; 0: the only one
};

struct Point {
  double t;
  double F;
};

// Points side by side: their times (s) and thrusts (N).
struct Curve {
  std::vector<double> t, F;
};

// A point as the reading hands it on: its line (the first of lines with the same time),
// where that line starts, and the data lines before it in its run.
struct Emitted {
  Point p;
  std::int64_t line;
  std::uint64_t offset;
  std::int64_t index;
};

// A run of consecutive points, as the first pass summarises the curve. Its thrusts are
// those of the curve with each point replaced by the median of it and its neighbours, so
// that a single misread does not look like a firing.
struct Block {
  double t_first = 0, t_last = 0;
  double sum = 0, min = 0, max = 0;
  std::int64_t count = 0;
  std::uint64_t offset = 0;  // where the line of its first point starts
  std::int64_t line = 0;     // the number of the line before that one
  std::int64_t index = 0;    // data lines before its first point
};

// A stretch of the file whose clock runs on: a file holds several when the clock starts
// again (the logger was restarted between firings).
struct Run {
  std::int64_t first_line = 0, last_line = 0;
  double t_first = 0, t_last = 0;  // s, as the file has them (before any shift)
  std::int64_t points = 0;
  double F_max = 0;                // N, as read
};

struct Scan {
  FormatFacts format;
  Layout layout;
  TimeUnit time_unit = TimeUnit::s;
  ThrustUnit thrust_unit = ThrustUnit::N;
  bool time_unit_from_file = false, thrust_unit_from_file = false;  // found in the header
  double rate = 0;                 // Hz, of a file without times (given, or its header's)
  std::int64_t lines = 0;          // every line of the file
  std::int64_t skipped = 0;        // lines that are not data: blank, comment, header, banner
  std::int64_t data_lines = 0;
  std::int64_t points = 0;         // after equal time stamps are averaged
  std::int64_t folded = 0;         // data lines folded into the line before (same time)
  double t_first = 0, t_last = 0;  // s, after the shift
  double shift = 0;                // s subtracted from every time (absolute clock times)
  bool whole_times = true;         // every time as written is a whole number
  double step_median = 0, step_p05 = 0, step_p95 = 0, step_min = 0, step_max = 0;
  std::int64_t step_max_line = 0;  // the line that ends the longest step
  double F_min = 0, F_max = 0;     // N, as read (before the tare)
  // The lines where the logger's 32-bit clock started again at 0; 2^32 counts are added
  // to the times from each on.
  std::vector<std::int64_t> clock_wraps;
  std::vector<Run> runs;           // one, or the runs of a file that holds several
  std::vector<Block> blocks;
};

// A logger's step as the summary and the messages say it ("16.6 ms (60.2 Hz)").
std::string step_text(double seconds);

// The logger's rate as a header states it (LabVIEW's Delta_X, a certification .DAT's),
// or as --rate gives it for a file without times, against the logger's own steps where
// the file has times, and against each other. A disagreement that moves the burn time by
// more than 1 % is a DataError naming --rate and what each source says, unless the user
// chose the time column (--time-col); a smaller one, or a --rate that replaces the
// header's, is a warning (returned; empty for none).
std::string check_stated_rate(const Scan& scan, double user_rate, bool time_col_given, const std::string& file);

// How far the rate a header states lies from the logger's own times, as a share: the
// smaller of its disagreements with the median step and with the mean step over the
// lines. NaN where the file states no rate or has no times.
double stated_rate_disagreement(const Scan& scan);

class LoggerReader {
 public:
  LoggerReader(const std::string& name, const ReadOptions& options);

  // The first pass over the whole file. A file of several runs without --run is a
  // DataError that lists them.
  const Scan& scan();
  // The points with first_t <= t <= last_t, from the second pass (scan() first).
  Curve points_between(double first_t, double last_t);

  const std::string& name() const { return lines_.name(); }

 private:
  // Reads the lines on from where the file stands and hands their points to `sink` in
  // batches (a std::span<const Emitted>); a sink that returns false stops the reading.
  template <class Sink>
  void read_points(Sink&& sink, bool first_pass);
  // The messages of a line that cannot be read, kept out of the reading loop.
  [[noreturn, gnu::noinline]] void out_of_range(std::string_view line, int column, const char* after);
  [[noreturn, gnu::noinline]] void not_a_sample(std::string_view line, std::size_t fields);
  [[noreturn]] void several_runs();
  std::string swapped_columns_hint();
  void read_two_rows();

  std::string path_;
  ReadOptions opt_;
  TextLines lines_;
  Scan scan_;
  double time_divisor_ = 1.0;
  double thrust_factor_ = 1.0;
  // The second pass starts at a block: its data-line index, for times from the rate.
  std::int64_t start_index_ = 0;
  // A file of two rows is held whole.
  std::vector<Point> rows_;
};

}  // namespace kv::prepare
