#include "prepare/calibration.h"

#include <algorithm>
#include <cmath>

#include "analysis/mass_flow.h"
#include "companion/errors.h"
#include "companion/number_text.h"
#include "prepare/os_files.h"

namespace kv::prepare {

using companion::DataError;
using companion::significant;

namespace {

// Newtons in one of the unit, or nothing for a unit that is not one.
std::optional<double> newtons_in(std::string_view unit) {
  if (unit == "kg") return go;
  if (unit == "g") return go / 1000.0;
  if (unit == "N") return 1.0;
  if (unit == "lbf") return 0.45359237 * go;
  return std::nullopt;
}

std::vector<std::string_view> words(std::string_view line) {
  std::vector<std::string_view> out;
  std::size_t at = 0;
  while (at < line.size()) {
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t' || line[at] == '\r')) ++at;
    std::size_t end = at;
    while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '\r') ++end;
    if (end > at) out.push_back(line.substr(at, end - at));
    at = end;
  }
  return out;
}

std::string whole(const std::string& file) {
  InputFile in(file);
  std::string text;
  char block[1 << 14];
  while (const std::size_t n = in.read(block, sizeof block)) {
    text.append(block, n);
    if (text.size() > (std::size_t{1} << 20))
      throw DataError(file + ": is larger than 1 MB; a calibration file holds a few points, one a line");
  }
  return text;
}

}  // namespace

bool Calibration::needs_spans() const {
  return std::any_of(points.begin(), points.end(), [](const CalibrationPoint& p) { return !p.reading; });
}

Calibration read_calibration(const std::string& file) {
  Calibration c;
  c.file = file;
  const std::string text = whole(file);
  int number = 0;
  std::size_t at = 0;
  while (at <= text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + at, end - at);
    at = end + 1;
    ++number;
    if (const std::size_t hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
    const std::vector<std::string_view> w = words(line);
    if (w.empty()) continue;
    const std::string where = file + ":" + std::to_string(number) + ": ";
    if (w.size() != 3)
      throw DataError(where + "a calibration point is READING LOAD UNIT (for example 14806.65 1 kg, or 2.0..4.5 0 kg), "
                              "not " + std::to_string(w.size()) + " word" + (w.size() == 1 ? "" : "s"));
    CalibrationPoint p;
    p.line = number;
    if (const std::size_t dots = w[0].find(".."); dots != std::string_view::npos) {
      const auto a = companion::user_number(w[0].substr(0, dots)), b = companion::user_number(w[0].substr(dots + 2));
      if (!a || !b || !(*b > *a))
        throw DataError(where + "the span " + std::string(w[0]) + " is not two times T0..T1 (s) with T1 after T0");
      p.from = *a;
      p.to = *b;
    } else {
      const auto r = companion::user_number(w[0]);
      if (!r) throw DataError(where + "the reading " + std::string(w[0]) + " is not a number");
      p.reading = *r;
    }
    const auto load = companion::user_number(w[1]);
    if (!load || *load < 0) throw DataError(where + "the load " + std::string(w[1]) + " is not a number of 0 or more");
    const auto per = newtons_in(w[2]);
    if (!per) throw DataError(where + "the unit " + std::string(w[2]) + " is not one of kg, g, N, lbf");
    p.load_N = *load * *per;
    p.load_text = std::string(w[1]) + " " + std::string(w[2]);
    c.points.push_back(p);
    if (end == text.size()) break;
  }
  if (c.points.empty()) throw DataError(file + ": holds no calibration point (READING LOAD UNIT, one a line)");
  return c;
}

void fit_calibration(Calibration& c) {
  std::vector<double> x, y;
  for (const CalibrationPoint& p : c.points) {
    x.push_back(p.raw);
    y.push_back(p.load_N);
    c.largest_load_N = std::max(c.largest_load_N, std::fabs(p.load_N));
  }
  if (c.points.size() == 1) {
    const CalibrationPoint& p = c.points.front();
    if (!(p.raw != 0.0 && p.load_N > 0.0))
      throw DataError(c.file + ":" + std::to_string(p.line) +
                      ": a single point needs a load above 0 and a reading that is not 0 (the line goes through zero)");
    c.through_zero = true;
    c.K = p.load_N / p.raw;
    c.B = 0.0;
    c.u_K = c.u_B = std::nan("");
    c.residuals = {0.0};
    return;
  }
  const LineFit fit = least_squares(x, y);
  if (!fit.valid || !(fit.K != 0.0) || !std::isfinite(fit.K))
    throw DataError(c.file + ": the points' readings are all the same: they give no slope (hang at least two different "
                             "loads)");
  c.K = fit.K;
  c.B = fit.B;
  c.u_K = fit.u_K;
  c.u_B = fit.u_B;
  c.residuals = fit.residuals;
  c.nonlinearity_pct = fit.nonlinearity_pct;
}

std::vector<std::string> calibration_lines(const Calibration& c) {
  std::vector<std::string> out;
  const auto u = [](double v) { return std::isfinite(v) ? significant(v, 2) : std::string("not known (too few points)"); };
  if (c.through_zero) {
    out.push_back("thrust = K x raw through zero, K = " + significant(c.K, 7) + " N per reading, from one point (" +
                  c.points.front().load_text + "); its uncertainty is not known");
  } else {
    out.push_back("thrust = K x raw + B by least squares over " + std::to_string(c.points.size()) + " points: K = " +
                  significant(c.K, 7) + " N per reading (u " + u(c.u_K) + "), B = " + significant(c.B, 7) + " N (u " +
                  u(c.u_B) + ")");
    if (std::isfinite(c.u_K)) out.push_back("slope uncertainty u_K / K = " + significant(100.0 * c.u_K / std::fabs(c.K), 2) + " %");
    if (c.points.size() > 2)
      out.push_back("largest residual " + significant(c.nonlinearity_pct, 2) + " % of the largest load (" +
                    significant(c.largest_load_N, 6) + " N): the non-linearity");
    else
      out.push_back("the line passes through both points: no residual shows the non-linearity (a third point "
                    "would, or export's --nonlinearity)");
  }
  const bool residuals = !c.through_zero && c.points.size() > 2;
  for (std::size_t i = 0; i < c.points.size(); ++i) {
    const CalibrationPoint& p = c.points[i];
    std::string reading = p.reading ? significant(p.raw, 8)
                                    : "mean " + significant(p.raw, 8) + " over " + significant(*p.from, 6) + ".." +
                                          significant(*p.to, 6) + " s (" + std::to_string(p.count) + " readings)";
    out.push_back("  line " + std::to_string(p.line) + ": " + p.load_text + " at " + reading +
                  (residuals ? ", residual " + significant(c.residuals[i], 3) + " N" : std::string()));
  }
  return out;
}

}  // namespace kv::prepare
