// The RASP engine file (.eng) that simulators such as OpenRocket, RockSim and
// ThrustCurve.org read: comment lines starting with ";", one header line of seven fields,
// then one line of "time thrust" per point, the origin implicit and the last thrust zero,
// and a closing ";" line, so that files can be joined into one.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "export/motor_points.h"

namespace kv::exporter {

// The seven fields of the header line.
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
  ReaderFigures thrustcurve, openrocket;
};

// The limits the readers put on the header's values (ThrustCurve refuses smaller ones;
// OpenRocket drops a delay of 99 s or more and refuses a propellant mass above the total).
inline constexpr double kMinSizeMm = 1.0;
inline constexpr double kMaxSizeMm = 1000.0;
inline constexpr double kMinPropellantKg = 0.0001;
inline constexpr double kMinTotalKg = 0.001;
inline constexpr int kMaxDelay = 98;

// Why a text cannot be a header field, or empty when it can: it must be non-empty
// printable ASCII without blanks; a name must not hold a dash either, since readers take
// what follows a dash for a delay.
std::string header_field_problem(std::string_view text, bool is_name);
// Why a delays field is not "P" or whole seconds below 99 joined by dashes ("3-5-7");
// empty when it is one.
std::string delays_problem(std::string_view text);
// Why a size (mm) or a mass (kg) cannot be written; empty when it can. `what` names it.
std::string size_problem(double mm);
std::string propellant_problem(double kg);
std::string total_mass_problem(double total_kg, double propellant_kg);

// The digits after the point for times of a curve sampled every dt seconds: enough to
// place every time within dt/1000, and kMinStep exactly.
int time_decimals(double dt);

// The header line, without its line end.
std::string eng_header_line(const EngHeader& header);

// The text of the file, CR LF line ends: `comments` (printable ASCII, one line each,
// written after "; "), the header, the points, the closing ";" line.
std::string eng_text(const std::vector<std::string>& comments, const EngHeader& header,
                     std::span<const EngPoint> points, int decimals);

// Reads the text back as the readers do and checks every rule they rely on: ASCII only,
// CR LF, the header's seven fields and their limits, times from kMinStep on and at least
// kMinStep apart, no zero thrust before the last point, the last zero, the closing ";";
// and that each reader's figures of the written points stay within the tolerances of the
// measured ones. A DataError says what went wrong.
EngSummary check_eng_text(std::string_view text, const MeasuredFigures& measured);

// The file for points and header values, with every check made: the header's fields and
// values, the text read back. A DataError says what cannot be written.
std::string write_eng_text(const std::vector<std::string>& comments, const EngHeader& header,
                           const MotorPoints& points, const MeasuredFigures& measured, double dt,
                           EngSummary* summary = nullptr);

}  // namespace kv::exporter
