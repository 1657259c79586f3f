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
using companion::percent;
using companion::shortest_fixed;
using companion::significant;

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
  if (text.empty()) return "it is empty";
  bool digit_before = false;
  for (const char c : text) {
    if (c >= '0' && c <= '9') {
      digit_before = true;
    } else if (c == '-' && digit_before) {
      digit_before = false;
    } else {
      return "it must be P (plugged) or delays in whole seconds joined by dashes, such as 3-5-7";
    }
  }
  if (!digit_before) return "it must be P (plugged) or delays in whole seconds joined by dashes, such as 3-5-7";
  return {};
}

int time_decimals(double dt) {
  int d = static_cast<int>(std::ceil(std::log10(1000.0 / dt) - 1e-9));
  if (d < 3) d = 3;
  if (d > 12) d = 12;
  return d;
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
  for (const EngPoint& q : points)
  {
    s += "   ";
    append_fixed_trimmed(s, q.t, decimals);
    s += ' ';
    append_shortest_fixed(s, q.F);
    s += "\r\n";
  }
  return s;
}

EngSummary check_eng_text(std::string_view text, double measured_impulse, double measured_peak) {
  // Past the comments and the header line, point by point.
  EngSummary r;
  EngPoint before{};  // the implicit origin
  std::size_t at = 0;
  bool header = false;
  while (at < text.size()) {
    std::size_t end = text.find("\r\n", at);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(at, end - at);
    at = end + 2;
    if (line.starts_with(";")) continue;
    if (!header) {
      header = true;
      continue;
    }
    EngPoint q;
    const char* p = line.data();
    const char* e = p + line.size();
    while (p < e && *p == ' ') ++p;
    auto rt = std::from_chars(p, e, q.t);
    if (rt.ec != std::errc{} || rt.ptr == e || *rt.ptr != ' ')
      throw DataError("a written point does not read back: " + std::string(line));
    rt = std::from_chars(rt.ptr + 1, e, q.F);
    if (rt.ec != std::errc{} || rt.ptr != e) throw DataError("a written point does not read back: " + std::string(line));
    if (!(q.t > before.t)) throw DataError("the written times do not increase strictly at " + shortest_fixed(q.t) + " s");
    if (!(q.F >= 0.0)) throw DataError("a written thrust is negative at " + shortest_fixed(q.t) + " s");
    r.total_impulse = trapezoid(before.F, q.F, q.t - before.t) + r.total_impulse;
    if (q.F > r.peak) r.peak = q.F;
    ++r.points;
    before = q;
  }
  if (r.points == 0) throw DataError("no point was written");
  if (before.F != 0.0) throw DataError("the written curve does not end at zero thrust");
  r.burn_time = before.t;
  const double di = std::fabs(r.total_impulse - measured_impulse);
  if (!(di <= kImpulseTolerance * std::fabs(measured_impulse)))
    throw DataError("with " + std::to_string(r.points) + " points the written curve's total impulse (" +
                    significant(r.total_impulse, 7) + " N s) is " + percent(di / std::fabs(measured_impulse), 3) +
                    " off the measured one (" + significant(measured_impulse, 7) + " N s), more than " +
                    percent(kImpulseTolerance, 3) + ": allow more points with --points N (0 keeps every point)");
  const double dp = std::fabs(r.peak - measured_peak);
  if (!(dp <= kPeakTolerance * measured_peak))
    throw DataError("the written curve's peak thrust (" + significant(r.peak, 7) + " N) is " +
                    percent(dp / measured_peak, 3) + " off the measured one (" + significant(measured_peak, 7) +
                    " N), more than " + percent(kPeakTolerance, 3));
  return r;
}

}  // namespace kv::exporter
