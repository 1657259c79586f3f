// The RockSim engine file (.rse) that RockSim, OpenRocket and ThrustCurve.org read: one
// <engine> in an <engine-database><engine-list>, its figures as attributes, and the curve
// as <eng-data t f m cg/> points from t="0" f="0", where m is the propellant left (g),
// falling from the propellant mass to 0 in proportion to the impulse delivered.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "export/eng_file.h"
#include "export/motor_points.h"

namespace kv::exporter {

// The motor's type, as RockSim names it.
inline constexpr std::string_view kMotorTypes[] = {"single-use", "reloadable", "hybrid"};

// The propellant left at each written point (g): the propellant mass less its share of
// the impulse delivered up to the point, 0 at the last; a value for the origin first.
std::vector<double> propellant_left(std::span<const EngPoint> points, double propellant_g);

// The text of the file, CR LF line ends. `comments` is printable ASCII; the figures are
// the measured ones (the NFPA 1125 total impulse, average, peak and burn time).
std::string rse_text(const std::string& comments, const EngHeader& header, std::string_view type,
                     const MeasuredFigures& figures, std::span<const EngPoint> points, int decimals);

// The file for points and header values, with every check made: the header's values, the
// text read back as the readers read it (one engine, every attribute they require, times
// from 0 rising by at least kMinStep, the last thrust zero, the mass falling from the
// propellant mass to 0, each reader's figures within the tolerances). A DataError says
// what cannot be written.
std::string write_rse_text(const std::string& comments, const EngHeader& header, std::string_view type,
                           const MotorPoints& points, const MeasuredFigures& measured, double dt);

}  // namespace kv::exporter
