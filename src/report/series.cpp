#include "report/series.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>

#include "analysis/impulse_class.h"
#include "analysis/series_statistics.h"
#include "companion/errors.h"
#include "companion/number_text.h"
#include "export/ascii_text.h"
#include "export/eng_file.h"
#include "export/export_run.h"
#include "export/motor_points.h"
#include "export/output_file.h"
#include "export/rse_file.h"
#include "io/os.h"

namespace kv::report {

using companion::DataError;
using companion::fixed;
using companion::json_number;
using companion::json_string;
using companion::shortest_fixed;
using companion::significant;

namespace {

// The NFPA 1125 limits on a series.
constexpr double kModelImpulse = 160.0;  // N s: a model rocket motor has at most this...
constexpr double kModelAverage = 80.0;   // ...and at most this average thrust, N
constexpr std::size_t kModelFirings = 10;
constexpr std::size_t kHighPowerFirings = 2;
constexpr double kImpulseStdPercent = 6.7;
constexpr double kModelImpulseSpread = 0.20;
constexpr double kHighPowerImpulseSpread = 0.10;
constexpr double kLabelShare = 0.20;
constexpr double kLabelNewtons = 10.0;
constexpr double kDelayShare = 0.20;
constexpr double kDelaySeconds = 1.5;
constexpr double kDelayMost = 3.0;

// A figure as the export prints it.
std::string figure(double v) { return std::isfinite(v) ? significant(v, 7) : "-"; }
std::string figure(const std::optional<double>& v) { return v ? figure(*v) : "-"; }

// A share in per cent compared with a limit: two decimals, or as many more as it takes
// for the text to fall on the same side of the limit as the value.
std::string percent_against(double percent, double limit) {
  if (!std::isfinite(percent)) return "-";
  for (int d = 2; d < 12; ++d) {
    const std::string t = fixed(percent, d);
    const std::optional<double> back = companion::user_number(t);
    if (back && (*back <= limit) == (percent <= limit) && (*back == limit) == (percent == limit)) return t;
  }
  return companion::shortest(percent);
}

std::string signed_text(std::string t) { return t.starts_with('-') ? t : "+" + t; }

// Where a firing is named in messages.
std::string firing_name(const SeriesRow& r, std::size_t index) {
  return "firing " + std::to_string(index + 1) + " (" + r.folder + ")";
}

// Linear interpolation of F[k] at k * dt; 0 outside the record.
double sample_at(std::span<const double> F, double dt, double t) {
  if (F.empty() || !(t >= 0.0)) return 0.0;
  const double x = t / dt;
  const double last = static_cast<double>(F.size() - 1);
  if (x > last) return 0.0;
  const auto k = static_cast<std::size_t>(x);
  if (k + 1 >= F.size()) return F[k];
  const double f = x - static_cast<double>(k);
  return F[k] + (F[k + 1] - F[k]) * f;
}

ColumnStatistics column(const std::vector<double>& values) {
  const SampleStatistics s = sample_statistics(values);
  ColumnStatistics c;
  c.n = s.n;
  c.mean = s.mean;
  c.std_population = s.std_population;
  c.std_percent = s.std_percent;
  c.std_sample = s.std_sample;
  c.ci_half = s.ci_half;
  c.ci_low = s.ci_low();
  c.ci_high = s.ci_high();
  return c;
}

// The number of a motor's name: "G80" and "G80-7" give 80; nothing for a name that is
// not a class followed by a number.
std::optional<double> name_number(const std::string& name) {
  std::size_t i = 0;
  if (name.starts_with("1/2A") || name.starts_with("1/4A") || name.starts_with("1/8A"))
    i = 4;
  else if (!name.empty() && name[0] >= 'A' && name[0] <= 'Z')
    i = 1;
  else
    return std::nullopt;
  std::size_t j = i;
  while (j < name.size() && name[j] >= '0' && name[j] <= '9') ++j;
  if (j == i || (j < name.size() && name[j] != '-')) return std::nullopt;
  return companion::user_number(std::string_view(name).substr(i, j - i));
}

void add_verdicts(SeriesResult& r) {
  const std::size_t n = r.rows.size();
  const ColumnStatistics& I = r.total_impulse;
  {
    const std::size_t need = r.model_motor ? kModelFirings : kHighPowerFirings;
    std::string kind =
        r.model_motor
            ? "a model rocket motor (mean total impulse " + figure(I.mean) + " N s <= 160 N s, average thrust " +
                  figure(r.mean_average) + " N <= 80 N) needs " + std::to_string(need)
            : "a high-power motor (mean total impulse " + figure(I.mean) + " N s" +
                  (I.mean > kModelImpulse ? " > 160 N s" : "") + ", average thrust " + figure(r.mean_average) + " N" +
                  (r.mean_average > kModelAverage ? " > 80 N" : "") + ") needs " + std::to_string(need);
    r.verdicts.push_back({"enough firings", n >= need, std::to_string(n) + " firings; " + kind});
  }
  r.verdicts.push_back({"spread of the total impulse", I.std_percent <= kImpulseStdPercent,
                        "STD " + figure(I.std_population) + " N s = " +
                            percent_against(I.std_percent, kImpulseStdPercent) + " % of the mean " + figure(I.mean) +
                            " N s; at most 6.7 %"});
  {
    const double spread = r.model_motor ? kModelImpulseSpread : kHighPowerImpulseSpread;
    const double limit = spread * 100.0;
    std::size_t worst = 0;
    std::string outside;
    for (std::size_t k = 0; k < n; ++k) {
      const double d = r.rows[k].impulse_deviation;
      if (std::fabs(d) > std::fabs(r.rows[worst].impulse_deviation)) worst = k;
      if (!(std::fabs(d) <= spread))
        outside += (outside.empty() ? "" : ", ") + firing_name(r.rows[k], k) + " " + figure(r.rows[k].total_impulse) +
                   " N s, " + signed_text(percent_against(d * 100.0, d < 0 ? -limit : limit)) + " %";
    }
    const double w = r.rows[worst].impulse_deviation * 100.0;
    std::string text = "each within " + fixed(limit, 0) + " % of the mean " + figure(I.mean) + " N s (" +
                       (r.model_motor ? "model rocket motor" : "high-power motor") + "); the farthest, " +
                       firing_name(r.rows[worst], worst) + ", " +
                       signed_text(percent_against(w, w < 0 ? -limit : limit)) + " %";
    if (!outside.empty()) text += "; outside: " + outside;
    r.verdicts.push_back({"total impulse of each firing", outside.empty(), text});
  }
  {
    const double A = r.mean_average;
    const double allowed = std::max(kLabelShare * A, kLabelNewtons);
    const double diff = r.label_thrust - A;
    r.verdicts.push_back({"labelled average thrust", std::fabs(diff) <= allowed,
                          "label " + figure(r.label_thrust) + " N (" + r.label_source +
                              "); mean total impulse / mean burn time " + figure(A) + " N; the label differs by " +
                              signed_text(figure(diff)) + " N, at most " + figure(allowed) +
                              " N (20 % of it or 10 N, whichever is greater)"});
  }
  if (r.delay.n > 0) {
    std::string outside, unchecked;
    std::size_t checked = 0;
    for (std::size_t k = 0; k < n; ++k) {
      const SeriesRow& row = r.rows[k];
      if (!row.delay) {
        if (row.delay_low) unchecked += (unchecked.empty() ? "" : ", ") + firing_name(row, k);
        continue;
      }
      ++checked;
      if (!(*row.delay >= *row.delay_low && *row.delay <= *row.delay_high))
        outside += (outside.empty() ? "" : ", ") + firing_name(row, k) + " " + figure(*row.delay) + " s, label " +
                   row.delay_label + " s allows " + figure(*row.delay_low) + " s to " + figure(*row.delay_high) + " s";
    }
    std::string text = std::to_string(checked) + (checked == 1 ? " measured delay" : " measured delays") +
                       ", each within its label +- 1.5 s or 20 %, whichever is greater, at most 3 s";
    if (!outside.empty()) text += "; outside: " + outside;
    if (!unchecked.empty()) text += "; no measured delay: " + unchecked;
    r.verdicts.push_back({"delays", outside.empty(), text});
  }
}

void add_designation(SeriesResult& r) {
  const std::string_view cls = impulse_class_continued(r.total_impulse.mean);
  r.designation = designation(cls, r.mean_average);
  std::int32_t number = 0;
  const bool has_number = class_number(r.mean_average, number);
  std::vector<std::string> classes;
  std::int32_t lowest = std::numeric_limits<std::int32_t>::max(), highest = std::numeric_limits<std::int32_t>::min();
  for (const SeriesRow& row : r.rows) {
    const std::string c(impulse_class_continued(row.total_impulse));
    if (std::find(classes.begin(), classes.end(), c) == classes.end()) classes.push_back(c);
    std::int32_t k = 0;
    if (class_number(row.average, k)) {
      lowest = std::min(lowest, k);
      highest = std::max(highest, k);
    }
  }
  if (classes.size() > 1) {
    std::string list;
    for (const std::string& c : classes) {
      const auto in = std::count_if(r.rows.begin(), r.rows.end(), [&](const SeriesRow& row) {
        return impulse_class_continued(row.total_impulse) == c;
      });
      list += (list.empty() ? "" : ", ") + std::to_string(in) + " in class " + (c.empty() ? "-" : c);
    }
    r.notes.push_back("the firings straddle a class bound: " + list + "; the series is class " +
                      (cls.empty() ? "-" : std::string(cls)) + " by its mean total impulse " +
                      figure(r.total_impulse.mean) + " N s");
  }
  if (has_number && lowest <= highest && lowest != highest)
    r.notes.push_back("the firings' average thrusts give the numbers " + std::to_string(lowest) + " to " +
                      std::to_string(highest) + "; the series' is " + std::to_string(number) +
                      " (mean total impulse / mean burn time " + figure(r.mean_average) + " N)");
}

// Each firing's U, and what the stand's firing-to-firing uncertainty makes of the
// spread: the variance it would give on its own, against the firings' sample variance.
void add_stand_share(std::span<const SeriesEntry> entries, SeriesResult& r) {
  StandShare& st = r.stand;
  st.known = true;
  double own = 0.0, common = 0.0;
  for (std::size_t k = 0; k < entries.size(); ++k) {
    const SeriesEntry& e = entries[k];
    if (!e.impulse_u || !e.impulse_u_own) {
      st.known = false;
      continue;
    }
    r.rows[k].impulse_U = 2.0 * *e.impulse_u;
    own += *e.impulse_u_own * *e.impulse_u_own;
    common += std::max(0.0, *e.impulse_u * *e.impulse_u - *e.impulse_u_own * *e.impulse_u_own);
    for (const std::string& source : e.own_left_out)
      if (std::find(st.left_out.begin(), st.left_out.end(), source) == st.left_out.end()) st.left_out.push_back(source);
  }
  if (!st.known) return;
  const auto n = static_cast<double>(entries.size());
  st.u_own = std::sqrt(own / n);
  st.u_common = std::sqrt(common / n);
  st.spread = r.total_impulse.std_sample;
  const double spread2 = st.spread * st.spread, own2 = st.u_own * st.u_own;
  st.share = spread2 > 0.0 ? own2 / spread2 : std::numeric_limits<double>::infinity();
  st.motors = spread2 > own2 ? std::sqrt(spread2 - own2) : 0.0;
}

void add_curves(std::span<const SeriesEntry> entries, SeriesResult& r) {
  SeriesCurves& c = r.curves;
  c.tau.resize(kTauPoints);
  for (std::size_t k = 0; k < kTauPoints; ++k) c.tau[k] = tau_at(k);
  c.F.assign(entries.size(), std::vector<double>(kTauPoints, 0.0));
  c.mean.assign(kTauPoints, 0.0);
  c.sigma.assign(kTauPoints, 0.0);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const SeriesEntry& e = entries[i];
    for (std::size_t k = 0; k < kTauPoints; ++k) c.F[i][k] = sample_at(e.F, e.dt, e.rise + c.tau[k] * e.burn_time);
  }
  std::vector<double> at(entries.size());
  for (std::size_t k = 0; k < kTauPoints; ++k) {
    for (std::size_t i = 0; i < entries.size(); ++i) at[i] = c.F[i][k];
    const SampleStatistics s = sample_statistics(at);
    c.mean[k] = s.mean;
    c.sigma[k] = s.std_population;
  }
}

}  // namespace

