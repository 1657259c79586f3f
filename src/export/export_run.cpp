#include "export/export_run.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string_view>

#include "analysis/impulse_class.h"
#include "analysis/window.h"
#include "companion/case_record.h"
#include "companion/entry.h"
#include "companion/errors.h"
#include "companion/number_text.h"
#include "export/ascii_text.h"
#include "export/output_file.h"
#include "export/rse_file.h"
#include "input/case_selection.h"
#include "input/load_cell.h"
#include "io/cp1252.h"
#include "io/diagnostics.h"
#include "io/files.h"
#include "run/program_files.h"

namespace kv::exporter {

using companion::DataError;
using companion::shortest_fixed;
using companion::significant;
using companion::utf8_from_cp1252;

namespace {

// A file's full path as the messages show it.
std::string full_path(const std::string& name) { return io::full_path_name(name); }

constexpr const char* kRunAgain = "run the program again on the case";

// Runs `step`, turning an io failure into a message that names the file.
template <class Step>
auto reading(std::string_view what, const std::string& name, Step step, std::string_view hint = {}) {
  try {
    return step();
  } catch (const io::Failure& f) {
    io::close_all_as_they_stand();
    std::string text = "cannot read " + std::string(what) + " " + full_path(name) + ": " + companion::failure_reason(f);
    if (!hint.empty() && f.number == io::kFileNotFound) text.append("; ").append(hint);
    throw DataError(text);
  }
}

// The last record of a file that is not blank, read a block at a time so that a long
// run log needs no room of its own.
std::string last_record(int u, const std::string& name) {
  io::open(u, name, io::Access::Read);
  constexpr std::size_t kChunk = std::size_t{1} << 16;
  auto buffer = std::make_unique<char[]>(kChunk);
  std::string tail;
  for (;;) {
    const std::size_t got = io::read_bytes(io::file(u), buffer.get(), kChunk);
    if (got == 0) break;
    tail.append(buffer.get(), got);
    if (tail.size() > 4 * kChunk) tail.erase(0, tail.size() - 2 * kChunk);
  }
  io::close(u);
  const std::vector<std::string_view> records = text_records(tail);
  for (auto it = records.rbegin(); it != records.rend(); ++it)
    if (!io::trimmed(*it).empty()) return std::string(io::trimmed(*it));
  return {};
}

// File systems that keep times to two seconds (FAT) give a file written right after
// another the same time, or one that seems older.
constexpr std::int64_t kTimeSlackNs = 2'000'000'000;

void check_finished(const RunState& s, const std::string& case_file, const WindowFigures& w,
                    const std::string& report, const std::string& table, const std::string& log) {
  // The run log ends where a finished run ends.
  const std::string last = reading("the run log", log, [&] { return last_record(unit::kRunLog, log); },
                                   "the results have no run log beside them; run the program on the case");
  if (last != io::kCp1252<kLastProgress>.view())
    throw DataError("the run log " + full_path(log) + " ends at \"" + utf8_from_cp1252(last) +
                    "\": the last run of the case stopped there, and its summary report and curve table may be "
                    "an earlier run's; " + kRunAgain);
  // The report's echo is the case's values.
  std::string expected[5];
  expected_echo(s, expected);
  for (int k = 0; k < 5; ++k)
    if (w.echo[k] != expected[k])
      throw DataError("the summary report " + full_path(report) + " was written for " + kEchoNames[k] + " = " +
                      utf8_from_cp1252(w.echo[k]) + ", where the case parameter file " + full_path(case_file) +
                      " now gives " + expected[k] + ": the results are from an earlier run; " + kRunAgain);
  // No result is older than an input.
  struct Input {
    const char* what;
    std::string name;
  };
  const Input inputs[] = {{"the case parameter file", case_file}, {"the load-cell record", std::string(s.original.trim())}};
  const Input results[] = {{"the summary report", report}, {"the curve table", table}, {"the run log", log}};
  for (const Input& in : inputs) {
    const io::FileStatus a = io::os().status(in.name, true);
    if (a.kind != io::FileKind::Regular) continue;
    for (const Input& out : results) {
      const io::FileStatus b = io::os().status(out.name, true);
      if (b.kind == io::FileKind::Regular && b.modified_ns + kTimeSlackNs < a.modified_ns)
        throw DataError(std::string(in.what) + " " + full_path(in.name) + " was changed after the run that wrote " +
                        out.what + " " + full_path(out.name) + ": the results may not be its own; " + kRunAgain +
                        " (a case folder copied without its files' times needs the same)");
    }
  }
}

// A value of the case that must be a finite number.
void check_finite(const std::string& case_file, const char* name, int record, double v) {
  if (!std::isfinite(v))
    throw DataError("the case parameter file " + full_path(case_file) + " gives " + name + " = " + significant(v, 7) +
                    " (its value " + std::to_string(record) + "), not a finite number");
}

// A thrust as the curve table writes it (1P E15.6) against the same thrust computed
// again: the same to the table's seven digits.
bool same_thrust(double table, double computed) {
  return std::fabs(table - computed) <= 6e-7 * std::fabs(computed) + 1e-300;
}

}  // namespace

FiringCurve firing_curve(const RunState& s, const ProcessedCurve& table, std::vector<std::string>& notes) {
  FiringCurve c;
  c.dt = table.dt;
  const auto from_table = [&](const std::string& why) {
    if (!why.empty()) notes.push_back(why);
    c.F = table.F;
    c.t0 = 0.0;
    c.whole_firing = false;
    c.source = "the curve table: the window's " + std::to_string(table.F.size()) + " points";
    return c;
  };
  const std::string record(s.original.trim());
  const Window window(s.ti, s.tf, table.dt);
  std::vector<double> F;
  F.reserve(table.F.size() + 1024);
  std::size_t first_in = 0, taken = 0;
  bool in_window = false, passed = false, uniform = true;
  double t_first = 0.0, t_before = 0.0;
  try {
    io::open(kv::unit::kLoadCell, record, io::Access::Read);
  } catch (const io::Failure& f) {
    io::close_all_as_they_stand();
    return from_table("the load-cell record " + full_path(record) + " cannot be read (" + companion::failure_reason(f) +
                      "): the motor files are made of the curve table (the window)");
  }
  {
    for (std::size_t k = 0; !io::at_end(kv::unit::kLoadCell); ++k) {
      double t = 0.0, v = 0.0;
      try {
        read_sample(t, v);
      } catch (const io::Failure& f) {
        io::close_all_as_they_stand();
        if (!passed)
          throw DataError("cannot read the load-cell record " + full_path(record) + " as the program read it: " +
                          companion::failure_reason(f) + "; " + kRunAgain);
        break;  // a record after the firing that holds no sample ends it
      }
      if (!std::isfinite(t) || !std::isfinite(v)) {
        io::close_all_as_they_stand();
        if (!passed) throw DataError("the load-cell record " + full_path(record) + " holds a value that is not a finite number (sample " +
                                     std::to_string(k + 1) + ")");
        break;
      }
      if (k == 0) t_first = t;
      if (k > 0 && !(t > t_before)) uniform = false;
      t_before = t;
      if (!passed && window.holds(t)) {
        if (!in_window) first_in = k;
        in_window = true;
        ++taken;
      } else if (!passed && window.passed(t)) {
        passed = true;
      }
      F.push_back(cut_off(v, s.Fcor));
      if (std::fabs((t - t_first) - static_cast<double>(k) * table.dt) > table.dt / 4) uniform = false;
    }
    io::close(kv::unit::kLoadCell);
  }
  if (taken != table.F.size())
    throw DataError("the load-cell record " + full_path(record) + " gives " + std::to_string(taken) +
                    " samples inside the window where the curve table holds " + std::to_string(table.F.size()) +
                    ": the results are not of this record; " + kRunAgain);
  for (std::size_t k = 0; k < taken; ++k)
    if (!same_thrust(table.F[k], F[first_in + k]))
      throw DataError("the load-cell record " + full_path(record) + " gives sample " + std::to_string(first_in + k + 1) +
                      " a thrust of " + significant(F[first_in + k], 7) + " N after the cut-off, where the curve table "
                      "gives its point " + std::to_string(k + 1) + " " + significant(table.F[k], 7) +
                      " N: the results are not of this record; " + kRunAgain);
  const std::size_t outside = F.size() - taken;
  if (outside <= 1) return from_table("");
  if (!uniform)
    return from_table("the load-cell record's samples are not every 1/w = " + shortest_fixed(table.dt) +
                      " s beyond the window: the motor files are made of the curve table (the window)");
  // Inside the window the curve table's values, to the last bit.
  std::copy(table.F.begin(), table.F.end(), F.begin() + static_cast<std::ptrdiff_t>(first_in));
  c.F = std::move(F);
  c.t0 = -static_cast<double>(first_in) * table.dt;
  c.whole_firing = true;
  c.source = "the whole firing from the load-cell record " + utf8_from_cp1252(record) + ": " +
             std::to_string(c.F.size()) + " samples from " + significant(c.t0, 7) + " s to " +
             significant(c.t0 + static_cast<double>(c.F.size() - 1) * c.dt, 7) +
             " s after ti, cut off at Fcor as the program does (the window's points are the curve table's)";
  return c;
}

namespace {

// The text given to an option on prepare's command line, as the case's record keeps it;
// "" when it was not given.
std::string typed_option(const companion::JsonValue& record, std::string_view option) {
  const std::vector<companion::JsonValue>& args = record["arguments"].array;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i].string;
    if (a == option && i + 1 < args.size()) return args[i + 1].string;
    if (a.size() > option.size() && a.starts_with(option) && a[option.size()] == '=') return a.substr(option.size() + 1);
  }
  return {};
}

}  // namespace

