// How the two simulators read a motor file's curve and what they show of it, written for
// the tests from the readers' documented rules (motor-file-rules.md), independent of the
// export's own code:
//   - ThrustCurve.org: the curve starts at the implicit (0, 0); points closer than 50 us
//     to the one before are merged into their mean; the total impulse is the trapezoid
//     rule over the curve; the burn runs between the first and the last crossing of 5 %
//     of the peak thrust, by linear interpolation; the average thrust is the total
//     impulse over the burn time; the motor's name is the class of the total impulse and
//     the total impulse over the time of the last point.
//   - OpenRocket: inserts (0, 0) before the points (dropping a repeated time 0) and
//     removes repeated (time, thrust) pairs; the same burn; the average thrust is the
//     impulse between the crossings over the burn time; the name is the file's.
// And a reader of RockSim .rse files: one <engine> element's attributes and its
// <eng-data> points.
#pragma once

#include <charconv>
#include <cmath>
#include <map>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "rasp_reader.h"

namespace kv::test {

struct SimulatorView {
  double total_impulse = 0.0;
  double peak = 0.0;
  double burn_start = 0.0, burn_end = 0.0, burn_time = 0.0;
  double average = 0.0;
  std::string name;
};

// Where a straight segment from (t0, F0) to (t1, F1) passes the level.
inline double level_time(double t0, double F0, double t1, double F1, double level) {
  return t0 + (level - F0) / (F1 - F0) * (t1 - t0);
}

// The burn and both averages of a curve given with its origin.
inline SimulatorView view_of(const std::vector<RaspPoint>& c, bool thrustcurve) {
  SimulatorView v;
  for (std::size_t k = 1; k < c.size(); ++k) v.total_impulse += (c[k].F + c[k - 1].F) / 2.0 * (c[k].t - c[k - 1].t);
  std::size_t top = 0;
  for (std::size_t k = 0; k < c.size(); ++k)
    if (c[k].F > c[top].F) top = k;
  v.peak = c[top].F;
  const double level = 0.05 * v.peak;
  std::size_t a = 0;
  while (c[a].F < level) ++a;
  std::size_t z = c.size() - 1;
  while (c[z].F < level) --z;
  v.burn_start = a == 0 ? c[0].t : level_time(c[a - 1].t, c[a - 1].F, c[a].t, c[a].F, level);
  v.burn_end = z + 1 == c.size() ? c[z].t : level_time(c[z].t, c[z].F, c[z + 1].t, c[z + 1].F, level);
  v.burn_time = v.burn_end - v.burn_start;
  // The impulse between the crossings: the part-segments at both ends and those between.
  double inside = 0.0;
  if (a > 0) inside += (level + c[a].F) / 2.0 * (c[a].t - v.burn_start);
  for (std::size_t k = a + 1; k <= z; ++k) inside += (c[k].F + c[k - 1].F) / 2.0 * (c[k].t - c[k - 1].t);
  if (z + 1 < c.size()) inside += (c[z].F + level) / 2.0 * (v.burn_end - c[z].t);
  v.average = thrustcurve ? v.total_impulse / v.burn_time : inside / v.burn_time;
  return v;
}

inline std::string thrustcurve_name(double impulse, double last_time) {
  // Classes double from 1/8A's 0.3125 N s; letters go on past N.
  const char* const small[] = {"1/8A", "1/4A", "1/2A"};
  double upper = 0.3125;
  std::string cls;
  for (int k = 0; k < 29 && cls.empty(); ++k, upper *= 2)
    if (impulse <= upper) cls = k < 3 ? std::string(small[k]) : std::string(1, static_cast<char>('A' + (k - 3)));
  return cls + std::to_string(std::lround(impulse / last_time));
}

inline SimulatorView thrustcurve_view(const std::vector<RaspPoint>& points) {
  std::vector<RaspPoint> c{{0.0, 0.0}};
  std::size_t merged = 1;
  for (const RaspPoint& p : points) {
    if (c.size() > 1 && p.t - c.back().t < 50e-6) {
      const double k = static_cast<double>(merged++);
      c.back() = {(c.back().t * k + p.t) / (k + 1), (c.back().F * k + p.F) / (k + 1)};
      continue;
    }
    merged = 1;
    c.push_back(p);
  }
  SimulatorView v = view_of(c, true);
  v.name = thrustcurve_name(v.total_impulse, c.back().t);
  return v;
}

inline SimulatorView openrocket_view(const std::vector<RaspPoint>& points, const std::string& name) {
  std::vector<RaspPoint> c{{0.0, 0.0}};
  for (const RaspPoint& p : points) {
    if (p.t == 0.0 && c.size() == 1) {
      c[0] = p;
      continue;
    }
    if (p.t == c.back().t && p.F == c.back().F) continue;
    c.push_back(p);
  }
  SimulatorView v = view_of(c, false);
  v.name = name;
  return v;
}

// A RockSim engine file, as far as the readers look into it.
struct RseFile {
  int engines = 0;
  std::map<std::string, std::string> engine;  // the first <engine>'s attributes
  std::vector<RaspPoint> points;              // its <eng-data> t and f
  std::vector<double> masses;                 // and m
  std::vector<std::string> problems;