std::string stand_share_text(const SeriesResult& r) {
  const StandShare& st = r.stand;
  if (!st.known) return "some firings have no uncertainty budget: the stand's part of the spread is not known";
  std::string s = "its uncertainty from firing to firing, u = " + significant(st.u_own, 2) +
                  " N s (root mean square over the firings), against the spread's sample STD " + figure(st.spread) +
                  " N s: ";
  if (st.share >= 1.0)
    s += "the stand accounts for all of the spread; the firings agree within what the stand can tell apart";
  else
    s += "the stand explains " + companion::percent(st.share, 2) + " of the spread's variance, the motors the rest (" +
         "about " + significant(st.motors, 2) + " N s, " + fixed(100.0 * st.motors / r.total_impulse.mean, 2) +
         " % of the mean)";
  if (!st.left_out.empty()) {
    s += "; not in the stand's part, so it may explain more: ";
    for (std::size_t k = 0; k < st.left_out.size(); ++k) s += (k ? ", " : "") + st.left_out[k];
  }
  if (st.u_common > 0.0)
    s += "; the terms alike in every firing (calibration, clock: one calibration, one logger) move the mean by "
         "U = " + significant(2.0 * st.u_common, 2) + " N s and none of the spread";
  return s;
}

double tau_at(std::size_t k) {
  return kTauFirst + (kTauLast - kTauFirst) * static_cast<double>(k) / static_cast<double>(kTauPoints - 1);
}

