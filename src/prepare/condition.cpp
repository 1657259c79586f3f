#include "prepare/condition.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <optional>
#include <span>

#include "analysis/impulse.h"
#include "analysis/nfpa.h"
#include "analysis/window.h"
#include "companion/errors.h"
#include "companion/number_text.h"

namespace kv::prepare {

using companion::DataError;
using companion::significant;

namespace {

constexpr double kSpan = 1.0;  // s: the longest quiet span a tare averages
// The most grid points from time 0 that a window may lie at: far beyond any record, and
// well inside what a 64-bit index and a double's whole numbers hold.
constexpr double kGridIndexLimit = 1e15;
// A second event whose impulse is at least this share of the largest one's may be the
// firing as well.
constexpr double kComparable = 0.25;
// What moves a figure by more than this stops the preparation.
constexpr double kConfidence = 0.01;

double median_of(std::vector<double> v) {
  if (v.empty()) return 0;
  const auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
  std::nth_element(v.begin(), mid, v.end());
  return *mid;
}

// x rounded down (or up, or to the nearest) to a whole number, taking a value within a
// hair of one as it. Indices beyond the limit are nothing.
std::optional<std::int64_t> snap(double x, int way) {
  if (!(std::abs(x) < kGridIndexLimit)) return std::nullopt;
  const double r = std::round(x);
  if (way == 0 || std::abs(x - r) < 1e-6) return static_cast<std::int64_t>(r);
  return static_cast<std::int64_t>(way < 0 ? std::floor(x) : std::ceil(x));
}

// Mean and spread of v[a, b) from prefix sums. The spread is that around the straight
// line that fits the values best, so that a baseline that drifts slowly is still quiet.
struct Sums {
  std::vector<double> s, q, ts, tt, tv;
  double offset = 0, t0 = 0;
  Sums(const std::vector<double>& t, const std::vector<double>& v)
      : s(v.size() + 1), q(v.size() + 1), ts(v.size() + 1), tt(v.size() + 1), tv(v.size() + 1) {
    // Around the first value and time, so that the squares lose no digits to an offset.
    offset = v.empty() ? 0 : v.front();
    t0 = t.empty() ? 0 : t.front();
    for (std::size_t i = 0; i < v.size(); ++i) {
      const double x = t[i] - t0, y = v[i] - offset;
      s[i + 1] = s[i] + y;
      q[i + 1] = q[i] + y * y;
      ts[i + 1] = ts[i] + x;
      tt[i + 1] = tt[i] + x * x;
      tv[i + 1] = tv[i] + x * y;
    }
  }
  double mean(std::size_t a, std::size_t b) const { return (s[b] - s[a]) / static_cast<double>(b - a) + offset; }
  double sd(std::size_t a, std::size_t b) const {
    const double n = static_cast<double>(b - a);
    const double my = (s[b] - s[a]) / n, mx = (ts[b] - ts[a]) / n;
    const double vy = (q[b] - q[a]) / n - my * my, vx = (tt[b] - tt[a]) / n - mx * mx, c = (tv[b] - tv[a]) / n - mx * my;
    const double residual = vx > 0 ? vy - c * c / vx : vy;
    return std::sqrt(std::max(0.0, residual));
  }
  double centre(std::size_t a, std::size_t b) const { return (ts[b] - ts[a]) / static_cast<double>(b - a) + t0; }
};

std::size_t first_at_or_after(const std::vector<double>& t, double x) {
  return static_cast<std::size_t>(std::lower_bound(t.begin(), t.end(), x) - t.begin());
}

Span span_over(const std::vector<double>& t, const Sums& sums, std::size_t a, std::size_t b) {
  Span s;
  s.from = t[a];
  s.to = t[b - 1];
  s.count = static_cast<std::int64_t>(b - a);
  s.mean = sums.mean(a, b);
  s.sd = sums.sd(a, b);
  s.centre = sums.centre(a, b);
  return s;
}

// The quietest stretch of the record: the standard deviation of the thrust over windows
// of `width` s, its tenth lowest percentile.
double noise_floor(const std::vector<double>& t, const Sums& sums, double width) {
  std::vector<double> sds;
  const std::size_t n = t.size();
  for (std::size_t a = 0; a < n;) {
    const std::size_t b = first_at_or_after(t, t[a] + width);
    if (b >= n) break;
    if (b - a >= 5) sds.push_back(sums.sd(a, b));
    a = std::max(a + 1, (a + b) / 2);
  }
  if (sds.empty()) return sums.sd(0, n);
  std::sort(sds.begin(), sds.end());
  return sds[sds.size() / 10];
}

// A quiet span of up to kSpan s on one side of [from, to]: dir -1 ends at or before
// `edge`, +1 starts at or after it. The nearest one as quiet as `quiet`, else the
// quietest there is; nothing when fewer than five points are there.
std::optional<Span> quiet_span(const std::vector<double>& t, const Sums& sums, double edge, int dir, double length,
                               double quiet) {
  const std::size_t n = t.size();
  std::optional<Span> best, quietest;
  const double step = length / 8;
  for (int k = 0; k < 400; ++k) {
    double a = dir < 0 ? edge - length - k * step : edge + k * step;
    double b = a + length;
    if (dir < 0 && a < t.front()) {
      a = t.front();
      b = std::max(a, edge - k * step);
    }
    if (dir > 0 && b > t.back()) b = t.back();
    const std::size_t i = first_at_or_after(t, a), j = std::min(n, first_at_or_after(t, b) + 1);
    if (j <= i || j - i < 5) break;
    const Span s = span_over(t, sums, i, j);
    if (!quietest || s.sd < quietest->sd) quietest = s;
    if (s.sd <= quiet) {
      best = s;
      break;
    }
    if ((dir < 0 && a <= t.front()) || (dir > 0 && b >= t.back())) break;
  }
  return best ? best : quietest;
}

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

std::string event_list(const std::vector<Event>& events) {
  std::string s;
  for (std::size_t k = 0; k < events.size(); ++k) {
    const Event& e = events[k];
    s += "\n  event " + std::to_string(k + 1) + ": " + significant(e.start, 6) + " to " + significant(e.end, 6) +
         " s, peak " + significant(e.peak, 4) + " N at " + significant(e.t_peak, 6) + " s, impulse " +
         significant(e.impulse, 4) + " N s";
  }
  return s;
}

}  // namespace

double grid_rate(double burn_time, double step) {
  double need = 1000.0;
  if (step > 0 && std::round(1.0 / step) > need) need = std::round(1.0 / step);
  if (burn_time > 0) need = std::max(need, 1000.0 / burn_time);
  need = std::min(need, 1e7);
  for (double p = 1000.0; p <= 1e7; p *= 10)
    for (const double m : {1.0, 2.0, 5.0})
      if (m * p >= need * (1 - 1e-12)) return m * p;
  return 1e7;
}

std::vector<Event> find_events(const Scan& scan, double sign) {
  const std::vector<Block>& b = scan.blocks;
  std::vector<Event> out;
  if (b.empty()) return out;
  std::vector<double> m(b.size()), c(b.size()), d(b.size()), top(b.size());
  for (std::size_t i = 0; i < b.size(); ++i) {
    m[i] = sign * b[i].sum / static_cast<double>(b[i].count);
    c[i] = (b[i].t_first + b[i].t_last) / 2;
    d[i] = b[i].t_last - b[i].t_first + scan.step_median * static_cast<double>(b[i].count) /
                                           static_cast<double>(std::max<std::int64_t>(b[i].count, 1));
    top[i] = sign > 0 ? b[i].max : -b[i].min;
  }
  // The baseline: where the record rests, which is its lower part whether the firing
  // takes a little of it or most; the spread of that part is its noise.
  std::vector<double> sorted = m;
  std::sort(sorted.begin(), sorted.end());
  const auto at = [&](double q) { return sorted[static_cast<std::size_t>(q * static_cast<double>(sorted.size() - 1))]; };
  const double base = at(0.1);
  const double noise = std::max(at(0.2) - at(0.0), 0.0);
  const double highest = sorted.back() - base;
  if (!(highest > 0)) return out;
  const double level = std::max(5 * noise, 0.05 * highest);
  // Stretches above the level, joined where they are apart by less than half a second
  // (a burn's own dips and chuffs).
  for (std::size_t i = 0; i < m.size();) {
    if (m[i] - base <= level) {
      ++i;
      continue;
    }
    std::size_t j = i;
    while (j + 1 < m.size() && m[j + 1] - base > level) ++j;
    Event e;
    e.base = sign * base;
    e.start = b[i].t_first;
    e.end = b[j].t_last;
    for (std::size_t k = i; k <= j; ++k) {
      e.impulse += (m[k] - base) * d[k];
      if (top[k] - sign * base > e.peak) {
        e.peak = top[k] - sign * base;
        e.t_peak = c[k];
      }
    }
    if (!out.empty() && e.start - out.back().end < 0.5) {
      Event& p = out.back();
      // The gap between belongs to the event too.
      for (std::size_t k = 0; k < m.size(); ++k)
        if (c[k] > p.end && c[k] < e.start) p.impulse += (m[k] - base) * d[k];
      p.end = e.end;
      p.impulse += e.impulse;
      if (e.peak > p.peak) {
        p.peak = e.peak;
        p.t_peak = e.t_peak;
      }
    } else {
      out.push_back(e);
    }
    i = j + 1;
  }
  return out;
}

Prepared condition(LoggerReader& reader, const Scan& scan, const ConditionOptions& opt) {
  const std::string& name = reader.name();
  std::optional<Event> chosen;
  std::vector<Event> events;
  int chosen_index = -1;
  double a, z;
  if (opt.window) {
    a = opt.window->first;
    z = opt.window->second;
    if (z < scan.t_first || a > scan.t_last)
      throw DataError(name + ": --window " + significant(a, 10) + "," + significant(z, 10) +
                      " lies outside the record, which runs from " + significant(scan.t_first, 10) + " to " +
                      significant(scan.t_last, 10) + " s");
  } else {
    events = find_events(scan, 1.0);
    const std::vector<Event> negative = opt.tare == Tare::none ? std::vector<Event>{} : find_events(scan, -1.0);
    const auto largest = [](const std::vector<Event>& v) {
      return std::max_element(v.begin(), v.end(), [](const Event& x, const Event& y) { return x.impulse < y.impulse; });
    };
    const double up = events.empty() ? 0 : largest(events)->impulse;
    if (!negative.empty() && largest(negative)->impulse > 2 * up) {
      const Event& fall = *largest(negative);
      throw DataError(name + ": the largest event is a fall of the thrust (" + significant(fall.impulse, 4) +
                      " N s below the baseline, from " + significant(fall.start, 6) + " to " + significant(fall.end, 6) +
                      " s): the load cell reads negative under thrust; give --scale -1");
    }
    if (events.empty())
      throw DataError(name + ": the thrust never rises above its baseline: no firing in the record");
    if (opt.event > 0) {
      if (opt.event > static_cast<int>(events.size()))
        throw DataError(name + ": --event " + std::to_string(opt.event) + ": the record holds " +
                        std::to_string(events.size()) + " event" + (events.size() == 1 ? "" : "s") + event_list(events));
      chosen_index = opt.event - 1;
    } else {
      // The firing: the event of by far the largest impulse.
      std::vector<std::size_t> order(events.size());
      std::iota(order.begin(), order.end(), std::size_t{0});
      std::stable_sort(order.begin(), order.end(),
                       [&](std::size_t x, std::size_t y) { return events[x].impulse > events[y].impulse; });
      if (events.size() > 1 && events[order[1]].impulse >= kComparable * events[order[0]].impulse)
        throw DataError(name + ": the record holds " + std::to_string(events.size()) +
                        " events, two of them of comparable impulse: give --event N for the firing (or --window TI,TF)" +
                        event_list(events));
      chosen_index = static_cast<int>(order[0]);
    }
    chosen = events[static_cast<std::size_t>(chosen_index)];
    a = chosen->start;
    z = chosen->end;
  }
  // The stretch to read again: the firing with room for the quiet spans on either side,
  // and for the tare spans given.
  const double room = 2.0 * kSpan + 0.5 * (z - a) + 0.2;
  double r0 = a - room, r1 = z + room;
  for (const double x : opt.tare_spans) {
    r0 = std::min(r0, x - 0.1);
    r1 = std::max(r1, x + 0.1);
  }
  Prepared p = condition_points(reader.points_between(r0, r1), scan.step_median, opt, name, chosen);
  p.events = events;
  p.event = chosen_index;
  if (events.size() > 1) {
    std::string others;
    for (std::size_t k = 0; k < events.size(); ++k)
      if (static_cast<int>(k) != chosen_index)
        others += (others.empty() ? "" : ", ") + significant(events[k].start, 5) + " s (" +
                  significant(100 * events[k].impulse / events[static_cast<std::size_t>(chosen_index)].impulse, 2) + " %)";
    p.warnings.push_back("the record holds " + std::to_string(events.size()) + " events; the firing is event " +
                         std::to_string(chosen_index + 1) + ", the others (at " + others +
                         " of its impulse) are left out");
  }
  return p;
}

Prepared condition_points(std::span<const Point> points, double step_median, const ConditionOptions& opt,
                          const std::string& name, std::optional<Event> event) {
  Curve curve;
  curve.t.reserve(points.size() + 1);
  curve.F.reserve(points.size() + 1);
  for (const Point& q : points) {
    curve.t.push_back(q.t);
    curve.F.push_back(q.F);
  }
  return condition_points(std::move(curve), step_median, opt, name, event);
}

Prepared condition_points(Curve curve, double step_median, const ConditionOptions& opt, const std::string& name,
                          std::optional<Event> event) {
  Prepared out;
  if (curve.t.size() < 2) throw DataError(name + ": fewer than two points around the firing");
  std::vector<double> t = std::move(curve.t), F = std::move(curve.F);
  // A published curve starts from nothing at time 0, whether it says so or not.
  if (opt.published_curve && t.front() > 0 && F.front() != 0) {
    t.insert(t.begin(), 0.0);
    F.insert(F.begin(), 0.0);
  }
  const double step = step_median > 0 ? step_median : (t.back() - t.front()) / static_cast<double>(t.size() - 1);
  const double ev_a = event ? event->start : opt.window ? opt.window->first : t.front();
  const double ev_z = event ? event->end : opt.window ? opt.window->second : t.back();
  const std::size_t ia = first_at_or_after(t, ev_a);
  const std::size_t iz = std::max(ia + 1, std::min(t.size(), first_at_or_after(t, ev_z) + 1));

  // The tared thrusts, further down; their room first holds the smoothed ones.
  std::vector<double> Ft(F.size());
  // Single readings far off both neighbours: misreads, taken out where they stand far
  // above the firing's own level.
  {
    std::vector<double>& smooth = Ft;
    for (std::size_t i = 0; i < F.size(); ++i) {
      const double x = F[i > 0 ? i - 1 : i], y = F[i], w = F[i + 1 < F.size() ? i + 1 : i];
      smooth[i] = std::max(std::min(x, y), std::min(std::max(x, y), w));
    }
    const double base = median_of(std::vector<double>(smooth.begin(), smooth.begin() + static_cast<std::ptrdiff_t>(ia)));
    double level = 0;
    for (std::size_t i = ia; i < iz && i < F.size(); ++i) level = std::max(level, std::abs(smooth[i] - base));
    for (std::size_t i = 1; i + 1 < F.size(); ++i) {
      const double off = std::abs(F[i] - smooth[i]);
      if (off > std::max(0.5 * level, 1e-300) && std::abs(F[i - 1] - F[i + 1]) < 0.25 * off) {
        out.glitches.push_back({t[i], F[i], (F[i - 1] + F[i + 1]) / 2});
        F[i] = (F[i - 1] + F[i + 1]) / 2;
      }
    }
  }

  // The record's noise and the smallest step of its readings.
  const Sums raw(t, F);
  out.noise = noise_floor(t, raw, std::max(0.05, 10 * step));
  {
    double smallest = 0;
    for (std::size_t i = 1; i < F.size(); ++i) {
      const double d = std::abs(F[i] - F[i - 1]);
      if (d > 0 && (smallest == 0 || d < smallest)) smallest = d;
    }
    out.resolution = smallest;
  }

  // A first look at the burn, over the baseline before it (the first quarter of the
  // time before the peak, where no event bounds the firing).
  std::size_t kp = ia;
  for (std::size_t i = ia; i < iz; ++i)
    if (F[i] > F[kp]) kp = i;
  std::size_t quiet_end = ia;
  if (quiet_end == 0) quiet_end = std::max<std::size_t>(1, first_at_or_after(t, t.front() + 0.25 * (t[kp] - t.front())));
  const double base0 = ia == 0 && event ? event->base
                                        : median_of(std::vector<double>(F.begin(), F.begin() + static_cast<std::ptrdiff_t>(quiet_end)));
  const double peak0 = F[kp] - base0;
  if (!(peak0 > 0))
    throw DataError(name + ": the thrust never rises above its starting level: no firing in the record");
  const double hold = std::max({0.05, 3.0 * step, 0.1 * (ev_z - ev_a)});
  // Where the thrust leaves its baseline and comes back to it.
  // The baseline after it may lie elsewhere (a drift, a hanging motor's lost mass): the
  // last quarter of the time after the peak tells.
  const std::size_t end_from = std::min(F.size() - 1, first_at_or_after(t, t[kp] + 0.75 * (t.back() - t[kp])));
  double base1 = median_of(std::vector<double>(F.begin() + static_cast<std::ptrdiff_t>(end_from), F.end()));
  if (std::abs(base1 - base0) > 0.25 * peak0) base1 = base0;  // still the burn: the record ends in it
  const double stir = std::max(5 * out.noise, 0.02 * peak0);
  long rise = walk(t, F, static_cast<long>(kp), -1, base0 + stir, hold);
  long fall = walk(t, F, static_cast<long>(kp), +1, std::max(base1, base0) + stir, hold);
  const double t_rise = rise < 0 ? t.front() : t[static_cast<std::size_t>(rise)];
  const double t_fall = fall < 0 ? t.back() : t[static_cast<std::size_t>(fall)];

  // The tare.
  const double gap = std::max(0.02, 3.0 * step);
  const double quiet = 2.0 * out.noise + 1e-300;
  out.tare = opt.tare;
  if (opt.published_curve && !opt.tare_given && opt.tare_spans.empty()) out.tare = Tare::none;
  const auto given_span = [&](double from, double to) {
    const std::size_t i = first_at_or_after(t, from);
    const auto j = static_cast<std::size_t>(std::upper_bound(t.begin(), t.end(), to) - t.begin());
    if (j <= i || j - i < 2)
      throw DataError(name + ": --tare-span " + significant(from, 6) + "," + significant(to, 6) +
                      " holds fewer than two points of the record");
    Span s = span_over(t, raw, i, j);
    s.given = true;
    return s;
  };
  if (opt.tare_spans.size() >= 2) {
    out.pre = given_span(opt.tare_spans[0], opt.tare_spans[1]);
    if (opt.tare_spans.size() >= 4) out.post = given_span(opt.tare_spans[2], opt.tare_spans[3]);
  }
  if (out.tare != Tare::none) {
    if (!out.pre) out.pre = quiet_span(t, raw, t_rise - gap, -1, kSpan, quiet);
    if (!out.post) out.post = quiet_span(t, raw, t_fall + gap, +1, kSpan, quiet);
    if (out.pre && out.pre->to >= t_rise && !out.pre->given) out.pre.reset();
    if (out.post && out.post->from <= t_fall && !out.post->given) out.post.reset();
    if (opt.tare == Tare::linear && (!out.pre || !out.post))
      throw DataError(name + ": no quiet span " + (out.pre ? "after the burn" : "before ignition") +
                      " for the linear tare: give --tare-span A,B,C,D (a span before the burn and one after it, in s)");
    if (!out.pre) {
      if (out.post) {
        out.pre = out.post;
        out.post.reset();
        out.warnings.push_back("no span before ignition: the tare is the mean after the burn");
      } else {
        throw DataError(name + ": no span before ignition or after the burn to tare on: give --tare-span A,B, or "
                               "--tare none if the thrust is tared already");
      }
    }
  }
  Ft.assign(F.begin(), F.end());
  double line_slope = 0;
  if (out.tare == Tare::pre) {
    for (double& f : Ft) f -= out.pre->mean;
  } else if (out.tare == Tare::linear) {
    const Span& a = *out.pre;
    const Span& b = *out.post;
    line_slope = (b.mean - a.mean) / (b.centre - a.centre);
    for (std::size_t i = 0; i < t.size(); ++i) Ft[i] -= a.mean + (t[i] - a.centre) * line_slope;
  }

  // The burn on the tared curve: its peak within the event, and where the thrust
  // crosses the threshold, held below it for a while (a dip is not the end).
  kp = ia;
  for (std::size_t i = ia; i < iz; ++i)
    if (Ft[i] > Ft[kp]) kp = i;
  out.peak = Ft[kp];
  out.t_peak = t[kp];
  if (!(out.peak > 0)) throw DataError(name + ": after the tare no thrust is left above zero");
  const double level = opt.threshold_pct / 100.0 * out.peak;
  const long a = walk(t, Ft, static_cast<long>(kp), -1, level, hold);
  const long z = walk(t, Ft, static_cast<long>(kp), +1, level, hold);
  out.t_ignition = a < 0 ? t.front() : crossing(t, Ft, a, a + 1, level);
  out.t_burnout = z < 0 ? t.back() : crossing(t, Ft, z, z - 1, level);
  const double tq_burn = out.t_burnout - out.t_ignition;

  // A record cut during the burn, and a peak cut flat by the load cell or its amplifier.
  if (!opt.window) {
    const bool starts = a < 0, ends = z < 0;
    if (starts || ends) {
      const std::string says = std::string("the record ") + (starts ? "starts" : "ends") + " during the burn (its " +
                               (starts ? "first" : "last") + " thrust is " +
                               significant(100 * (starts ? Ft.front() : Ft.back()) / out.peak, 2) +
                               " % of the peak): the impulse would be low";
      if (!opt.accept.cut)
        throw DataError(name + ": " + says + "; give --window TI,TF to prepare the part there is (or --accept cut)");
      out.warnings.push_back(says);
    }
  }

  // What the tare leaves uncertain, in shares of the impulse.
  double impulse_est = 0;
  for (std::size_t i = 1; i < t.size(); ++i)
    if (t[i] > out.t_ignition && t[i - 1] < out.t_burnout) impulse_est += (Ft[i] + Ft[i - 1]) / 2 * (t[i] - t[i - 1]);
  if (out.tare != Tare::none && out.pre && !out.pre->given && out.pre->sd > quiet &&
      out.pre->sd * tq_burn > kConfidence * impulse_est)
    throw DataError(name + ": the span before ignition is not quiet (" + significant(out.pre->from, 6) + " to " +
                    significant(out.pre->to, 6) + " s: standard deviation " + significant(out.pre->sd, 3) + " N, against " +
                    significant(out.noise, 3) + " N where the record is quietest); the tare could move the impulse by " +
                    significant(100 * out.pre->sd * tq_burn / impulse_est, 2) +
                    " %: give --tare-span A,B, a quiet span before ignition in s");
  if (out.tare == Tare::pre && out.post) {
    // The post-burn baseline over the tared curve, and what a straight line from the span
    // before to it would take from the impulse.
    out.drift_after = out.post->mean - out.pre->mean;
    out.drift_known = true;
    const double slope = out.drift_after / (out.post->centre - out.pre->centre);
    const double lo = out.t_ignition - out.pre->centre, hi = out.t_burnout - out.pre->centre;
    out.drift_share = slope * (hi * hi - lo * lo) / 2 / impulse_est;
    if (std::abs(out.drift_share) > kConfidence && !opt.tare_given)
      throw DataError(name + ": the baseline after the burn (" + significant(out.post->from, 6) + " to " +
                      significant(out.post->to, 6) + " s) lies " + significant(out.drift_after, 3) +
                      " N from the one before ignition: a straight-line drift would change the impulse by " +
                      significant(100 * out.drift_share, 2) + " %; give --tare linear to take it out (or --tare pre to "
                      "keep the tare before ignition; --tare-span A,B,C,D places the spans)");
    if (std::abs(out.drift_share) > 0.001)
      out.warnings.push_back("the baseline drifts by " + significant(out.drift_after, 3) + " N over the burn (" +
                             significant(100 * out.drift_share, 2) + " % of the impulse); --tare linear takes it out");
  }
  if (out.tare == Tare::linear) {
    const double lo = out.t_ignition - out.pre->centre, hi = out.t_burnout - out.pre->centre;
    out.drift_share = line_slope * (hi * hi - lo * lo) / 2 / impulse_est;
  }

  {
    std::size_t run = 0, longest = 0;
    for (std::size_t i = ia; i < iz; ++i) {
      run = F[i] == F[kp] ? run + 1 : 0;
      longest = std::max(longest, run);
    }
    // A few equal readings at the top are a coarse logger's; a clipped peak holds many.
    const auto burn_samples = static_cast<double>(iz - ia);
    if (static_cast<double>(longest) >= std::max(5.0, 0.02 * burn_samples) && !opt.accept.clipped && out.glitches.empty())
      throw DataError(name + ": the peak is flat at " + significant(F[kp], 6) + " N over " + std::to_string(longest) +
                      " readings: the load cell or its amplifier clipped it, and the impulse is low by what was cut "
                      "off; give --accept clipped if the flat top is the motor's");
  }

  // The grid: the rate asked for, else fine enough for the burn.
  const double rate = opt.rate > 0 ? opt.rate : grid_rate(tq_burn, step);
  if (!(rate >= 1 && rate <= 1e7))
    throw DataError(name + ": the logger's median step of " + significant(step_median, 4) +
                    " s makes a grid above 10 MHz: give the grid's rate with --rate HZ");
  out.rate = static_cast<std::int32_t>(std::llround(rate));
  const double r = out.rate;

  // The window on the grid: the crossings on their nearest grid points, or the window
  // given; the points written hold the baseline on either side.
  const double wa = opt.window ? opt.window->first : out.t_ignition;
  const double wz = opt.window ? opt.window->second : out.t_burnout;
  const std::optional<std::int64_t> sa = snap(wa * r, opt.window ? -1 : 0), sz = snap(wz * r, opt.window ? 1 : 0);
  if (!sa || !sz)
    throw DataError(name + ": the window " + significant(wa, 10) + " to " + significant(wz, 10) + " s lies beyond " +
                    significant(kGridIndexLimit / r, 3) + " s, more than a grid at " + std::to_string(out.rate) +
                    " Hz can number: check " + (opt.window ? "--window and " : "") + "--time-unit");
  out.window_given = opt.window.has_value();
  const std::int64_t m = opt.window ? 0 : std::llround(opt.margin * r);
  out.i0 = *sa - m;
  out.i1 = *sz + m;
  if (out.i1 <= out.i0)
    throw DataError(name + ": the window " + significant(wa, 10) + " to " + significant(wz, 10) + " s holds one point of "
                    "the grid at " + std::to_string(out.rate) + " Hz: give a wider --window or a higher --rate");
  if (out.i1 - out.i0 >= 100000000)
    throw DataError(name + ": the window would hold " + std::to_string(out.i1 - out.i0 + 1) +
                    " points: too many (check --window, --rate and --time-unit)");
  out.ti = out.time(out.i0);
  out.tf = out.time(out.i1);
  {
    double from = std::min(t_rise, out.ti) - std::max(0.1, 0.25 * tq_burn);
    double to = std::max(t_fall, out.tf) + std::max(0.1, 0.25 * tq_burn);
    if (out.pre) from = std::min(from, out.pre->from);
    if (out.post) to = std::max(to, out.post->to);
    if (!opt.published_curve) {
      from = std::max(from, t.front());
      to = std::min(to, t.back());
    }
    const std::int64_t pad = std::max<std::int64_t>(1, std::llround(0.01 * r));
    out.ia = std::min(out.i0 - pad, snap(from * r, 1).value_or(out.i0 - pad));
    out.ib = std::max(out.i1 + pad, snap(to * r, -1).value_or(out.i1 + pad));
    if (out.ib - out.ia >= 200000000)
      throw DataError(name + ": the load-cell file would hold " + std::to_string(out.ib - out.ia + 1) +
                      " points: too many (check --rate and --time-unit)");
  }
  if ((out.ti < t.front() || out.tf > t.back())) {
    const double edge = out.ti < t.front() ? Ft.front() : Ft.back();
    if (std::abs(edge) > 0.05 * out.peak)
      out.warnings.push_back("the window reaches beyond the record, whose " +
                             std::string(out.ti < t.front() ? "first" : "last") + " thrust (" + significant(edge, 4) +
                             " N) is carried on to it");
  }

  // Resampling by linear interpolation; a published curve is zero beyond its ends.
  out.F.resize(static_cast<std::size_t>(out.ib - out.ia + 1));
  std::size_t j = 0;
  for (std::int64_t i = out.ia; i <= out.ib; ++i) {
    const double x = out.time(i);
    double f = thrust_at(t, Ft, x, j);
    if (opt.published_curve && (x < t.front() || x > t.back())) f = 0;
    out.F[static_cast<std::size_t>(i - out.ia)] = f;
  }

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
  // Certification counts the total impulse on to the last thrust above 1 % of the peak:
  // a baseline that has drifted above that by the end of the burn carries its count on
  // over the points written, which the drift's share over the burn alone does not show.
  if (out.tare == Tare::pre && out.drift_known && !opt.tare_given) {
    const double slope = out.drift_after / (out.post->centre - out.pre->centre);
    std::vector<double> lined(out.F);
    for (std::size_t k = 0; k < lined.size(); ++k)
      lined[k] -= slope * (out.time(out.ia + static_cast<std::int64_t>(k)) - out.pre->centre);
    const double kept = nfpa_total_impulse(std::span<const double>(out.F), grid);
    const double taken = nfpa_total_impulse(std::span<const double>(lined), grid);
    const double share = (kept - taken) / taken;
    if (std::abs(share) > kConfidence)
      throw DataError(name + ": the baseline after the burn (" + significant(out.post->from, 6) + " to " +
                      significant(out.post->to, 6) + " s) lies " + significant(out.drift_after, 3) +
                      " N from the one before ignition: NFPA 1125's total impulse, counted to the last thrust above 1 % "
                      "of the peak, would change by " + significant(100 * share, 2) +
                      " % if the drift were taken out; give --tare linear to take it out (or --tare pre to keep the "
                      "tare before ignition; --tare-span A,B,C,D places the spans)");
  }
  for (const Glitch& g : out.glitches)
    out.warnings.push_back("the reading " + significant(g.F, 6) + " N at " + significant(g.t, 8) +
                           " s stands far off both its neighbours (a misread): taken as " + significant(g.replaced_by, 6) +
                           " N, between them");
  return out;
}

}  // namespace kv::prepare