  double number(const std::string& key) const {
    const auto it = engine.find(key);
    double v = std::nan("");
    if (it != engine.end()) std::from_chars(it->second.data(), it->second.data() + it->second.size(), v);
    return v;
  }
};

inline std::map<std::string, std::string> xml_attributes(std::string_view tag) {
  std::map<std::string, std::string> out;
  std::size_t i = tag.find_first_of(" \t\r\n");
  while (i != std::string_view::npos && i < tag.size()) {
    const std::size_t eq = tag.find('=', i);
    if (eq == std::string_view::npos) break;
    std::string_view key = tag.substr(i, eq - i);
    while (!key.empty() && std::isspace(static_cast<unsigned char>(key.front()))) key.remove_prefix(1);
    const char q = tag[eq + 1];
    const std::size_t end = tag.find(q, eq + 2);
    out[std::string(key)] = std::string(tag.substr(eq + 2, end - eq - 2));
    i = end + 1;
  }
  return out;
}

inline RseFile read_rse(std::string_view text) {
  RseFile f;
  if (text.find("<engine-database>") == std::string_view::npos || text.find("<engine-list>") == std::string_view::npos)
    f.problems.push_back("no <engine-database><engine-list>");
  for (std::size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at + 1)) {
    const std::size_t end = text.find('>', at);
    const std::string_view tag = text.substr(at + 1, end - at - 1);
    if (tag.starts_with("engine ") || tag == "engine") {
      if (++f.engines == 1) f.engine = xml_attributes(tag);
    } else if (tag.starts_with("eng-data") && f.engines == 1) {
      const auto a = xml_attributes(tag);
      RaspPoint p;
      double m = std::nan("");
      for (auto [key, target] : {std::pair{"t", &p.t}, std::pair{"f", &p.F}, std::pair{"m", &m}}) {
        const auto it = a.find(key);
        if (it == a.end() || std::from_chars(it->second.data(), it->second.data() + it->second.size(), *target).ec != std::errc{})
          f.problems.push_back(std::string("an <eng-data> without a number for ") + key);
      }
      f.points.push_back(p);
      f.masses.push_back(m);
    }
  }
  if (f.engines != 1) f.problems.push_back(std::to_string(f.engines) + " engines");
  for (const char* key : {"code", "mfg", "delays", "dia", "len", "initWt", "propWt", "Type", "Itot", "avgThrust",
                          "peakThrust", "burn-time", "massFrac", "Isp", "auto-calc-mass", "auto-calc-cg"})
    if (!f.engine.count(key)) f.problems.push_back(std::string("no attribute ") + key);
  for (const char* key : {"dia", "len", "initWt"})
    if (!(f.number(key) >= 1.0)) f.problems.push_back(std::string(key) + " below 1");
  if (!(f.number("propWt") >= 0.1)) f.problems.push_back("propWt below 0.1 g");
  if (f.number("propWt") > f.number("initWt")) f.problems.push_back("propWt above initWt");
  for (const char* key : {"Itot", "avgThrust", "peakThrust", "burn-time", "massFrac", "Isp"})
    if (!(f.number(key) > 0.0)) f.problems.push_back(std::string(key) + " not positive");
  for (std::size_t k = 0; k < f.points.size(); ++k) {
    if (f.points[k].t < 0 || f.points[k].F < 0) f.problems.push_back("a negative time or thrust");
    if (k > 0 && !(f.points[k].t > f.points[k - 1].t)) f.problems.push_back("times that do not rise");
  }
  if (f.points.empty() || f.points.back().F != 0.0) f.problems.push_back("the last thrust is not 0");
  return f;
}

}  // namespace kv::test
