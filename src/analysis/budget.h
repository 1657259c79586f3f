// The uncertainty budget of a firing's figures: each source of error, its model, and
// what it contributes to each figure as a standard uncertainty in the figure's unit; the
// figure's combined standard uncertainty u and its expanded uncertainty U = k u.
//
// A source whose input is not known is left out of the budget and named in `left_out`,
// so that no U is ever shown as if it held a term it does not hold.
//
// The figures are those of a thrust curve sampled every dt seconds: either the NFPA 1125
// set (the total impulse from the 5 % rise to the last measurable thrust, the burn time
// between the 5 % crossings, the average over it) or the window's (the impulse over the
// whole curve, the window's length as burn time, which the user set and which is exact).
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

// What is known of the sources. Every field is absent unless something measured or
// stated it.
struct BudgetInputs {
  std::optional<double> slope_share;      // u_K / K of the calibration slope (0.003 for 0.3 %)
  std::optional<double> nonlinearity_N;   // bound on the non-linearity and hysteresis, N
  std::optional<double> tare_offset_N;    // standard uncertainty of the tare offset, N
  std::optional<double> tare_drift_N;     // drift of the baseline between the tare spans, N
  std::optional<double> noise_sigma_N;    // standard deviation of the quiet baseline, N
  std::optional<double> quantisation_N;   // the smallest step of the readings, N
  std::optional<double> clock_share;      // standard uncertainty of the logger's rate, as a share
  std::optional<double> mass_kg;          // propellant mass
  std::optional<double> mass_u_kg;        // its standard uncertainty
  // Where each came from, in words, for the budget's table ("the calibration", "--slope-
  // uncertainty"); empty strings where nothing is to be said.
  std::string slope_from, nonlinearity_from, tare_from, noise_from, quantisation_from, clock_from, mass_from;
};

// One line of a budget: what it is, how it is modelled, and its contribution to each
// figure (a standard uncertainty in the figure's unit; 0 where the source does not
// reach the figure).
enum Figure : std::size_t { kTotalImpulse, kBurnTime, kAverage, kPeak, kSpecificImpulse, kExhaustVelocity, kFigures };

struct BudgetTerm {
  std::string source;  // "calibration slope"
  std::string model;   // "(u_K / K) x figure, fully correlated"
  std::string from;    // where its input came from
  double u[kFigures] = {};
  // Alike in every firing made with the same calibration and the same logger (the slope,
  // the non-linearity, the clock): such a term moves a series' mean, not its spread.
  bool common = false;
};

struct Budget {
  double value[kFigures] = {};
  double u[kFigures] = {};
  double U[kFigures] = {};
  std::vector<BudgetTerm> terms;
  std::vector<std::string> left_out;  // "tare offset and drift: ..." for each source not known
  // Of those, the sources that would differ from firing to firing and reach the total
  // impulse, by name ("tare offset and drift", "noise").
  std::vector<std::string> own_left_out;
  // The probability that the total impulse's class and the average's number are the ones
  // its value gives (Gaussian, from u of each).
  double class_probability = 0.0;
  double number_probability = 0.0;
};

// The names and units of the figures, in the order of Figure.
inline constexpr const char* kFigureNames[kFigures] = {"total impulse",    "burn time",        "average thrust",
                                                       "peak thrust",      "specific impulse", "exhaust velocity"};
inline constexpr const char* kFigureUnits[kFigures] = {"N s", "s", "N", "N", "s", "m/s"};

// The budget of the NFPA 1125 figures of a curve with a positive peak, its total impulse
// counted from the 5 % rise to the last thrust above `measurable` (N), as
// impulse_from_rise counts it.
Budget nfpa_budget(std::span<const double> F, double dt, double measurable, const BudgetInputs& in);

// The budget of the window's figures: the impulse over the whole curve, the window's
// length as the burn time, the average over it, each as the program gives it (It, tb,
// average), since the curve at hand may hold fewer digits than the program's own.
Budget window_budget(std::span<const double> F, double dt, double It, double tb, double average,
                     const BudgetInputs& in);

// The part of a figure's standard uncertainty that differs from firing to firing: the
// terms not alike in every firing on one stand, combined.
double own_uncertainty(const Budget& b, Figure f);

// The noise of a curve from the curve itself: the second differences F[k-1] - 2 F[k] +
// F[k+1] of white noise of deviation sigma have deviation sigma sqrt(6); their median
// absolute deviation (times 1.4826, robust against the few points where the curve
// bends) gives sigma. Quantisation steps finer than the noise are part of what it finds.
// 0 for fewer than three points.
double noise_from_curve(std::span<const double> F);

// The standard uncertainty of a value known to the digits of its shortest decimal
// form: half its last digit, rectangular (0.0125 kg: 0.00005 / sqrt(3)).
double last_digit_uncertainty(double value);
// The same for a number as it was typed ("0.020", "2,5e-2"): its last digit's place as
// written, trailing zeros included; 0 when the text is no number.
double last_digit_uncertainty(std::string_view typed);

}  // namespace kv
