#include "prepare/logger_reader.h"

#include <fast_float/fast_float.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>
#include <type_traits>

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
constexpr std::size_t kBatch = 512;           // points handed to a sink at a time
constexpr std::size_t kLineBatch = 512;       // data lines handed to the taker at a time
constexpr double kAbsoluteClock = 1e5;        // s: a first time beyond this is a clock time
constexpr double kClockWrap = 4294967296.0;   // counts of a 32-bit clock

// A data line as the reading hands it on: its time as read, its thrust in N, its number
// and where it starts.
struct DataLine {
  double raw_t;
  double F;
  std::int64_t line;
  std::uint64_t offset;
};

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

// What the first pass keeps of the points: their count, first and last times and
// extremes, their steps (a sample of them for the median), and the curve in blocks, into
// which a point goes one point late with the median of it and its two neighbours as its
// thrust. Each batch is taken with the figures in locals, which the compiler keeps in
// registers.
class CurveSummary {
 public:
  explicit CurveSummary(std::vector<Block>& blocks) : blocks_(blocks) {}

  void add(std::span<const Emitted> batch) {
    auto e = batch.begin();
    if (e == batch.end()) return;
    if (points == 0) {
      t_first = e->p.t;
      F_min = F_max = e->p.F;
      before_F_ = e->p.F;
      held_ = *e;
      t_last = e->p.t;
      points = 1;
      ++e;
    }
    double prev_t = t_last, before_F = before_F_, lo = F_min, hi = F_max, step_lo = step_min, step_hi = step_max;
    std::int64_t step_hi_line = step_max_line, n = points;
    std::size_t until_kept = until_kept_;
    // The held point: the one before in the batch, read where it stands.
    const Emitted* held = &held_;
    // The running figures of the block being filled, in locals of their own.
    double b_last = cur_.t_last, b_sum = cur_.sum, b_min = cur_.min, b_max = cur_.max;
    std::int64_t b_count = cur_.count;
    for (; e != batch.end(); ++e) {
      const Point& p = e->p;
      const double step = p.t - prev_t;
      if (step < step_lo) step_lo = step;
      if (step > step_hi) {
        step_hi = step;
        step_hi_line = e->line;
      }
      if (--until_kept == 0) until_kept = keep_step(step);
      if (p.F < lo) lo = p.F;
      if (p.F > hi) hi = p.F;
      const double x = before_F, y = held->p.F, z = p.F;
      const double F = std::max(std::min(x, y), std::min(std::max(x, y), z));
      if (b_count == 0) {
        start_block(*held);
        b_sum = 0;
        b_min = b_max = F;
      }
      b_last = held->p.t;
      b_sum += F;
      if (F < b_min) b_min = F;
      if (F > b_max) b_max = F;
      if (static_cast<std::size_t>(++b_count) == block_size_) {
        close_block(b_last, b_sum, b_min, b_max, b_count);
        b_count = 0;
      }
      prev_t = p.t;
      ++n;
      before_F = held->p.F;
      held = &*e;
    }
    t_last = prev_t;
    before_F_ = before_F;
    F_min = lo;
    F_max = hi;
    step_min = step_lo;
    step_max = step_hi;
    step_max_line = step_hi_line;
    points = n;
    until_kept_ = until_kept;
    held_ = *held;
    cur_.t_last = b_last;
    cur_.sum = b_sum;
    cur_.min = b_min;
    cur_.max = b_max;
    cur_.count = b_count;
  }

  // The last point into the blocks, and the last block closed.
  void finish() {
    if (points == 0) return;
    const double F = held_.p.F;
    if (cur_.count == 0) {
      start_block(held_);
      cur_.sum = 0;
      cur_.min = cur_.max = F;
    }
    close_block(held_.p.t, cur_.sum + F, std::min(cur_.min, F), std::max(cur_.max, F), cur_.count + 1);
  }

  std::int64_t points = 0;
  double t_first = 0, t_last = 0, F_min = 0, F_max = 0, step_min = HUGE_VAL, step_max = -HUGE_VAL;
  std::int64_t step_max_line = 0;
  std::vector<double> steps;  // every stride-th step