SeriesResult analyse_series(std::span<const SeriesEntry> entries, const SeriesOptions& options) {
  if (entries.size() < 2)
    throw DataError("a series needs two firings or more, " + std::to_string(entries.size()) + " given");
  SeriesResult r;
  std::vector<double> impulses, peaks, averages, burns, delays;
  for (std::size_t k = 0; k < entries.size(); ++k) {
    const SeriesEntry& e = entries[k];
    SeriesRow row;
    row.folder = e.folder;
    row.file = e.file;
    row.line = e.line;
    row.motor = e.motor;
    row.delay_label = e.delay_label;
    row.lot = e.lot;
    row.temperature = e.temperature;
    row.total_impulse = e.total_impulse;
    row.peak = e.peak;
    row.burn_time = e.burn_time;
    row.average = e.total_impulse / e.burn_time;
    row.delay = e.delay;
    const std::string name = firing_name(row, k);
    if (!(std::isfinite(e.total_impulse) && e.total_impulse > 0.0 && std::isfinite(e.burn_time) && e.burn_time > 0.0 &&
          std::isfinite(e.peak) && e.peak > 0.0))
      throw DataError(name + " has no burn (total impulse " + figure(e.total_impulse) + " N s, burn time " +
                      figure(e.burn_time) + " s): leave it out of the series");
    if (!e.delay_label.empty()) {
      const std::optional<double> label = companion::user_number(e.delay_label);
      if (!label || *label < 0.0)
        throw DataError(name + ": the delay label \"" + e.delay_label + "\" is not a delay in s");
      const double half = std::min(std::max(kDelaySeconds, kDelayShare * *label), kDelayMost);
      row.delay_low = *label - half;
      row.delay_high = *label + half;
    } else if (e.delay) {
      throw DataError(name + " has a measured delay (" + figure(*e.delay) +
                      " s) but no delay label to judge it by: give delay= in the series file");
    }
    impulses.push_back(row.total_impulse);
    peaks.push_back(row.peak);
    averages.push_back(row.average);
    burns.push_back(row.burn_time);
    if (row.delay) delays.push_back(*row.delay);
    r.rows.push_back(std::move(row));
  }
  r.total_impulse = column(impulses);
  r.peak = column(peaks);
  r.average = column(averages);
  r.burn_time = column(burns);
  r.delay = column(delays);
  r.mean_average = r.total_impulse.mean / r.burn_time.mean;
  r.model_motor = r.total_impulse.mean <= kModelImpulse && r.mean_average <= kModelAverage;
  for (SeriesRow& row : r.rows) row.impulse_deviation = (row.total_impulse - r.total_impulse.mean) / r.total_impulse.mean;
  add_designation(r);

  if (options.label_thrust) {
    r.label_thrust = *options.label_thrust;
    r.label_source = "--label-thrust";
  } else {
    const std::string& motor = r.rows.front().motor;
    const bool same = std::all_of(r.rows.begin(), r.rows.end(), [&](const SeriesRow& row) { return row.motor == motor; });
    const std::optional<double> number = same ? name_number(motor) : std::nullopt;
    std::int32_t own = 0;
    if (number) {
      r.label_thrust = *number;
      r.label_source = "the number of the motor's name " + motor;
    } else if (class_number(r.mean_average, own)) {
      r.label_thrust = own;
      r.label_source = "the number of the series' designation " + r.designation + "; give the label with --label-thrust";
    } else {
      throw DataError("the series has no labelled average thrust: give it with --label-thrust N");
    }
  }
  add_verdicts(r);
  add_stand_share(entries, r);
  add_curves(entries, r);
  return r;
}

