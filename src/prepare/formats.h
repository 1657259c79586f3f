// The kinds of file a team brings besides plain delimited text, found from their
// content: the certification test stand's .DAT (a header of one value a line, then one
// thrust a line), LabVIEW's measurement file (.lvm), a published motor curve (RASP .eng,
// RockSim .rse), and a record stored as two rows (all times, then all thrusts). Each is
// read as delimited text with what its header says: where the data starts, the rate,
// the separators, the unit, and the motor's name and propellant mass where it gives them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "prepare/logger_format.h"

namespace kv::prepare {

enum class FileFormat : std::uint8_t { Delimited, CertificationDat, LabviewLvm, RaspEng, RocksimRse, TwoRows };

// What the summary calls it: "delimited text", "certification .DAT", ...
std::string_view format_name(FileFormat f);

struct FormatFacts {
  FileFormat format = FileFormat::Delimited;
  // How to read it as delimited text: these replace what the user did not say.
  std::optional<Delimiter> delimiter;
  bool decimal_comma = false;
  std::int64_t skip_lines = 0;     // the header's lines
  bool no_time_column = false;     // times from `rate`
  double rate = 0;                 // Hz, the header's (the logger's rate it states)
  double x0 = 0;                   // s, the time of the first sample
  std::optional<ThrustUnit> unit;  // the header's unit of the thrust
  std::vector<std::string> header; // column names the header gives
  // What it says of the motor, for the case's defaults.
  std::string motor;
  double propellant_kg = 0;        // 0 where it does not say
  double diameter_mm = 0, length_mm = 0;  // the casing's; 0 where it does not say
  std::int64_t declared_points = 0;  // the header's count of samples (.DAT)
  bool published_curve = false;    // a curve already tared and cut: no baseline to tare on
};

// The format of a file from its first lines (all of them, blank ones included, with
// their numbers). The user's --skip-lines makes it plain text; with --delimiter only a
// LabVIEW file, a RockSim curve or two rows split by that delimiter are told apart.
FormatFacts detect_format(const std::vector<SampleLine>& lines, const LayoutRequest& request, const std::string& file);

// The time and thrust of an .rse data line (<eng-data t="0.1" f="12.5" .../>); false for
// another line.
bool rse_point(std::string_view line, std::string_view& t, std::string_view& f);

}  // namespace kv::prepare