BudgetInputs budget_inputs(const Options& o, double propellant_kg, std::span<const double> F, const NfpaFigures& n,
                           double dt, const companion::JsonValue* record) {
  BudgetInputs in;
  const auto number = [](const companion::JsonValue& v) -> std::optional<double> {
    const std::optional<double> x = v.as_number();
    if (x && std::isfinite(*x) && *x >= 0) return x;
    return std::nullopt;
  };
  if (record) {
    const companion::JsonValue& r = *record;
    const companion::JsonValue& cal = r["calibration"];
    const std::string from_calibration = "the calibration " + cal["file"].string + ", in the case's record";
    if (const auto share = number(cal["slope_share"])) {
      in.slope_share = *share;
      in.slope_from = from_calibration;
    } else if (const auto pct = number(r["slope_uncertainty_pct"])) {
      in.slope_share = *pct / 100.0;
      in.slope_from = "prepare's --slope-uncertainty, in the case's record";
    }
    const auto nl = number(cal["nonlinearity_pct"]), load = number(cal["largest_load_N"]);
    if (nl && load && cal["points"].array.size() > 2) {
      in.nonlinearity_N = *nl / 100.0 * *load;
      in.nonlinearity_from = "the calibration's largest residual, in the case's record";
    }
    const companion::JsonValue& tare = r["tare"];
    if (tare["mode"].string != "none") {
      if (const auto u = number(tare["offset_u_N"])) in.tare_offset_N = *u;
      // A tare from before ignition leaves the drift to after burn-out; a linear tare
      // follows it.
      if (tare["mode"].string == "pre")
        if (const auto d = tare["drift_N"].as_number(); d && std::isfinite(*d)) in.tare_drift_N = std::fabs(*d);
      in.tare_from = "the tare spans in the case's record";
    }
    if (const auto sd = number(r["baseline"]["sd_N"]); sd && *sd > 0) {
      in.noise_sigma_N = *sd;
      in.noise_from = "the quiet baseline's deviation, in the case's record";
    }
    // A rate the logger's header states, against the logger's own times: how far one of
    // them is off, with nothing to say which, rectangular.
    if (const auto off = number(r["steps"]["stated_rate_off"])) {
      in.clock_share = *off / std::sqrt(3.0);
      in.clock_from = "the rate the logger's header states against its own times, in the case's record";
    }
    if (const auto q = number(r["baseline"]["quantisation_N"]); q && *q > 0) {
      in.quantisation_N = *q;
      in.quantisation_from = "the smallest step of the readings, in the case's record";
    }
  }
  if (o.slope_pct) {
    in.slope_share = *o.slope_pct / 100.0;
    in.slope_from = "--slope-uncertainty";
  }
  if (o.nonlinearity_pct && o.full_scale_N) {
    in.nonlinearity_N = *o.nonlinearity_pct / 100.0 * *o.full_scale_N;
    in.nonlinearity_from = "--nonlinearity of --full-scale";
  }
  // The scatter of the readings between the crossings, where the cut-off at Fcor leaves
  // the curve as it was read; the motor's own roughness counts as noise there.
  const UniformTimes times{dt};
  const Crossings c = crossings(F, times, peak_index(F), n.threshold);
  if (!in.noise_sigma_N && c.last > c.first + 2) {
    in.noise_sigma_N = noise_from_curve(F.subspan(c.first, c.last - c.first + 1));
    in.noise_from = "the curve's own scatter between the 5 % crossings";
  }
  if (propellant_kg > 0.0) {
    in.mass_kg = propellant_kg;
    if (o.mass_u_g) {
      in.mass_u_kg = *o.mass_u_g / 1000.0;
      in.mass_from = "--mass-uncertainty";
    } else {
      in.mass_u_kg = last_digit_uncertainty(propellant_kg);
      in.mass_from = "half the last digit of the mass, rectangular";
      // The mass as it was typed to prepare holds the digits the user knew.
      const std::string typed = record && !o.propellant_kg ? typed_option(*record, "--mass") : std::string();
      if (const double u = last_digit_uncertainty(typed); u > 0) {
        in.mass_u_kg = u;
        in.mass_from = "half the last digit of prepare's --mass " + typed + ", rectangular";
      }
    }
  }
  return in;
}