// ---------------------------------------------------------------------------------------
// The series file.

namespace {

[[noreturn]] void line_error(const std::string& shown, std::size_t line, const std::string& what) {
  throw DataError(shown + ", line " + std::to_string(line) + ": " + what);
}

bool blank(char c) { return c == ' ' || c == '\t'; }

// The words of a line: blanks between them, quotation marks around one that holds
// blanks, '#' or '"' (a mark inside written twice), '#' outside them ends the line.
std::vector<std::string> words(std::string_view s, const std::string& shown, std::size_t line) {
  std::vector<std::string> out;
  std::size_t i = 0;
  while (true) {
    while (i < s.size() && blank(s[i])) ++i;
    if (i >= s.size() || s[i] == '#') break;
    std::string w;
    bool in_quotes = false, quoted_any = false;
    while (i < s.size()) {
      const char c = s[i];
      if (in_quotes) {
        if (c == '"') {
          if (i + 1 < s.size() && s[i + 1] == '"') {
            w += '"';
            i += 2;
            continue;
          }
          in_quotes = false;
          ++i;
          continue;
        }
        w += c;
        ++i;
        continue;
      }
      if (blank(c) || c == '#') break;
      if (c == '"') {
        in_quotes = quoted_any = true;
        ++i;
        continue;
      }
      w += c;
      ++i;
    }
    if (in_quotes) line_error(shown, line, "a quotation mark is not closed");
    if (w.empty() && !quoted_any) break;
    out.push_back(std::move(w));
  }
  return out;
}

bool absolute(const std::string& p) {
  if (p.starts_with('/') || p.starts_with('\\')) return true;
  return p.size() >= 2 && p[1] == ':' && ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z'));
}

}  // namespace

