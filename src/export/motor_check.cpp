#include "export/motor_check.h"

#include <charconv>
#include <cmath>
#include <map>
#include <system_error>

#include "analysis/impulse_class.h"
#include "companion/number_text.h"
#include "export/eng_file.h"

namespace kv::exporter {

using companion::quoted_excerpt;
using companion::shortest_fixed;
using companion::significant;

namespace {

constexpr const char* kTcRejects = "ThrustCurve rejects the file";
constexpr const char* kBothReject = "ThrustCurve and OpenRocket reject the file";

// A number as Java reads it (sign, digits, point, exponent); `strict` as ThrustCurve
// reads it too: no exponent, no "+".
struct Number {
  bool java = false;    // OpenRocket reads it
  bool strict = false;  // ThrustCurve reads it
  double value = 0.0;
};

Number read_number(std::string_view s) {
  Number n;
  std::string_view body = s;
  if (!body.empty() && (body[0] == '+' || body[0] == '-')) body.remove_prefix(1);
  if (body.empty() || !(std::isdigit(static_cast<unsigned char>(body[0])) || body[0] == '.')) return n;
  const char* first = s.data() + (s.size() - body.size());
  if (s[0] == '-') --first;
  double v = 0.0;
  const auto r = std::from_chars(first, s.data() + s.size(), v);
  if (r.ec != std::errc{} || r.ptr != s.data() + s.size() || !std::isfinite(v)) return n;
  n.java = true;
  n.value = v;
  n.strict = s.find_first_of("eEdD+") == std::string_view::npos;
  return n;
}

void problem(MotorCheck& c, std::size_t line, std::string rule, std::string readers) {
  c.problems.push_back({line, std::move(rule), std::move(readers)});
}

// The reader's view of a number read for `what` on a line.
bool take_number(MotorCheck& c, std::size_t line, std::string_view text, const char* what, double& v) {
  const Number n = read_number(text);
  if (!n.java) {
    problem(c, line, std::string(what) + " \"" + std::string(text) + "\" is no number", kBothReject);
    c.thrustcurve_loads = c.openrocket_loads = false;
    return false;
  }
  if (!n.strict) {
    problem(c, line, std::string(what) + " \"" + std::string(text) + "\" has an exponent or a sign \"+\"",
            "ThrustCurve rejects the file (its numbers are plain decimals); OpenRocket reads it");
    c.thrustcurve_loads = false;
  }
  v = n.value;
  return true;
}

// Bytes outside printable ASCII, as each reader shows them.
void check_text_bytes(MotorCheck& c, std::size_t line, std::string_view text) {
  bool high = false, control = false;
  for (const char ch : text) {
    const auto b = static_cast<unsigned char>(ch);
    if (b >= 0x80) high = true;
    if ((b < 0x20 && b != '\t') || b == 0x7F) control = true;
  }
  if (high)
    problem(c, line, "text other than ASCII: " + quoted_excerpt(companion::utf8_from_cp1252(text), 50),
            "ThrustCurve reads it as UTF-8 and OpenRocket as ISO-8859-1: at least one of them shows other characters");
  if (control)
    problem(c, line, "a control character inside the line",
            "readers that end lines at a CR (OpenRocket, through Java's readLine) split the line there");
}

std::vector<std::string_view> fields_of(std::string_view line, bool& tab) {
  std::vector<std::string_view> out;
  tab = false;
  for (std::size_t i = 0; i < line.size();) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
      if (line[i] == '\t') tab = true;
      ++i;
    }
    const std::size_t from = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > from) out.push_back(line.substr(from, i - from));
  }
  return out;
}

