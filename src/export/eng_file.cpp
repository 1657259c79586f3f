#include "export/eng_file.h"

#include <charconv>
#include <cmath>
#include <system_error>

#include "analysis/impulse.h"
#include "companion/errors.h"
#include "companion/number_text.h"

namespace kv::exporter {

using companion::append_fixed_trimmed;
using companion::append_shortest_fixed;
using companion::DataError;
using companion::shortest_fixed;

std::string header_field_problem(std::string_view text, bool is_name) {
  if (text.empty()) return "it is empty";
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == ' ' || c == '\t') return "it holds a blank, which would split the field in two";
    if (c < 0x21 || c > 0x7E) return "it holds a character other than printable ASCII";
    if (is_name && c == '-')
      return "it holds a dash: readers take what follows a dash for a delay (H128-W would be read as H128 with delay W)";
    if (c == ';') return "it holds a semicolon, which readers take for the start of a comment";
  }
  return {};
}

std::string delays_problem(std::string_view text) {
  if (text == "P") return {};
  const char* form = "it must be P (plugged) or delays in whole seconds joined by dashes, such as 3-5-7";
  if (text.empty()) return "it is empty";
  std::size_t at = 0;
  while (at <= text.size()) {
    std::size_t end = text.find('-', at);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view d = text.substr(at, end - at);
    if (d.empty() || d.find_first_not_of("0123456789") != std::string_view::npos) return form;
    if (d.size() > 2 || (d.size() == 2 && d > "98"))
      return "a delay of " + std::string(d) + " s is too long: OpenRocket drops delays of 99 s or more";
    at = end + 1;
  }
  return {};
}

std::string size_problem(double mm) {
  if (!(mm >= kMinSizeMm))
    return shortest_fixed(mm) + " mm is below 1 mm, which ThrustCurve refuses: the size is in millimetres (24 for a 24 mm motor)";
  if (!(mm <= kMaxSizeMm))
    return shortest_fixed(mm) + " mm is above 1000 mm: the size is in millimetres (24 for a 24 mm motor)";
  return {};
}

std::string propellant_problem(double kg) {
  if (!(kg >= kMinPropellantKg) || !std::isfinite(kg))
    return shortest_fixed(kg) + " kg is below 0.0001 kg (0.1 g), which ThrustCurve refuses: the mass is in kilograms";
  return {};
}

std::string total_mass_problem(double total_kg, double propellant_kg) {
  if (!(total_kg >= kMinTotalKg) || !std::isfinite(total_kg))
    return shortest_fixed(total_kg) + " kg is below 0.001 kg (1 g), which ThrustCurve refuses: the mass is in kilograms";
  if (total_kg < propellant_kg)
    return shortest_fixed(total_kg) + " kg is less than the propellant mass (" + shortest_fixed(propellant_kg) +
           " kg), which OpenRocket refuses";
  return {};
}

int time_decimals(double dt) {
  if (!(dt > 0.0) || !std::isfinite(dt)) return 12;
  const double digits = std::ceil(std::log10(1000.0 / dt) - 1e-9);
  if (!(digits > 4.0)) return 4;
  if (!(digits < 12.0)) return 12;
  return static_cast<int>(digits);
}

std::string eng_header_line(const EngHeader& h) {
  std::string s = h.name;
  for (const std::string& field : {shortest_fixed(h.diameter_mm), shortest_fixed(h.length_mm), h.delays,
                                   shortest_fixed(h.propellant_kg), shortest_fixed(h.total_kg), h.maker})
    s.append(" ").append(field);
  return s;
}

std::string eng_text(const std::vector<std::string>& comments, const EngHeader& h, std::span<const EngPoint> points,
                     int decimals) {
  std::string s;
  s.reserve(256 + points.size() * 24);
  for (const std::string& c : comments) s.append("; ").append(c).append("\r\n");
  s.append(eng_header_line(h)).append("\r\n");
  for (const EngPoint& q : points) {
    s += "   ";
    append_fixed_trimmed(s, q.t, decimals);
    s += ' ';
    append_shortest_fixed(s, q.F);
    s += "\r\n";
  }
  s += ";\r\n";
  return s;
}

namespace {

// A number as the strictest reader takes it: digits with at most one point, no sign, no
// exponent.
bool plain_number(std::string_view text, double& v) {
  if (text.empty() || text.find_first_not_of("0123456789.") != std::string_view::npos) return false;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
  return r.ec == std::errc{} && r.ptr == text.data() + text.size() && std::isfinite(v);
}

}  // namespace

