#include "export/motor_points.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>

#include "analysis/impulse.h"
#include "analysis/nfpa.h"
#include "companion/errors.h"
#include "companion/number_text.h"

namespace kv::exporter {

using companion::DataError;
using companion::percent;
using companion::shortest_fixed;
using companion::significant;

namespace {

// The curve as it can be written, position by position: 0 is the origin, the last
// position the final zero, and between them the samples on the grid, each at its written
// time. Times and thrusts come from the processed curve on demand, so that a long curve
// needs no copy.
class Grid {
 public:
  // `origin`: the sample that is the origin (-1: none, the curve starts above the
  // no-thrust level); `final_sample`: the sample written as the final zero (n: none, a
  // zero is added kMinStep after the last sample on the grid); `first`: the first
  // sample on the grid.
  Grid(std::span<const double> F, double dt, std::size_t stride, std::ptrdiff_t first, std::ptrdiff_t origin,
       std::ptrdiff_t final_sample)
      : F_(F), dt_(dt), stride_(static_cast<std::ptrdiff_t>(stride)), origin_(origin), final_(final_sample) {
    const std::ptrdiff_t n = static_cast<std::ptrdiff_t>(F.size());
    start_ = origin_ >= 0 ? origin_ : first - stride_;  // the sample position 0 stands for
    std::ptrdiff_t last = final_ < n ? final_ : n - 1;
    if (final_ >= n) last -= (last - start_) % stride_;  // the last sample on the grid
    size_ = static_cast<std::size_t>((last - start_) / stride_) + (final_ < n ? 1 : 2);
  }

  std::size_t size() const { return size_; }

  // The sample at position j (0 < j < size - 1, and the final zero when it is a sample).
  std::ptrdiff_t sample(std::size_t j) const { return start_ + static_cast<std::ptrdiff_t>(j) * stride_; }

  double t(std::size_t j) const {
    if (j + 1 == size_ && final_ == static_cast<std::ptrdiff_t>(F_.size())) return t(j - 1) + kMinStep;
    const double steps = static_cast<double>(static_cast<std::ptrdiff_t>(j) * stride_) * dt_;
    return origin_ >= 0 ? steps : steps - static_cast<double>(stride_) * dt_ + kMinStep;
  }

  double F(std::size_t j) const {
    if (j == 0 || j + 1 == size_) return 0.0;
    const double v = F_[static_cast<std::size_t>(sample(j))];
    return v > 0.0 ? v : 0.0;
  }

  // Where the written time 0 lies on the curve's axis.
  double origin_time() const {
    return origin_ >= 0 ? static_cast<double>(origin_) * dt_ : static_cast<double>(start_ + stride_) * dt_ - kMinStep;
  }

 private:
  std::span<const double> F_;
  double dt_;
  std::ptrdiff_t stride_, origin_, final_, start_ = 0;
  std::size_t size_ = 0;
};

// A binary min-heap of candidate indices keyed by what their removal costs, ties broken
// by index, so that every platform removes the same points in the same order. The key
// sits beside the index in the heap, where the comparisons read it.
class RemovalHeap {
 public:
  // Every candidate of `keys` (NaN: none) in the heap at once.
  explicit RemovalHeap(const std::vector<double>& keys) : pos_(keys.size(), kAbsent) {
    for (std::size_t j = 0; j < keys.size(); ++j)
      if (!std::isnan(keys[j])) {
        pos_[j] = static_cast<std::uint32_t>(heap_.size());
        heap_.push_back({keys[j], static_cast<std::uint32_t>(j)});
      }
    for (std::size_t at = heap_.size() / 2; at-- > 0;) down(at);
  }

  bool empty() const { return heap_.empty(); }
  std::uint32_t top() const { return heap_.front().j; }

  void pop() {
    const Entry last = heap_.back();
    heap_.pop_back();
    pos_[heap_.empty() ? last.j : heap_.front().j] = kAbsent;
    if (!heap_.empty()) {
      heap_.front() = last;
      pos_[last.j] = 0;
      down(0);
    }
  }

