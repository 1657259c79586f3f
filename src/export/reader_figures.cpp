#include "export/reader_figures.h"

#include <vector>

#include "analysis/impulse.h"
#include "analysis/nfpa.h"

namespace kv::exporter {

std::string_view reader_name(Reader r) { return r == Reader::ThrustCurve ? "ThrustCurve" : "OpenRocket"; }

ReaderFigures reader_figures(std::span<const EngPoint> points, Reader reader) {
  std::vector<double> t{0.0}, F{0.0};
  t.reserve(points.size() + 1);
  F.reserve(points.size() + 1);
  std::size_t merged = 1;  // how many points the last one stands for
  for (const EngPoint& q : points) {
    if (q.t == 0.0 && t.size() == 1) {
      F[0] = q.F;  // the origin given in the file
      continue;
    }
    if (reader == Reader::ThrustCurve && q.t - t.back() < kThrustCurveMerge && t.size() > 1) {
      // Merged into the running mean of the points it stands for.
      const double k = static_cast<double>(merged);
      t.back() = (t.back() * k + q.t) / (k + 1.0);
      F.back() = (F.back() * k + q.F) / (k + 1.0);
      ++merged;
      continue;
    }
    merged = 1;
    t.push_back(q.t);
    F.push_back(q.F);
  }
  const NfpaFigures n = nfpa_figures(std::span<const double>(F), PointTimes{t});
  ReaderFigures r;
  r.total_impulse = n.total_impulse;
  r.peak = n.peak;
  r.burn_start = n.burn_start;
  r.burn_end = n.burn_end;
  r.burn_time = n.burn_time;
  r.average = reader == Reader::ThrustCurve ? n.total_average() : n.average;
  return r;
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
