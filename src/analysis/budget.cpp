#include "analysis/budget.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>
#include <utility>

#include "analysis/impulse.h"
#include "analysis/mass_flow.h"
#include "analysis/nfpa.h"
#include "analysis/uncertainty.h"

namespace kv {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Where the figures of a curve come from: the span the impulse is counted over, the span
// between the burn's crossings, and the slopes at the two crossings.
struct Spans {
  std::size_t impulse_first = 0, impulse_last = 0;  // points whose weights carry the impulse
  double impulse_length = 0.0;                       // s
  std::size_t inside_first = 0, inside_last = 0;     // the same for the impulse between the crossings
  double threshold = 0.0;                            // N; 0 for the window
  double slope_start = kNaN, slope_end = kNaN;       // N/s at the crossings; NaN for the window
  bool crossings = false;
};

// 10^n, the same double on every system: a whole power of ten up to 10^22 is exact, and
// its reciprocal a single rounding (std::pow need not be correctly rounded).
double power_of_ten(int n) {
  double p = 1.0;
  for (int k = 0; k < (n < 0 ? -n : n) && k < 400; ++k) p *= 10.0;
  return n < 0 ? 1.0 / p : p;
}

double noise_over(double sigma, double dt, std::size_t first, std::size_t last) {
  return impulse_noise(sigma, UniformTimes{dt}, first, last);
}

double richardson_over(std::span<const double> F, double dt, std::size_t first, std::size_t last) {
  if (last <= first) return 0.0;
  return std::fabs(richardson(F.subspan(first, last - first + 1), dt));
}

// The budget's figures, its lines and the combination, shared by both sets.
class Builder {
 public:
  Builder(std::span<const double> F, double dt, const Spans& sp, const BudgetInputs& in, double It, double tb,
          double inside, double peak)
      : F_(F), dt_(dt), sp_(sp), in_(in) {
    b_.value[kTotalImpulse] = It;
    b_.value[kBurnTime] = tb;
    b_.value[kAverage] = inside / tb;
    b_.value[kPeak] = peak;
    if (in.mass_kg && *in.mass_kg > 0.0) {
      b_.value[kExhaustVelocity] = exhaust_velocity(It, *in.mass_kg);
      b_.value[kSpecificImpulse] = specific_impulse(b_.value[kExhaustVelocity]);
    } else {
      b_.value[kExhaustVelocity] = b_.value[kSpecificImpulse] = kNaN;
    }
  }

  Budget finish() {
    for (std::size_t f = 0; f < kFigures; ++f) {
      double sum = 0.0;
      for (const BudgetTerm& t : b_.terms) sum += t.u[f] * t.u[f];
      b_.u[f] = std::isfinite(b_.value[f]) ? std::sqrt(sum) : kNaN;
      b_.U[f] = kCoverage * b_.u[f];
    }
    b_.class_probability = class_probability(b_.value[kTotalImpulse], b_.u[kTotalImpulse]);
    b_.number_probability = number_probability(b_.value[kAverage], b_.u[kAverage]);
    return b_;
  }

  // A line whose share of the total impulse the specific impulse and the exhaust
  // velocity take over (both are It / M times a constant).
  BudgetTerm& term(std::string source, std::string model, std::string from, double u_It) {
    BudgetTerm t;
    t.source = std::move(source);
    t.model = std::move(model);
    t.from = std::move(from);
    t.u[kTotalImpulse] = u_It;
    const double share = u_It / b_.value[kTotalImpulse];
    t.u[kSpecificImpulse] = share * b_.value[kSpecificImpulse];
    t.u[kExhaustVelocity] = share * b_.value[kExhaustVelocity];
    if (!std::isfinite(b_.value[kSpecificImpulse])) t.u[kSpecificImpulse] = t.u[kExhaustVelocity] = 0.0;
    b_.terms.push_back(std::move(t));
    return b_.terms.back();
  }

  // A source not known; `own` names it when it would differ from firing to firing.
  void leave_out(std::string what, std::string own = {}) {
    b_.left_out.push_back(std::move(what));
    if (!own.empty()) b_.own_left_out.push_back(std::move(own));
  }

  // A thrust error the same at every point (a slope's share, an offset): it moves the
  // impulse by its size times the impulse's span, the average and the peak by its size.
  BudgetTerm& offset_term(std::string source, std::string model, std::string from, double uF) {
    BudgetTerm& t = term(std::move(source), std::move(model), std::move(from), uF * sp_.impulse_length);
    t.u[kAverage] = uF;
    t.u[kPeak] = uF;
    return t;
  }

