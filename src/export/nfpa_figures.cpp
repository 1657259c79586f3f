#include "export/nfpa_figures.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "analysis/impulse_class.h"

namespace kv::exporter {

NfpaFigures nfpa_figures(std::span<const double> F, double dt) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  NfpaFigures r;
  const std::size_t n = F.size();
  // The same sum, in the same order, as the program's cumulative impulse.
  double I = 0.0;
  for (std::size_t k = 1; k < n; ++k) I = ((F[k] + F[k - 1]) * dt) / 2.0 + I;
  r.total_impulse = I;

  std::size_t p = 0;
  for (std::size_t k = 1; k < n; ++k)
    if (F[k] > F[p]) p = k;
  r.peak = n > 0 ? F[p] : kNaN;
  r.peak_time = static_cast<double>(p) * dt;
  if (!(n > 0 && F[p] > 0.0)) {
    r.threshold = r.burn_start = r.burn_end = r.burn_time = r.burn_impulse = r.average = kNaN;
    return r;
  }
  const double thr = 0.05 * r.peak;
  r.threshold = thr;

  std::size_t first = 0;
  while (F[first] < thr) ++first;  // the peak itself stops it
  std::size_t last = n - 1;
  while (F[last] < thr) --last;

  const auto time = [dt](std::size_t k) { return static_cast<double>(k) * dt; };
  double start = time(first);
  if (first > 0) start = time(first - 1) + ((thr - F[first - 1]) / (F[first] - F[first - 1])) * dt;
  double end = time(last);
  if (last + 1 < n) end = time(last) + ((F[last] - thr) / (F[last] - F[last + 1])) * dt;

  // Inside the crossings: the part-segments at both ends, where the curve runs from the
  // threshold to the first (last) sample above it, and the whole segments between.
  double inside = 0.0;
  if (first > 0) inside += ((thr + F[first]) / 2.0) * (time(first) - start);
  for (std::size_t k = first + 1; k <= last; ++k) inside += ((F[k] + F[k - 1]) * dt) / 2.0;
  if (last + 1 < n) inside += ((F[last] + thr) / 2.0) * (end - time(last));

  r.burn_start = start;
  r.burn_end = end;
  r.burn_time = end - start;
  r.burn_impulse = inside;
  r.average = r.burn_time > 0.0 ? inside / r.burn_time : kNaN;
  r.designation = designation(r.total_impulse, r.average);
  return r;
}

std::string impulse_class_continued(double total_impulse) {
  const std::string_view known = impulse_class(total_impulse);
  if (!known.empty()) return std::string(known);
  constexpr double kTopOfN = 20480.0;
  if (!(total_impulse > kTopOfN)) return {};
  double upper = kTopOfN;
  for (char letter = 'O'; letter <= 'Z'; ++letter) {
    upper *= 2.0;
    if (total_impulse <= upper) return std::string(1, letter);
  }
  return {};
}

std::string designation(double total_impulse, double average) {
  const std::string cls = impulse_class_continued(total_impulse);
  std::int32_t number = 0;
  if (cls.empty() || !class_number(average, number)) return {};
  return cls + std::to_string(number);
}

}  // namespace kv::exporter
