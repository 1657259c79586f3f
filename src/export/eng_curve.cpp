#include "export/eng_curve.h"

#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>

#include "export/errors.h"
#include "export/number_text.h"

namespace kv::exporter {
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

// A binary min-heap of candidate indices keyed by the impulse their removal would change,
// ties broken by index, so that every platform removes the same points in the same order.
class RemovalHeap {
 public:
  explicit RemovalHeap(std::size_t capacity) : pos_(capacity, kAbsent), key_(capacity, 0.0) { heap_.reserve(capacity); }

  bool empty() const { return heap_.empty(); }
  std::uint32_t top() const { return heap_.front(); }

  void push(std::uint32_t j, double key) {
    key_[j] = key;
    pos_[j] = static_cast<std::uint32_t>(heap_.size());
    heap_.push_back(j);
    up(heap_.size() - 1);
  }

  void pop() { erase(heap_.front()); }

  void erase(std::uint32_t j) {
    const std::size_t at = pos_[j];
    const std::uint32_t moved = heap_.back();
    heap_.pop_back();
    pos_[j] = kAbsent;
    if (at < heap_.size()) {
      heap_[at] = moved;
      pos_[moved] = static_cast<std::uint32_t>(at);
      down(up(at));
    }
  }

  void update(std::uint32_t j, double key) {
    if (pos_[j] == kAbsent) return;
    key_[j] = key;
    down(up(pos_[j]));
  }

 private:
  static constexpr std::uint32_t kAbsent = std::numeric_limits<std::uint32_t>::max();

  bool less(std::uint32_t a, std::uint32_t b) const { return key_[a] < key_[b] || (key_[a] == key_[b] && a < b); }

  void place(std::size_t at, std::uint32_t j) {
    heap_[at] = j;
    pos_[j] = static_cast<std::uint32_t>(at);
  }

  std::size_t up(std::size_t at) {
    const std::uint32_t j = heap_[at];
    while (at > 0) {
      const std::size_t parent = (at - 1) / 2;
      if (!less(j, heap_[parent])) break;
      place(at, heap_[parent]);
      at = parent;
    }
    place(at, j);
    return at;
  }

  void down(std::size_t at) {
    const std::uint32_t j = heap_[at];
    const std::size_t n = heap_.size();
    for (;;) {
      std::size_t child = 2 * at + 1;
      if (child >= n) break;
      if (child + 1 < n && less(heap_[child + 1], heap_[child])) ++child;
      if (!less(heap_[child], j)) break;
      place(at, heap_[child]);
      at = child;
    }
    place(at, j);
  }

  std::vector<std::uint32_t> heap_;
  std::vector<std::uint32_t> pos_;
  std::vector<double> key_;
};

// The impulse that removing b, between a and c, takes away (or adds, when negative):
// the area between the two segments and the chord, which the trapezoid rule counts.
double removal_change(const Candidates& c, std::uint32_t a, std::uint32_t b, std::uint32_t d) {
  const double ta = c.t(a), tb = c.t(b), td = c.t(d);
  const double Fa = c.F(a), Fb = c.F(b), Fd = c.F(d);
  return 0.5 * ((td - ta) * (Fb - Fa) - (tb - ta) * (Fd - Fa));
}

}  // namespace

EngCurve eng_curve(std::span<const double> F, double dt, std::int64_t max_points) {
  const std::size_t n = F.size();
  std::size_t p = 0;
  for (std::size_t k = 1; k < n; ++k)
    if (F[k] > F[p]) p = k;
  if (n == 0 || !(F[p] > 0.0)) throw DataError("the curve has no positive thrust: there is nothing to export");
  if (n >= std::numeric_limits<std::uint32_t>::max() - 2) throw DataError("the curve has too many points to export");

  double total = 0.0;
  for (std::size_t k = 1; k < n; ++k) total = ((F[k] + F[k - 1]) * dt) / 2.0 + total;
  const double level = kNoThrustShare * F[p];
  const double budget = kEndImpulseShare * std::fabs(total);
  EngCurve out;

  // The origin: the last point of the leading stretch at or below the no-thrust level
  // whose impulse from the start stays within the budget.
  std::ptrdiff_t origin = -1;
  {
    double I = 0.0;
    for (std::size_t k = 0; k < n && F[k] <= level; ++k) {
      if (k > 0) I = ((F[k] + F[k - 1]) * dt) / 2.0 + I;
      if (std::fabs(I) > budget) break;
      origin = static_cast<std::ptrdiff_t>(k);
    }
  }
  // The final zero: the first point of the trailing stretch at or below the level whose
  // impulse to the end stays within the budget.
  std::ptrdiff_t final_point = static_cast<std::ptrdiff_t>(n);
  {
    double I = 0.0;
    for (std::size_t k = n; k-- > 0 && F[k] <= level;) {
      if (k + 1 < n) I = ((F[k] + F[k + 1]) * dt) / 2.0 + I;
      if (std::fabs(I) > budget) break;
      final_point = static_cast<std::ptrdiff_t>(k);
    }
  }
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

  // Removal, fewest-impulse first, over a doubly linked list of the candidates.
  std::vector<bool> kept(size, true);
  const std::size_t written = size - 1;  // the origin is not written
  const auto limit = static_cast<std::size_t>(max_points);
  if (max_points > 0 && written > limit) {
    std::vector<std::uint32_t> prev(size), next(size);
    for (std::size_t j = 0; j < size; ++j) {
      prev[j] = static_cast<std::uint32_t>(j > 0 ? j - 1 : 0);
      next[j] = static_cast<std::uint32_t>(j + 1 < size ? j + 1 : j);
    }
    const std::size_t peak = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(p) - origin);
    RemovalHeap heap(size);
    for (std::size_t j = 1; j + 1 < size; ++j) {
      if (j == peak) continue;
      const auto u = static_cast<std::uint32_t>(j);
      heap.push(u, std::fabs(removal_change(c, prev[j], u, next[j])));
    }
    std::size_t left = written;
    while (left > limit && !heap.empty()) {
      const std::uint32_t j = heap.top();
      heap.pop();
      kept[j] = false;
      --left;
      const std::uint32_t a = prev[j], b = next[j];
      next[a] = b;
      prev[b] = a;
      if (a > 0) heap.update(a, std::fabs(removal_change(c, prev[a], a, b)));
      if (b + 1 < size) heap.update(b, std::fabs(removal_change(c, a, b, next[b])));
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
    I += ((q.F + before.F) / 2.0) * (q.t - before.t);
    before = q;
  }
  return I;
}

}  // namespace kv::exporter