void check_sizes_and_masses(MotorCheck& c, std::size_t line, double dia, double len, double prop_kg, double total_kg,
                            const char* unit_mass) {
  for (const auto& [what, mm] : {std::pair{"the diameter", dia}, std::pair{"the length", len}})
    if (!(mm >= kMinSizeMm)) {
      problem(c, line, std::string(what) + " " + shortest_fixed(mm) + " mm is below 1 mm (is it in metres?)",
              std::string(kTcRejects) + "; OpenRocket loads a motor of that size");
      c.thrustcurve_loads = false;
    } else if (!(mm <= kMaxSizeMm)) {
      problem(c, line, std::string(what) + " " + shortest_fixed(mm) + " mm is above 1000 mm (is it in tenths of mm?)",
              "both readers load a motor of that size");
    }
  if (!(prop_kg >= kMinPropellantKg)) {
    problem(c, line, "the propellant mass " + significant(prop_kg * (unit_mass[0] == 'g' ? 1000.0 : 1.0), 6) + " " +
                         unit_mass + " is below 0.1 g",
            kTcRejects);
    c.thrustcurve_loads = false;
  }
  if (!(total_kg >= kMinTotalKg)) {
    problem(c, line, "the total mass " + significant(total_kg * (unit_mass[0] == 'g' ? 1000.0 : 1.0), 6) + " " +
                         unit_mass + " is below 1 g",
            kTcRejects);
    c.thrustcurve_loads = false;
  }
  if (prop_kg > total_kg) {
    problem(c, line, "the propellant mass is above the total mass", "OpenRocket rejects the file");
    c.openrocket_loads = false;
  }
}

// The checks of the curve, point by point, shared by both formats. `lines` gives each
// point's line.
void check_points(MotorCheck& c, const std::vector<EngPoint>& pts, const std::vector<std::size_t>& lines, bool rse) {
  double before = 0.0;
  for (std::size_t k = 0; k < pts.size(); ++k) {
    const EngPoint& q = pts[k];
    const std::size_t line = lines[k];
    if (q.F < 0.0) problem(c, line, "a negative thrust", rse ? kTcRejects : "readers draw a curve below zero");
    if (k == 0 && !rse) {
      if (q.t <= 0.0) {
        problem(c, line,
                q.F == 0.0 ? std::string("an explicit (0, 0) point: the origin is implicit")
                           : "a first point at " + shortest_fixed(q.t) + " s, not after the origin",
                "ThrustCurve rejects the file (\"first time ... not positive\"); OpenRocket drops a repeated time 0");
        c.thrustcurve_loads = false;
      }
      before = q.t;
      continue;
    }
    if (k == 0) {
      before = q.t;
      if (q.t != 0.0 || q.F != 0.0)
        problem(c, line, "the data does not start at t=\"0\" f=\"0\"", "readers add the origin themselves");
      continue;
    }
    const double step = q.t - before;
    if (!(step > 0.0)) {
      problem(c, line, step == 0.0 ? "a time repeated (" + shortest_fixed(q.t) + " s)"
                                   : "a time that goes back (" + shortest_fixed(q.t) + " s after " + shortest_fixed(before) + " s)",
              rse ? std::string("OpenRocket takes the points in a different order; ThrustCurve lets it pass")
                  : std::string(kTcRejects) + " (\"not after previous point\"); OpenRocket drops a repeated (time, thrust) pair");
      if (!rse) c.thrustcurve_loads = false;
    } else if (step < 10e-6) {
      problem(c, line, "a step of " + significant(step * 1e6, 3) + " us, under 10 us", std::string(kTcRejects) + " (\"not after previous point\")");
      if (!rse) c.thrustcurve_loads = false;
    } else if (step < kThrustCurveMerge) {
      problem(c, line, "a step of " + significant(step * 1e6, 3) + " us, under 50 us",
              "ThrustCurve merges the two points into their mean: it reads another curve");
    }
    if (k + 1 < pts.size() && q.F == 0.0 && pts[k + 1].F > 0.0)
      problem(c, line, "zero thrust before the end of the curve",
              "readers that follow the RASP format (RockSim, older simulators) take it for the end of the burn");
    before = std::max(before, q.t);
  }
  if (!pts.empty() && pts.back().F != 0.0)
    problem(c, lines.back(), "the last thrust is not zero",
            "the format asks for a closing zero; readers that follow it end the burn otherwise than the curve shows");
}