std::optional<RunBudgets> run_budgets(const Options& o, const FinishedRun& r, const NfpaFigures& n,
                                      std::vector<std::string>& warnings) {
  const RunState& s = *r.s;
  const FiringCurve& curve = r.firing;
  if (!(n.peak > 0.0 && n.burn_time > 0.0 && r.curve.F.size() > 1)) return std::nullopt;
  const companion::RecordCheck record =
      companion::check_case_record(std::string(s.caso.trim()), std::string(s.original.trim()));
  if (record.state == companion::RecordCheck::State::Problem)
    warnings.push_back(record.file + " " + record.problem + "; the uncertainty leaves out what the record would give");
  const BudgetInputs in = budget_inputs(o, o.propellant_kg.value_or(s.M), curve.F, n, curve.dt,
                                        record.record ? &record.record->json : nullptr);
  RunBudgets b{nfpa_budget(curve.F, curve.dt, kNoThrustShare * n.peak, in),
               window_budget(r.curve.F, r.curve.dt, r.window.total_impulse, r.window.burn_time, r.window.mean_thrust,
                             in)};
  if (b.nfpa.class_probability < 0.95)
    warnings.push_back("the total impulse " + significant(n.total_impulse, 7) + " N s +- " +
                       significant(b.nfpa.U[kTotalImpulse], 2) + " N s (k = 2) lies near a class bound: the class " +
                       "printed holds with a probability of " + companion::percent(b.nfpa.class_probability, 3));
  if (b.nfpa.number_probability < 0.95)
    warnings.push_back("the average thrust " + significant(n.average, 6) + " N +- " +
                       significant(b.nfpa.U[kAverage], 2) + " N (k = 2) lies near a half newton: the designation's " +
                       "number holds with a probability of " + companion::percent(b.nfpa.number_probability, 3));
  return b;
}

