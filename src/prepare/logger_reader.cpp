#include "prepare/logger_reader.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "analysis/mass_flow.h"
#include "companion/errors.h"
#include "companion/number_text.h"

namespace kv::prepare {

using companion::DataError;
using companion::shortest;

namespace {

constexpr std::size_t kSampleLines = 200;     // lines looked at to find the layout
constexpr std::size_t kBlocks = 4096;         // most blocks kept by the first pass
constexpr std::size_t kStepSamples = 1 << 16; // most steps kept for their median
constexpr double kAbsoluteClock = 1e5;        // s: a first time beyond this is a clock time
constexpr double kClockWrap = 4294967296.0;   // counts of a 32-bit clock

bool blank(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c == ' ' || c == '\t' || c == '\r'; });
}

// A line that is meant as data: it starts like a number, or most of its fields are
// numbers.
bool data_like(std::string_view line, const std::vector<std::string_view>& fields, bool comma) {
  const auto first = line.find_first_not_of(" \t\"");
  if (first != std::string_view::npos) {
    const char c = line[first];
    if ((c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == ',') return true;
  }
  std::size_t numbers = 0, filled = 0;
  double v = 0;
  for (auto f : fields) {
    if (f.empty()) continue;
    ++filled;
    numbers += parse_number(f, comma, v);
  }
  return numbers > 0 && numbers * 2 >= filled;
}

}  // namespace

std::string_view unit_name(TimeUnit u) {
  switch (u) {
    case TimeUnit::s: return "s";
    case TimeUnit::ms: return "ms";
    case TimeUnit::us: return "us";
  }
  return "s";
}

std::string_view unit_name(ThrustUnit u) {
  switch (u) {
    case ThrustUnit::N: return "N";
    case ThrustUnit::kN: return "kN";
    case ThrustUnit::kgf: return "kgf";
    case ThrustUnit::gf: return "gf";
    case ThrustUnit::lbf: return "lbf";
  }
  return "N";
}

double newtons_per(ThrustUnit u) {
  switch (u) {
    case ThrustUnit::N: return 1.0;
    case ThrustUnit::kN: return 1000.0;
    case ThrustUnit::kgf: return go;
    case ThrustUnit::gf: return 0.00980665;
    case ThrustUnit::lbf: return 4.4482216152605;
  }
  return 1.0;
}

LoggerReader::LoggerReader(const std::string& name, const ReadOptions& options)
    : path_(name), opt_(options), lines_(name) {
  time_divisor_ = opt_.time_unit == TimeUnit::ms ? 1e3 : opt_.time_unit == TimeUnit::us ? 1e6 : 1.0;
  thrust_factor_ = newtons_per(opt_.thrust_unit);
}