void figures(MotorCheck& c) {
  c.thrustcurve = reader_figures(c.points, Reader::ThrustCurve);
  c.openrocket = reader_figures(c.points, Reader::OpenRocket);
  // ThrustCurve names a motor by the class of its total impulse and the total impulse
  // over the time of the last point.
  const double last = c.points.empty() ? 0.0 : c.points.back().t;
  c.thrustcurve_name = designation(impulse_class_continued(c.thrustcurve.total_impulse),
                                   last > 0.0 ? c.thrustcurve.total_impulse / last : std::nan(""));
}

}  // namespace

MotorCheck check_eng(std::string_view text) {
  MotorCheck c;
  // Lines end at LF; a CR before it goes.
  std::vector<std::string_view> lines;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t lf = text.find('\n', at);
    if (lf == std::string_view::npos) lf = text.size();
    std::string_view l = text.substr(at, lf - at);
    if (l.ends_with('\r')) l.remove_suffix(1);
    lines.push_back(l);
    at = lf + 1;
  }
  bool header = false, semicolon_after_data = false, second_motor = false;
  std::vector<std::size_t> point_lines;
  for (std::size_t i = 0; i < lines.size() && !second_motor; ++i) {
    const std::string_view line = lines[i];
    const std::size_t n = i + 1;
    check_text_bytes(c, n, line);
    std::string_view trimmed = line;
    while (!trimmed.empty() && (trimmed.front() == ' ' || trimmed.front() == '\t')) trimmed.remove_prefix(1);
    if (trimmed.starts_with(";")) {
      if (header && !c.points.empty()) semicolon_after_data = true;
      continue;
    }
    bool tab = false;
    const std::vector<std::string_view> f = fields_of(line, tab);
    if (f.empty()) continue;
    if (!header) {
      header = true;
      if (tab) problem(c, n, "a tab between the header's fields", "one flight simulator crashed on tabs; OpenRocket reads it");
      if (f.size() != 7) {
        problem(c, n, "the header has " + std::to_string(f.size()) + " fields, not 7 (name, diameter, length, delays, "
                      "propellant kg, total kg, maker; each without blanks)",
                kBothReject);
        c.thrustcurve_loads = c.openrocket_loads = false;
        continue;
      }
      c.name = std::string(f[0]);
      double dia = 0, len = 0, prop = 0, total = 0;
      bool ok = take_number(c, n, f[1], "the diameter", dia);
      ok = take_number(c, n, f[2], "the length", len) && ok;
      ok = take_number(c, n, f[4], "the propellant mass", prop) && ok;
      ok = take_number(c, n, f[5], "the total mass", total) && ok;
      if (f[3] != "P") {
        std::size_t at = 0;
        const std::string_view d = f[3];
        while (at <= d.size()) {
          std::size_t end = d.find('-', at);
          if (end == std::string_view::npos) end = d.size();
          const std::string_view one = d.substr(at, end - at);
          double v = 0;
          const Number num = read_number(one);
          if (one.empty() || !num.java || (v = num.value) < 0) {
            problem(c, n, "the delays \"" + std::string(d) + "\" are not P or seconds joined by dashes",
                    "readers read other delays, or none");
            break;
          }
          if (v >= 99) problem(c, n, "a delay of " + std::string(one) + " s (99 or more)", "OpenRocket drops it, leaving the motor without that delay");
          at = end + 1;
        }
      }
      if (ok) {
        c.propellant_g = prop * 1000.0;
        c.total_g = total * 1000.0;
        check_sizes_and_masses(c, n, dia, len, prop, total, "kg");
      }
      continue;
    }
    if (f.size() != 2) {
      if (!c.points.empty() && !semicolon_after_data) {
        problem(c, n, "a line after the data that is not a point: " + quoted_excerpt(line, 40),
                "OpenRocket rejects the file (\"Data should only have 2 entries\"): a second motor must follow a \";\" line");
        c.openrocket_loads = false;
      } else if (!c.points.empty()) {
        problem(c, n, "a second motor in the file", "ThrustCurve takes one motor per file; OpenRocket reads both");
      } else {
        problem(c, n, "a line that is not a point: " + quoted_excerpt(line, 40), kBothReject);
        c.thrustcurve_loads = c.openrocket_loads = false;
      }
      second_motor = !c.points.empty();
      continue;
    }
    if (tab) problem(c, n, "a tab between time and thrust", "one flight simulator crashed on tabs; OpenRocket reads it");
    EngPoint q;
    const bool time_read = take_number(c, n, f[0], "the time", q.t);
    if (!take_number(c, n, f[1], "the thrust", q.F) || !time_read) continue;
    c.points.push_back(q);
    point_lines.push_back(n);
  }
  if (!header) {
    problem(c, 0, "no header line", kBothReject);
    c.thrustcurve_loads = c.openrocket_loads = false;
  }
  if (header && c.points.empty()) {
    problem(c, 0, "no data point", kBothReject);
    c.thrustcurve_loads = c.openrocket_loads = false;
  }
  check_points(c, c.points, point_lines, false);
  if (c.points.size() > 32)
    problem(c, 0, std::to_string(c.points.size()) + " points, more than 32",
            "RASP supported at most 32 points: old RASP readers cut the curve; ThrustCurve and OpenRocket read them all");
  if (!c.points.empty() && !semicolon_after_data)
    c.notes.push_back({0, "no \";\" line after the data",
                       "a file that another motor is appended to (as openMotor's Append does) is then rejected by OpenRocket"});
  figures(c);
  return c;
}