MeasuredFigures measured_figures(const NfpaFigures& n) {
  return {n.total_impulse, n.peak, n.burn_time, n.average, n.total_average()};
}

FinishedRun read_finished_run() {
  FinishedRun r;
  r.s = std::make_unique<RunState>();
  RunState& s = *r.s;
  reading("the general data file", kGeneralDataFile, [&] { read_general_data(s, io::Access::Read); },
          "is the folder a case folder of KALVORESTINE 2.0?");
  r.case_file = std::string(s.arqcaso.trim());
  reading("the case parameter file", r.case_file, [&] { read_case_parameters(s, io::Access::Read); });
  check_finite(r.case_file, "ti", 2, s.ti);
  check_finite(r.case_file, "tf", 3, s.tf);
  check_finite(r.case_file, "Fcor", 4, s.Fcor);
  check_finite(r.case_file, "M", 5, s.M);
  if (s.w <= 0)
    throw DataError("the case parameter file " + full_path(r.case_file) + " gives w = " + std::to_string(s.w) +
                    " Hz: the curve has no time step");
  const std::string report_file = summary_report_name(s.caso.trim());
  const std::string table_file = curve_table_name(s.caso.trim());
  const std::string log_file = run_log_name(s.caso.trim());
  const char* run_first = "run the program on the case first";
  r.window = reading("the summary report", report_file, [&] { return read_summary_report(report_file); }, run_first);
  check_finished(s, r.case_file, r.window, report_file, table_file, log_file);
  r.curve = reading("the curve table", table_file, [&] { return read_curve_table(table_file, s, r.window.points); },
                    run_first);
  r.firing = firing_curve(s, r.curve, r.notes);
  r.files = {kGeneralDataFile, r.case_file, std::string(s.original.trim()), report_file, table_file, log_file,
             kPlotScript};
  return r;
}