template <class Sink>
void LoggerReader::read_points(Sink&& sink, bool first_pass) {
  const Layout& lay = scan_.layout;
  std::vector<std::string_view> fields;
  std::string_view line;
  bool have_data = !first_pass;
  std::int64_t index = start_index_;  // data lines so far

  // The point being built: consecutive lines with the same time stamp are averaged.
  bool pending = false;
  double p_raw_t = 0, p_t = 0, p_sum = 0;
  std::int64_t p_count = 0, p_line = 0, p_last_line = 0, p_index = 0;
  std::uint64_t p_offset = 0;
  auto emit = [&]() -> bool {
    pending = false;
    return sink(Point{p_t, p_sum / static_cast<double>(p_count)}, p_line, p_offset, p_index);
  };

  const int tc = lay.time_col, fc = lay.thrust_col;
  // The clock wraps before the first line read.
  double wrap = 0;
  for (const std::int64_t w : scan_.clock_wraps)
    if (!first_pass && w <= lines_.number()) wrap += kClockWrap;
  const auto need = static_cast<std::size_t>(std::max(tc, fc) + 1);
  while (lines_.next(line)) {
    if (first_pass) ++scan_.lines;
    if (line.empty() || blank(line) || is_comment(line)) {
      if (first_pass) ++scan_.skipped;
      continue;
    }
    split_fields(line, lay.delimiter, fields);
    double probe = 0;
    for (const int c : {tc, fc})
      if (c >= 0 && static_cast<std::size_t>(c) < fields.size() &&
          read_number(fields[static_cast<std::size_t>(c)], lay.decimal_comma, probe) == NumberText::OutOfRange)
        out_of_range(line, c, "");
    double raw_t = 0, raw_F = 0;
    bool ok = fields.size() >= need && parse_number(fields[static_cast<std::size_t>(fc)], lay.decimal_comma, raw_F);
    if (ok && tc >= 0) ok = parse_number(fields[static_cast<std::size_t>(tc)], lay.decimal_comma, raw_t);
    if (!ok) {
      if (have_data && first_pass && data_like(line, fields, lay.decimal_comma)) {
        std::string what = "expected the time in column " + column_label(lay, tc) + " and the thrust in column " +
                           column_label(lay, fc);
        if (tc < 0) what = "expected the thrust in column " + column_label(lay, fc);
        what += ", found " + std::to_string(fields.size()) + " field" + (fields.size() == 1 ? "" : "s") +
                " separated by " + std::string(delimiter_name(lay.delimiter));
        if (lay.decimal_comma) what += " with decimal commas";
        throw DataError(lines_.name() + ":" + std::to_string(lines_.number()) + ": " + quoted(line, 80) + ": " + what);
      }
      if (first_pass) ++scan_.skipped;
      continue;
    }
    if (first_pass) {
      ++scan_.data_lines;
      if (!have_data) scan_.layout.first_data_line = lines_.number();
    }
    have_data = true;
    const double F = (opt_.scale * raw_F + opt_.offset) * thrust_factor_;
    if (!std::isfinite(F)) out_of_range(line, fc, opt_.scale != 1 || opt_.offset != 0 ? "--scale, --offset and --thrust-unit" : "--thrust-unit");
    if (tc < 0) raw_t = static_cast<double>(index);
    // A logger's 32-bit clock (millis(), micros()) starts again at 0 after 2^32 counts:
    // the times go on from where they were.
    if (tc >= 0 && pending && raw_t + wrap < p_raw_t && p_raw_t - wrap >= kClockWrap / 2 && p_raw_t - wrap < kClockWrap &&
        raw_t >= 0 && raw_t + kClockWrap - (p_raw_t - wrap) < kClockWrap / 100) {
      wrap += kClockWrap;
      if (first_pass) scan_.clock_wraps.push_back(lines_.number());
    }
    raw_t += wrap;
    if (pending && raw_t == p_raw_t) {
      p_sum += F;
      ++p_count;
      p_last_line = lines_.number();
      if (first_pass) ++scan_.folded;
      ++index;
      continue;
    }
    if (pending && raw_t < p_raw_t) backwards(p_last_line, p_raw_t, lines_.number(), raw_t);
    if (pending && !emit()) return;
    double t;
    if (tc < 0) {
      t = raw_t / opt_.rate;
    } else {
      t = raw_t / time_divisor_;
      if (first_pass && !shift_decided_) {
        shift_decided_ = true;
        if (t >= kAbsoluteClock) scan_.shift = t;
      }
      if (first_pass && raw_t != std::floor(raw_t)) scan_.whole_times = false;
      t -= scan_.shift;
    }
    pending = true;
    p_raw_t = raw_t;
    p_t = t;
    p_sum = F;
    p_count = 1;
    p_line = p_last_line = lines_.number();
    p_offset = lines_.offset();
    p_index = index;
    ++index;
  }
  if (pending) emit();
}

void LoggerReader::out_of_range(std::string_view line, int column, const char* after) {
  std::string what = lines_.name() + ":" + std::to_string(lines_.number()) + ": " + quoted(line, 80) +
                     ": a value out of range in column " + column_label(scan_.layout, column);
  if (*after != 0) what += std::string(" once taken through ") + after + " (beyond what a double holds)";
  else what += " (beyond what a double holds, about 1.8e308)";
  throw DataError(what);
}

void LoggerReader::backwards(std::int64_t prev_line, double prev_t, std::int64_t line, double t) {
  const Layout& lay = scan_.layout;
  std::string msg = lines_.name() + ":" + std::to_string(line) + ": the time " + shortest(t) +
                    " comes before the time " + shortest(prev_t) + " of line " + std::to_string(prev_line) +
                    " (column " + column_label(lay, lay.time_col) + "): times must not go backwards";
  // Which other columns never went down up to here: one of them may be the time.
  TextLines again(path_);
  std::vector<std::string_view> fields;
  std::vector<double> last;
  std::vector<bool> rising;
  std::string_view text;
  while (again.next(text) && again.number() <= line) {
    if (again.number() < lay.first_data_line || blank(text) || is_comment(text)) continue;
    split_fields(text, lay.delimiter, fields);
    if (rising.size() < fields.size()) {
      rising.resize(fields.size(), true);
      last.resize(fields.size(), -HUGE_VAL);
    }
    for (std::size_t i = 0; i < fields.size(); ++i) {
      double v = 0;
      if (!parse_number(fields[i], lay.decimal_comma, v)) continue;
      if (v < last[i]) rising[i] = false;
      last[i] = v;
    }
  }
  for (std::size_t i = 0; i < rising.size(); ++i) {
    if (!rising[i] || static_cast<int>(i) == lay.time_col || last[i] == -HUGE_VAL) continue;
    msg += ". Column " + column_label(lay, static_cast<int>(i)) + " never decreases up to there: if it is the time, give --time-col " +
           std::to_string(i + 1) + " --thrust-col " +
           std::to_string((static_cast<int>(i) == lay.thrust_col ? lay.time_col : lay.thrust_col) + 1);
    break;
  }
  if (msg.find("never decreases") == std::string::npos)
    msg += ". If the file holds several runs, cut out the one to prepare";
  throw DataError(msg);
}