EngSummary check_eng_text(std::string_view text, const MeasuredFigures& measured) {
  EngSummary r;
  std::vector<EngPoint> points;
  bool header = false, closed = false;
  std::size_t at = 0;
  const auto wrong = [](const std::string& what) { throw DataError("the .eng text breaks a reader's rule: " + what); };
  while (at < text.size()) {
    const std::size_t end = text.find("\r\n", at);
    if (end == std::string_view::npos) wrong("its last line has no CR LF");
    const std::string_view line = text.substr(at, end - at);
    at = end + 2;
    for (const char ch : line)
      if (static_cast<unsigned char>(ch) < 0x20 || static_cast<unsigned char>(ch) > 0x7E)
        wrong("a line holds a byte other than printable ASCII: " + companion::quoted_excerpt(line, 60));
    if (closed) wrong("a line follows the closing \";\"");
    if (line.starts_with(";")) {
      if (header) closed = true;
      continue;
    }
    // Fields separated by blanks.
    std::vector<std::string_view> fields;
    for (std::size_t i = 0; i < line.size();) {
      while (i < line.size() && line[i] == ' ') ++i;
      const std::size_t from = i;
      while (i < line.size() && line[i] != ' ') ++i;
      if (i > from) fields.push_back(line.substr(from, i - from));
    }
    if (!header) {
      header = true;
      if (fields.size() != 7) wrong("the header has " + std::to_string(fields.size()) + " fields, not 7");
      double v[4] = {};
      const int at_field[4] = {1, 2, 4, 5};
      for (int k = 0; k < 4; ++k)
        if (!plain_number(fields[static_cast<std::size_t>(at_field[k])], v[k])) wrong("a header value is no plain number");
      for (const std::string& p : {header_field_problem(fields[0], true), delays_problem(fields[3]),
                                   header_field_problem(fields[6], false), size_problem(v[0]), size_problem(v[1]),
                                   propellant_problem(v[2]), total_mass_problem(v[3], v[2])})
        if (!p.empty()) wrong("the header: " + p);
      continue;
    }
    EngPoint q;
    if (fields.size() != 2 || !plain_number(fields[0], q.t) || !plain_number(fields[1], q.F))
      wrong("a point does not read back: " + companion::quoted_excerpt(line, 60));
    const double before = points.empty() ? 0.0 : points.back().t;
    if (!(q.t - before >= kMinStep * (1.0 - 1e-6)))
      wrong("the time " + std::string(fields[0]) + " s lies less than " + shortest_fixed(kMinStep) + " s after " +
            (points.empty() ? std::string("the origin") : shortest_fixed(before) + " s"));
    if (!points.empty() && !(points.back().F > 0.0))
      wrong("zero thrust at " + shortest_fixed(points.back().t) + " s before the last point");
    points.push_back(q);
  }
  if (!header) wrong("it has no header");
  if (points.empty()) wrong("it has no point");
  if (points.back().F != 0.0) wrong("the curve does not end at zero thrust");
  if (!closed) wrong("it does not end with a \";\" line");
  r.points = points.size();
  r.burn_time = points.back().t;
  r.total_impulse = eng_impulse(points);
  for (const EngPoint& q : points)
    if (q.F > r.peak) r.peak = q.F;
  r.thrustcurve = reader_figures(points, Reader::ThrustCurve);
  r.openrocket = reader_figures(points, Reader::OpenRocket);
  if (const std::string p = figures_problem(measured, r.total_impulse, r.thrustcurve, r.openrocket); !p.empty())
    throw DataError("as written, " + p);
  return r;
}

std::string write_eng_text(const std::vector<std::string>& comments, const EngHeader& h, const MotorPoints& points,
                           const MeasuredFigures& measured, double dt, EngSummary* summary) {
  for (const std::string& p : {header_field_problem(h.name, true), header_field_problem(h.maker, false),
                               delays_problem(h.delays)})
    if (!p.empty()) throw DataError("the .eng header cannot be written: " + p);
  if (const std::string p = size_problem(h.diameter_mm); !p.empty()) throw DataError("the diameter: " + p);
  if (const std::string p = size_problem(h.length_mm); !p.empty()) throw DataError("the length: " + p);
  if (const std::string p = propellant_problem(h.propellant_kg); !p.empty()) throw DataError("the propellant mass: " + p);
  if (const std::string p = total_mass_problem(h.total_kg, h.propellant_kg); !p.empty())
    throw DataError("the total mass: " + p);
  if (!points.problem.empty()) throw DataError("the written curve would stray: " + points.problem);
  std::string text = eng_text(comments, h, points.points, time_decimals(dt));
  const EngSummary s = check_eng_text(text, measured);
  if (summary) *summary = s;
  return text;
}

}  // namespace kv::exporter
