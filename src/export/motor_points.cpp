#include "export/eng_curve.h"

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
using companion::shortest_fixed;
using companion::significant;

namespace {

// The curve between its ends, before any point is removed: index 0 is the origin, the
// last index the final zero. Times and thrusts come from the processed curve on demand,
// so that a long curve needs no copy.
class Candidates {
 public:
  Candidates(std::span<const double> F, double dt, std::ptrdiff_t origin, std::ptrdiff_t final_point)
      : F_(F), dt_(dt), origin_(origin), final_(final_point) {
    const std::ptrdiff_t n = static_cast<std::ptrdiff_t>(F.size());
    const std::ptrdiff_t first = origin_ + 1;       // first processed point written
    const std::ptrdiff_t last = final_ < n ? final_ : n;  // one past the last written as measured
    size_ = static_cast<std::size_t>(last - first) + 2;
  }

  std::size_t size() const { return size_; }

  double t(std::size_t j) const {
    if (j == 0) return 0.0;
    if (j + 1 == size_ && final_ == static_cast<std::ptrdiff_t>(F_.size()))
      return t(j - 1) + dt_ / 10.0;  // a zero added after a curve cut off above the no-thrust level
    if (j == 1 && origin_ < 0) return dt_ / 10.0;  // the first point, at 0 s, moved off the origin
    return static_cast<double>(static_cast<std::ptrdiff_t>(j) - (origin_ < 0 ? 1 : 0)) * dt_;
  }

  double F(std::size_t j) const {
    if (j == 0 || j + 1 == size_) return 0.0;
    const double v = F_[static_cast<std::size_t>(origin_ + static_cast<std::ptrdiff_t>(j))];
    return v > 0.0 ? v : 0.0;
  }

  // The processed point written as candidate j (0 < j < size - 1).
  std::size_t source(std::size_t j) const { return static_cast<std::size_t>(origin_ + static_cast<std::ptrdiff_t>(j)); }