 private:
  // A block starts at the held point: where it is, and its time.
  void start_block(const Emitted& h) {
    cur_.t_first = h.p.t;
    cur_.offset = h.offset;
    cur_.line = h.line - 1;
    cur_.index = h.index;
  }
  // Keeps a step; the steps until the next kept one.
  [[gnu::noinline]] std::size_t keep_step(double step) {
    steps.push_back(step);
    if (steps.size() >= kStepSamples) {
      std::size_t k = 0;
      for (std::size_t i = 0; i < steps.size(); i += 2) steps[k++] = steps[i];
      steps.resize(k);
      stride_ *= 2;
    }
    return stride_;
  }
  [[gnu::noinline]] void close_block(double last, double sum, double min, double max, std::int64_t count) {
    Block b = cur_;
    b.t_last = last;
    b.sum = sum;
    b.min = min;
    b.max = max;
    b.count = count;
    blocks_.push_back(b);
    cur_.count = 0;
    if (blocks_.size() == kBlocks) {
      // Twice as long blocks, half as many.
      std::size_t k = 0;
      for (std::size_t i = 0; i + 1 < blocks_.size(); i += 2, ++k) {
        Block m = blocks_[i];
        m.t_last = blocks_[i + 1].t_last;
        m.sum += blocks_[i + 1].sum;
        m.min = std::min(m.min, blocks_[i + 1].min);
        m.max = std::max(m.max, blocks_[i + 1].max);
        m.count += blocks_[i + 1].count;
        blocks_[k] = m;
      }
      blocks_.resize(k);
      block_size_ *= 2;
    }
  }

  std::vector<Block>& blocks_;
  std::size_t block_size_ = 1;
  Block cur_;
  Emitted held_{};
  double before_F_ = 0;  // the thrust of the point before the held one
  std::size_t stride_ = 1, until_kept_ = 1;
};

// The taking of a pass's data lines into points: lines with the same time folded into
// one, the clock's wraps and restarts, the runs; the points go on to the sink in batches.
// Each batch of lines is taken with the figures of the point being built in locals,
// which the compiler keeps in registers.
template <class Sink>
class PointTaker {
 public:
  struct Setup {
    bool first_pass;
    int time_col, wanted;  // wanted: the run asked for; 0 for the only one
    double rate, x0, divisor;
    std::int64_t index;    // data lines before the first, in its run
    double wrap;           // the clock's wraps before it
    double shift;
    bool whole;
  };
  PointTaker(Sink& sink, const Setup& s)
      : sink_(sink), first_pass_(s.first_pass), tc_(s.time_col), wanted_(s.wanted), rate_(s.rate), x0_(s.x0),
        divisor_(s.divisor), index_(s.index), run_(s.first_pass ? 1 : std::max(s.wanted, 1)),
        shift_decided_(!s.first_pass), wrap_(s.wrap), shift_(s.shift), whole_(s.whole) {}