namespace {

// A small reader of the .rse's XML: elements with their attributes and lines.
struct Element {
  std::string name;
  std::map<std::string, std::string> attributes;
  std::size_t line = 0;
  bool closing = false;
};

std::vector<Element> elements(std::string_view text, MotorCheck& c) {
  std::vector<Element> out;
  std::size_t line = 1;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') ++line;
    if (text[i] != '<') continue;
    if (text.substr(i, 4) == "<!--") {
      const std::size_t end = text.find("-->", i);
      const std::size_t stop = end == std::string_view::npos ? text.size() : end + 3;
      for (std::size_t k = i; k < stop; ++k) line += text[k] == '\n';
      i = stop - 1;
      continue;
    }
    if (i + 1 < text.size() && (text[i + 1] == '?' || text[i + 1] == '!')) continue;
    Element e;
    e.line = line;
    std::size_t k = i + 1;
    if (k < text.size() && text[k] == '/') {
      e.closing = true;
      ++k;
    }
    while (k < text.size() && !std::isspace(static_cast<unsigned char>(text[k])) && text[k] != '>' && text[k] != '/')
      e.name += text[k++];
    for (;;) {
      while (k < text.size() && std::isspace(static_cast<unsigned char>(text[k]))) line += text[k++] == '\n';
      if (k >= text.size() || text[k] == '>' || text[k] == '/') break;
      std::string key;
      while (k < text.size() && text[k] != '=' && !std::isspace(static_cast<unsigned char>(text[k])) && text[k] != '>')
        key += text[k++];
      while (k < text.size() && std::isspace(static_cast<unsigned char>(text[k]))) line += text[k++] == '\n';
      if (k >= text.size() || text[k] != '=') {
        problem(c, line, "a malformed attribute \"" + key + "\"", kBothReject);
        c.thrustcurve_loads = c.openrocket_loads = false;
        break;
      }
      ++k;
      while (k < text.size() && std::isspace(static_cast<unsigned char>(text[k]))) line += text[k++] == '\n';
      if (k >= text.size() || (text[k] != '"' && text[k] != '\'')) {
        problem(c, line, "the attribute " + key + " has no quoted value", kBothReject);
        c.thrustcurve_loads = c.openrocket_loads = false;
        break;
      }
      const char q = text[k++];
      std::string value;
      while (k < text.size() && text[k] != q) {
        line += text[k] == '\n';
        value += text[k++];
      }
      ++k;
      e.attributes[key] = value;
    }
    const std::size_t end = text.find('>', k);
    i = end == std::string_view::npos ? text.size() : end;
    out.push_back(std::move(e));
  }
  return out;
}

}  // namespace

