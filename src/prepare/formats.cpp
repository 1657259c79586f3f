#include "prepare/formats.h"

#include <algorithm>
#include <cctype>

#include "companion/errors.h"

namespace kv::prepare {

using companion::DataError;

namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool number(std::string_view f, double& v) { return parse_number(trim(f), false, v); }

// The value of an XML attribute in a line: name="value".
std::optional<std::string_view> attribute(std::string_view line, std::string_view name) {
  for (std::size_t at = line.find(name); at != std::string_view::npos; at = line.find(name, at + 1)) {
    if (at > 0 && (std::isalnum(static_cast<unsigned char>(line[at - 1])) || line[at - 1] == '-')) continue;
    std::size_t i = at + name.size();
    while (i < line.size() && line[i] == ' ') ++i;
    if (i >= line.size() || line[i] != '=') continue;
    ++i;
    while (i < line.size() && line[i] == ' ') ++i;
    if (i >= line.size() || (line[i] != '"' && line[i] != '\'')) continue;
    const char q = line[i];
    const std::size_t end = line.find(q, i + 1);
    if (end == std::string_view::npos) return std::nullopt;
    return line.substr(i + 1, end - i - 1);
  }
  return std::nullopt;
}

// The lines that are not blank.
std::vector<const SampleLine*> filled(const std::vector<SampleLine>& lines) {
  std::vector<const SampleLine*> out;
  for (const auto& l : lines)
    if (!trim(l.text).empty()) out.push_back(&l);
  return out;
}

// LabVIEW: "LabVIEW Measurement" on the first line, keys and values in the header
// blocks, the column names on the line that starts with X_Value.
std::optional<FormatFacts> labview(const std::vector<SampleLine>& lines, const std::string& file) {
  if (lines.empty() || trim(lines.front().text).substr(0, 19) != "LabVIEW Measurement") return std::nullopt;
  FormatFacts f;
  f.format = FileFormat::LabviewLvm;
  f.delimiter = Delimiter::Tab;
  double delta = 0;
  std::string decimal = ".";
  for (const SampleLine& l : lines) {
    std::vector<std::string_view> kv;
    split_fields(l.text, Delimiter::Tab, kv);
    if (kv.empty()) continue;
    const std::string key(kv[0]);
    const std::string_view value = kv.size() > 1 ? kv[1] : std::string_view();
    if (key == "Separator") {
      const std::string v = lower(value);
      if (v == "comma") f.delimiter = Delimiter::Comma;
      else if (v == "tab") f.delimiter = Delimiter::Tab;
      else if (v.size() == 1) f.delimiter = Delimiter{v[0]};
    } else if (key == "Decimal_Separator") {
      decimal = std::string(value);
      f.decimal_comma = decimal == ",";
    } else if (key == "Delta_X") {
      if (!parse_number(value, f.decimal_comma, delta)) delta = 0;
    } else if (key == "X0") {
      if (!parse_number(value, f.decimal_comma, f.x0)) f.x0 = 0;
    } else if (key == "Y_Unit_Label") {
      Layout unit;
      unit.units = {"", std::string(value)};
      f.unit = header_thrust_unit(unit, 1);
    } else if (key == "X_Value") {
      std::vector<std::string_view> names;
      split_fields(l.text, *f.delimiter, names);
      f.header.assign(names.begin(), names.end());
      f.skip_lines = l.number;
      break;
    }
  }
  if (f.skip_lines == 0)
    throw DataError(file + ": a LabVIEW measurement file without its column-name line (X_Value ...) in its first " +
                    std::to_string(lines.size()) + " lines: give --skip-lines N and the columns");
  // The first data row: an empty X_Value field means the times come from Delta_X.
  for (const SampleLine& l : lines) {
    if (l.number <= f.skip_lines || trim(l.text).empty()) continue;
    std::vector<std::string_view> row;
    split_fields(l.text, *f.delimiter, row);
    f.no_time_column = !row.empty() && row[0].empty();
    break;
  }
  // Delta_X is the logger's rate even where the times are written too: they are checked
  // against each other.
  if (delta > 0) f.rate = 1.0 / delta;
  if (f.no_time_column && !(delta > 0))
    throw DataError(file + ": a LabVIEW measurement file without times nor a Delta_X: give --rate HZ");
  return f;
}

// RockSim: an XML engine database whose data lines are <eng-data t=".." f=".."/>.
std::optional<FormatFacts> rocksim(const std::vector<SampleLine>& lines) {
  bool database = false;
  FormatFacts f;
  for (const SampleLine& l : lines) {
    if (l.text.find("<engine-database") != std::string::npos) database = true;
    if (l.text.find("<engine ") != std::string::npos || l.text.find("<engine\t") != std::string::npos) {
      if (auto code = attribute(l.text, "code")) f.motor = std::string(*code);
      double grams = 0;
      if (auto prop = attribute(l.text, "propWt"); prop && number(*prop, grams) && grams > 0) f.propellant_kg = grams / 1000;
      double mm = 0;
      if (auto dia = attribute(l.text, "dia"); dia && number(*dia, mm) && mm > 0) f.diameter_mm = mm;
      if (auto len = attribute(l.text, "len"); len && number(*len, mm) && mm > 0) f.length_mm = mm;
    }
  }
  if (!database) return std::nullopt;
  f.format = FileFormat::RocksimRse;
  f.published_curve = true;
  f.delimiter = Delimiter::Blanks;
  return f;
}

// RASP: comments after ';', a header line of seven fields (name, diameter, length,
// delays, propellant kg, total kg, maker), then time-thrust pairs.
std::optional<FormatFacts> rasp(const std::vector<SampleLine>& lines) {
  for (const SampleLine& l : lines) {
    const std::string_view t = trim(l.text);
    if (t.empty() || t.front() == ';') continue;
    std::vector<std::string_view> h;
    split_fields(t, Delimiter::Blanks, h);
    double v = 0, prop = 0, total = 0;
    if (h.size() != 7 || number(h[0], v) || !number(h[1], v) || !number(h[2], v) || !number(h[4], prop) ||
        !number(h[5], total) || number(h[6], v))
      return std::nullopt;
    FormatFacts f;
    f.format = FileFormat::RaspEng;
    f.published_curve = true;
    f.delimiter = Delimiter::Blanks;
    f.skip_lines = l.number;
    f.motor = std::string(h[0]);
    f.propellant_kg = prop > 0 ? prop : 0;
    double diameter = 0, length = 0;
    if (number(h[1], diameter) && diameter > 0) f.diameter_mm = diameter;
    if (number(h[2], length) && length > 0) f.length_mm = length;
    return f;
  }
  return std::nullopt;
}

// The certification stand's file: a header of thirty lines of one value each, then one
// thrust a line. The header's lines that prepare reads:
//   line  1  the motor's name (text)
//   line  2  the casing's diameter, mm
//   line  3  the casing's length, mm
//   line  4  the propellant mass, g
//   line 17  the count of samples
//   line 27  the rate, Hz
// A value of 0 (or no number) on lines 2 to 4 is a stand that was not told it.
std::optional<FormatFacts> certification(const std::vector<SampleLine>& lines) {
  constexpr std::int64_t kHeader = 30, kNameLine = 1, kDiameterLine = 2, kLengthLine = 3, kPropellantLine = 4,
                         kCountLine = 17, kRateLine = 27;
  if (lines.size() < kHeader + 2) return std::nullopt;
  double count = 0, rate = 0, diameter = 0, length = 0, grams = 0;
  std::string name;
  for (const SampleLine& l : lines) {
    if (l.number > kHeader + 20) break;
    std::vector<std::string_view> fields;
    split_fields(l.text, Delimiter::Blanks, fields);
    double v = 0;
    if (l.number > kHeader) {
      if (fields.size() != 1 || !number(fields[0], v)) return std::nullopt;
      continue;
    }
    if (fields.empty()) return std::nullopt;
    if (l.number == kCountLine && (fields.size() != 1 || !number(fields[0], count))) return std::nullopt;
    if (l.number == kRateLine && (fields.size() != 1 || !number(fields[0], rate))) return std::nullopt;
    const bool one_number = fields.size() == 1 && number(fields[0], v) && v > 0;
    if (l.number == kNameLine && !number(trim(l.text), v)) name = std::string(trim(l.text));
    if (l.number == kDiameterLine && one_number) diameter = v;
    if (l.number == kLengthLine && one_number) length = v;
    if (l.number == kPropellantLine && one_number) grams = v;
  }
  if (!(count >= 2 && count == static_cast<double>(static_cast<std::int64_t>(count)) && rate >= 1 && rate <= 1e6))
    return std::nullopt;
  FormatFacts f;
  f.format = FileFormat::CertificationDat;
  f.delimiter = Delimiter::Blanks;
  f.skip_lines = kHeader;
  f.no_time_column = true;
  f.rate = rate;
  f.declared_points = static_cast<std::int64_t>(count);
  f.motor = name;
  f.propellant_kg = grams / 1000;
  f.diameter_mm = diameter;
  f.length_mm = length;
  return f;
}

// Two rows of many numbers: all the times, then all the thrusts.
std::optional<FormatFacts> two_rows(const std::vector<SampleLine>& lines, const LayoutRequest& request) {
  std::vector<const SampleLine*> rows;
  for (const SampleLine* l : filled(lines))
    if (!is_comment(l->text)) rows.push_back(l);
  if (rows.size() != 2) return std::nullopt;
  const Delimiter d = request.delimiter.value_or(
      rows[0]->text.find(';') != std::string::npos ? Delimiter::Semicolon
      : rows[0]->text.find('\t') != std::string::npos ? Delimiter::Tab
      : rows[0]->text.find(',') != std::string::npos && rows[0]->text.find('.') != std::string::npos ? Delimiter::Comma
                                                                                                      : Delimiter::Blanks);
  std::vector<std::string_view> a, b;
  split_fields(rows[0]->text, d, a);
  split_fields(rows[1]->text, d, b);
  if (a.size() < 8 || a.size() != b.size()) return std::nullopt;
  FormatFacts f;
  f.format = FileFormat::TwoRows;
  f.delimiter = d;
  return f;
}

}  // namespace