bool names_case_file(const std::string& path, const FinishedRun& r) {
  const io::FileStatus o = io::os().status(path, true);
  const std::string full = io::full_path_name(path);
  for (const std::string& in : r.files) {
    const io::FileStatus i = io::os().status(in, true);
    if (o.kind != io::FileKind::Missing && i.kind != io::FileKind::Missing) {
      if (o.device == i.device && o.id == i.id) return true;
    } else if (full == io::full_path_name(in)) {
      return true;
    }
  }
  return false;
}

std::string case_name_note(const RunState& s) {
  const CaseNamePlace place = case_name_place(s.caso.trim());
  if (place == CaseNamePlace::Here) return {};
  return "the case name \"" + utf8_from_cp1252(s.caso.trim()) + "\" holds a path: the program wrote its results " +
         (place == CaseNamePlace::Outside ? "outside the case folder" : "in another folder");
}

std::string eng_file(const Options& o, const FinishedRun& r) {
  // In the case folder whatever folder the case name holds: the default is the case's.
  return o.eng_path ? *o.eng_path : std::string(case_own_name(r.s->caso.trim())) + ".eng";
}

namespace {

// A header text from the command line in ASCII, with a warning when it changed.
std::string header_text(const std::string& utf8, const char* option, std::vector<std::string>& warnings) {
  const AsciiText a = ascii_from_utf8(utf8);
  if (!a.changes.empty())
    warnings.push_back(std::string(option) + " \"" + utf8 + "\" is written \"" + a.text +
                       "\", in ASCII, which every reader shows as it is (" + changes_text(a.changes) + ")");
  return a.text;
}

// Why the curve cannot be held, with what settles it.
std::string strays_message(const Options& o, const MotorPoints& mp, const std::string& lead_trail) {
  std::string text = o.max_points > 0 ? "with " + std::to_string(std::min<std::size_t>(static_cast<std::size_t>(o.max_points), mp.points_available)) +
                                            " points, "
                                      : std::string("even with every point (--points 0), ");
  text += mp.problem;
  if (o.max_points > 0 && mp.points_needed > 0)
    text += ": " + std::to_string(mp.points_needed) + " points hold every figure (--points " +
            std::to_string(mp.points_needed) + ")";
  else if (o.max_points > 0)
    text += ": even every point (--points 0) does not hold them";
  if (!lead_trail.empty()) text += "; " + lead_trail;
  return text;
}

}  // namespace