std::vector<SeriesEntry> parse_series_text(std::string_view text, const std::string& shown, const std::string& folder) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  if (text.find('\0') != std::string_view::npos)
    throw DataError(shown + " is not a text file");
  std::vector<SeriesEntry> out;
  std::size_t line = 0;
  std::size_t at = 0;
  while (at <= text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view s = text.substr(at, end - at);
    at = end + 1;
    ++line;
    if (s.ends_with('\r')) s.remove_suffix(1);
    if (s.find('\r') != std::string_view::npos) line_error(shown, line, "a CR inside the line");
    const std::vector<std::string> w = words(s, shown, line);
    if (w.empty()) {
      if (end == text.size()) break;
      continue;
    }
    SeriesEntry e;
    e.line = line;
    if (w[0].empty()) line_error(shown, line, "the case folder is empty");
    if (w[0].find('=') != std::string::npos)
      if (const std::string key = w[0].substr(0, w[0].find('='));
          key == "motor" || key == "delay" || key == "measured" || key == "lot" || key == "temp")
        line_error(shown, line, "the line starts with a label (" + key + "=), not with the case folder");
    e.folder = absolute(w[0]) || folder.empty() || folder == "." ? w[0] : folder + "/" + w[0];
    std::vector<std::string> seen;
    std::string measured;
    for (std::size_t k = 1; k < w.size(); ++k) {
      const std::size_t eq = w[k].find('=');
      if (eq == std::string::npos)
        line_error(shown, line,
                   "\"" + w[k] + "\" is not a label key=value (motor=, delay=, measured=, lot=, temp=); a folder with "
                   "blanks goes between quotation marks");
      const std::string key = w[k].substr(0, eq), value = w[k].substr(eq + 1);
      if (std::find(seen.begin(), seen.end(), key) != seen.end()) line_error(shown, line, key + "= is given twice");
      seen.push_back(key);
      if (key == "motor") {
        e.motor = value;
      } else if (key == "delay") {
        const std::optional<double> d = companion::user_number(value);
        if (!d || *d < 0.0) line_error(shown, line, "delay=" + value + " is not a delay in s");
        e.delay_label = value;
      } else if (key == "measured") {
        const std::optional<double> d = companion::user_number(value);
        if (!d || *d < 0.0) line_error(shown, line, "measured=" + value + " is not a delay in s");
        e.delay = *d;
      } else if (key == "lot") {
        e.lot = value;
      } else if (key == "temp") {
        e.temperature = value;
      } else {
        line_error(shown, line, "unknown label " + key + "= (motor=, delay=, measured=, lot=, temp=)");
      }
    }
    if (e.delay && e.delay_label.empty())
      line_error(shown, line, "measured= needs the labelled delay, delay=, to be judged by");
    out.push_back(std::move(e));
    if (end == text.size()) break;
  }
  if (out.empty()) throw DataError(shown + " names no firing");
  return out;
}

std::vector<SeriesEntry> read_series_file(const std::string& path) {
  const io::FileStatus st = io::os().status(path, true);
  if (st.kind != io::FileKind::Regular)
    throw DataError(path + (st.kind == io::FileKind::Missing ? ": no such file" : ": is not a regular file"));
  constexpr std::int64_t kMost = std::int64_t{16} << 20;
  if (st.size > kMost) throw DataError(path + ": is too large for a series file");
  io::OpenResult o;
  do o = io::os().open(path, io::Access::Read);
  while (o.error == io::OsError::Interrupted);
  if (o.handle < 0) throw DataError(path + ": cannot be opened");
  std::string text;
  char block[65536];
  while (true) {
    const io::OsResult r = io::os().read(o.handle, block, sizeof block);
    if (r.error == io::OsError::Interrupted) continue;
    if (r.error != io::OsError::None) {
      io::os().close(o.handle);
      throw DataError(path + ": cannot be read");
    }
    if (r.bytes == 0) break;
    text.append(block, r.bytes);
    if (static_cast<std::int64_t>(text.size()) > kMost) {
      io::os().close(o.handle);
      throw DataError(path + ": is too large for a series file");
    }
  }
  io::os().close(o.handle);
  const std::size_t slash = path.find_last_of(
#ifdef _WIN32
      "/\\"
#else
      "/"
#endif
  );
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);
  return parse_series_text(text, path, folder == "/" ? std::string("/") : folder);
}

// ---------------------------------------------------------------------------------------
// The tables.

namespace {

// Columns: left-aligned texts first, numbers right-aligned.
std::string aligned(const std::vector<std::vector<std::string>>& rows, std::size_t text_columns) {
  std::vector<std::size_t> width;
  for (const auto& r : rows)
    for (std::size_t c = 0; c < r.size(); ++c) {
      if (width.size() <= c) width.push_back(0);
      width[c] = std::max(width[c], r[c].size());
    }
  std::string out;
  for (const auto& r : rows) {
    std::string line = " ";
    for (std::size_t c = 0; c < r.size(); ++c) {
      line += ' ';
      const std::string pad(width[c] - r[c].size(), ' ');
      line += c < text_columns ? r[c] + pad : pad + r[c];
    }
    while (line.ends_with(' ')) line.pop_back();
    out += line + "\n";
  }
  return out;
}

struct Column {
  const ColumnStatistics* stats;
  const char* unit;
};

std::vector<std::string> statistics_row(const char* label, const SeriesResult& r,
                                        std::string (*cell)(const ColumnStatistics&)) {
  std::vector<std::string> row{label, "", ""};
  for (const ColumnStatistics* c : {&r.total_impulse, &r.peak, &r.average, &r.burn_time, &r.delay}) {
    row.push_back(c->n > 0 ? cell(*c) : "-");
    if (c == &r.total_impulse) row.push_back("");  // beside the column of U
  }
  return row;
}

std::string csv_field(const std::string& s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string q = "\"";
  for (const char c : s) q += c == '"' ? std::string("\"\"") : std::string(1, c);
  return q + "\"";
}

std::string csv_number(double v) { return std::isfinite(v) ? shortest_fixed(v) : ""; }
std::string csv_number(const std::optional<double>& v) { return v ? csv_number(*v) : ""; }

}  // namespace