  void update(std::uint32_t j, double key) {
    const std::uint32_t at = pos_[j];
    if (at == kAbsent) return;
    heap_[at].key = key;
    down(up(at));
  }

 private:
  struct Entry {
    double key;
    std::uint32_t j;
  };
  static constexpr std::uint32_t kAbsent = std::numeric_limits<std::uint32_t>::max();

  static bool less(const Entry& a, const Entry& b) { return a.key < b.key || (a.key == b.key && a.j < b.j); }

  void place(std::size_t at, const Entry& e) {
    heap_[at] = e;
    pos_[e.j] = static_cast<std::uint32_t>(at);
  }

  std::size_t up(std::size_t at) {
    const Entry e = heap_[at];
    while (at > 0) {
      const std::size_t parent = (at - 1) / 2;
      if (!less(e, heap_[parent])) break;
      place(at, heap_[parent]);
      at = parent;
    }
    place(at, e);
    return at;
  }

  void down(std::size_t at) {
    const Entry e = heap_[at];
    const std::size_t n = heap_.size();
    for (;;) {
      std::size_t child = 2 * at + 1;
      if (child >= n) break;
      if (child + 1 < n && less(heap_[child + 1], heap_[child])) ++child;
      if (!less(heap_[child], e)) break;
      place(at, heap_[child]);
      at = child;
    }
    place(at, e);
  }

