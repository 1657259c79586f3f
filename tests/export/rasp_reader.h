// A reader of RASP engine files (.eng) for the tests, written from the format's rules as
// ThrustCurve documents them and independent of the export's writer:
//   - a line starting with ";" is a comment;
//   - the first other line is the header: name, diameter (mm), length (mm), delays
//     ("P" for plugged, or delays in seconds joined by dashes), propellant mass (kg),
//     total mass (kg), maker - seven fields separated by blanks;
//   - every later line is one point, "time thrust", the origin (0 s, 0 N) implicit;
//   - times rise strictly, the first above 0, each at least 10 us after the one before
//     (ThrustCurve's "not after previous point"); no thrust is negative; none is 0 but
//     the last (RASP readers end the burn at a zero);
//   - after the data only comments or blank lines (a ";" line closes the data, so that
//     another motor can follow);
//   - ASCII only (ThrustCurve reads UTF-8, OpenRocket ISO-8859-1).
// Every rule broken is reported, so that a test shows them all.
#pragma once

#include <charconv>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace kv::test {

struct RaspPoint {
  double t = 0.0;
  double F = 0.0;
};

struct RaspFile {
  std::vector<std::string> comments;  // without the ";"
  std::vector<std::string> header;    // the fields
  double diameter = 0.0, length = 0.0, propellant = 0.0, total = 0.0;
  std::vector<RaspPoint> points;
  std::vector<std::string> problems;  // empty for a valid file
  bool crlf = true;                   // every line ends with CR LF
  bool closed = false;                // a ";" line follows the data

  double impulse() const {  // trapezoid rule from the implicit origin
    double I = 0.0;
    RaspPoint before;
    for (const RaspPoint& p : points) {
      I += (p.F + before.F) / 2.0 * (p.t - before.t);
      before = p;
    }
    return I;
  }
  double peak() const {
    double m = 0.0;
    for (const RaspPoint& p : points) m = p.F > m ? p.F : m;
    return m;
  }
  // Linear interpolation of the written curve (0 before the origin and after the end).
  double at(double t) const {
    RaspPoint before;
    for (const RaspPoint& p : points) {
      if (t <= p.t) return t < before.t ? 0.0 : before.F + (p.F - before.F) * (t - before.t) / (p.t - before.t);
      before = p;
    }
    return 0.0;
  }
};

inline std::vector<std::string_view> rasp_fields(std::string_view line) {
  std::vector<std::string_view> out;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) out.push_back(line.substr(start, i - start));
  }
  return out;
}

inline bool rasp_number(std::string_view s, double& v) {
  const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  return r.ec == std::errc{} && r.ptr == s.data() + s.size();
}

inline bool rasp_delays(std::string_view s) {
  if (s == "P") return true;
  bool digit = false;
  for (const char c : s) {
    if (c >= '0' && c <= '9')
      digit = true;
    else if (c == '-' && digit)
      digit = false;
    else
      return false;
  }
  return digit;
}

inline RaspFile read_rasp(std::string_view text) {
  RaspFile f;
  std::vector<std::string_view> lines;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t lf = text.find('\n', at);
    if (lf == std::string_view::npos) {
      f.crlf = false;
      lf = text.size();
    }
    std::string_view line = text.substr(at, lf - at);
    if (line.ends_with('\r'))
      line.remove_suffix(1);
    else
      f.crlf = false;
    lines.push_back(line);
    at = lf + 1;
  }
  bool header = false;
  for (const char c : text)
    if (static_cast<unsigned char>(c) > 0x7E || (static_cast<unsigned char>(c) < 0x20 && c != '\r' && c != '\n')) {
      f.problems.push_back("a byte other than printable ASCII");
      break;
    }
  for (const std::string_view line : lines) {
    if (line.starts_with(";")) {
      if (header && f.points.empty()) f.problems.push_back("a comment between the header and the data");
      if (!f.points.empty()) f.closed = true;
      f.comments.emplace_back(line.substr(1));
      continue;
    }
    if (line.empty()) continue;
    if (f.closed) f.problems.push_back("a line after the data's closing \";\"");
    const auto fields = rasp_fields(line);
    if (!header) {
      header = true;
      for (auto x : fields) f.header.emplace_back(x);
      if (fields.size() != 7) {
        f.problems.push_back("the header has " + std::to_string(fields.size()) + " fields, not 7: " + std::string(line));
        continue;
      }
      if (fields[0].find('-') != std::string_view::npos) f.problems.push_back("a dash in the motor's name");
      if (!rasp_number(fields[1], f.diameter) || !(f.diameter > 0)) f.problems.push_back("a bad diameter");
      if (!rasp_number(fields[2], f.length) || !(f.length > 0)) f.problems.push_back("a bad length");
      if (!rasp_delays(fields[3])) f.problems.push_back("bad delays");
      if (!rasp_number(fields[4], f.propellant) || !(f.propellant > 0)) f.problems.push_back("a bad propellant mass");
      if (!rasp_number(fields[5], f.total) || !(f.total >= f.propellant)) f.problems.push_back("a bad total mass");
      continue;
    }
    RaspPoint p;
    if (fields.size() != 2 || !rasp_number(fields[0], p.t) || !rasp_number(fields[1], p.F)) {
      f.problems.push_back("not a point: \"" + std::string(line) + "\"");
      continue;
    }
    const double before = f.points.empty() ? 0.0 : f.points.back().t;
    if (!(p.t - before >= 10e-6)) f.problems.push_back("time " + std::string(fields[0]) + " not 10 us after the one before");
    if (!f.points.empty() && f.points.back().F == 0.0) f.problems.push_back("zero thrust before the last point");
    if (p.F < 0) f.problems.push_back("negative thrust at " + std::string(fields[0]));
    f.points.push_back(p);
  }
  if (!header) f.problems.push_back("no header");
  if (f.points.empty())
    f.problems.push_back("no points");
  else if (f.points.back().F != 0.0)
    f.problems.push_back("the last thrust is not 0");
  return f;
}

}  // namespace kv::test