std::string series_text(const SeriesResult& r) {
  std::string s = "Series of " + std::to_string(r.rows.size()) + " firings\n\n";
  std::vector<std::vector<std::string>> t;
  t.push_back({"", "file", "motor", "Itot (N s)", "U (k = 2)", "Fmax (N)", "Favg (N)", "tb 5% (s)", "delay (s)"});
  for (std::size_t k = 0; k < r.rows.size(); ++k) {
    const SeriesRow& row = r.rows[k];
    t.push_back({std::to_string(k + 1), row.file.empty() ? row.folder : row.file, row.motor.empty() ? "-" : row.motor,
                 figure(row.total_impulse), row.impulse_U ? "+- " + significant(*row.impulse_U, 2) : "-",
                 figure(row.peak), figure(row.average), figure(row.burn_time), figure(row.delay)});
  }
  t.push_back(statistics_row("AVG", r, [](const ColumnStatistics& c) { return figure(c.mean); }));
  t.push_back(statistics_row("STD", r, [](const ColumnStatistics& c) { return figure(c.std_population); }));
  t.push_back(statistics_row("STD %", r, [](const ColumnStatistics& c) { return fixed(c.std_percent, 2); }));
  t.push_back(statistics_row("sample STD (N-1)", r, [](const ColumnStatistics& c) { return figure(c.std_sample); }));
  t.push_back(statistics_row("95 % CI low", r, [](const ColumnStatistics& c) { return figure(c.ci_low); }));
  t.push_back(statistics_row("95 % CI high", r, [](const ColumnStatistics& c) { return figure(c.ci_high); }));
  s += aligned(t, 3);
  s += "\n  AVG, STD, STD %: the mean, the population standard deviation (divided by N) and STD / AVG x 100;\n"
       "  sample STD divides by N - 1; the 95 % confidence interval of the mean uses Student's t with N - 1\n"
       "  degrees of freedom; Favg = Itot / tb; U: the expanded uncertainty of Itot (k = 2, about 95 %).\n\n";
  s += "  the stand: " + stand_share_text(r) + "\n\n";
  s += "  average thrust as mean Itot / mean tb: " + figure(r.mean_average) + " N\n";
  s += "  designation of the series: " + (r.designation.empty() ? std::string("-") : r.designation) + " (" +
       (r.model_motor ? "model rocket motor" : "high-power motor") + ")\n";
  for (const std::string& n : r.notes) s += "  note: " + n + "\n";
  s += "\nNFPA 1125\n";
  for (const Verdict& v : r.verdicts) s += std::string(v.pass ? "  PASS  " : "  FAIL  ") + v.what + ": " + v.numbers + "\n";
  return s;
}

std::string series_csv(const SeriesResult& r) {
  std::string s =
      "row,file,motor,total_impulse_Ns,total_impulse_U_Ns,max_thrust_N,average_thrust_N,burn_time_s,delay_s,delay_label_s,"
      "delay_low_s,delay_high_s,lot,temperature,folder\r\n";
  for (std::size_t k = 0; k < r.rows.size(); ++k) {
    const SeriesRow& row = r.rows[k];
    s += std::to_string(k + 1) + "," + csv_field(row.file) + "," + csv_field(row.motor) + "," +
         csv_number(row.total_impulse) + "," + csv_number(row.impulse_U) + "," + csv_number(row.peak) + "," + csv_number(row.average) + "," +
         csv_number(row.burn_time) + "," + csv_number(row.delay) + "," + csv_field(row.delay_label) + "," +
         csv_number(row.delay_low) + "," + csv_number(row.delay_high) + "," + csv_field(row.lot) + "," +
         csv_field(row.temperature) + "," + csv_field(row.folder) + "\r\n";
  }
  const auto stats = [&](const char* label, double ColumnStatistics::*member) {
    s += std::string(label) + ",,";
    for (const ColumnStatistics* c : {&r.total_impulse, &r.peak, &r.average, &r.burn_time, &r.delay}) {
      if (s += ","; c->n > 0) s += csv_number(c->*member);
      if (c == &r.total_impulse) s += ",";  // the column of U
    }
    s += ",,,,,,\r\n";
  };
  stats("AVG", &ColumnStatistics::mean);
  stats("STD", &ColumnStatistics::std_population);
  stats("STD %", &ColumnStatistics::std_percent);
  stats("sample STD (N-1)", &ColumnStatistics::std_sample);
  stats("95 % CI low", &ColumnStatistics::ci_low);
  stats("95 % CI high", &ColumnStatistics::ci_high);
  return s;
}

