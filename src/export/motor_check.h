// A motor file (.eng or .rse, anyone's) read as the simulators read it: every rule it
// breaks, with its line and which reader rejects it or reads it differently, and the
// figures each reader shows of it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "export/reader_figures.h"

namespace kv::exporter {

struct MotorProblem {
  std::size_t line = 0;  // from 1; 0 for the file as a whole
  std::string rule;      // what is wrong
  std::string readers;   // who rejects it or reads it differently, and how
};

struct MotorCheck {
  bool rse = false;
  std::vector<MotorProblem> problems;  // rules broken
  std::vector<MotorProblem> notes;     // advice that no reader enforces
  std::vector<EngPoint> points;        // as OpenRocket takes them (a point at 0 s is the origin)
  std::string name;                    // the header's, as OpenRocket shows it
  std::string thrustcurve_name;        // the one ThrustCurve builds from the curve
  bool thrustcurve_loads = true, openrocket_loads = true;
  ReaderFigures thrustcurve, openrocket;
  double propellant_g = 0.0, total_g = 0.0;  // as the header gives them
  std::vector<double> masses;                // .rse: the m of each point, g
};

// Reads the text of a RASP .eng file, or of a RockSim .rse file.
MotorCheck check_eng(std::string_view text);
MotorCheck check_rse(std::string_view text);
// Either, by its content: a file whose first character other than a blank is "<" is a
// .rse.
MotorCheck check_motor(std::string_view text);

// The report: "FILE:LINE: rule: readers" for each problem, the notes, then the figures
// each reader shows.
std::string motor_check_report(const MotorCheck& c, std::string_view shown_name);

}  // namespace kv::exporter