  // An error of each reading independent of the others (noise, rounding) of deviation
  // sigma: through the trapezoid's weights into the impulses, straight into the peak,
  // and through the curve's slope into the crossings.
  void independent_term(std::string source, std::string model, std::string from, double sigma) {
    BudgetTerm& t =
        term(std::move(source), std::move(model), std::move(from), noise_over(sigma, dt_, sp_.impulse_first, sp_.impulse_last));
    const double tb = b_.value[kBurnTime];
    const double u_inside = noise_over(sigma, dt_, sp_.inside_first, sp_.inside_last);
    double u_tb = 0.0;
    if (sp_.crossings) {
      const double a = crossing_time(sigma, sp_.slope_start), z = crossing_time(sigma, sp_.slope_end);
      u_tb = std::sqrt(a * a + z * z);
    }
    t.u[kBurnTime] = u_tb;
    const double a = u_inside / tb, z = crossing_on_average(u_tb);
    t.u[kAverage] = std::sqrt(a * a + z * z);
    t.u[kPeak] = sigma;
  }

  // A crossing that moves by dt moves the impulse between the crossings by the threshold
  // times dt and the burn time by dt: the average by (threshold - average) dt / tb.
  double crossing_on_average(double u_tb) const {
    return std::fabs(b_.value[kAverage] - sp_.threshold) * u_tb / b_.value[kBurnTime];
  }

  void build() {
    const double It = b_.value[kTotalImpulse];
    const double tb = b_.value[kBurnTime];
    if (in_.slope_share) {
      const double s = *in_.slope_share;
      BudgetTerm& t = term("calibration slope", "(u_K / K) x figure, fully correlated", in_.slope_from, s * It);
      t.common = true;
      t.u[kAverage] = s * b_.value[kAverage];
      t.u[kPeak] = s * b_.value[kPeak];
    } else {
      leave_out("calibration slope: no calibration and no --slope-uncertainty");
    }
    if (in_.nonlinearity_N)
      offset_term("non-linearity and hysteresis", "bound b, rectangular: b / sqrt(3) at every point", in_.nonlinearity_from,
                  rectangular(*in_.nonlinearity_N))
          .common = true;
    else
      leave_out("non-linearity and hysteresis: no calibration and no --nonlinearity with --full-scale");
    if (in_.tare_offset_N)
      offset_term("tare offset", "the offset's standard uncertainty at every point", in_.tare_from, *in_.tare_offset_N);
    if (in_.tare_drift_N)
      offset_term("tare drift", "drift d between the tare spans: within +-d at any point, rectangular: d / sqrt(3)",
                  in_.tare_from, rectangular(*in_.tare_drift_N));
    if (!in_.tare_offset_N && !in_.tare_drift_N)
      leave_out("tare offset and drift: no record of how the case was made", "tare offset and drift");
    if (in_.noise_sigma_N)
      independent_term("noise", "sigma x sqrt(sum of the squared trapezoid weights); sigma / |dF/dt| at each crossing",
                       in_.noise_from, *in_.noise_sigma_N);
    else
      leave_out("noise: no baseline deviation known", "noise");
    if (in_.quantisation_N)
      independent_term("quantisation", "step / sqrt(12) at each reading, as noise", in_.quantisation_from,
                       quantisation(*in_.quantisation_N));
    {
      BudgetTerm& t = term("integration", "Richardson: trapezoid at dt against 2 dt, divided by 3", "the curve",
                           richardson_over(F_, dt_, sp_.impulse_first, sp_.impulse_last));
      t.u[kAverage] = richardson_over(F_, dt_, sp_.inside_first, sp_.inside_last) / tb;
    }
    if (sp_.crossings) {
      BudgetTerm& t = term("crossings on the grid", "each crossing within half a step, rectangular", "the curve", 0.0);
      t.u[kBurnTime] = std::sqrt(2.0) * rectangular(dt_ / 2.0);
      t.u[kAverage] = crossing_on_average(t.u[kBurnTime]);
    }
    if (in_.clock_share) {
      const double c = *in_.clock_share;
      BudgetTerm& t = term("clock", "rate error x figure: times scale, thrusts do not; a reference clock is not checked",
                           in_.clock_from, c * It);
      t.common = true;
      t.u[kBurnTime] = sp_.crossings ? c * tb : 0.0;
    } else {
      leave_out("clock: the logger's rate is not checked against a reference clock");
    }
    if (in_.mass_kg && *in_.mass_kg > 0.0) {
      if (in_.mass_u_kg) {
        const double share = *in_.mass_u_kg / *in_.mass_kg;
        BudgetTerm& t = term("propellant mass", "(u_M / M) x figure", in_.mass_from, 0.0);
        t.u[kSpecificImpulse] = share * b_.value[kSpecificImpulse];
        t.u[kExhaustVelocity] = share * b_.value[kExhaustVelocity];
      } else {
        leave_out("propellant mass: its uncertainty is not known");
      }
    } else {
      leave_out("specific impulse and exhaust velocity: no propellant mass");
    }
  }