  // Data lines, in the order of the file; false where the reading stops (the second
  // pass, past the run it reads). Out of line: see read_points.
  [[gnu::noinline]] bool take(std::span<const DataLine> lines) {
    const bool first_pass = first_pass_;
    const int tc = tc_;
    const double rate = rate_, x0 = x0_, divisor = divisor_;
    std::int64_t index = index_;
    bool pending = pending_;
    double p_raw_t = p_raw_t_, p_t = p_t_, p_sum = p_sum_;
    std::int64_t p_count = p_count_, p_line = p_line_, p_index = p_index_;
    std::uint64_t p_offset = p_offset_;
    bool shift_decided = shift_decided_, whole = whole_;
    double wrap = wrap_, shift = shift_;
    std::int64_t folded = folded_, run_points = current_.points;
    double run_F_max = current_.F_max;
    std::size_t batched = batched_;
    bool go_on = true;
    for (const DataLine& d : lines) {
      double raw_t = tc < 0 ? static_cast<double>(index) : d.raw_t;
      const double F = d.F;
      const double read_t = raw_t;
      raw_t += wrap;
      // A logger's 32-bit clock (millis(), micros()) starts again at 0 after 2^32
      // counts: the times go on from where they were.
      if (raw_t < p_raw_t && tc >= 0 && pending && p_raw_t - wrap >= kClockWrap / 2 && p_raw_t - wrap < kClockWrap &&
          read_t >= 0 && read_t + kClockWrap - (p_raw_t - wrap) < kClockWrap / 100) {
        wrap += kClockWrap;
        raw_t = read_t + wrap;
        if (first_pass) clock_wraps_.push_back(d.line);
      }
      if (pending && raw_t == p_raw_t) {
        p_sum += F;
        ++p_count;
        ++folded;
        ++index;
        continue;
      }
      if (pending) {
        pending = false;
        if (mine()) {
          batch_[batched++] = point(p_t, p_sum, p_count, p_line, p_offset, p_index);
          if (batched == kBatch) {
            batched = 0;
            if (!sink_(std::span<const Emitted>(batch_.data(), kBatch))) {
              go_on = false;
              break;
            }
          }
        }
      }
      if (raw_t < p_raw_t && p_count > 0) {
        // The clock went back: another run starts here.
        if (!first_pass) {
          go_on = false;
          break;
        }
        ++run_;
        wrap = 0;
        index = 0;
        if (tc < 0) raw_t = 0;
        current_.last_line = p_line;
        current_.t_last = p_raw_t;  // in the file's units until the runs are counted
        current_.points = run_points;
        current_.F_max = run_F_max;
        runs_.push_back(current_);
        current_ = Run{};
        run_points = 0;
      }
      if (first_pass) {
        if (run_points == 0) {
          current_.first_line = d.line;
          current_.t_first = tc < 0 ? raw_t / rate + x0 : raw_t / divisor;
          run_F_max = F;
        }
        if (F > run_F_max) run_F_max = F;
        ++run_points;
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
      p_line = d.line;
      p_offset = d.offset;
      p_index = index;
      ++index;
    }
    index_ = index;
    pending_ = pending;
    p_raw_t_ = p_raw_t;
    p_t_ = p_t;
    p_sum_ = p_sum;
    p_count_ = p_count;
    p_line_ = p_line;
    p_index_ = p_index;
    p_offset_ = p_offset;
    shift_decided_ = shift_decided;
    whole_ = whole;
    wrap_ = wrap;
    shift_ = shift;
    folded_ = folded;
    current_.points = run_points;
    current_.F_max = run_F_max;
    batched_ = batched;
    return go_on;
  }

  // The last point on to the sink, at the end of the lines.
  void finish() {
    if (pending_ && mine()) batch_[batched_++] = point(p_t_, p_sum_, p_count_, p_line_, p_offset_, p_index_);
    pending_ = false;
    if (batched_ > 0) sink_(std::span<const Emitted>(batch_.data(), batched_));
    batched_ = 0;
  }

  // The first pass: what it found, into the scan.
  void count(Scan& scan) {
    scan.folded += folded_;
    scan.whole_times = whole_;
    scan.shift = shift_;
    scan.clock_wraps.insert(scan.clock_wraps.end(), clock_wraps_.begin(), clock_wraps_.end());
    scan.runs.insert(scan.runs.end(), runs_.begin(), runs_.end());
    if (current_.points > 0) {
      // The run ends at the last point read.
      current_.last_line = p_line_;
      current_.t_last = p_raw_t_;
      scan.runs.push_back(current_);
    }
    // The runs' last times, in s.
    for (Run& r : scan.runs) r.t_last = tc_ < 0 ? r.t_last / rate_ + x0_ : r.t_last / divisor_;
  }

 private:
  bool mine() const { return wanted_ == 0 || run_ == wanted_; }
  // The point of `count` lines with the same time: their mean thrust.
  static Emitted point(double t, double sum, std::int64_t count, std::int64_t line, std::uint64_t offset,
                       std::int64_t index) {
    return Emitted{Point{t, count == 1 ? sum : sum / static_cast<double>(count)}, line, offset, index};
  }

  Sink& sink_;
  const bool first_pass_;
  const int tc_, wanted_;
  const double rate_, x0_, divisor_;
  std::int64_t index_;
  // The point being built: consecutive lines with the same time stamp are averaged.
  bool pending_ = false;
  double p_raw_t_ = 0, p_t_ = 0, p_sum_ = 0;
  std::int64_t p_count_ = 0, p_line_ = 0, p_index_ = 0;
  std::uint64_t p_offset_ = 0;
  // The run the lines are in: the first pass sees them all, the second starts in the one
  // that was asked for and stops where it ends.
  int run_;
  bool shift_decided_;
  double wrap_, shift_;
  bool whole_;
  std::int64_t folded_ = 0;
  Run current_;
  std::vector<Run> runs_;
  std::vector<std::int64_t> clock_wraps_;
  std::array<Emitted, kBatch> batch_;
  std::size_t batched_ = 0;
};

// Flattened: fast_float is inlined into the loop, which then calls nothing on a plain
// line; the helpers of other lines, and the taker of each batch of data lines, are kept
// out of line, so that each loop has the registers to itself.
template <class Sink>
__attribute__((flatten)) void LoggerReader::read_points(Sink&& sink, bool first_pass) {
  const Layout& lay = scan_.layout;
  const bool rse = scan_.format.format == FileFormat::RocksimRse;
  const int tc = lay.time_col, fc = lay.thrust_col;
  const LeadingPair pair(lay);
  const std::int64_t first_data_line = lay.first_data_line;
  const auto need = static_cast<std::size_t>(std::max(tc, fc) + 1);
  const double scale = opt_.scale, offset = opt_.offset, factor = thrust_factor_;
  const auto newtons = [&](double raw) { return (scale * raw + offset) * factor; };
  std::vector<std::string_view> fields;
  std::string_view line;
  std::int64_t lines = 0, skipped = 0, data = 0;
  bool have_data = !first_pass;

  double wrap = 0;  // the clock's wraps before the first line read
  for (const std::int64_t w : scan_.clock_wraps)
    if (!first_pass && w <= lines_.number()) wrap += kClockWrap;
  using Taker = PointTaker<std::remove_reference_t<Sink>>;
  Taker taker(sink, typename Taker::Setup{first_pass, tc, opt_.run, scan_.rate, scan_.format.x0, time_divisor_,
                                          start_index_, wrap, scan_.shift, scan_.whole_times});
  const auto counted = [&] {
    if (!first_pass) return;
    scan_.lines += lines;
    scan_.skipped += skipped;
    scan_.data_lines += data;
    taker.count(scan_);
  };

  // The data lines go to the taker in batches.
  std::array<DataLine, kLineBatch> batch;
  std::size_t filled = 0;
  const auto deliver = [&](double raw_t, double F, std::int64_t line_no,
                           std::uint64_t line_offset) __attribute__((always_inline)) -> bool {
    ++data;
    have_data = true;
    batch[filled++] = DataLine{raw_t, F, line_no, line_offset};
    if (filled < batch.size()) return true;
    filled = 0;
    return taker.take(batch);
  };
  // Lines of the most common shape (a time and a thrust that start the line, then its
  // end or more fields) are read here straight from the buffer, a whole buffer at a
  // time: each one where its numbers end, without looking for its end first. Any other
  // line, and one that the buffer cuts, goes to the full rules below.
  const bool fast = pair.applies && !rse;
  for (;;) {
    if (fast && lines_.lines_end_at_lf() && lines_.number() + 1 >= first_data_line) {
      const std::string_view unread = lines_.unread();
      const char* const from = unread.data();
      const char* const end = from + unread.size();
      const char* p = from;
      std::int64_t number = lines_.number();
      bool go_on = true;
      while (p < end && ((*p >= '0' && *p <= '9') || *p == '-')) {
        double raw_t = 0, raw_F = 0;
        const auto r = fast_float::from_chars_advanced(p, end, raw_t, pair.options);
        if (r.ec != std::errc() || r.ptr == end || *r.ptr != pair.sep || !std::isfinite(raw_t)) break;
        const char* q = plain_number(r.ptr + 1, end, pair.options, raw_F);
        if (q == nullptr || q == end) break;
        const char* nl;
        if (*q == '\n') nl = q;
        else if (*q == '\r' && q + 1 < end && q[1] == '\n') nl = q + 1;
        else if (*q == pair.sep) {
          nl = static_cast<const char*>(std::memchr(q, '\n', static_cast<std::size_t>(end - q)));
          if (nl == nullptr) break;
        } else {
          break;
        }
        const double F = newtons(raw_F);
        if (!std::isfinite(F)) break;
        ++number;
        ++lines;
        go_on = deliver(raw_t, F, number, lines_.offset_of(p));
        p = nl + 1;
        if (!go_on) break;
      }
      lines_.took(static_cast<std::size_t>(p - from), number - lines_.number());
      if (!go_on) {
        counted();
        return;
      }
    }
    if (!lines_.next(line)) break;
    ++lines;
    // A line that starts with a digit is neither blank nor a comment.
    const bool digit_first = !line.empty() && line[0] >= '0' && line[0] <= '9';
    if (!digit_first && (line.empty() || blank(line) || is_comment(line))) {
      ++skipped;
      continue;
    }
    if (lines_.number() < first_data_line) {
      ++skipped;
      continue;
    }
    if (rse) {
      std::string_view rse_t, rse_f;
      fields.clear();
      if (rse_point(line, rse_t, rse_f)) fields = {rse_t, rse_f};
      else {
        ++skipped;
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
      ++skipped;
      continue;
    }
    const double F = newtons(raw_F);
    if (!std::isfinite(F))
      out_of_range(line, fc, opt_.scale != 1 || opt_.offset != 0 ? "--scale, --offset and --thrust-unit" : "--thrust-unit");
    if (!deliver(raw_t, F, lines_.number(), lines_.offset())) {
      counted();
      return;
    }
  }
  if (taker.take(std::span<const DataLine>(batch.data(), filled))) taker.finish();
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

  CurveSummary summary(scan_.blocks);
  if (scan_.format.format == FileFormat::TwoRows) {
    read_two_rows();
    std::vector<Emitted> rows(rows_.size());
    for (std::size_t i = 0; i < rows_.size(); ++i) rows[i] = Emitted{rows_[i], 1, 0, static_cast<std::int64_t>(i)};
    summary.add(rows);
  } else {
    read_points(
        [&summary](std::span<const Emitted> batch) {
          summary.add(batch);
          return true;
        },
        true);
  }
  summary.finish();
  scan_.points = summary.points;
  scan_.t_first = summary.t_first;
  scan_.t_last = summary.t_last;
  scan_.F_min = summary.F_min;
  scan_.F_max = summary.F_max;
  scan_.step_min = summary.step_min;
  scan_.step_max = summary.step_max;
  scan_.step_max_line = summary.step_max_line;
  if (scan_.runs.size() > 1 && opt_.run == 0) several_runs();
  if (opt_.run > static_cast<int>(std::max<std::size_t>(scan_.runs.size(), 1)))
    throw DataError(lines_.name() + ": --run " + std::to_string(opt_.run) + ": the file holds " +
                    std::to_string(scan_.runs.size()) + " run" + (scan_.runs.size() == 1 ? "" : "s"));
  if (scan_.points < 2)
    throw DataError(lines_.name() + ": " + std::to_string(scan_.points) +
                    " point" + (scan_.points == 1 ? "" : "s") + " of data: a firing needs many more");
  std::vector<double>& steps = summary.steps;
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

Curve LoggerReader::points_between(double first_t, double last_t) {
  Curve out;
  const auto take = [&](const Point& p) {
    out.t.push_back(p.t);
    out.F.push_back(p.F);
  };
  if (scan_.format.format == FileFormat::TwoRows) {
    for (const Point& p : rows_)
      if (p.t >= first_t && p.t <= last_t) take(p);
    return out;
  }
  const auto& b = scan_.blocks;
  std::size_t k = 0;
  while (k + 1 < b.size() && b[k].t_last < first_t) ++k;
  // Room for the points of the blocks that the stretch spans (and one more, for a
  // published curve's start at 0), taken at once.
  std::int64_t spanned = 1;
  for (std::size_t j = k; j < b.size() && b[j].t_first <= last_t; ++j) spanned += b[j].count;
  out.t.reserve(static_cast<std::size_t>(spanned));
  out.F.reserve(static_cast<std::size_t>(spanned));
  lines_.seek(b[k].offset, b[k].line);
  start_index_ = b[k].index;
  read_points(
      [&](std::span<const Emitted> points) {
        for (const Emitted& e : points) {
          if (e.p.t > last_t) return false;
          if (e.p.t >= first_t) take(e.p);
        }
        return true;
      },
      false);
  return out;
}

}  // namespace kv::prepare