Outcome run_export(const Options& o, const FinishedRun& r) {
  const RunState& s = *r.s;
  Outcome out;
  for (const std::string& n : r.notes) out.warnings.push_back(n);
  Figures f;
  f.caso = utf8_from_cp1252(s.caso.trim());
  f.title = utf8_from_cp1252(s.titulo.trim());
  f.ti = s.ti;
  f.tf = s.tf;
  f.window = r.window;
  const FiringCurve& curve = r.firing;
  f.nfpa = certification_figures(curve.F, curve.dt);
  f.curve_t0 = curve.t0;
  f.curve_points = curve.F.size();
  f.curve_source = curve.source;
  if (!(f.nfpa.peak > 0.0)) out.warnings.push_back("the curve has no positive thrust: it has no NFPA burn");
  if (const std::optional<RunBudgets> b = run_budgets(o, r, f.nfpa, out.warnings)) {
    f.nfpa_budget = b->nfpa;
    f.window_budget = b->window;
    f.has_budget = true;
  }

  // Every output is checked before anything is written.
  f.has_eng = o.write_eng;
  f.has_rse = o.rse_path.has_value();
  if (f.has_eng) {
    f.eng_path = eng_file(o, r);
    f.eng_shown = o.eng_path ? (o.eng_shown.empty() ? *o.eng_path : o.eng_shown)
                             : o.case_dir_shown + utf8_from_cp1252(case_own_name(s.caso.trim())) + ".eng";
    if (const std::string note = case_name_note(s); !o.eng_path && !note.empty())
      out.warnings.push_back(note + ", and the .eng goes to the case folder as " + f.eng_shown);
    if (!o.eng_path && names_case_file(f.eng_path, r))
      throw DataError("the .eng file's own name, " + f.eng_shown + ", is one of the case's files: give another with --eng FILE");
  }
  if (f.has_rse) {
    f.rse_path = *o.rse_path;
    f.rse_shown = o.rse_shown.empty() ? *o.rse_path : o.rse_shown;
  }
  if (o.csv_path) {
    f.csv_path = *o.csv_path;
    f.csv_shown = o.csv_shown.empty() ? *o.csv_path : o.csv_shown;
  }
  for (const auto& [path, shown] : {std::pair{f.eng_path, f.eng_shown}, std::pair{f.rse_path, f.rse_shown},
                                    std::pair{f.csv_path, f.csv_shown}})
    if (!path.empty())
      if (const std::string p = target_problem(path); !p.empty())
        throw DataError(std::string("cannot write ") + shown + " (" + full_path(path) + "): " + p);

  std::string eng_bytes, rse_bytes;
  if (f.has_eng || f.has_rse) {
    if (!(f.nfpa.peak > 0.0)) throw DataError("the curve has no positive thrust: there is nothing to export");
    EngHeader h;
    if (o.name) {
      h.name = header_text(*o.name, "--name", out.warnings);
    } else {
      h.name = f.nfpa.designation;
      if (h.name.empty())
        throw DataError("the curve's NFPA 1125 figures give no designation (total impulse " +
                        significant(f.nfpa.total_impulse, 7) + " N s): give a name with --name");
    }
    h.diameter_mm = *o.diameter_mm;
    h.length_mm = *o.length_mm;
    h.delays = o.delays;
    if (o.propellant_kg) {
      h.propellant_kg = *o.propellant_kg;
    } else {
      h.propellant_kg = s.M;
      if (const std::string p = propellant_problem(s.M); !p.empty())
        throw DataError("the case's propellant mass M: " + p + "; give it with --propellant-mass KG");
    }
    if (o.total_kg) {
      h.total_kg = *o.total_kg;
    } else {
      h.total_kg = std::max(h.propellant_kg, kMinTotalKg);
      out.warnings.push_back("no --total-mass: the loaded motor's mass is written as " + shortest_fixed(h.total_kg) +
                             " kg, the propellant's, which makes the simulated rocket too light");
    }
    if (const std::string p = total_mass_problem(h.total_kg, h.propellant_kg); !p.empty())
      throw DataError("the total mass " + p + ": give the loaded motor's mass with --total-mass KG");
    h.maker = header_text(o.maker, "--maker", out.warnings);
    for (const std::string& p : {header_field_problem(h.name, true), header_field_problem(h.maker, false)})
      if (!p.empty()) throw DataError("the .eng header cannot hold \"" + h.name + "\" / \"" + h.maker + "\": " + p);

    const MeasuredFigures measured = measured_figures(f.nfpa);
    const MotorPoints mp = export_motor_points(curve.F, curve.dt, measured, o.max_points, o.points_given);
    for (const std::string& n : mp.notes) out.warnings.push_back(n);
    // Low thrust that stays in the file because it holds too much impulse to leave out
    // (a cut-off Fcor above zero, or a window much wider than the burn) is what a
    // simulator meets first, or last: say so.
    const double lead = f.nfpa.burn_start - mp.origin;
    const double trail = mp.origin + mp.points.back().t - f.nfpa.burn_end;
    std::string lead_trail;
    if (lead > 0.1 * f.nfpa.burn_time)
      lead_trail = "the motor file starts " + significant(lead, 3) +
                   " s before the thrust reaches 5 % of its peak, at the case's low readings before ignition, "
                   "which the NFPA total impulse leaves out: a lower Fcor, or a window (ti) that opens closer to "
                   "ignition, leaves them out of the file";
    if (trail > 0.1 * f.nfpa.burn_time)
      lead_trail += (lead_trail.empty() ? "" : "; ") + std::string("the motor file ends ") + significant(trail, 3) +
                    " s after the thrust falls below 5 % of its peak, at the case's low readings after burn-out: "
                    "a lower Fcor, or a window (tf) that closes closer to burn-out, leaves them out";
    if (!mp.problem.empty()) throw DataError(strays_message(o, mp, lead_trail));
    if (!lead_trail.empty()) out.warnings.push_back(lead_trail);
    f.eng_origin = curve.t0 + mp.origin;

    // The comments, in ASCII.
    AsciiText caso = ascii_from_cp1252(s.caso.trim()), title = ascii_from_cp1252(s.titulo.trim());
    std::vector<std::string> changes = caso.changes;
    for (const std::string& c : title.changes)
      if (std::find(changes.begin(), changes.end(), c) == changes.end()) changes.push_back(c);
    if (!changes.empty())
      out.warnings.push_back("the motor files give the case and its title in ASCII, which every reader shows as it is: \"" +
                             caso.text + ": " + title.text + "\" (" + changes_text(changes) + ")");
    const std::string window_name = r.window.designation.empty() ? std::string("no designation") : r.window.designation;
    std::vector<std::string> comments;
    comments.push_back("case: " + caso.text);
    comments.push_back("title: " + title.text);
    comments.push_back(std::string("thrust curve of a static firing, processed by ") + kProgramVersion +
                       " and written by " + kExportName);
    comments.push_back(std::string("curve: ") +
                       (curve.whole_firing ? "the whole firing from the load-cell record" : "the window (curve table)"));
    comments.push_back("NFPA 1125: " + f.nfpa.designation + ", total impulse " + significant(f.nfpa.total_impulse, 6) +
                       " N s (from the 5 % rise), burn time " + significant(f.nfpa.burn_time, 6) +
                       " s (5 % to 5 % of the peak), average thrust " + significant(f.nfpa.average, 6) +
                       " N (impulse between the crossings / burn time; total impulse / burn time " +
                       significant(f.nfpa.total_average(), 6) + " N), peak " + significant(f.nfpa.peak, 6) + " N");
    comments.push_back("the program's window: " + window_name + ", total impulse " +
                       significant(r.window.total_impulse, 6) + " N s, burn time " +
                       significant(r.window.burn_time, 6) + " s, mean thrust " + significant(r.window.mean_thrust, 6) +
                       " N");
    if (f.has_eng) {
      eng_bytes = write_eng_text(comments, h, mp, measured, curve.dt, &f.eng);
      f.eng_header = eng_header_line(h);
    } else {
      f.eng = {mp.points.size(), mp.impulse, 0.0, mp.points.back().t, mp.thrustcurve, mp.openrocket};
      for (const EngPoint& q : mp.points) f.eng.peak = std::max(f.eng.peak, q.F);
    }
    if (f.has_rse) {
      std::string text;
      for (const std::string& c : comments) text += (text.empty() ? "" : "; ") + c;
      text += "; the figures are NFPA 1125's: burn-time between the first and last crossings of 5 % of the peak "
              "thrust, avgThrust the impulse between them / burn-time, Itot from the 5 % rise to the last thrust";
      rse_bytes = write_rse_text(text, h, o.type, mp, measured, curve.dt);
    }
  }

  // Every file whole in a temporary file first; then each put in place.
  std::vector<std::unique_ptr<OutputFile>> files;
  const auto whole = [&](const std::string& path, const std::string& shown, std::string_view bytes) {
    files.push_back(std::make_unique<OutputFile>(path, shown));
    constexpr std::size_t kBlock = std::size_t{1} << 20;
    for (std::size_t at = 0; at < bytes.size(); at += kBlock) files.back()->append(bytes.substr(at, kBlock));
    files.back()->finish();
  };
  if (f.has_eng) whole(f.eng_path, f.eng_shown, eng_bytes);
  if (f.has_rse) whole(f.rse_path, f.rse_shown, rse_bytes);
  if (o.csv_path) {
    const double shift = s.toB == 1 ? s.ti : 0.0;
    files.push_back(std::make_unique<OutputFile>(f.csv_path, f.csv_shown));
    OutputFile& csv = *files.back();
    curve_csv(r.curve, shift, [&csv](std::string_view block) { csv.append(block); });
    csv.finish();
    f.csv_points = r.curve.F.size();
  }
  for (const auto& file : files) file->commit();
  out.standard_output = o.json ? figures_json(f) : figures_table(f);
  return out;
}

template <class Sink>
void curve_csv(const ProcessedCurve& c, double time_shift, Sink sink) {
  std::string block = "time_s,thrust_N\r\n";
  constexpr std::size_t kBlock = std::size_t{1} << 20;
  block.reserve(kBlock + 64);
  const int decimals = time_decimals(c.dt);
  for (std::size_t k = 0; k < c.F.size(); ++k) {
    const double t = static_cast<double>(k) * c.dt + time_shift;
    companion::append_fixed_trimmed(block, t, decimals);
    block += ',';
    companion::append_shortest_fixed(block, c.F[k]);
    block += "\r\n";
    if (block.size() >= kBlock) {
      sink(std::string_view(block));
      block.clear();
    }
  }
  sink(std::string_view(block));
}

std::string curve_csv(const ProcessedCurve& c, double time_shift) {
  std::string s;
  curve_csv(c, time_shift, [&s](std::string_view block) { s.append(block); });
  return s;
}

}  // namespace kv::exporter
