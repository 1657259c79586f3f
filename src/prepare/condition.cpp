#include "prepare/condition.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <span>

#include "analysis/impulse.h"
#include "analysis/window.h"
#include "companion/errors.h"
#include "companion/number_text.h"

namespace kv::prepare {

using companion::DataError;
using companion::significant;

namespace {

constexpr double kSpan = 1.0;  // s: the longest quiet span a tare averages


// From index k, whose value is at or above `level`, walks in direction dir to the first
// point below it after which the values stay below it for `hold` seconds (or to the end
// of the record). -1 when the record ends above the level.
long walk(const std::vector<double>& t, const std::vector<double>& v, long k, int dir, double level, double hold) {
  const long n = static_cast<long>(v.size());
  long j = k;
  for (;;) {
    j += dir;
    if (j < 0 || j >= n) return -1;
    if (v[static_cast<std::size_t>(j)] >= level) continue;
    long m = j;
    bool quiet = true;
    for (;;) {
      m += dir;
      if (m < 0 || m >= n || std::abs(t[static_cast<std::size_t>(m)] - t[static_cast<std::size_t>(j)]) > hold) break;
      if (v[static_cast<std::size_t>(m)] >= level) {
        quiet = false;
        break;
      }
    }
    if (quiet) return j;
    j = m - dir;
  }
}

// The time where the straight line between points j (below) and k (above) crosses level.
double crossing(const std::vector<double>& t, const std::vector<double>& v, long j, long k, double level) {
  const auto a = static_cast<std::size_t>(j), b = static_cast<std::size_t>(k);
  if (v[b] == v[a]) return t[a];
  return t[a] + (level - v[a]) * (t[b] - t[a]) / (v[b] - v[a]);
}

struct Burn {
  double peak = 0, t_peak = 0, ignition = 0, burnout = 0;
  bool starts_burning = false, ends_burning = false;
};

// The mean of the values from t >= from on, when they look like a baseline: quiet (their
// standard deviation below `quiet`) and within `near` of `fallback`; `fallback` otherwise.
double quiet_mean_from(const std::vector<double>& t, const std::vector<double>& v, double from, double quiet,
                       double near, double fallback) {
  double sum = 0, sq = 0;
  std::size_t n = 0;
  for (std::size_t i = 0; i < t.size(); ++i)
    if (t[i] >= from) {
      sum += v[i];
      ++n;
    }
  if (n < 3) return fallback;
  const double mean = sum / static_cast<double>(n);
  for (std::size_t i = 0; i < t.size(); ++i)
    if (t[i] >= from) sq += (v[i] - mean) * (v[i] - mean);
  const bool baseline = std::sqrt(sq / static_cast<double>(n)) < quiet && std::abs(mean - fallback) < near;
  return baseline ? mean : fallback;
}

// The peak over `base`, and where the curve crosses pct % of it on either side. The
// burn-out is judged over the baseline at the end of the record when that is quiet, so
// that a drifting load cell still shows where the burn ends.
Burn find_burn(const std::vector<double>& t, const std::vector<double>& v, double base, double pct, double hold) {
  Burn b;
  const auto kp = static_cast<long>(std::max_element(v.begin(), v.end()) - v.begin());
  b.peak = v[static_cast<std::size_t>(kp)] - base;
  b.t_peak = t[static_cast<std::size_t>(kp)];
  const double top = v[static_cast<std::size_t>(kp)];
  const double end_base =
      quiet_mean_from(t, v, b.t_peak + 0.75 * (t.back() - b.t_peak), 0.03 * b.peak, 0.25 * b.peak, base);
  const long a = walk(t, v, kp, -1, base + pct / 100.0 * (top - base), hold);
  const double level_z = end_base + pct / 100.0 * (top - end_base);
  const long z = walk(t, v, kp, +1, level_z, hold);
  b.starts_burning = a < 0;
  b.ends_burning = z < 0;
  b.ignition = a < 0 ? t.front() : crossing(t, v, a, a + 1, base + pct / 100.0 * (top - base));
  b.burnout = z < 0 ? t.back() : crossing(t, v, z, z - 1, level_z);
  return b;
}

std::optional<Span> span_of(const std::vector<double>& t, const std::vector<double>& v, double from, double to) {
  Span s;
  s.from = from;
  s.to = to;
  double sum = 0, tsum = 0;
  for (std::size_t i = 0; i < t.size(); ++i)
    if (t[i] >= from && t[i] <= to) {
      sum += v[i];
      tsum += t[i];
      ++s.count;
    }
  if (s.count < 3) return std::nullopt;
  const auto n = static_cast<double>(s.count);
  s.mean = sum / n;
  s.centre = tsum / n;
  double sq = 0;
  for (std::size_t i = 0; i < t.size(); ++i)
    if (t[i] >= from && t[i] <= to) sq += (v[i] - s.mean) * (v[i] - s.mean);
  s.sd = std::sqrt(sq / n);
  // The span as its points cover it.
  s.from = std::max(from, t.front());
  s.to = std::min(to, t.back());
  return s;
}

// The most grid points from time 0 that a window may lie at: far beyond any record, and
// well inside what a 64-bit index and a double's whole numbers hold.
constexpr double kGridIndexLimit = 1e15;

// x rounded down (or up) to a whole number, taking a value within a hair of one as it.
// Indices beyond the limit are nothing.
std::optional<std::int64_t> snap_down(double x) {
  if (!(std::abs(x) < kGridIndexLimit)) return std::nullopt;
  const double r = std::round(x);
  return static_cast<std::int64_t>(std::abs(x - r) < 1e-6 ? r : std::floor(x));
}
std::optional<std::int64_t> snap_up(double x) {
  if (!(std::abs(x) < kGridIndexLimit)) return std::nullopt;
  const double r = std::round(x);
  return static_cast<std::int64_t>(std::abs(x - r) < 1e-6 ? r : std::ceil(x));
}

}  // namespace

Prepared condition(LoggerReader& reader, const Scan& scan, const ConditionOptions& opt) {
  const double hold = std::max(0.05, 3.0 * scan.step_median);

  // The stretch to read again: the firing, as the blocks show it, with room for the
  // quiet spans on either side.
  double r0, r1;
  {
    std::vector<double> bt, bmax;
    double base = 0;
    const std::size_t nb = scan.blocks.size();
    const std::size_t lead = std::max<std::size_t>(1, nb / 50);
    for (std::size_t i = 0; i < nb; ++i) {
      const Block& b = scan.blocks[i];
      bt.push_back((b.t_first + b.t_last) / 2);
      bmax.push_back(b.max);
      if (i < lead) base += b.sum / static_cast<double>(b.count) / static_cast<double>(lead);
    }
    double a, z;
    if (opt.window) {
      a = opt.window->first;
      z = opt.window->second;
      if (z < scan.t_first || a > scan.t_last)
        throw DataError(reader.name() + ": --window " + significant(a, 10) + "," + significant(z, 10) +
                        " lies outside the record, which runs from " + significant(scan.t_first, 10) + " to " +
                        significant(scan.t_last, 10) + " s");
    } else {
      const Burn coarse = find_burn(bt, bmax, opt.tare == Tare::none ? 0.0 : base, opt.threshold_pct, hold);
      a = coarse.ignition;
      z = coarse.burnout;
    }
    const Block& last = scan.blocks.back();
    const double block_span = last.t_last - scan.blocks.front().t_first;
    const double room = 2.0 * kSpan + 0.5 * (z - a) + 2.0 * block_span / static_cast<double>(nb);
    r0 = a - room;
    r1 = z + room;
  }
  return condition_points(reader.points_between(r0, r1), scan.step_median, opt, reader.name());
}

Prepared condition_points(std::span<const Point> pts, double step_median, const ConditionOptions& opt,
                          const std::string& name) {
  Prepared out;
  const double hold = std::max(0.05, 3.0 * step_median);
  if (pts.size() < 2) throw DataError(name + ": fewer than two points around the firing");
  std::vector<double> t(pts.size()), F(pts.size());
  for (std::size_t i = 0; i < pts.size(); ++i) {
    t[i] = pts[i].t;
    F[i] = pts[i].F;
  }

  // The baseline as the record starts, and a first look at the burn.
  double base = 0;
  if (opt.tare != Tare::none) {
    const double t_peak = t[static_cast<std::size_t>(std::max_element(F.begin(), F.end()) - F.begin())];
    const double until = t.front() + 0.25 * (t_peak - t.front());
    double sum = 0;
    std::size_t n = 0;
    for (std::size_t i = 0; i < t.size() && (n == 0 || t[i] <= until); ++i, ++n) sum += F[i];
    base = sum / static_cast<double>(n);
  }
  Burn burn = find_burn(t, F, base, opt.threshold_pct, hold);
  if (burn.peak <= 0)
    throw DataError(name + ": the thrust never rises above its starting level: no firing in the record (if the "
                                    "load cell reads negative under thrust, give --scale -1)");
  const double first_ignition = opt.window ? opt.window->first : burn.ignition;
  const double first_burnout = opt.window ? opt.window->second : burn.burnout;

  // The tare.
  const double gap_pre = std::max(0.05, 5.0 * step_median);
  const double gap_post = std::max(0.1, 0.25 * (first_burnout - first_ignition));
  auto pre_span = [&](const std::vector<double>& v) {
    return span_of(t, v, first_ignition - gap_pre - kSpan, first_ignition - gap_pre);
  };
  auto post_span = [&](const std::vector<double>& v) {
    return span_of(t, v, first_burnout + gap_post, first_burnout + gap_post + kSpan);
  };
  out.tare = opt.tare;
  if (opt.tare != Tare::none) {
    out.pre = pre_span(F);
    if (opt.tare == Tare::linear) out.post = post_span(F);
    if (!out.pre && !out.post) {
      out.warnings.push_back("no quiet span before ignition or after the burn to tare with: the thrust is used as read "
                             "(--tare none says so and silences this)");
      out.tare = Tare::none;
    } else if (opt.tare == Tare::linear && (!out.pre || !out.post)) {
      out.warnings.push_back(std::string("no quiet span ") + (out.pre ? "after the burn" : "before ignition") +
                             ": the linear tare falls back to the mean over the span " +
                             (out.pre ? "before ignition" : "after the burn"));
      out.tare = Tare::pre;
      if (!out.pre) {
        out.pre = out.post;
        out.post.reset();
      }
    } else if (opt.tare == Tare::pre && !out.pre) {
      out.warnings.push_back("no quiet span before ignition to tare with: the thrust is used as read (--tare none says so "
                             "and silences this)");
      out.tare = Tare::none;
    }
  }
  std::vector<double> Ft = F;
  if (out.tare == Tare::pre) {
    for (double& f : Ft) f -= out.pre->mean;
  } else if (out.tare == Tare::linear) {
    const Span& p = *out.pre;
    const Span& q = *out.post;
    const double slope = (q.mean - p.mean) / (q.centre - p.centre);
    for (std::size_t i = 0; i < t.size(); ++i) Ft[i] -= p.mean + (t[i] - p.centre) * slope;
  }

  // The burn on the tared curve.
  burn = find_burn(t, Ft, 0.0, opt.threshold_pct, hold);
  if (burn.peak <= 0) throw DataError(name + ": after the tare no thrust is left above zero");
  out.peak = burn.peak;
  out.t_peak = burn.t_peak;
  out.t_ignition = burn.ignition;
  out.t_burnout = burn.burnout;
  if (out.pre && out.pre->sd > 0.1 * out.peak)
    out.warnings.push_back("the span before ignition is not quiet (standard deviation " + significant(out.pre->sd, 4) +
                           " N, " + significant(100 * out.pre->sd / out.peak, 2) + " % of the peak): check the tare");
  if (out.tare != Tare::linear) {
    if (auto q = post_span(Ft)) {
      out.drift_after = q->mean;
      out.drift_known = true;
      if (std::abs(q->mean) > 0.02 * out.peak)
        out.warnings.push_back("after the burn the " + std::string(out.tare == Tare::none ? "" : "tared ") +
                               "thrust settles at " + significant(q->mean, 4) + " N (" + significant(100 * q->mean / out.peak, 2) +
                               " % of the peak), not at 0: the load cell's baseline drifted; --tare linear takes out a "
                               "straight-line drift");
    }
  }
  if (!opt.window) {
    if (burn.starts_burning)
      out.warnings.push_back("the record starts above the threshold: the firing may have begun before it");
    if (burn.ends_burning)
      out.warnings.push_back("the record ends above the threshold: the burn may be cut short");
  }

  // The grid: the rate asked for, else 1000 Hz or the logger's own rate when higher.
  const double logger_rate = 1.0 / step_median;
  double rate = opt.rate;
  if (rate <= 0) {
    rate = 1000.0;
    if (std::round(logger_rate) > rate) {
      rate = std::round(logger_rate);
      out.rate_from_logger = true;
    }
  }
  if (!(rate >= 1 && rate <= 1e7))
    throw DataError(name + ": the logger's median step of " + significant(step_median, 4) +
                    " s makes a grid above 10 MHz: give the grid's rate with --rate HZ");
  out.rate = static_cast<std::int32_t>(std::llround(rate));
  const double r = out.rate;

  // The window on the grid, and the points written on either side of it.
  const double wa = opt.window ? opt.window->first : out.t_ignition;
  const double wz = opt.window ? opt.window->second : out.t_burnout;
  const std::optional<std::int64_t> a = snap_down(wa * r), z = snap_up(wz * r);
  if (!a || !z)
    throw DataError(name + ": the window " + significant(wa, 10) + " to " + significant(wz, 10) + " s lies beyond " +
                    significant(kGridIndexLimit / r, 3) + " s, more than a grid at " + std::to_string(out.rate) +
                    " Hz can number: check " + (opt.window ? "--window and " : "") + "--time-unit");
  if (opt.window) {
    out.window_given = true;
    out.i0 = *a;
    out.i1 = *z;
  } else {
    const std::int64_t m = std::max<std::int64_t>(1, std::llround(opt.margin * r));
    out.i0 = *a - m;
    out.i1 = *z + m;
  }
  if (out.i1 <= out.i0)
    throw DataError(name + ": the window " + significant(wa, 10) + " to " + significant(wz, 10) + " s holds one point of "
                    "the grid at " + std::to_string(out.rate) + " Hz: give a wider --window or a higher --rate");
  if (out.i1 - out.i0 >= 100000000)
    throw DataError(name + ": the window would hold " + std::to_string(out.i1 - out.i0 + 1) +
                    " points: too many (check --window, --rate and --time-unit)");
  out.ti = out.time(out.i0);
  out.tf = out.time(out.i1);
  const std::int64_t pad = std::max<std::int64_t>(1, std::llround(0.05 * r));
  out.ia = out.i0 - pad;
  out.ib = out.i1 + pad;
  if ((out.ti < t.front() || out.tf > t.back())) {
    const double edge = out.ti < t.front() ? Ft.front() : Ft.back();
    if (std::abs(edge) > 0.05 * out.peak)
      out.warnings.push_back("the window reaches beyond the record, whose " +
                             std::string(out.ti < t.front() ? "first" : "last") + " thrust (" + significant(edge, 4) +
                             " N) is carried on to it");
  }

  // Resampling by linear interpolation.
  out.F.resize(static_cast<std::size_t>(out.ib - out.ia + 1));
  std::size_t j = 0;
  for (std::int64_t i = out.ia; i <= out.ib; ++i)
    out.F[static_cast<std::size_t>(i - out.ia)] = thrust_at(t, Ft, out.time(i), j);

  // Impulses over the window: the prepared curve's, the program's (its thrusts cut off
  // at Fcor), and the logger's own points'.
  const UniformTimes grid{sampling_interval(out.rate)};
  const auto window = std::span<const double>(out.F).subspan(static_cast<std::size_t>(out.i0 - out.ia),
                                                             static_cast<std::size_t>(out.window_points()));
  out.impulse_grid = total_impulse(window, grid);
  out.impulse_program = total_impulse(CutOff{window, opt.cutoff}, grid);
  out.impulse_logger = impulse_between(t, Ft, out.ti, out.tf);
  if (std::abs(out.impulse_grid - out.impulse_logger) > 0.001 * std::abs(out.impulse_logger))
    out.warnings.push_back("the prepared curve's impulse differs from the trapezoid over the logger's points by " +
                           significant(100 * (out.impulse_grid - out.impulse_logger) / out.impulse_logger, 3) +
                           " %: the grid is too coarse for the record; give a higher --rate");
  return out;
}

}  // namespace kv::prepare