 private:
  std::span<const double> F_;
  double dt_;
  Spans sp_;
  const BudgetInputs& in_;
  Budget b_;
};

double slope_between(std::span<const double> F, double dt, std::size_t a, std::size_t b) {
  return (F[b] - F[a]) / dt;
}

}  // namespace

Budget nfpa_budget(std::span<const double> F, double dt, double measurable, const BudgetInputs& in) {
  const UniformTimes times{dt};
  const NfpaFigures n = nfpa_figures(F, times);
  Spans sp;
  const Crossings c = crossings(F, times, peak_index(F), n.threshold);
  const std::size_t last = last_measurable(F, c, measurable);
  const double It = impulse_from_rise(F, times, c, n.threshold, measurable);
  sp.impulse_first = c.first > 0 ? c.first - 1 : 0;
  sp.impulse_last = last;
  sp.impulse_length = times.at(last) - c.start;
  sp.inside_first = sp.impulse_first;
  sp.inside_last = c.last + 1 < F.size() ? c.last + 1 : c.last;
  sp.threshold = n.threshold;
  sp.crossings = true;
  sp.slope_start = c.first > 0 ? slope_between(F, dt, c.first - 1, c.first) : kNaN;
  sp.slope_end = c.last + 1 < F.size() ? slope_between(F, dt, c.last, c.last + 1) : kNaN;
  Builder b(F, dt, sp, in, It, n.burn_time, n.burn_impulse, n.peak);
  b.build();
  return b.finish();
}

Budget window_budget(std::span<const double> F, double dt, double It, double tb, double average,
                     const BudgetInputs& in) {
  Spans sp;
  sp.impulse_first = 0;
  sp.impulse_last = F.empty() ? 0 : F.size() - 1;
  sp.impulse_length = UniformTimes{dt}.at(sp.impulse_last);
  sp.inside_first = sp.impulse_first;
  sp.inside_last = sp.impulse_last;
  Builder b(F, dt, sp, in, It, tb, average * tb, F.empty() ? kNaN : F[peak_index(F)]);
  b.build();
  return b.finish();
}

double own_uncertainty(const Budget& b, Figure f) {
  double sum = 0.0;
  for (const BudgetTerm& t : b.terms)
    if (!t.common) sum += t.u[f] * t.u[f];
  return std::sqrt(sum);
}

double noise_from_curve(std::span<const double> F) {
  if (F.size() < 3) return 0.0;
  std::vector<double> d(F.size() - 2);
  for (std::size_t k = 1; k + 1 < F.size(); ++k) d[k - 1] = F[k - 1] - 2.0 * F[k] + F[k + 1];
  const auto median = [](std::vector<double>& v) {
    const auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
    std::nth_element(v.begin(), mid, v.end());
    return *mid;
  };
  const double centre = median(d);
  for (double& x : d) x = std::fabs(x - centre);
  return 1.4826 * median(d) / std::sqrt(6.0);
}

double last_digit_uncertainty(double value) {
  if (!(std::isfinite(value) && value != 0.0)) return 0.0;
  char text[64];
  const auto r = std::to_chars(text, text + sizeof text, std::fabs(value), std::chars_format::scientific);
  const std::string_view s(text, static_cast<std::size_t>(r.ptr - text));
  // d.ddddde±XX: the last digit's place is the exponent less the digits after the point.
  const std::size_t e = s.find('e');
  const std::size_t point = s.find('.');
  const int decimals = point == std::string_view::npos ? 0 : static_cast<int>(e - point - 1);
  int exponent = 0;
  std::from_chars(s.data() + e + 1 + (s[e + 1] == '+' ? 1 : 0), s.data() + s.size(), exponent);
  return rectangular(0.5 * power_of_ten(exponent - decimals));
}

double last_digit_uncertainty(std::string_view typed) {
  const std::size_t e = typed.find_first_of("eE");
  const std::string_view mantissa = typed.substr(0, e);
  int exponent = 0;
  if (e != std::string_view::npos) {
    std::string_view x = typed.substr(e + 1);
    if (!x.empty() && x.front() == '+') x.remove_prefix(1);
    const auto r = std::from_chars(x.data(), x.data() + x.size(), exponent);
    if (r.ec != std::errc{} || r.ptr != x.data() + x.size()) return 0.0;
  }
  const std::size_t point = mantissa.find_first_of(".,");
  int decimals = 0, digits = 0;
  for (std::size_t i = 0; i < mantissa.size(); ++i) {
    const char c = mantissa[i];
    if (c >= '0' && c <= '9') {
      ++digits;
      if (point != std::string_view::npos && i > point) ++decimals;
    } else if (i != point && !(i == 0 && (c == '+' || c == '-'))) {
      return 0.0;
    }
  }
  if (digits == 0) return 0.0;
  return rectangular(0.5 * power_of_ten(exponent - decimals));
}

}  // namespace kv