MotorCheck check_rse(std::string_view text) {
  MotorCheck c;
  c.rse = true;
  {
    std::size_t line = 1, from = 0;
    for (std::size_t i = 0; i <= text.size(); ++i)
      if (i == text.size() || text[i] == '\n') {
        check_text_bytes(c, line, text.substr(from, i - from - (i > from && text[i - 1] == '\r' ? 1 : 0)));
        ++line;
        from = i + 1;
      }
  }
  const std::vector<Element> all = elements(text, c);
  bool database = false, list = false;
  int engines = 0;
  const Element* engine = nullptr;
  std::vector<std::size_t> lines;
  for (const Element& e : all) {
    if (e.closing) continue;
    if (e.name == "engine-database") database = true;
    if (e.name == "engine-list") list = true;
    if (e.name == "engine") {
      if (++engines == 1) engine = &e;
      if (engines == 2)
        problem(c, e.line, "a second <engine>", "ThrustCurve rejects the file (one motor per file); OpenRocket reads every one");
      if (engines == 2) c.thrustcurve_loads = false;
    }
    if (e.name == "eng-data" && engines == 1) {
      EngPoint q;
      double m = 0.0;
      bool ok = true;
      for (const auto& [key, target] : {std::pair{"t", &q.t}, std::pair{"f", &q.F}, std::pair{"m", &m}}) {
        const auto it = e.attributes.find(key);
        if (it == e.attributes.end()) {
          if (std::string_view(key) != "m") {
            problem(c, e.line, std::string("<eng-data> without ") + key, kBothReject);
            c.thrustcurve_loads = c.openrocket_loads = false;
            ok = false;
          }
          continue;
        }
        if (!take_number(c, e.line, it->second, key, *target)) ok = false;
      }
      if (!ok) continue;
      if (q.t < 0.0) problem(c, e.line, "a negative time", kTcRejects);
      c.points.push_back(q);
      c.masses.push_back(m);
      lines.push_back(e.line);
    }
  }
  if (!database || !list || engines == 0) {
    problem(c, 0, "no <engine-database><engine-list><engine>", kBothReject);
    c.thrustcurve_loads = c.openrocket_loads = false;
  }
  if (engine) {
    const auto& a = engine->attributes;
    const auto get = [&](const char* key) -> const std::string* {
      const auto it = a.find(key);
      return it == a.end() ? nullptr : &it->second;
    };
    for (const char* key : {"code", "mfg"})
      if (!get(key)) {
        problem(c, engine->line, std::string("the <engine> has no ") + key, "OpenRocket rejects the file");
        c.openrocket_loads = false;
      }
    if (const std::string* code = get("code")) c.name = code->substr(0, code->find('-'));
    double v[4] = {};
    const char* sizes[4] = {"dia", "len", "initWt", "propWt"};
    bool all_sizes = true;
    for (int k = 0; k < 4; ++k) {
      const std::string* s = get(sizes[k]);
      if (!s) {
        problem(c, engine->line, std::string("the <engine> has no ") + sizes[k], kBothReject);
        c.thrustcurve_loads = c.openrocket_loads = false;
        all_sizes = false;
      } else if (!take_number(c, engine->line, *s, sizes[k], v[k])) {
        all_sizes = false;
      }
    }
    if (all_sizes) {
      c.total_g = v[2];
      c.propellant_g = v[3];
      check_sizes_and_masses(c, engine->line, v[0], v[1], v[3] / 1000.0, v[2] / 1000.0, "g");
    }
    for (const char* key : {"Itot", "avgThrust", "peakThrust", "burn-time", "massFrac", "Isp"}) {
      const std::string* s = get(key);
      double x = 0.0;
      if (!s) {
        problem(c, engine->line, std::string("the <engine> has no ") + key, "ThrustCurve shows no such figure for it");
      } else if (take_number(c, engine->line, *s, key, x) && !(x > 0.0)) {
        problem(c, engine->line, std::string(key) + " is not positive", kTcRejects);
        c.thrustcurve_loads = false;
      }
    }
    if (const std::string* t = get("Type"); t && *t != "single-use" && *t != "reloadable" && *t != "hybrid")
      problem(c, engine->line, "Type \"" + *t + "\" is none of single-use, reloadable, hybrid", "readers take another type");
    const std::string* mass = get("auto-calc-mass");
    if (mass && *mass == "0")
      c.notes.push_back({engine->line, "auto-calc-mass=\"0\"",
                         "OpenRocket takes each point's m for the whole motor's mass, not the propellant's"});
  }
  if (engine && c.points.empty()) {
    problem(c, 0, "no <eng-data> point", kBothReject);
    c.thrustcurve_loads = c.openrocket_loads = false;
  }
  check_points(c, c.points, lines, true);
  for (std::size_t k = 1; k < c.masses.size(); ++k)
    if (c.masses[k] > c.masses[k - 1]) {
      problem(c, lines[k], "the mass m rises", "readers take a motor that gains propellant");
      break;
    }
  figures(c);
  return c;
}