std::string_view format_name(FileFormat f) {
  switch (f) {
    case FileFormat::Delimited: return "delimited text";
    case FileFormat::CertificationDat: return "a certification stand's .DAT";
    case FileFormat::LabviewLvm: return "a LabVIEW measurement file (.lvm)";
    case FileFormat::RaspEng: return "a RASP motor curve (.eng)";
    case FileFormat::RocksimRse: return "a RockSim motor curve (.rse)";
    case FileFormat::TwoRows: return "two rows (the times, then the thrusts)";
  }
  return "delimited text";
}

FormatFacts detect_format(const std::vector<SampleLine>& lines, const LayoutRequest& request, const std::string& file) {
  if (request.skip_lines > 0) return {};
  if (auto f = labview(lines, file)) return *f;
  if (auto f = rocksim(lines)) return *f;
  if (request.delimiter) {
    if (auto f = two_rows(lines, request)) return *f;
    return {};
  }
  if (auto f = rasp(lines)) return *f;
  if (auto f = certification(lines)) return *f;
  if (auto f = two_rows(lines, request)) return *f;
  return {};
}

bool rse_point(std::string_view line, std::string_view& t, std::string_view& f) {
  if (line.find("<eng-data") == std::string_view::npos) return false;
  const auto a = attribute(line, "t"), b = attribute(line, "f");
  if (!a || !b) return false;
  t = *a;
  f = *b;
  return true;
}

}  // namespace kv::prepare
