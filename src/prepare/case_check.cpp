#include "prepare/case_check.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "analysis/window.h"
#include "companion/number_text.h"
#include "companion/case_record.h"
#include "input/case_selection.h"
#include "io/diagnostics.h"
#include "io/files.h"
#include "io/list_directed.h"
#include "output/plot_script.h"
#include "prepare/logger_format.h"
#include "prepare/os_files.h"
#include "prepare/text_lines.h"
#include "run/program_files.h"
#include "run/run_state.h"

namespace kv::prepare {

using companion::significant;

namespace {

std::string shown(std::string_view text) { return quoted(text, 60); }

bool separator(char c) { return c == ' ' || c == '\t' || c == ',' || c == '/' || c == '\r'; }

// The values of a record as the program's reader sees them (its separators).
void values_of(std::string_view rec, std::vector<std::string_view>& out) {
  out.clear();
  std::size_t i = 0;
  while (i < rec.size()) {
    while (i < rec.size() && separator(rec[i])) ++i;
    const std::size_t start = i;
    while (i < rec.size() && !separator(rec[i])) ++i;
    if (i > start) out.push_back(rec.substr(start, i - start));
  }
}

// "0,5 12,3" or "0,5;12,3": numbers written with a decimal comma.
bool decimal_commas(std::string_view rec) {
  std::vector<std::string_view> f;
  for (Delimiter d : {Delimiter::Blanks, Delimiter::Semicolon, Delimiter::Tab}) {
    split_fields(rec, d, f);
    if (f.size() < 2) continue;
    double v = 0;
    std::size_t commas = 0;
    bool all = true;
    for (auto x : f) {
      all = all && parse_number(x, true, v);
      commas += x.find(',') != std::string_view::npos;
    }
    if (all && commas > 0) return true;
  }
  return false;
}

std::string failure_text(const io::Failure& f) { return "the program stops here: " + io::severe_line(f); }

void check_load_cell(const RunState& s, std::vector<Finding>& out) {
  const std::string name(s.original.trim());
  // Opened as the program opens it, under its unit, but for reading only: a missing file
  // is reported (the program would create it empty and stop at its first read), and so
  // is one that is not a regular file (the program stops at its first read).
  try {
    io::open(unit::kLoadCell, name, io::Access::Read);
    const bool regular = io::file(unit::kLoadCell).regular;
    const io::Failure not_regular = io::unit_failure(io::kOpenFailure, unit::kLoadCell, io::file(unit::kLoadCell).full_path);
    io::close(unit::kLoadCell);
    if (!regular) throw not_regular;
  } catch (const io::Failure& f) {
    io::close_all_as_they_stand();
    out.push_back({name, f.number == io::kFileNotFound
                             ? "the load-cell data file is missing: the program creates it empty and stops (end-of-file "
                               "during read)"
                             : failure_text(f)});
    return;
  }
  TextLines lines{name, true};
  auto at = [&](std::int64_t line) { return name + ":" + std::to_string(line); };

  const double dt = sampling_interval(s.w);
  const Window window(s.ti, s.tf, dt);
  std::vector<std::string_view> vals;
  std::string_view rec;
  double sample[2] = {0, 0};
  int got = 0;
  std::int64_t nc = 0, before = 0, last_line = 0, first_in = 0, last_in = 0, nmax_line = 0;
  std::int64_t first_before = 0, last_before = 0;
  double peak = 0;
  std::vector<double> thrust_before;
  bool whole = true, comma_seen = false, past = false;
  double prev_t = 0;
  std::vector<double> steps;
  double step_max = 0;
  std::int64_t step_max_line = 0;

  while (!past && lines.next(rec)) {
    last_line = lines.number();
    values_of(rec, vals);
    if (vals.empty()) continue;  // a blank record holds no value
    if (!comma_seen && decimal_commas(rec)) {
      comma_seen = true;
      out.push_back({at(lines.number()), shown(rec) + " has decimal commas: the program takes the comma for a "
                                                      "separator and reads other numbers (0,5 is 0 and 5)"});
    }
    if (rec.find('/') != std::string_view::npos || rec.find(",,") != std::string_view::npos) {
      out.push_back({at(lines.number()), shown(rec) + " is not two numbers: a '/' or an empty value leaves the sample "
                                                      "as it was"});
    }
    if (got == 0 && vals.size() == 1)
      out.push_back({at(lines.number()), shown(rec) + " holds one number: the program takes the thrust from the next "
                                                      "line"});
    for (std::size_t k = 0; k < vals.size() && got < 2; ++k) {
      double v = 0;
      if (io::convert_real(vals[k].data(), vals[k].data() + vals[k].size(), v) != 0) {
        out.push_back({at(lines.number()), shown(rec) + " is not two numbers: the program stops here (list-directed "
                                                        "I/O syntax error)"});
        return;
      }
      sample[got++] = v;
    }
    if (got < 2) continue;
    got = 0;
    const double t = sample[0], F = sample[1];
    if (window.holds(t)) {
      ++nc;
      if (nc == 1) first_in = lines.number();
      else {
        const double step = t - prev_t;
        steps.push_back(step);
        if (step > step_max) {
          step_max = step;
          step_max_line = lines.number();
        }
      }
      if (nc == static_cast<std::int64_t>(s.nmax) + 1) nmax_line = lines.number();
      last_in = lines.number();
      prev_t = t;
      whole = whole && t == std::floor(t);
      peak = std::max(peak, F);
    } else if (window.before(t) && nc == 0) {
      if (before == 0) first_before = lines.number();
      last_before = lines.number();
      ++before;
      thrust_before.push_back(F);
    }
    past = window.passed(t);
  }

  if (!past)
    out.push_back({at(last_line), "the file ends without a sample after tf + dt/2 = " + significant(window.closes(), 6) +
                                      " s: the program stops with end-of-file during read; the record must go on past "
                                      "tf (or tf must come earlier)"});
  if (nc == 0) {
    out.push_back({name, "no sample inside the window ti = " + significant(s.ti, 6) + " s to tf = " + significant(s.tf, 6) + " s"});
    return;
  }
  if (before == 0)
    out.push_back({at(first_in), "no sample before ti = " + significant(s.ti, 6) + " s: the window starts at the first sample, "
                                 "and the firing may have started before the record"});
  if (nc > s.nmax)
    out.push_back({at(nmax_line), "the window holds " + std::to_string(nc) + " samples, more than nmax = " +
                                      std::to_string(s.nmax) + ": the program stops here (subscript out of range); set "
                                      "nmax to " + std::to_string(nc) + " or more"});
  if (!steps.empty()) {
    std::vector<double> sorted = steps;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted[sorted.size() / 2];
    const std::string span = name + ":" + std::to_string(first_in) + "-" + std::to_string(last_in);
    if (whole && median >= 1)
      out.push_back({span, "the times step by whole numbers (" + significant(median, 6) + "): they look like milliseconds, but the "
                           "program reads seconds"});
    else if (median > 0 && std::abs(median - dt) > 0.005 * dt)
      out.push_back({span, "the samples are " + significant(median, 6) + " s apart (" + significant(1 / median, 5) + " Hz) but w = " +
                               std::to_string(s.w) + ": the program places point n at (n - 1)/w, so the curve's times and impulse come "
                               "out " + significant(std::abs(100 * (dt / median - 1)), 3) + " % " + (dt < median ? "low" : "high") +
                               "; give w = " + significant(std::round(1 / median), 10) + " or resample with kalvorestine_2p0_prepare"});
    else if (step_max > 1.5 * median)
      out.push_back({at(step_max_line), "a step of " + significant(step_max, 6) + " s where the record's step is " + significant(median, 6) +
                                            " s: the program places the points 1/w apart whatever their times, so gaps "
                                            "shorten the curve; resample with kalvorestine_2p0_prepare"});
  }
  if (before > 0 && peak > 0) {
    // The baseline before ti: the median of the samples there, so that the rise just
    // before ti (up to the threshold) does not count as an offset.
    std::nth_element(thrust_before.begin(), thrust_before.begin() + static_cast<std::ptrdiff_t>(thrust_before.size() / 2),
                     thrust_before.end());
    const double level = thrust_before[thrust_before.size() / 2];
    if (std::abs(level) > 0.02 * peak)
      out.push_back({name + ":" + std::to_string(first_before) + "-" + std::to_string(last_before),
                     "the thrust before ti stands at " + significant(level, 4) + " N (the median of " +
                         std::to_string(before) + " samples), " + significant(100 * level / peak, 3) + " % of the peak " +
                         significant(peak, 4) + " N: the load cell's zero is off (not tared), and the offset goes into "
                         "the impulse"});
  }
}

// The program writes its results into the case folder, starting with the run log: a
// folder it cannot write to stops it there (message 9). Found with a probe file made
// and removed at once, or by opening the result files that exist as the program does.
void check_writable(const RunState& s, std::vector<Finding>& out) {
  const std::string caso(s.caso.trim());
  const std::pair<int, std::string> results[] = {{unit::kRunLog, run_log_name(caso)},
                                                 {unit::kSummaryReport, summary_report_name(caso)},
                                                 {unit::kCurveTable, curve_table_name(caso)}};
  const auto refused = [&](int u, const std::string& name) {
    out.push_back({name, failure_text(io::unit_failure(io::kPermissionDenied, u, io::full_path_name(name))) +
                             " (the program cannot write there)"});
  };
  for (const auto& [u, name] : results) {
    const io::FileStatus st = io::os().status(name, true);
    if (st.kind == io::FileKind::Missing) {
      const std::string probe = folder_of(name) + "/.kalvorestine_2p0_prepare-check";
      const io::OpenResult r = io::os().open(probe, io::Access::CreateNew);
      if (r.error == io::OsError::None) {
        io::os().close(r.handle);
        io::os().remove_file(probe);
      } else if (r.error == io::OsError::AccessDenied) {
        refused(u, name);
        return;
      }
    } else if (st.kind == io::FileKind::Regular) {
      const io::OpenResult r = io::os().open(name, io::Access::ReadWrite);
      if (r.error == io::OsError::None) io::os().close(r.handle);
      if (r.error == io::OsError::AccessDenied) {
        refused(u, name);
        return;
      }
    }
  }
}

// A case name with a folder in it makes the program write its results elsewhere.
void check_case_name(const RunState& s, std::vector<Finding>& out) {
  const std::string caso(s.caso.trim());
  const CaseNamePlace place = case_name_place(caso);
  if (place == CaseNamePlace::Here) return;
  const bool outside = place == CaseNamePlace::Outside;
  out.push_back({std::string(s.arqcaso.trim()),
                 "the case name " + shown(caso) + " holds a path: the program writes its results to " +
                     shown(summary_report_name(caso)) + " and beside it, " +
                     (outside ? "outside the case folder" : "in another folder than the case folder") +
                     "; give a case name without '/' or '\\'"});
}

// A case prepare made holds its record: its load-cell file must still be the one the
// record describes, else the record (and what export and the report take from it) is
// about another curve.
void check_record(const RunState& s, std::vector<Finding>& out) {
  const companion::RecordCheck c = companion::check_case_record(std::string(s.caso.trim()), std::string(s.original.trim()));
  if (c.state == companion::RecordCheck::State::Problem) out.push_back({c.file, c.problem});
}

std::vector<Finding> check_files() {
  std::vector<Finding> out;
  auto state = std::make_unique<RunState>();
  RunState& s = *state;
  try {
    read_general_data(s, io::Access::Read);
  } catch (const io::Failure& f) {
    io::close_all_as_they_stand();
    out.push_back({kGeneralDataFile, failure_text(f)});
    return out;
  }
  const std::string arqcaso(s.arqcaso.trim());
  const CaseParameter* reading = nullptr;
  try {
    read_case_parameters(s, io::Access::Read, &reading);
  } catch (const io::Failure& f) {
    io::close_all_as_they_stand();
    std::string where;
    if (reading) {
      const auto n = static_cast<std::size_t>(reading - kCaseParameters) + 1;
      where = " (reading value " + std::to_string(n) + " of " + std::to_string(std::size(kCaseParameters)) + ", " +
              std::string(reading->name) + ")";
    }
    out.push_back({arqcaso, failure_text(f) + where});
    return out;
  }
  bool values_ok = true;
  if (s.w <= 0) {
    out.push_back({arqcaso, "w = " + std::to_string(s.w) + ": the frequency must be positive"});
    values_ok = false;
  }
  if (!(s.tf > s.ti)) {
    out.push_back({arqcaso, "tf = " + significant(s.tf, 6) + " is not after ti = " + significant(s.ti, 6)});
    values_ok = false;
  }
  if (s.nmax <= 0) out.push_back({arqcaso, "nmax = " + std::to_string(s.nmax) + ": no point can be stored"});
  if (!(s.M > 0)) out.push_back({arqcaso, "M = " + significant(s.M, 6) + " kg: the propellant mass must be positive"});
  check_case_name(s, out);
  if (values_ok) check_load_cell(s, out);
  check_record(s, out);
  check_writable(s, out);

  if (s.graf == 1) {
    if (io::os().status(kPlotScript, true).kind == io::FileKind::Missing) {
      out.push_back({kPlotScript, "missing while graf = 1: the program creates it empty and stops (end-of-file during "
                                  "read); copy one with six head records, or set graf = 0"});
    } else {
      TextLines script{kPlotScript, true};
      std::string_view line;
      int records = 0;
      static_assert(kPlotScriptHeadRecords == 6, "the messages say six");
      while (records < kPlotScriptHeadRecords && script.next(line)) ++records;
      if (records < kPlotScriptHeadRecords)
        out.push_back({kPlotScript, "holds " + std::to_string(records) + " record" + (records == 1 ? "" : "s") +
                                        ", fewer than the six head records the program keeps: it stops (end-of-file "
                                        "during read)"});
    }
  }
  return out;
}

}  // namespace

std::vector<Finding> check_case() {
  std::vector<Finding> out = check_files();
  // Names and values come from the files: what the terminal shows is their bytes escaped.
  for (Finding& f : out) {
    f.where = printable(f.where);
    f.text = printable(f.text);
  }
  return out;
}

}  // namespace kv::prepare