const Scan& LoggerReader::scan() {
  // The layout, from the first lines that are not blank.
  std::vector<SampleLine> sample;
  std::string_view line;
  while (sample.size() < kSampleLines && lines_.next(line))
    if (!blank(line)) sample.push_back({lines_.number(), std::string(line)});
  if (sample.empty()) throw DataError(lines_.name() + ": the file is empty");
  scan_.layout = detect_layout(sample, opt_.layout, lines_.name());
  lines_.seek(0, 0);

  std::vector<double> steps;
  std::size_t stride = 1, step_count = 0;
  bool first = true;
  double prev_t = 0;
  std::size_t block_size = 1;
  Block cur;
  auto close_block = [&]() {
    scan_.blocks.push_back(cur);
    cur.count = 0;
    if (scan_.blocks.size() == kBlocks) {
      // Twice as long blocks, half as many.
      std::vector<Block>& b = scan_.blocks;
      std::size_t k = 0;
      for (std::size_t i = 0; i + 1 < b.size(); i += 2, ++k) {
        Block m = b[i];
        m.t_last = b[i + 1].t_last;
        m.sum += b[i + 1].sum;
        m.min = std::min(m.min, b[i + 1].min);
        m.max = std::max(m.max, b[i + 1].max);
        m.count += b[i + 1].count;
        b[k] = m;
      }
      b.resize(k);
      block_size *= 2;
    }
  };
  read_points(
      [&](const Point& p, std::int64_t line_no, std::uint64_t offset, std::int64_t index) {
        if (first) {
          scan_.t_first = p.t;
          scan_.F_min = scan_.F_max = p.F;
          first = false;
        } else {
          const double step = p.t - prev_t;
          if (step_count == 0 || step < scan_.step_min) scan_.step_min = step;
          if (step_count == 0 || step > scan_.step_max) {
            scan_.step_max = step;
            scan_.step_max_line = line_no;
          }
          if (step_count++ % stride == 0) steps.push_back(step);
          if (steps.size() >= kStepSamples) {
            std::size_t k = 0;
            for (std::size_t i = 0; i < steps.size(); i += 2) steps[k++] = steps[i];
            steps.resize(k);
            stride *= 2;
          }
          scan_.F_min = std::min(scan_.F_min, p.F);
          scan_.F_max = std::max(scan_.F_max, p.F);
        }
        prev_t = p.t;
        ++scan_.points;
        if (cur.count == 0) {
          cur.t_first = p.t;
          cur.sum = 0;
          cur.min = cur.max = p.F;
          cur.offset = offset;
          cur.line = line_no - 1;
          cur.index = index;
        }
        cur.t_last = p.t;
        cur.sum += p.F;
        cur.min = std::min(cur.min, p.F);
        cur.max = std::max(cur.max, p.F);
        if (static_cast<std::size_t>(++cur.count) == block_size) close_block();
        return true;
      },
      true);
  if (cur.count > 0) close_block();
  scan_.t_last = prev_t;
  if (scan_.points < 2)
    throw DataError(lines_.name() + ": " + std::to_string(scan_.points) +
                    " point" + (scan_.points == 1 ? "" : "s") + " of data: a firing needs many more");
  std::sort(steps.begin(), steps.end());
  auto at = [&](double q) { return steps[static_cast<std::size_t>(q * static_cast<double>(steps.size() - 1) + 0.5)]; };
  scan_.step_median = at(0.5);
  scan_.step_p05 = at(0.05);
  scan_.step_p95 = at(0.95);
  return scan_;
}

std::vector<Point> LoggerReader::points_between(double first_t, double last_t) {
  const auto& b = scan_.blocks;
  std::size_t k = 0;
  while (k + 1 < b.size() && b[k].t_last < first_t) ++k;
  lines_.seek(b[k].offset, b[k].line);
  start_index_ = b[k].index;
  std::vector<Point> out;
  read_points(
      [&](const Point& p, std::int64_t, std::uint64_t, std::int64_t) {
        if (p.t > last_t) return false;
        if (p.t >= first_t) out.push_back(p);
        return true;
      },
      false);
  return out;
}

}  // namespace kv::prepare