MotorCheck check_motor(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  if (first != std::string_view::npos && text[first] == '<') return check_rse(text);
  // A UTF-8 byte-order mark before the XML.
  if (text.starts_with("\xEF\xBB\xBF") && text.find('<') == 3) return check_rse(text);
  return check_eng(text);
}

std::string motor_check_report(const MotorCheck& c, std::string_view shown) {
  std::string s;
  const auto where = [&](std::size_t line) {
    std::string w(shown);
    if (line > 0) w.append(":").append(std::to_string(line));
    return w.append(": ");
  };
  for (const MotorProblem& p : c.problems) s += where(p.line) + p.rule + " - " + p.readers + "\n";
  for (const MotorProblem& p : c.notes) s += where(p.line) + "note: " + p.rule + " - " + p.readers + "\n";
  s += std::string(shown) + ": " + (c.rse ? "RockSim .rse" : "RASP .eng") + ", " + std::to_string(c.points.size()) +
       " points; " + (c.problems.empty() ? std::string("no problem found") : std::to_string(c.problems.size()) + (c.problems.size() == 1 ? " problem" : " problems") + " found") + "\n\n";
  const auto cell = [](std::string v) {
    v.resize(v.size() < 16 ? 16 : v.size() + 1, ' ');
    return v;
  };
  const auto num = [](double v) { return std::isfinite(v) ? significant(v, 7) : std::string("-"); };
  const auto row = [&](const char* label, std::string a, std::string b) {
    std::string r = "  ";
    r += label;
    r.resize(r.size() < 24 ? 24 : r.size() + 1, ' ');
    return r + cell(std::move(a)) + b + "\n";
  };
  s += row("", "ThrustCurve", "OpenRocket");
  s += row("loads the file", c.thrustcurve_loads ? "yes" : "no", c.openrocket_loads ? "yes" : "no");
  s += row("name", c.thrustcurve_name.empty() ? "-" : c.thrustcurve_name, c.name.empty() ? "-" : c.name);
  s += row("total impulse (N s)", num(c.thrustcurve.total_impulse), num(c.openrocket.total_impulse));
  s += row("burn time (s)", num(c.thrustcurve.burn_time), num(c.openrocket.burn_time));
  s += row("average thrust (N)", num(c.thrustcurve.average), num(c.openrocket.average));
  s += row("peak thrust (N)", num(c.thrustcurve.peak), num(c.openrocket.peak));
  s += "\n  burn time: between the first and last crossings of 5 % of the peak thrust;\n"
       "  average: ThrustCurve divides the total impulse by the burn time, OpenRocket the\n"
       "  impulse between the crossings; ThrustCurve names the motor from the total impulse\n"
       "  over the time of the last point, OpenRocket shows the file's name.\n";
  return s;
}

}  // namespace kv::exporter
