// Reading a logger's file into points (time in s, thrust in N), streamed: the first pass
// checks every line and keeps only statistics and a coarse summary of the curve in
// blocks; a second pass reads again the stretch around the firing, from the offset of a
// block, at full resolution.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "prepare/logger_format.h"
#include "prepare/text_lines.h"

namespace kv::prepare {

enum class TimeUnit : std::uint8_t { s, ms, us };
enum class ThrustUnit : std::uint8_t { N, kN, kgf, gf, lbf };

std::string_view unit_name(TimeUnit u);
std::string_view unit_name(ThrustUnit u);
// Newtons per unit.
double newtons_per(ThrustUnit u);

struct ReadOptions {
  LayoutRequest layout;
  TimeUnit time_unit = TimeUnit::s;
  bool time_unit_given = false;
  ThrustUnit thrust_unit = ThrustUnit::N;
  double scale = 1.0;   // thrust = scale * raw + offset, then the unit
  double offset = 0.0;
  double rate = 0.0;    // --rate; 0 when not given
};

struct Point {
  double t;
  double F;
};

// A run of consecutive points, as the first pass summarises the curve.
struct Block {
  double t_first = 0, t_last = 0;
  double sum = 0, min = 0, max = 0;
  std::int64_t count = 0;
  std::uint64_t offset = 0;  // where the line of its first point starts
  std::int64_t line = 0;     // the number of the line before that one
  std::int64_t index = 0;    // data lines before its first point
};

struct Scan {
  Layout layout;
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
  std::vector<Block> blocks;
};

class LoggerReader {
 public:
  LoggerReader(const std::string& name, const ReadOptions& options);

  // The first pass over the whole file.
  const Scan& scan();
  // The points with first_t <= t <= last_t, from the second pass (scan() first).
  std::vector<Point> points_between(double first_t, double last_t);

  const std::string& name() const { return lines_.name(); }

 private:
  template <class Sink>
  void read_points(Sink&& sink, bool first_pass);
  [[noreturn]] void out_of_range(std::string_view line, int column, const char* after);
  [[noreturn]] void backwards(std::int64_t prev_line, double prev_t, std::int64_t line, double t);

  std::string path_;
  ReadOptions opt_;
  TextLines lines_;
  Scan scan_;
  double time_divisor_ = 1.0;
  double thrust_factor_ = 1.0;
  bool shift_decided_ = false;
  // The second pass starts at a block: its data-line index, for times from --rate.
  std::int64_t start_index_ = 0;
};

}  // namespace kv::prepare