  std::vector<Entry> heap_;
  std::vector<std::uint32_t> pos_;
};

// What replacing the curve between positions a and d by the chord from a to d costs: the
// area between the chord and the polyline through every position between them. It
// bounds the impulse the chord gains or loses, and it counts every position the chord
// passes over, not only a's and d's current neighbours, so that a long chord across a
// narrow feature is dear however the feature's points were removed before.
double chord_error(const Grid& c, std::uint32_t a, std::uint32_t d) {
  const double ta = c.t(a), Fa = c.F(a);
  const double slope = (c.F(d) - Fa) / (c.t(d) - ta);
  double e = 0.0;
  double before = ta;
  for (std::uint32_t j = a + 1; j < d; ++j) {
    const double tj = c.t(j);
    e += std::fabs(c.F(j) - (Fa + slope * (tj - ta))) * (c.t(j + 1) - before);
    before = tj;
  }
  return e / 2.0;
}

// A long curve is first narrowed down to the positions that can matter, so that the
// removal works on a few tens of thousands of them: in each of kBlocks stretches of the
// curve, its lowest and its highest position (its ends where it only rises or falls) and
// the one nearest to its mean thrust (where a chord through noise would pass), and the
// positions that always stay. The chords are still measured against every position.
// Positions of zero thrust are no candidates: a reader takes a zero for the end of the
// burn.
constexpr std::size_t kBlocks = 16384;

std::vector<std::uint32_t> removal_candidates(const Grid& c, const std::vector<std::size_t>& stays) {
  const std::size_t size = c.size();
  std::vector<std::uint32_t> out;
  out.push_back(0);
  if (size <= 4 * kBlocks) {
    for (std::size_t j = 1; j + 1 < size; ++j)
      if (c.F(j) > 0.0) out.push_back(static_cast<std::uint32_t>(j));
  } else {
    out.reserve(3 * kBlocks + stays.size() + 2);
    const std::size_t inner = size - 2;
    const std::size_t block = (inner + kBlocks - 1) / kBlocks;
    for (std::size_t from = 1; from <= inner; from += block) {
      const std::size_t to = from + block < inner + 1 ? from + block : inner + 1;
      std::size_t lo = 0, hi = 0;
      double sum = 0.0;
      std::size_t count = 0;
      for (std::size_t j = from; j < to; ++j) {
        const double F = c.F(j);
        if (!(F > 0.0)) continue;
        sum += F;
        ++count;
        if (lo == 0 || F < c.F(lo)) lo = j;
        if (hi == 0 || F > c.F(hi)) hi = j;
      }
      if (count == 0) continue;
      const double mean = sum / static_cast<double>(count);
      std::size_t typical = 0;
      for (std::size_t j = from; j < to; ++j)
        if (c.F(j) > 0.0 && (typical == 0 || std::fabs(c.F(j) - mean) < std::fabs(c.F(typical) - mean))) typical = j;
      for (const std::size_t j : {lo, hi, typical}) out.push_back(static_cast<std::uint32_t>(j));
    }
    for (const std::size_t j : stays)
      if (j > 0 && j + 1 < size && c.F(j) > 0.0) out.push_back(static_cast<std::uint32_t>(j));
  }
  out.push_back(static_cast<std::uint32_t>(size - 1));
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

// The written points of the candidates that are kept.
std::vector<EngPoint> points_of(const Grid& c, const std::vector<std::uint32_t>& cand, const std::vector<bool>& kept) {
  std::vector<EngPoint> out;
  for (std::size_t k = 1; k < cand.size(); ++k)
    if (kept[k]) out.push_back({c.t(cand[k]), c.F(cand[k])});
  return out;
}

// How far a figure strays from the measured one, as a share of it.
double share_off(double written, double measured) { return std::fabs(written - measured) / std::fabs(measured); }

}  // namespace

std::string figures_problem(const MeasuredFigures& m, double impulse, const ReaderFigures& tc,
                            const ReaderFigures& orr) {
  struct Check {
    const char* what;
    double written, measured, tolerance;
  };
  const Check checks[] = {
      {"total impulse", impulse, m.total_impulse, kImpulseTolerance},
      {"peak thrust", tc.peak, m.peak, kPeakTolerance},
      {"burn time as ThrustCurve reads it", tc.burn_time, m.burn_time, kBurnTolerance},
      {"burn time as OpenRocket reads it", orr.burn_time, m.burn_time, kBurnTolerance},
      {"average thrust as ThrustCurve computes it (total impulse / burn time)", tc.average, m.total_average,
       kAverageTolerance},
      {"average thrust as OpenRocket computes it (impulse between the 5 % crossings / burn time)", orr.average,
       m.average, kAverageTolerance},
  };
  std::string out;
  for (const Check& c : checks) {
    const double off = share_off(c.written, c.measured);
    if (off <= c.tolerance) continue;
    if (!out.empty()) out += "; ";
    out += "the " + std::string(c.what) + " (" + significant(c.written, 7) + ") is " +
           (std::isfinite(off) ? percent(off, 3) : std::string("far")) + " off the measured " +
           significant(c.measured, 7) + ", more than " + percent(c.tolerance, 2);
  }
  return out;
}

MotorPoints motor_points(std::span<const double> F, double dt, const MeasuredFigures& measured,
                         std::int64_t max_points) {
  const std::size_t n = F.size();
  const std::size_t p = peak_index(F);
  if (n == 0 || !(F[p] > 0.0)) throw DataError("the curve has no positive thrust: there is nothing to export");
  if (n >= std::numeric_limits<std::uint32_t>::max() - 2) throw DataError("the curve has too many points to export");
  if (!(dt > 0.0) || !std::isfinite(dt)) throw DataError("the curve has no time step");

  MotorPoints out;
  // The grid: every sample, or every stride-th with the peak among them.
  std::size_t stride = 1;
  if (dt < kMinStep) stride = static_cast<std::size_t>(std::ceil(kMinStep / dt - 1e-9));
  if (stride > n) stride = n;
  const std::size_t first = p % stride;
  if (stride > 1)
    out.notes.push_back("the curve's " + shortest_fixed(dt * 1000.0) + " ms steps are closer than " +
                        shortest_fixed(kMinStep * 1000.0) + " ms, which ThrustCurve refuses or merges: one sample in " +
                        std::to_string(stride) + " is written (every " + shortest_fixed(dt * static_cast<double>(stride) * 1000.0) +
                        " ms)");

  const double level = kNoThrustShare * F[p];
  // The origin: the last sample on the grid of the leading stretch at or below the
  // no-thrust level, which the measured total impulse leaves out as it starts at the
  // 5 % rise.
  std::ptrdiff_t lead_end = -1;
  while (lead_end + 1 < static_cast<std::ptrdiff_t>(p) && !(F[static_cast<std::size_t>(lead_end + 1)] > level)) ++lead_end;
  std::ptrdiff_t origin = -1;
  if (lead_end >= static_cast<std::ptrdiff_t>(first))
    origin = lead_end - (lead_end - static_cast<std::ptrdiff_t>(first)) % static_cast<std::ptrdiff_t>(stride);
  // The final zero: the first sample on the grid of the trailing stretch at or below the
  // level, after the last measurable thrust where the measured total impulse ends.
  std::ptrdiff_t trail_start = static_cast<std::ptrdiff_t>(n);
  while (trail_start - 1 > static_cast<std::ptrdiff_t>(p) && !(F[static_cast<std::size_t>(trail_start - 1)] > level))
    --trail_start;
  std::ptrdiff_t final_sample = static_cast<std::ptrdiff_t>(n);
  if (trail_start < static_cast<std::ptrdiff_t>(n)) {
    const std::ptrdiff_t s = static_cast<std::ptrdiff_t>(stride);
    const std::ptrdiff_t off = (trail_start - static_cast<std::ptrdiff_t>(first)) % s;
    const std::ptrdiff_t up = off == 0 ? trail_start : trail_start + (s - off);
    if (up < static_cast<std::ptrdiff_t>(n)) final_sample = up;
  }
  if (origin < 0)
    out.notes.push_back("the curve starts above 1 % of its peak thrust: its first point is written at " +
                        shortest_fixed(kMinStep) + " s, after the origin");
  if (final_sample == static_cast<std::ptrdiff_t>(n))
    out.notes.push_back("the curve ends above 1 % of its peak thrust (" + significant(F[n - 1], 7) +
                        " N): the tail-off may be cut off; a zero is written " + shortest_fixed(kMinStep) +
                        " s after the last point");

  const Grid c(F, dt, stride, static_cast<std::ptrdiff_t>(first), origin, final_sample);
  out.origin = c.origin_time();
  const std::size_t size = c.size();
  std::size_t dropped = 0;
  for (std::size_t j = 1; j + 1 < size; ++j)
    if (!(c.F(j) > 0.0)) ++dropped;
  if (dropped > 0)
    out.notes.push_back(std::to_string(dropped) + (dropped == 1 ? " reading" : " readings") +
                        " of zero (or negative) thrust before the curve's end left out, since readers take a zero "
                        "for the end of the burn");

  // The positions that always stay: the peak, and with room the points on either side of
  // it, so that a narrow ignition spike keeps its width, and those around both 5 %
  // crossings, so that every reader finds the burn where it is.
  const std::size_t peak = static_cast<std::size_t>((static_cast<std::ptrdiff_t>(p) - (origin >= 0 ? origin : static_cast<std::ptrdiff_t>(first) - static_cast<std::ptrdiff_t>(stride))) /
                                                    static_cast<std::ptrdiff_t>(stride));
  const double threshold = kNfpaThreshold * F[p];
  std::size_t rise = peak, fall = peak;
  for (std::size_t j = 1; j < peak; ++j)
    if (c.F(j) >= threshold) {
      rise = j;
      break;
    }
  for (std::size_t j = size - 2; j > peak; --j)
    if (c.F(j) >= threshold) {
      fall = j;
      break;
    }
  const auto limit = static_cast<std::size_t>(max_points);
  std::vector<std::size_t> stays{peak};
  if (max_points == 0 || limit >= 4) stays.insert(stays.end(), {peak - 1, peak + 1});
  if (max_points == 0 || limit >= 8) stays.insert(stays.end(), {rise - 1, rise, fall, fall + 1});

  const std::vector<std::uint32_t> cand = removal_candidates(c, stays);
  const std::size_t m = cand.size();
  const auto stays_at = [&](std::uint32_t j) { return std::find(stays.begin(), stays.end(), j) != stays.end(); };

  // The order in which the points go, cheapest chord first, over a doubly linked list of
  // the candidates, down to those that always stay.
  std::vector<std::uint32_t> removed;
  {
    std::vector<std::uint32_t> prev(m), next(m);
    for (std::size_t k = 0; k < m; ++k) {
      prev[k] = static_cast<std::uint32_t>(k > 0 ? k - 1 : 0);
      next[k] = static_cast<std::uint32_t>(k + 1 < m ? k + 1 : k);
    }
    const auto cost = [&](std::uint32_t a, std::uint32_t d) { return chord_error(c, cand[a], cand[d]); };
    std::vector<double> keys(m, std::numeric_limits<double>::quiet_NaN());
    for (std::size_t k = 1; k + 1 < m; ++k)
      if (!stays_at(cand[k])) keys[k] = cost(prev[k], next[k]);
    RemovalHeap heap(keys);
    keys = {};
    const std::size_t floor = max_points > 0 ? 0 : m;
    std::size_t left = m - 1;
    while (left > floor && !heap.empty()) {
      const std::uint32_t k = heap.top();
      heap.pop();
      removed.push_back(k);
      --left;
      const std::uint32_t a = prev[k], b = next[k];
      next[a] = b;
      prev[b] = a;
      if (a > 0) heap.update(a, cost(prev[a], b));
      if (b + 1 < m) heap.update(b, cost(a, next[b]));
    }
  }
  const std::size_t available = m - 1;  // the origin is not written
  out.points_available = available;

  // The points with `count` of them written: the candidates less the first removals.
  struct Trial {
    std::vector<EngPoint> points;
    double impulse;
    ReaderFigures tc, orr;
    std::string problem;
  };
  const auto trial = [&](std::size_t count) {
    std::vector<bool> kept(m, true);
    const std::size_t go = available - count;
    for (std::size_t r = 0; r < go && r < removed.size(); ++r) kept[removed[r]] = false;
    Trial t;
    t.points = points_of(c, cand, kept);
    t.impulse = eng_impulse(t.points);
    t.tc = reader_figures(t.points, Reader::ThrustCurve);
    t.orr = reader_figures(t.points, Reader::OpenRocket);
    t.problem = figures_problem(measured, t.impulse, t.tc, t.orr);
    return t;
  };
  const std::size_t fewest = available - removed.size();
  std::size_t count = max_points > 0 && limit < available ? limit : available;
  if (count < fewest) count = fewest;
  Trial best = trial(count);
  if (!best.problem.empty() && count < available) {
    // A number of points that holds every figure: every point does or none does; between
    // the two, halving the interval between a count that fails and one that holds.
    std::size_t lo = count, hi = available;
    if (trial(hi).problem.empty()) {
      while (hi - lo > 1) {
        const std::size_t mid = lo + (hi - lo) / 2;
        (trial(mid).problem.empty() ? hi : lo) = mid;
      }
      out.points_needed = hi;
    }
  }
  if (!best.problem.empty() && max_points > 0 && limit < 8 && available > limit) {
    // Below eight points the crossings were free to go; with eight they stay.
    const MotorPoints wider = motor_points(F, dt, measured, 8);
    out.points_needed = wider.problem.empty() ? 8 : wider.points_needed;
  }
  out.points = std::move(best.points);
  out.impulse = best.impulse;
  out.thrustcurve = best.tc;
  out.openrocket = best.orr;
  out.problem = std::move(best.problem);
  return out;
}

MotorPoints export_motor_points(std::span<const double> F, double dt, const MeasuredFigures& measured,
                                std::int64_t max_points, bool hard) {
  MotorPoints mp = motor_points(F, dt, measured, max_points);
  if (!mp.problem.empty() && !hard && mp.points_needed > 0) {
    mp = motor_points(F, dt, measured, static_cast<std::int64_t>(mp.points_needed));
    mp.notes.push_back("the motor file holds " + std::to_string(mp.points.size()) + " points, more than " +
                       std::to_string(max_points) + ", to keep every figure beside the measured one; RASP readers "
                       "older than the simulators took at most 32 (--points 32 holds to them and says what strays)");
  }
  return mp;
}

}  // namespace kv::exporter