std::string series_json(const SeriesResult& r) {
  const auto opt = [](const std::optional<double>& v) { return v ? json_number(*v) : std::string("null"); };
  const auto text_or_null = [](const std::string& t) { return t.empty() ? std::string("null") : json_string(t); };
  std::string s = "{\n  \"firings\": [\n";
  for (std::size_t k = 0; k < r.rows.size(); ++k) {
    const SeriesRow& row = r.rows[k];
    s += "    {\"folder\": " + json_string(row.folder) + ", \"file\": " + json_string(row.file) +
         ", \"motor\": " + text_or_null(row.motor) + ", \"total_impulse_Ns\": " + json_number(row.total_impulse) +
         ", \"total_impulse_U_Ns\": " + opt(row.impulse_U) +
         ", \"max_thrust_N\": " + json_number(row.peak) + ", \"average_thrust_N\": " + json_number(row.average) +
         ", \"burn_time_s\": " + json_number(row.burn_time) + ", \"delay_s\": " + opt(row.delay) +
         ", \"delay_label_s\": " + text_or_null(row.delay_label) + ", \"delay_low_s\": " + opt(row.delay_low) +
         ", \"delay_high_s\": " + opt(row.delay_high) + ", \"lot\": " + text_or_null(row.lot) +
         ", \"temperature\": " + text_or_null(row.temperature) +
         ", \"impulse_deviation\": " + json_number(row.impulse_deviation) + "}" +
         (k + 1 < r.rows.size() ? "," : "") + "\n";
  }
  s += "  ],\n  \"statistics\": {\n";
  const std::pair<const char*, const ColumnStatistics*> columns[] = {{"total_impulse_Ns", &r.total_impulse},
                                                                     {"max_thrust_N", &r.peak},
                                                                     {"average_thrust_N", &r.average},
                                                                     {"burn_time_s", &r.burn_time},
                                                                     {"delay_s", &r.delay}};
  for (std::size_t k = 0; k < std::size(columns); ++k) {
    const ColumnStatistics& c = *columns[k].second;
    s += std::string("    \"") + columns[k].first + "\": ";
    if (c.n == 0)
      s += "null";
    else
      s += "{\"n\": " + std::to_string(c.n) + ", \"avg\": " + json_number(c.mean) +
           ", \"std\": " + json_number(c.std_population) + ", \"std_percent\": " + json_number(c.std_percent) +
           ", \"sample_std\": " + json_number(c.std_sample) + ", \"ci95_low\": " + json_number(c.ci_low) +
           ", \"ci95_high\": " + json_number(c.ci_high) + "}";
    s += k + 1 < std::size(columns) ? ",\n" : "\n";
  }
  s += "  },\n";
  s += "  \"mean_impulse_over_mean_burn_time_N\": " + json_number(r.mean_average) + ",\n";
  s += std::string("  \"model_rocket_motor\": ") + (r.model_motor ? "true" : "false") + ",\n";
  s += "  \"label_thrust_N\": " + json_number(r.label_thrust) + ",\n";
  s += "  \"label_source\": " + json_string(r.label_source) + ",\n";
  s += "  \"designation\": " + text_or_null(r.designation) + ",\n";
  if (const StandShare& st = r.stand; st.known) {
    std::string left;
    for (std::size_t k = 0; k < st.left_out.size(); ++k) left += (k ? ", " : "") + json_string(st.left_out[k]);
    s += "  \"stand\": {\"u_own_Ns\": " + json_number(st.u_own) + ", \"u_common_Ns\": " + json_number(st.u_common) +
         ", \"spread_Ns\": " + json_number(st.spread) + ", \"share\": " + json_number(st.share) +
         ", \"motors_Ns\": " + json_number(st.motors) + ", \"left_out\": [" + left + "]},\n";
  } else {
    s += "  \"stand\": null,\n";
  }
  s += "  \"notes\": [";
  for (std::size_t k = 0; k < r.notes.size(); ++k) s += (k ? ", " : "") + json_string(r.notes[k]);
  s += "],\n  \"verdicts\": [\n";
  bool all = true;
  for (std::size_t k = 0; k < r.verdicts.size(); ++k) {
    const Verdict& v = r.verdicts[k];
    all = all && v.pass;
    s += "    {\"what\": " + json_string(v.what) + ", \"pass\": " + (v.pass ? "true" : "false") +
         ", \"numbers\": " + json_string(v.numbers) + "}" + (k + 1 < r.verdicts.size() ? "," : "") + "\n";
  }
  s += std::string("  ],\n  \"pass\": ") + (all ? "true" : "false") + ",\n";
  const auto list = [](const std::vector<double>& v) {
    std::string t = "[";
    for (std::size_t k = 0; k < v.size(); ++k) t += (k ? ", " : "") + json_number(v[k]);
    return t + "]";
  };
  s += "  \"curves\": {\"tau\": " + list(r.curves.tau) + ",\n             \"mean_N\": " + list(r.curves.mean) +
       ",\n             \"sigma_N\": " + list(r.curves.sigma) + "}\n";
  s += "}\n";
  return s;
}

// ---------------------------------------------------------------------------------------
// The representative motor.

RepresentativeCurve representative_curve(std::span<const SeriesEntry> entries, const SeriesResult& r) {
  RepresentativeCurve c;
  double dt = std::numeric_limits<double>::infinity();
  for (const SeriesEntry& e : entries) dt = std::min(dt, e.dt);
  const double burn = r.burn_time.mean;
  const double span = (kTauLast - kTauFirst) * burn;
  // At the finest step of the firings, but not more points than a motor file's choice
  // of points can use.
  constexpr double kMostPoints = 20000.0;
  if (!(dt > 0.0) || span / dt > kMostPoints) dt = span / kMostPoints;
  const auto n = static_cast<std::size_t>(std::floor(span / dt)) + 1;
  c.dt = dt;
  c.F.assign(n, 0.0);
  for (std::size_t k = 0; k < n; ++k) {
    const double tau = kTauFirst + static_cast<double>(k) * dt / burn;
    double sum = 0.0;
    for (const SeriesEntry& e : entries) sum += sample_at(e.F, e.dt, e.rise + tau * e.burn_time);
    c.F[k] = sum / static_cast<double>(entries.size());
  }
  const NfpaFigures f = certification_figures(c.F, c.dt);
  if (!(f.total_impulse > 0.0)) throw DataError("the mean curve of the series has no burn: no motor file can be made");
  c.scale = r.total_impulse.mean / f.total_impulse;
  for (double& v : c.F) v *= c.scale;
  return c;
}

