#include "prepare/logger_reader.h"

#include <fast_float/fast_float.h>

#include <algorithm>
#include <cmath>
#include <string_view>

#include "analysis/mass_flow.h"
#include "companion/errors.h"
#include "companion/number_text.h"

namespace kv::prepare {

using companion::DataError;
using companion::shortest;
using companion::significant;

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
[[gnu::noinline]] bool data_like(std::string_view line, const std::vector<std::string_view>& fields, bool comma) {
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

// A plain number at p (after blanks), and where it ends; nothing for anything else.
// What fast_float takes and read_number refuses (inf, nan) is not finite; a leading '+',
// which fast_float refuses, goes to the full rules.
inline const char* plain_number(const char* p, const char* end, const fast_float::parse_options& options, double& v) {
  // A blank and a tab both sort below '!', and every character a number starts with above.
  while (p < end && static_cast<unsigned char>(*p) <= ' ' && (*p == ' ' || *p == '\t')) ++p;
  const auto r = fast_float::from_chars_advanced(p, end, v, options);
  if (r.ec != std::errc() || !std::isfinite(v)) return nullptr;
  return r.ptr;
}

// The end of a field: the blanks after its value skipped.
inline const char* past_blanks(const char* p, const char* end) {
  while (p < end && (*p == ' ' || *p == '\t' || *p == '\r')) ++p;
  return p;
}

// The most common layout: the time, the thrust, and perhaps more after them, separated
// by one character; decided once for the whole file.
struct LeadingPair {
  bool applies;
  char sep;
  fast_float::parse_options options;
  explicit LeadingPair(const Layout& lay)
      : applies(lay.time_col == 0 && lay.thrust_col == 1 && lay.delimiter != Delimiter::Blanks),
        sep(lay.delimiter.c),
        options(fast_float::chars_format::general, lay.decimal_comma ? ',' : '.') {}
};

// quick_pair for that layout.
inline bool leading_pair(std::string_view line, const LeadingPair& lp, double& t, double& F) {
  const char* p = line.data();
  const char* const end = p + line.size();
  p = plain_number(p, end, lp.options, t);
  if (!p) return false;
  if (p != end && *p != lp.sep) p = past_blanks(p, end);
  if (p == end || *p != lp.sep) return false;
  p = plain_number(p + 1, end, lp.options, F);
  if (!p) return false;
  if (p != end && *p != lp.sep) p = past_blanks(p, end);
  return p == end || *p == lp.sep;
}

// The time and the thrust of a plain line (no quotes, every field up to them a plain
// number or skipped whole), parsed where they stand; false for any other line, which the
// full rules then read.
[[gnu::noinline]] bool quick_pair(std::string_view line, const Layout& lay, double& t, double& F) {
  const char* p = line.data();
  const char* const end = p + line.size();
  const bool blanks = lay.delimiter == Delimiter::Blanks;
  const char sep = lay.delimiter.c;
  const fast_float::parse_options options(fast_float::chars_format::general, lay.decimal_comma ? ',' : '.');
  const int last = std::max(lay.time_col, lay.thrust_col);
  for (int k = 0; k <= last; ++k) {
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
    if (k == lay.time_col || k == lay.thrust_col) {
      const char* q = p + (p < end && *p == '+' ? 1 : 0);
      const char* lead = q + (q + 1 < end && *q == '-' ? 1 : 0);
      if (lead >= end || !((*lead >= '0' && *lead <= '9') || *lead == (lay.decimal_comma ? ',' : '.'))) return false;
      double v = 0;
      const auto r = fast_float::from_chars_advanced(q, end, v, options);
      if (r.ec != std::errc() || !std::isfinite(v)) return false;
      (k == lay.time_col ? t : F) = v;
      p = r.ptr;
      while (p < end && (*p == ' ' || *p == '\t' || *p == '\r')) ++p;
    } else {
      if (blanks) {
        while (p < end && *p != ' ' && *p != '\t' && *p != '\r') {
          if (*p == '"') return false;
          ++p;
        }
        while (p < end && (*p == ' ' || *p == '\t' || *p == '\r')) ++p;
      } else {
        while (p < end && *p != sep) {
          if (*p == '"') return false;
          ++p;
        }
      }
    }
    // The field ends here: at the delimiter, or at the end of the line.
    if (p == end) {
      if (k < last) return false;
      break;
    }
    if (!blanks) {
      if (*p != sep) return false;
      ++p;
    } else if (k == last) {
      break;
    }
  }
  return true;
}

// The first `need` fields of a line without double quotes, as split_fields gives them,
// found without splitting the rest; false for a line that needs split_fields.
[[gnu::noinline]] bool leading_fields(std::string_view line, Delimiter d, std::size_t need,
                                      std::vector<std::string_view>& out) {
  if (line.find('"') != std::string_view::npos) return false;
  out.clear();
  const auto is_blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  const std::size_t n = line.size();
  std::size_t i = 0;
  if (d == Delimiter::Blanks) {
    while (out.size() < need) {
      while (i < n && is_blank(line[i])) ++i;
      if (i >= n) break;
      const std::size_t start = i;
      while (i < n && !is_blank(line[i])) ++i;
      out.push_back(line.substr(start, i - start));
    }
    return true;
  }
  while (out.size() < need) {
    const std::size_t at = line.find(d.c, i);
    std::size_t a = i, b = at == std::string_view::npos ? n : at;
    while (a < b && is_blank(line[a])) ++a;
    while (b > a && is_blank(line[b - 1])) --b;
    out.push_back(line.substr(a, b - a));
    if (at == std::string_view::npos) break;
    i = at + 1;
  }
  return true;
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
    : path_(name), opt_(options), lines_(name) {}

// Flattened: fast_float, the lines and the statistics are inlined into the loop, which
// then calls nothing on a plain line but memchr (the helpers of other lines are kept
// out of line).
template <class Sink>
__attribute__((flatten)) void LoggerReader::read_points(Sink&& sink, bool first_pass) {
  const Layout& lay = scan_.layout;
  const bool rse = scan_.format.format == FileFormat::RocksimRse;
  std::vector<std::string_view> fields;
  std::string_view line;
  bool have_data = !first_pass;
  std::int64_t index = start_index_;  // data lines so far, in the run

  // The point being built: consecutive lines with the same time stamp are averaged.
  bool pending = false;
  double p_raw_t = 0, p_t = 0, p_sum = 0;
  std::int64_t p_count = 0, p_line = 0, p_index = 0;
  std::uint64_t p_offset = 0;
  // The run the lines are in: the first pass sees them all, the second starts in the one
  // that was asked for and stops where it ends.
  int run = first_pass ? 1 : std::max(opt_.run, 1);
  const int wanted = opt_.run;
  const auto mine = [&] { return wanted == 0 || run == wanted; };
  bool shift_decided = !first_pass;
  auto emit = [&]() -> bool {
    pending = false;
    if (!mine()) return true;
    return sink(Point{p_t, p_count == 1 ? p_sum : p_sum / static_cast<double>(p_count)}, p_line, p_offset, p_index);
  };

  const int tc = lay.time_col, fc = lay.thrust_col;
  const LeadingPair pair(lay);
  const std::int64_t first_data_line = lay.first_data_line;
  // The clock wraps before the first line read.
  double wrap = 0;
  for (const std::int64_t w : scan_.clock_wraps)
    if (!first_pass && w <= lines_.number()) wrap += kClockWrap;
  const auto need = static_cast<std::size_t>(std::max(tc, fc) + 1);
  // What the loop reads and counts, in locals: the compiler keeps them in registers.
  const double scale = opt_.scale, offset = opt_.offset, factor = thrust_factor_, divisor = time_divisor_;
  const double rate = scan_.rate, x0 = scan_.format.x0;
  double shift = scan_.shift;
  bool whole = scan_.whole_times;
  std::int64_t n_lines = 0, n_skipped = 0, n_data = 0, n_folded = 0;
  Run current;
  const auto counted = [&] {
    if (!first_pass) return;
    scan_.lines += n_lines;
    scan_.skipped += n_skipped;
    scan_.data_lines += n_data;
    scan_.folded += n_folded;
    scan_.whole_times = whole;
    scan_.shift = shift;
    if (current.points > 0) {
      // The run ends at the last point read.
      current.last_line = p_line;
      current.t_last = p_raw_t;
      scan_.runs.push_back(current);
    }
    // The runs' last times, in s.
    for (Run& r : scan_.runs) r.t_last = tc < 0 ? r.t_last / rate + x0 : r.t_last / divisor;
  };
  while (lines_.next(line)) {
    ++n_lines;
    // A line that starts with a digit is neither blank nor a comment.
    const bool digit_first = !line.empty() && line[0] >= '0' && line[0] <= '9';
    if (!digit_first && (line.empty() || blank(line) || is_comment(line))) {
      ++n_skipped;
      continue;
    }
    if (lines_.number() < first_data_line) {
      ++n_skipped;
      continue;
    }
    if (rse) {
      std::string_view rse_t, rse_f;
      fields.clear();
      if (rse_point(line, rse_t, rse_f)) fields = {rse_t, rse_f};
      else {
        ++n_skipped;
        continue;
      }
    }
    double raw_t = 0, raw_F = 0;
    bool ok = !rse && (pair.applies ? leading_pair(line, pair, raw_t, raw_F) : quick_pair(line, lay, raw_t, raw_F));
    if (!ok && !rse && !leading_fields(line, lay.delimiter, need, fields)) split_fields(line, lay.delimiter, fields);
    if (!ok && fields.size() >= need) {
      const NumberText kf = read_number(fields[static_cast<std::size_t>(fc)], lay.decimal_comma, raw_F);
      const NumberText kt = tc >= 0 ? read_number(fields[static_cast<std::size_t>(tc)], lay.decimal_comma, raw_t)
                                    : NumberText::Number;
      if (kf == NumberText::OutOfRange) out_of_range(line, fc, "");
      if (kt == NumberText::OutOfRange) out_of_range(line, tc, "");
      ok = kf == NumberText::Number && kt == NumberText::Number;
    }
    if (!ok) {
      split_fields(line, lay.delimiter, fields);
      if (have_data && first_pass && data_like(line, fields, lay.decimal_comma)) {
        not_a_sample(line, fields.size());
      }
      ++n_skipped;
      continue;
    }
    ++n_data;
    have_data = true;
    const double F = (scale * raw_F + offset) * factor;
    if (!std::isfinite(F))
      out_of_range(line, fc, opt_.scale != 1 || opt_.offset != 0 ? "--scale, --offset and --thrust-unit" : "--thrust-unit");
    if (tc < 0) raw_t = static_cast<double>(index);
    const double read_t = raw_t;
    raw_t += wrap;
    // A logger's 32-bit clock (millis(), micros()) starts again at 0 after 2^32 counts:
    // the times go on from where they were.
    if (raw_t < p_raw_t && tc >= 0 && pending && p_raw_t - wrap >= kClockWrap / 2 && p_raw_t - wrap < kClockWrap &&
        read_t >= 0 && read_t + kClockWrap - (p_raw_t - wrap) < kClockWrap / 100) {
      wrap += kClockWrap;
      raw_t = read_t + wrap;
      if (first_pass) scan_.clock_wraps.push_back(lines_.number());
    }
    if (pending && raw_t == p_raw_t) {
      p_sum += F;
      ++p_count;
      ++n_folded;
      ++index;
      continue;
    }
    if (pending && !emit()) {
      counted();
      return;
    }
    if (raw_t < p_raw_t && !pending && p_count > 0) {
      // The clock went back: another run starts here.
      if (!first_pass) {
        counted();
        return;
      }
      ++run;
      wrap = 0;
      index = 0;
      if (tc < 0) raw_t = 0;
      current.last_line = p_line;
      current.t_last = p_raw_t;  // in the file's units until the runs are counted
      scan_.runs.push_back(current);
      current = Run{};
    }
    if (first_pass) {
      if (current.points == 0) {
        current.first_line = lines_.number();
        current.t_first = tc < 0 ? raw_t / rate + x0 : raw_t / divisor;
        current.F_max = F;
      }
      if (F > current.F_max) current.F_max = F;
      ++current.points;
    }
    double t;
    if (tc < 0) {
      t = raw_t / rate + x0;
    } else {
      t = divisor == 1.0 ? raw_t : raw_t / divisor;
      if (!shift_decided && mine()) {
        shift_decided = true;
        if (t >= kAbsoluteClock) shift = t;
      }
      if (first_pass && whole && mine() && raw_t != std::floor(raw_t)) whole = false;
      t -= shift;
    }
    pending = true;
    p_raw_t = raw_t;
    p_t = t;
    p_sum = F;
    p_count = 1;
    p_line = lines_.number();
    p_offset = lines_.offset();
    p_index = index;
    ++index;
  }
  if (pending) emit();
  counted();
}

void LoggerReader::not_a_sample(std::string_view line, std::size_t fields) {
  const Layout& lay = scan_.layout;
  const int tc = lay.time_col, fc = lay.thrust_col;
  std::string what = "expected the time in column " + column_label(lay, tc) + " and the thrust in column " +
                     column_label(lay, fc);
  if (tc < 0) what = "expected the thrust in column " + column_label(lay, fc);
  what += ", found " + std::to_string(fields) + " field" + (fields == 1 ? "" : "s") + " separated by " +
          delimiter_name(lay.delimiter);
  if (lay.decimal_comma) what += " with decimal commas";
  throw DataError(lines_.name() + ":" + std::to_string(lines_.number()) + ": " + quoted(line, 80) + ": " + what);
}

void LoggerReader::out_of_range(std::string_view line, int column, const char* after) {
  std::string what = lines_.name() + ":" + std::to_string(lines_.number()) + ": " + quoted(line, 80) +
                     ": a value out of range in column " + column_label(scan_.layout, column);
  if (*after != 0) what += std::string(" once taken through ") + after + " (beyond what a double holds)";
  else what += " (beyond what a double holds, about 1.8e308)";
  throw DataError(what);
}

std::string LoggerReader::swapped_columns_hint() {
  // Which other column never went down up to the first time that did: one of them may
  // be the time.
  const Layout& lay = scan_.layout;
  if (lay.time_col < 0 || scan_.runs.size() < 2) return {};
  const std::int64_t line = scan_.runs[1].first_line;
  TextLines again(path_);
  std::vector<std::string_view> fields;
  std::vector<double> last;
  std::vector<bool> rising;
  std::vector<std::int64_t> rises;
  std::int64_t rows = 0;
  std::string_view text;
  while (again.next(text) && again.number() <= line) {
    if (again.number() < lay.first_data_line || blank(text) || is_comment(text)) continue;
    split_fields(text, lay.delimiter, fields);
    ++rows;
    if (rising.size() < fields.size()) {
      rising.resize(fields.size(), true);
      last.resize(fields.size(), -HUGE_VAL);
      rises.resize(fields.size(), 0);
    }
    for (std::size_t i = 0; i < fields.size(); ++i) {
      double v = 0;
      if (!parse_number(fields[i], lay.decimal_comma, v)) continue;
      if (v < last[i]) rising[i] = false;
      if (v > last[i] && last[i] != -HUGE_VAL) ++rises[i];
      last[i] = v;
    }
  }
  for (std::size_t i = 0; i < rising.size(); ++i) {
    // A time goes up from row to row; a column that only stays level is no clock.
    if (!rising[i] || static_cast<int>(i) == lay.time_col || last[i] == -HUGE_VAL || rises[i] * 10 < (rows - 1) * 9)
      continue;
    return ". Column " + column_label(lay, static_cast<int>(i)) + " never decreases up to there: if it is the time, give --time-col " +
           std::to_string(i + 1) + " --thrust-col " +
           std::to_string((static_cast<int>(i) == lay.thrust_col ? lay.time_col : lay.thrust_col) + 1);
  }
  return {};
}

void LoggerReader::several_runs() {
  const Layout& lay = scan_.layout;
  const Run& r1 = scan_.runs[0];
  const Run& r2 = scan_.runs[1];
  if (const std::string hint = swapped_columns_hint(); !hint.empty())
    throw DataError(lines_.name() + ":" + std::to_string(r2.first_line) + ": the time " + shortest(r2.t_first) +
                    " comes before the time " + shortest(r1.t_last) + " of line " + std::to_string(r1.last_line) +
                    " (column " + column_label(lay, lay.time_col) + "): times must not go backwards" + hint);
  std::string list;
  for (std::size_t k = 0; k < scan_.runs.size(); ++k) {
    const Run& r = scan_.runs[k];
    list += "\n  run " + std::to_string(k + 1) + ": lines " + std::to_string(r.first_line) + "-" +
            std::to_string(r.last_line) + ", " + significant(r.t_first, 7) + " to " + significant(r.t_last, 7) + " s, " +
            std::to_string(r.points) + " points, highest thrust " + significant(r.F_max, 4) + " N";
  }
  throw DataError(lines_.name() + ": the file holds " + std::to_string(scan_.runs.size()) +
                  " runs (the clock starts again on line " + std::to_string(r2.first_line) + "): give --run N for one of them" +
                  list);
}

void LoggerReader::read_two_rows() {
  std::vector<std::vector<double>> rows;
  std::vector<std::int64_t> numbers;
  std::vector<std::string_view> fields;
  std::string_view line;
  while (lines_.next(line)) {
    ++scan_.lines;
    if (blank(line) || is_comment(line)) {
      ++scan_.skipped;
      continue;
    }
    split_fields(line, scan_.layout.delimiter, fields);
    while (!fields.empty() && fields.back().empty()) fields.pop_back();
    std::vector<double> values;
    for (std::size_t i = 0; i < fields.size(); ++i) {
      double v = 0;
      const NumberText k = read_number(fields[i], scan_.layout.decimal_comma, v);
      if (k == NumberText::OutOfRange) out_of_range(line, static_cast<int>(i), "");
      if (k != NumberText::Number)
        throw DataError(lines_.name() + ":" + std::to_string(lines_.number()) + ": value " + std::to_string(i + 1) + " " +
                        quoted(fields[i], 30) + " is not a number (a file of two rows: the times, then the thrusts)");
      values.push_back(v);
    }
    rows.push_back(std::move(values));
    numbers.push_back(lines_.number());
  }
  if (rows.size() != 2 || rows[0].size() != rows[1].size())
    throw DataError(lines_.name() + ": two rows of the same length were expected (the times, then the thrusts)");
  for (std::size_t i = 0; i < rows[0].size(); ++i) {
    const double t = rows[0][i] / time_divisor_;
    const double F = (opt_.scale * rows[1][i] + opt_.offset) * thrust_factor_;
    if (!std::isfinite(F)) throw DataError(lines_.name() + ":" + std::to_string(numbers[1]) + ": a value out of range once "
                                           "taken through --scale, --offset and --thrust-unit");
    if (rows[0][i] != std::floor(rows[0][i])) scan_.whole_times = false;
    if (!rows_.empty() && t < rows_.back().t)
      throw DataError(lines_.name() + ":" + std::to_string(numbers[0]) + ": time " + std::to_string(i + 1) + " (" +
                      shortest(rows[0][i]) + ") comes before the one before it: times must not go backwards");
    if (!rows_.empty() && t == rows_.back().t) {
      rows_.back().F = (rows_.back().F + F) / 2;
      ++scan_.folded;
      continue;
    }
    rows_.push_back({t, F});
  }
  scan_.data_lines = static_cast<std::int64_t>(rows[0].size());
  scan_.layout.time_col = 0;
  scan_.layout.thrust_col = 1;
  scan_.layout.first_data_line = numbers[0];
  if (!rows_.empty() && rows_.front().t >= kAbsoluteClock) {
    scan_.shift = rows_.front().t;
    for (Point& p : rows_) p.t -= scan_.shift;
  }
  scan_.runs.push_back(Run{numbers[0], numbers[1], rows_.empty() ? 0 : rows_.front().t, rows_.empty() ? 0 : rows_.back().t,
                           static_cast<std::int64_t>(rows_.size()), 0});
}

const Scan& LoggerReader::scan() {
  // The layout, from the first lines that are not blank.
  std::vector<SampleLine> sample;
  std::string_view line;
  while (sample.size() < kSampleLines && lines_.next(line))
    if (!blank(line)) sample.push_back({lines_.number(), std::string(line)});
  if (sample.empty()) throw DataError(lines_.name() + ": the file is empty");

  // What kind of file: its header says what the user did not.
  scan_.format = detect_format(sample, opt_.layout, lines_.name());
  const FormatFacts& ff = scan_.format;
  LayoutRequest request = opt_.layout;
  if (!request.delimiter && ff.delimiter) request.delimiter = ff.delimiter;
  if (ff.decimal_comma) request.decimal_comma = true;
  if (request.skip_lines == 0) request.skip_lines = ff.skip_lines;
  scan_.rate = opt_.rate;
  if (ff.no_time_column && request.time_col.empty()) {
    request.time_col = "none";
    if (scan_.rate <= 0) scan_.rate = ff.rate;
    request.rate_given = true;
  }
  if (ff.format == FileFormat::RocksimRse) {
    scan_.layout.delimiter = Delimiter::Blanks;
    scan_.layout.time_col = 0;
    scan_.layout.thrust_col = 1;
    scan_.layout.first_data_line = 1;
  } else if (ff.format == FileFormat::TwoRows) {
    scan_.layout.delimiter = *ff.delimiter;
    scan_.layout.decimal_comma = request.decimal_comma;
  } else {
    scan_.layout = detect_layout(sample, request, lines_.name());
    if (!ff.header.empty() && scan_.layout.header.empty()) scan_.layout.header = ff.header;
  }

  // The units: as given, else as the header names them, else s and N.
  scan_.time_unit = opt_.time_unit;
  scan_.thrust_unit = opt_.thrust_unit;
  if (!opt_.time_unit_given && scan_.layout.time_col >= 0) {
    if (const auto u = header_time_unit(scan_.layout, scan_.layout.time_col)) {
      scan_.time_unit = *u;
      scan_.time_unit_from_file = true;
    }
  }
  if (!opt_.thrust_unit_given) {
    std::optional<ThrustUnit> u = ff.unit;
    if (!u) u = header_thrust_unit(scan_.layout, scan_.layout.thrust_col);
    if (u) {
      scan_.thrust_unit = *u;
      scan_.thrust_unit_from_file = true;
    }
  }
  time_divisor_ = scan_.time_unit == TimeUnit::ms ? 1e3 : scan_.time_unit == TimeUnit::us ? 1e6 : 1.0;
  thrust_factor_ = newtons_per(scan_.thrust_unit);
  if (scan_.layout.time_col < 0 && !(scan_.rate > 0))
    throw DataError(lines_.name() + ": the file has no time column: give the logger's rate with --rate HZ");
  lines_.seek(0, 0);

  std::vector<double> steps;
  std::size_t stride = 1, until_kept = 1;
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
  // A point goes into the blocks one point late, with the median of it and its two
  // neighbours as its thrust.
  struct Held {
    Point p;
    std::int64_t line;
    std::uint64_t offset;
    std::int64_t index;
  };
  // The statistics in locals while the pass runs (the compiler keeps them in registers).
  Held held{};
  double before_F = 0;  // the thrust of the point before the held one (the held one's, at the start)
  double F_min = 0, F_max = 0, step_min = HUGE_VAL, step_max = -HUGE_VAL;
  std::int64_t step_max_line = 0, points = 0;
  auto into_blocks = [&](const Held& h, double F) __attribute__((always_inline)) {
    if (cur.count == 0) {
      cur.t_first = h.p.t;
      cur.sum = 0;
      cur.min = cur.max = F;
      cur.offset = h.offset;
      cur.line = h.line - 1;
      cur.index = h.index;
    }
    cur.t_last = h.p.t;
    cur.sum += F;
    if (F < cur.min) cur.min = F;
    if (F > cur.max) cur.max = F;
    if (static_cast<std::size_t>(++cur.count) == block_size) close_block();
  };
  // Inlined into the reading loop, which calls it once a point.
  auto take = [&](const Point& p, std::int64_t line_no, std::uint64_t offset, std::int64_t index) __attribute__((always_inline)) {
    if (points == 0) {
      scan_.t_first = p.t;
      F_min = F_max = p.F;
      held.p.F = p.F;
    } else {
      const double step = p.t - prev_t;
      if (step < step_min) step_min = step;
      if (step > step_max) {
        step_max = step;
        step_max_line = line_no;
      }
      if (--until_kept == 0) {
        steps.push_back(step);
        until_kept = stride;
        if (steps.size() >= kStepSamples) {
          std::size_t k = 0;
          for (std::size_t i = 0; i < steps.size(); i += 2) steps[k++] = steps[i];
          steps.resize(k);
          stride *= 2;
          until_kept = stride;
        }
      }
      if (p.F < F_min) F_min = p.F;
      if (p.F > F_max) F_max = p.F;
      const double x = before_F, y = held.p.F, z = p.F;
      into_blocks(held, std::max(std::min(x, y), std::min(std::max(x, y), z)));
    }
    prev_t = p.t;
    ++points;
    before_F = held.p.F;
    held = Held{p, line_no, offset, index};
    return true;
  };
  if (scan_.format.format == FileFormat::TwoRows) {
    read_two_rows();
    for (std::size_t i = 0; i < rows_.size(); ++i) take(rows_[i], 1, 0, static_cast<std::int64_t>(i));
  } else {
    read_points(take, true);
  }
  if (points > 0) into_blocks(held, held.p.F);
  if (cur.count > 0) close_block();
  scan_.points = points;
  scan_.F_min = F_min;
  scan_.F_max = F_max;
  scan_.step_min = step_min;
  scan_.step_max = step_max;
  scan_.step_max_line = step_max_line;
  scan_.t_last = prev_t;
  if (scan_.runs.size() > 1 && opt_.run == 0) several_runs();
  if (opt_.run > static_cast<int>(std::max<std::size_t>(scan_.runs.size(), 1)))
    throw DataError(lines_.name() + ": --run " + std::to_string(opt_.run) + ": the file holds " +
                    std::to_string(scan_.runs.size()) + " run" + (scan_.runs.size() == 1 ? "" : "s"));
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

std::string step_text(double seconds) {
  if (seconds >= 0.9995) return significant(seconds, 4) + " s (" + significant(1 / seconds, 4) + " Hz)";
  if (seconds >= 0.9995e-3) return significant(seconds * 1e3, 4) + " ms (" + significant(1 / seconds, 4) + " Hz)";
  return significant(seconds * 1e6, 4) + " us (" + significant(1 / seconds, 5) + " Hz)";
}

namespace {

// The mean step over the lines, which times rounded to few digits keep (a missed sample
// does not move the median step); 0 for fewer than two.
double mean_step(const Scan& scan) {
  const std::int64_t steps = scan.runs.size() == 1 ? scan.data_lines - 1 : scan.points - 1;
  return steps > 0 ? (scan.t_last - scan.t_first) / static_cast<double>(steps) : 0;
}

}  // namespace

double stated_rate_disagreement(const Scan& scan) {
  const double header = scan.format.rate;
  if (!(header > 0) || scan.layout.time_col < 0) return std::nan("");
  // The rate that agrees with either step stands.
  const auto off = [&](double step) { return step > 0 ? std::abs(header * step - 1) : HUGE_VAL; };
  return std::min(off(scan.step_median), off(mean_step(scan)));
}

std::string check_stated_rate(const Scan& scan, double user_rate, bool time_col_given, const std::string& file) {
  constexpr double kStop = 0.01, kWarn = 0.001;
  const double header = scan.format.rate;
  if (!(header > 0)) return {};
  const std::string said = std::string(scan.format.format == FileFormat::LabviewLvm ? "Delta_X" : "its header") +
                           " gives " + significant(header, 8) + " Hz";
  if (scan.layout.time_col < 0) {
    // Without times the rate is all there is: the user's stands, and the header's is named.
    if (!(user_rate > 0)) return {};
    const double d = std::abs(header / user_rate - 1);
    if (!(d > kWarn)) return {};
    return "--rate " + significant(user_rate, 8) + " Hz times the samples; " + said + ": the times and the burn time are " +
           significant(100 * (header / user_rate - 1), 3) + " % off if the header is right";
  }
  const double d = stated_rate_disagreement(scan);
  if (!(d > kWarn)) return {};
  const double mean = mean_step(scan);
  const std::string what = file + ": " + said + ", but the times in column " + column_label(scan.layout, scan.layout.time_col) +
                           " step by " + step_text(scan.step_median) + " at the median and by " + step_text(mean) +
                           " on average";
  if (d > kStop && !time_col_given)
    throw DataError(what + ": one of them is wrong, and the burn time with it by " + significant(100 * d, 2) +
                    " %. Give --time-col " + std::to_string(scan.layout.time_col + 1) +
                    " to keep the times, or --time-col none --thrust-col " + std::to_string(scan.layout.thrust_col + 1) +
                    " --rate " + significant(header, 8) + " to time the samples by the rate");
  return what + ": the file's times are used";
}

std::vector<Point> LoggerReader::points_between(double first_t, double last_t) {
  std::vector<Point> out;
  if (scan_.format.format == FileFormat::TwoRows) {
    for (const Point& p : rows_)
      if (p.t >= first_t && p.t <= last_t) out.push_back(p);
    return out;
  }
  const auto& b = scan_.blocks;
  std::size_t k = 0;
  while (k + 1 < b.size() && b[k].t_last < first_t) ++k;
  lines_.seek(b[k].offset, b[k].line);
  start_index_ = b[k].index;
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