 private:
  std::span<const double> F_;
  double dt_;
  std::ptrdiff_t origin_;  // index of the processed point that is the origin; -1: none
  std::ptrdiff_t final_;   // index of the processed point written as the final zero; n: none
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

// What replacing the curve between a and d by the chord from a to d costs: the area
// between the chord and the polyline through every processed point between them. It
// bounds the impulse the chord gains or loses, and it counts every point the chord
// passes over, not only a's and d's current neighbours, so that a long chord across a
// narrow feature is dear however the feature's points were removed before.
double chord_error(const Candidates& c, std::uint32_t a, std::uint32_t d) {
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

// A long curve is first narrowed down to the points that can matter, so that the
// removal works on a few tens of thousands of them: in each of kBlocks stretches of the
// curve, its lowest and its highest point (its ends where it only rises or falls) and
// the point nearest to its mean thrust (where a chord through noise would pass), and the
// points that always stay. The chords are still measured against every processed point.
constexpr std::size_t kBlocks = 16384;

std::vector<std::uint32_t> removal_candidates(const Candidates& c, std::size_t peak) {
  const std::size_t size = c.size();
  std::vector<std::uint32_t> out;
  if (size <= 4 * kBlocks) {
    out.resize(size);
    for (std::size_t j = 0; j < size; ++j) out[j] = static_cast<std::uint32_t>(j);
    return out;
  }
  out.reserve(3 * kBlocks + 5);
  out.push_back(0);
  const std::size_t inner = size - 2;
  const std::size_t block = (inner + kBlocks - 1) / kBlocks;
  for (std::size_t from = 1; from <= inner; from += block) {
    const std::size_t to = from + block < inner + 1 ? from + block : inner + 1;
    std::size_t lo = from, hi = from;
    double sum = 0.0;
    for (std::size_t j = from; j < to; ++j) {
      const double F = c.F(j);
      sum += F;
      if (F < c.F(lo)) lo = j;
      if (F > c.F(hi)) hi = j;
    }
    const double mean = sum / static_cast<double>(to - from);
    std::size_t typical = from;
    for (std::size_t j = from + 1; j < to; ++j)
      if (std::fabs(c.F(j) - mean) < std::fabs(c.F(typical) - mean)) typical = j;
    for (const std::size_t j : {lo, hi, typical}) out.push_back(static_cast<std::uint32_t>(j));
  }
  for (const std::size_t j : {peak - 1, peak, peak + 1})
    if (j > 0 && j + 1 < size) out.push_back(static_cast<std::uint32_t>(j));
  out.push_back(static_cast<std::uint32_t>(size - 1));
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

}  // namespace

EngCurve eng_curve(std::span<const double> F, double dt, std::int64_t max_points) {
  const std::size_t n = F.size();
  const std::size_t p = peak_index(F);
  if (n == 0 || !(F[p] > 0.0)) throw DataError("the curve has no positive thrust: there is nothing to export");
  if (n >= std::numeric_limits<std::uint32_t>::max() - 2) throw DataError("the curve has too many points to export");

  const UniformTimes times{dt};
  const double level = kNoThrustShare * F[p];
  const double budget = kEndImpulseShare * std::fabs(total_impulse(F, times));
  EngCurve out;

  // The origin: the last point of the leading stretch at or below the no-thrust level
  // whose impulse from the start stays within the budget.
  std::ptrdiff_t origin = -1;
  walk_impulse(F, times, [&](std::size_t k, double I) {
    if (F[k] > level || std::fabs(I) > budget) return false;
    origin = static_cast<std::ptrdiff_t>(k);
    return true;
  });
  // The final zero: the first point of the trailing stretch at or below the level whose
  // impulse to the end stays within the budget (the same walk, from the end).
  std::ptrdiff_t final_point = static_cast<std::ptrdiff_t>(n);
  walk_impulse(Reversed{F}, times, [&](std::size_t j, double I) {
    const std::size_t k = n - 1 - j;
    if (F[k] > level || std::fabs(I) > budget) return false;
    final_point = static_cast<std::ptrdiff_t>(k);
    return true;
  });
  if (origin < 0)
    out.notes.push_back("the curve starts above 1 % of its peak thrust: its first point is written at " +
                        shortest_fixed(dt / 10.0) + " s, after the origin");
  if (final_point == static_cast<std::ptrdiff_t>(n))
    out.notes.push_back("the curve ends above 1 % of its peak thrust (" + significant(F[n - 1], 7) +
                        " N): the window may have cut off the tail-off; a zero is written " + shortest_fixed(dt / 10.0) +
                        " s after the last point");

  if (origin > 0) out.origin = static_cast<double>(origin) * dt;
  const Candidates c(F, dt, origin, final_point);
  const std::size_t size = c.size();
  bool negative = false;
  for (std::size_t j = 1; j + 1 < size; ++j)
    if (F[c.source(j)] < 0.0) negative = true;
  if (negative) out.notes.push_back("negative thrusts are written as 0 N");

  // Removal, cheapest chord first, over a doubly linked list of the candidates. The peak
  // stays, and so do the points on either side of it when there is room, so that a
  // narrow ignition spike keeps its width.
  std::vector<bool> kept(size, true);
  const std::size_t written = size - 1;  // the origin is not written
  const auto limit = static_cast<std::size_t>(max_points);
  if (max_points > 0 && written > limit) {
    const std::size_t peak = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(p) - origin);
    const bool flanks = limit >= 4;
    const auto stays = [&](std::size_t j) { return j == peak || (flanks && (j + 1 == peak || j == peak + 1)); };
    const std::vector<std::uint32_t> cand = removal_candidates(c, peak);
    const std::size_t m = cand.size();
    std::fill(kept.begin(), kept.end(), false);
    for (const std::uint32_t j : cand) kept[j] = true;

    std::vector<std::uint32_t> prev(m), next(m);
    for (std::size_t k = 0; k < m; ++k) {
      prev[k] = static_cast<std::uint32_t>(k > 0 ? k - 1 : 0);
      next[k] = static_cast<std::uint32_t>(k + 1 < m ? k + 1 : k);
    }
    const auto cost = [&](std::uint32_t a, std::uint32_t d) { return chord_error(c, cand[a], cand[d]); };
    std::vector<double> keys(m, std::numeric_limits<double>::quiet_NaN());
    for (std::size_t k = 1; k + 1 < m; ++k)
      if (!stays(cand[k])) keys[k] = cost(prev[k], next[k]);
    RemovalHeap heap(keys);
    keys = {};
    std::size_t left = m - 1;
    while (left > limit && !heap.empty()) {
      const std::uint32_t k = heap.top();
      heap.pop();
      kept[cand[k]] = false;
      --left;
      const std::uint32_t a = prev[k], b = next[k];
      next[a] = b;
      prev[b] = a;
      if (a > 0) heap.update(a, cost(prev[a], b));
      if (b + 1 < m) heap.update(b, cost(a, next[b]));
    }
  }

  for (std::size_t j = 1; j < size; ++j)
    if (kept[j]) out.points.push_back({c.t(j), c.F(j)});
  return out;
}

double eng_impulse(std::span<const EngPoint> points) {
  double I = 0.0;
  EngPoint before{};
  for (const EngPoint& q : points) {
    I = trapezoid(before.F, q.F, q.t - before.t) + I;
    before = q;
  }
  return I;
}

}  // namespace kv::exporter
