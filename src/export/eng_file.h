// The RASP engine file (.eng) that simulators such as OpenRocket and RockSim read:
// comment lines starting with ";", one header line of seven fields, then one line of
// "time thrust" per point, the origin implicit and the last thrust zero.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "export/eng_curve.h"

namespace kv::exporter {

// The seven fields of the header line. The texts hold printable ASCII and no blank.
struct EngHeader {
  std::string name;        // e.g. "D12"
  double diameter_mm = 0.0;
  double length_mm = 0.0;
  std::string delays;      // e.g. "P" or "3-5-7"
  double propellant_kg = 0.0;
  double total_kg = 0.0;
  std::string maker;
};

// What was written, as read back from the text.
struct EngSummary {
  std::size_t points = 0;
  double total_impulse = 0.0;  // N s, trapezoid from the implicit origin
  double peak = 0.0;           // N
  double burn_time = 0.0;      // s, time of the last point
};

// The largest share of the measured total impulse, and of the measured peak, by which
// the written curve may differ from the measured one.
inline constexpr double kImpulseTolerance = 0.005;
inline constexpr double kPeakTolerance = 0.01;

// Why a text cannot be a header field, or empty when it can: it must be non-empty
// printable ASCII without blanks; a name must not hold a dash either, since readers take
// what follows a dash for a delay.
std::string header_field_problem(std::string_view text, bool is_name);
// Why a delays field is not "P" or whole seconds joined by dashes ("3-5-7"); empty when
// it is one.
std::string delays_problem(std::string_view text);

// The digits after the point for times of a curve sampled every dt seconds: enough to
// place every time within dt/1000.
int time_decimals(double dt);

// The header line, without its line end.
std::string eng_header_line(const EngHeader& header);

// The text of the file, CR LF line ends: `comments` (Windows-1252 bytes, one line each,
// written after "; "), the header, the points.
std::string eng_text(const std::vector<std::string>& comments, const EngHeader& header,
                     std::span<const EngPoint> points, int decimals);

// Reads the points back from eng_text's output, checks that they follow the rules the
// readers rely on (times strictly increasing from above 0, last thrust 0, no negative
// thrust) and that impulse and peak stay within the tolerances of the measured ones;
// a DataError says what went wrong and what to try.
EngSummary check_eng_text(std::string_view text, double measured_impulse, double measured_peak);

}  // namespace kv::exporter
