#include "export/rse_file.h"

#include <cmath>

#include "analysis/impulse.h"
#include "analysis/mass_flow.h"
#include "companion/errors.h"
#include "companion/number_text.h"
#include "export/motor_check.h"

namespace kv::exporter {

using companion::DataError;
using companion::fixed_trimmed;
using companion::shortest_fixed;

namespace {

// A figure with seven significant digits in plain decimals (no exponent: ThrustCurve's
// numbers have none).
std::string figure(double v) {
  if (v == 0.0 || !std::isfinite(v)) return "0";
  const int magnitude = static_cast<int>(std::floor(std::log10(std::fabs(v))));
  const int decimals = magnitude >= 6 ? 0 : (6 - magnitude > 12 ? 12 : 6 - magnitude);
  return fixed_trimmed(v, decimals);
}

std::string escaped(std::string_view text) {
  std::string out;
  for (const char c : text) switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += c;
    }
  return out;
}

std::string rse_delays(const std::string& eng_delays) {
  std::string s = eng_delays;
  for (char& c : s)
    if (c == '-') c = ',';
  return s;
}

}  // namespace

std::vector<double> propellant_left(std::span<const EngPoint> points, double propellant_g) {
  std::vector<double> I(points.size() + 1, 0.0);
  EngPoint before{};
  for (std::size_t k = 0; k < points.size(); ++k) {
    I[k + 1] = trapezoid(before.F, points[k].F, points[k].t - before.t) + I[k];
    before = points[k];
  }
  const double total = I.back();
  std::vector<double> m(I.size());
  for (std::size_t k = 0; k < I.size(); ++k) m[k] = total > 0.0 ? propellant_g * (1.0 - I[k] / total) : propellant_g;
  m.back() = 0.0;
  return m;
}

std::string rse_text(const std::string& comments, const EngHeader& h, std::string_view type,
                     const MeasuredFigures& f, std::span<const EngPoint> points, int decimals) {
  const double prop_g = grams(h.propellant_kg), total_g = grams(h.total_kg);
  const double isp = specific_impulse(exhaust_velocity(f.total_impulse, h.propellant_kg));
  std::string s = "<engine-database>\r\n  <engine-list>\r\n";
  s += "    <engine code=\"" + escaped(h.name) + "\" mfg=\"" + escaped(h.maker) + "\" delays=\"" +
       escaped(rse_delays(h.delays)) + "\" dia=\"" + shortest_fixed(h.diameter_mm) + "\" len=\"" +
       shortest_fixed(h.length_mm) + "\" initWt=\"" + figure(total_g) + "\" propWt=\"" + figure(prop_g) +
       "\" Type=\"" + escaped(type) + "\" Itot=\"" + figure(f.total_impulse) + "\" avgThrust=\"" + figure(f.average) +
       "\" peakThrust=\"" + figure(f.peak) + "\" burn-time=\"" + figure(f.burn_time) + "\" massFrac=\"" +
       figure(100.0 * prop_g / total_g) + "\" Isp=\"" + figure(isp) + "\" auto-calc-mass=\"1\" auto-calc-cg=\"1\">\r\n";
  s += "      <comments>" + escaped(comments) + "</comments>\r\n";
  s += "      <data>\r\n";
  const std::vector<double> m = propellant_left(points, prop_g);
  const std::string cg = shortest_fixed(h.length_mm / 2.0);
  const auto point = [&](double t, double F, double mass) {
    s += "        <eng-data t=\"" + fixed_trimmed(t, decimals) + "\" f=\"" + shortest_fixed(F) + "\" m=\"" +
         fixed_trimmed(mass, 4) + "\" cg=\"" + cg + "\"/>\r\n";
  };
  point(0.0, 0.0, m[0]);
  for (std::size_t k = 0; k < points.size(); ++k) point(points[k].t, points[k].F, m[k + 1]);
  s += "      </data>\r\n    </engine>\r\n  </engine-list>\r\n</engine-database>\r\n";
  return s;
}

std::string write_rse_text(const std::string& comments, const EngHeader& h, std::string_view type,
                           const MotorPoints& points, const MeasuredFigures& measured, double dt) {
  bool known = false;
  for (const std::string_view t : kMotorTypes) known = known || t == type;
  if (!known) throw DataError("the .rse cannot be written: the motor type \"" + std::string(type) + "\" is unknown");
  for (const char c : comments)
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E)
      throw DataError("the .rse cannot be written: its comments hold a byte other than printable ASCII");
  if (!points.problem.empty()) throw DataError("the written curve would stray: " + points.problem);
  const std::string text = rse_text(comments, h, type, measured, points.points, time_decimals(dt));
  const MotorCheck c = check_rse(text);
  if (!c.problems.empty()) {
    const MotorProblem& p = c.problems.front();
    throw DataError("the .rse text breaks a reader's rule at line " + std::to_string(p.line) + ": " + p.rule + " (" +
                    p.readers + ")");
  }
  for (std::size_t k = 1; k < c.points.size(); ++k)
    if (!(c.points[k].t - c.points[k - 1].t >= kMinStep * (1.0 - 1e-6)))
      throw DataError("the .rse text breaks a reader's rule: two times lie closer than " + shortest_fixed(kMinStep) + " s");
  if (c.masses.empty() || std::fabs(c.masses.front() - grams(h.propellant_kg)) > 1e-4 || c.masses.back() != 0.0)
    throw DataError("the .rse text's mass does not run from the propellant mass to 0");
  if (const std::string p = figures_problem(measured, c.thrustcurve.total_impulse, c.thrustcurve, c.openrocket);
      !p.empty())
    throw DataError("as written in the .rse, " + p);
  return text;
}

}  // namespace kv::exporter