std::vector<std::string> write_representative(std::span<const SeriesEntry> entries, const SeriesResult& r,
                                              const std::optional<std::string>& eng,
                                              const std::optional<std::string>& rse,
                                              const RepresentativeMotor& motor) {
  std::vector<std::string> warnings;
  if (!eng && !rse) return warnings;
  for (const std::optional<std::string>& p : {eng, rse})
    if (p)
      if (const std::string why = exporter::target_problem(*p); !why.empty())
        throw DataError("cannot write " + *p + ": " + why);
  const RepresentativeCurve curve = representative_curve(entries, r);
  const NfpaFigures nfpa = certification_figures(curve.F, curve.dt);

  exporter::EngHeader h;
  const auto ascii = [&](const std::string& utf8, const char* option) {
    const exporter::AsciiText a = exporter::ascii_from_utf8(utf8);
    if (!a.changes.empty())
      warnings.push_back(std::string(option) + " \"" + utf8 + "\" is written \"" + a.text + "\", in ASCII (" +
                         exporter::changes_text(a.changes) + ")");
    return a.text;
  };
  h.name = motor.name.empty() ? r.designation : ascii(motor.name, "--name");
  if (h.name.empty()) throw DataError("the series has no designation: give the motor file's name with --name");
  h.diameter_mm = motor.diameter_mm;
  h.length_mm = motor.length_mm;
  h.delays = motor.delays;
  h.propellant_kg = motor.propellant_kg;
  h.total_kg = motor.total_kg;
  h.maker = ascii(motor.maker, "--maker");
  const std::pair<std::string, const char*> problems[] = {
      {exporter::header_field_problem(h.name, true), "--name"},
      {exporter::header_field_problem(h.maker, false), "--maker"},
      {exporter::delays_problem(h.delays), "--delays"},
      {exporter::size_problem(h.diameter_mm), "--diameter"},
      {exporter::size_problem(h.length_mm), "--length"},
      {exporter::propellant_problem(h.propellant_kg), "--propellant-mass"},
      {exporter::total_mass_problem(h.total_kg, h.propellant_kg), "--total-mass"}};
  for (const auto& [p, option] : problems)
    if (!p.empty()) throw DataError("the representative motor file: " + p + " (" + option + ")");

  const exporter::MeasuredFigures measured = exporter::measured_figures(nfpa);
  const exporter::MotorPoints mp =
      exporter::export_motor_points(curve.F, curve.dt, measured, motor.max_points, motor.points_given);
  for (const std::string& n : mp.notes) warnings.push_back(n);
  if (!mp.problem.empty()) {
    std::string text = "the representative motor file cannot hold the mean curve's figures: " + mp.problem;
    if (mp.points_needed > 0) text += ": " + std::to_string(mp.points_needed) + " points hold them (--points " +
                                      std::to_string(mp.points_needed) + ")";
    throw DataError(text);
  }
  std::vector<std::string> comments;
  comments.push_back("representative motor of a series of " + std::to_string(r.rows.size()) +
                     " static firings, written by kalvorestine_2p0_report with the export's writer");
  comments.push_back("the mean of the curves on t = rise + tau x burn time, at the mean burn time " +
                     significant(r.burn_time.mean, 6) + " s, scaled by " + significant(curve.scale, 6) +
                     " to the mean total impulse " + significant(r.total_impulse.mean, 6) + " N s");
  comments.push_back("series: " + (r.designation.empty() ? std::string("no designation") : r.designation) +
                     ", total impulse STD " + significant(r.total_impulse.std_percent, 3) + " %");
  comments.push_back("NFPA 1125 of this curve: total impulse " + significant(nfpa.total_impulse, 6) +
                     " N s, burn time " + significant(nfpa.burn_time, 6) + " s, average thrust " +
                     significant(nfpa.average, 6) + " N, peak " + significant(nfpa.peak, 6) + " N");
  std::string eng_bytes, rse_bytes;
  if (eng) eng_bytes = exporter::write_eng_text(comments, h, mp, measured, curve.dt);
  if (rse) {
    std::string text;
    for (const std::string& c : comments) text += (text.empty() ? "" : "; ") + c;
    rse_bytes = exporter::write_rse_text(text, h, motor.type, mp, measured, curve.dt);
  }
  // Both whole in temporary files first; then each put in place.
  std::vector<std::unique_ptr<exporter::OutputFile>> files;
  const auto whole = [&](const std::string& path, std::string_view bytes) {
    files.push_back(std::make_unique<exporter::OutputFile>(path, path));
    files.back()->append(bytes);
    files.back()->finish();
  };
  if (eng) whole(*eng, eng_bytes);
  if (rse) whole(*rse, rse_bytes);
  for (const auto& f : files) f->commit();
  return warnings;
}

}  // namespace kv::report
