// The one place where the report asks the program and the export for a firing's figures:
// the finished run as the export reads it, its NFPA 1125 figures and motor points as the
// export computes them, the summary report's other results as the program printed them,
// and prepare's check of the case. Nothing of the export is seen past this file.
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "analysis/impulse_class.h"
#include "analysis/mass_flow.h"
#include "companion/entry.h"
#include "companion/errors.h"
#include "companion/number_text.h"
#include "companion/paths.h"
#include "companion/sha256.h"
#include "export/export_run.h"
#include "export/output_file.h"
#include "io/files.h"
#include "io/os.h"
#include "prepare/case_check.h"
#include "report/firing.h"
#include "run/program_files.h"

namespace kv::report {

using companion::DataError;
using companion::utf8_from_cp1252;

namespace {

// The unit the report reads the files it hashes and the summary report under.
constexpr int kReadUnit = 51;

// Goes into a folder and back to where it was, however the scope ends.
class InFolder {
 public:
  explicit InFolder(const std::string& folder) {
    std::error_code ec;
    back_ = std::filesystem::current_path(ec);
    if (ec) throw DataError("cannot tell the current folder: " + ec.message());
    const io::FileStatus st = io::os().status(folder, true);
    if (st.kind != io::FileKind::Directory)
      throw DataError("the case folder " + folder +
                      (st.kind == io::FileKind::Missing ? " does not exist" : " is not a folder"));
    std::filesystem::current_path(companion::utf8_path(folder), ec);
    if (ec) throw DataError("cannot enter the case folder " + folder + ": " + ec.message());
  }
  ~InFolder() {
    std::error_code ec;
    std::filesystem::current_path(back_, ec);
  }
  InFolder(const InFolder&) = delete;
  InFolder& operator=(const InFolder&) = delete;

 private:
  std::filesystem::path back_;
};

// Every byte of a file of the case, given to `take` a block at a time.
template <class Take>
void read_file(const std::string& name, Take take) {
  try {
    io::open(kReadUnit, name, io::Access::Read);
    constexpr std::size_t kBlock = std::size_t{1} << 16;
    auto buffer = std::make_unique<char[]>(kBlock);
    for (;;) {
      const std::size_t got = io::read_bytes(io::file(kReadUnit), buffer.get(), kBlock);
      if (got == 0) break;
      take(std::string_view(buffer.get(), got));
    }
    io::close(kReadUnit);
  } catch (const io::Failure& f) {
    io::close_all_as_they_stand();
    throw DataError("cannot read " + utf8_from_cp1252(io::full_path_name(name)) + ": " + companion::failure_reason(f));
  }
}

// The number after "label =" on a record of the summary report; NaN when none is there.
double report_value(std::string_view text, std::string_view label) {
  for (const std::string_view record : exporter::text_records(text)) {
    const auto at = record.find(label);
    if (at == std::string_view::npos) continue;
    const auto eq = record.find('=', at + label.size());
    if (eq == std::string_view::npos) continue;
    std::string_view v = record.substr(eq + 1);
    while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
    while (!v.empty() && (v.back() == ' ' || v.back() == '\r')) v.remove_suffix(1);
    if (const auto n = companion::user_number(v)) return *n;
  }
  return std::nan("");
}

// The maximum of the thrust statistics' row "F real [N] .....": its second number.
double report_peak(std::string_view text) {
  for (const std::string_view record : exporter::text_records(text)) {
    const auto at = record.find("F real [N]");
    if (at == std::string_view::npos) continue;
    std::size_t from = record.find_first_not_of(". ", at + 10);
    for (int i = 0; from != std::string_view::npos; ++i) {
      const std::size_t end = std::min(record.find(' ', from), record.size());
      if (i == 1) {
        const auto n = companion::user_number(record.substr(from, end - from));
        return n ? *n : std::nan("");
      }
      from = record.find_first_not_of(" \r", end);
    }
  }
  return std::nan("");
}

}  // namespace

std::string utc_text(std::int64_t ns) {
  // Days since 1970 to a civil date (proleptic Gregorian), H. Hinnant's algorithm.
  std::int64_t s = ns / 1000000000;
  if (ns % 1000000000 < 0) --s;
  std::int64_t z = s / 86400;
  std::int64_t secs = s % 86400;
  if (secs < 0) {
    secs += 86400;
    --z;
  }
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
  const auto two = [](std::int64_t v) {
    std::string t = v < 10 ? "0" : "";
    t += std::to_string(v);
    return t;
  };
  return std::to_string(y) + "-" + two(m) + "-" + two(d) + " " + two(secs / 3600) + ":" + two(secs % 3600 / 60) +
         " UTC";
}

Firing load_firing(const std::string& folder) {
  Firing f;
  f.folder = folder;
  InFolder in(folder);
  exporter::FinishedRun r = exporter::read_finished_run();
  const RunState& s = *r.s;
  f.case_name = utf8_from_cp1252(s.caso.trim());
  f.title = utf8_from_cp1252(s.titulo.trim());
  f.ti = s.ti;
  f.tf = s.tf;
  f.M = s.M;
  f.notes = r.notes;
  for (const std::string& name : r.files) f.files.push_back(io::full_path_name(name));
  // In the case folder whatever folder the case name holds.
  f.page_path = io::full_path_name(std::string(case_own_name(s.caso.trim())) + "_report.html");
  if (std::string note = exporter::case_name_note(s); !note.empty()) f.notes.push_back(std::move(note));

  // The program's figures, as its summary report prints them.
  const std::string report_name = summary_report_name(s.caso.trim());
  std::string report;
  read_file(report_name, [&](std::string_view block) { report.append(block); });
  f.run_date = utc_text(io::os().status(report_name, true).modified_ns);
  f.window.total_impulse = r.window.total_impulse;
  f.window.burn_time = r.window.burn_time;
  f.window.average = r.window.mean_thrust;
  f.window.designation = r.window.designation;
  f.window.peak = report_peak(report);
  f.window.exhaust_velocity = report_value(report, "c   = ");
  f.window.specific_impulse = report_value(report, "Is  = ");
  f.window.mass_flow = mean_mass_flow(s.M, r.window.burn_time);

  // The NFPA 1125 figures of the whole firing, as the export computes them.
  const exporter::FiringCurve& curve = r.firing;
  const NfpaFigures n = certification_figures(curve.F, curve.dt);
  f.nfpa.total_impulse = n.total_impulse;
  f.nfpa.burn_time = n.burn_time;
  f.nfpa.average = n.average;
  f.nfpa.peak = n.peak;
  f.nfpa.designation = n.designation;
  f.nfpa.exhaust_velocity = exhaust_velocity(n.total_impulse, s.M);
  f.nfpa.specific_impulse = specific_impulse(f.nfpa.exhaust_velocity);
  f.nfpa.mass_flow = mean_mass_flow(s.M, n.burn_time);
  f.threshold = n.threshold;
  f.burn_start = curve.t0 + n.burn_start;
  f.burn_end = curve.t0 + n.burn_end;
  f.peak_time = curve.t0 + n.peak_time;
  f.burn_impulse = n.burn_impulse;
  f.total_average = n.total_average();
  f.dt = curve.dt;
  f.t0 = curve.t0;
  f.curve_source = curve.source;
  // Their uncertainty, as the export states it: f.notes gets what the user should know.
  if (const auto b = exporter::run_budgets(exporter::Options{}, r, n, f.notes)) {
    f.nfpa_budget = b->nfpa;
    f.window_budget = b->window;
    f.has_budget = true;
  }
  if (const auto c = class_of(n.total_impulse, Classes::Continued)) {
    f.class_text = std::string(c->text);
    f.class_share = class_position(*c, n.total_impulse);
  }

  // The points a motor file of the export holds.
  if (n.peak > 0.0) {
    const exporter::MeasuredFigures measured = exporter::measured_figures(n);
    const exporter::MotorPoints mp = exporter::export_motor_points(curve.F, curve.dt, measured, 32, false);
    if (mp.problem.empty()) {
      f.eng_origin = curve.t0 + mp.origin;
      for (const exporter::EngPoint& p : mp.points) f.eng.push_back({f.eng_origin + p.t, p.F});
      f.eng_impulse = mp.impulse;
      f.eng_difference = (mp.impulse - n.total_impulse) / n.total_impulse;
    } else {
      f.eng_problem = mp.problem;
    }
  } else {
    f.eng_problem = "the curve has no positive thrust";
  }

  // The input files, by their digests.
  const char* const roles[] = {"general data file", "case parameter file", "load-cell record"};
  for (std::size_t i = 0; i < 3; ++i) {
    companion::Sha256 h;
    read_file(r.files[i], [&](std::string_view block) { h.add(block); });
    f.inputs.push_back({roles[i], utf8_from_cp1252(r.files[i]), h.hex()});
  }

  for (const prepare::Finding& c : prepare::check_case()) f.findings.push_back({c.where, c.text});
  f.F = std::move(r.firing.F);  // taken, not copied: a large firing is held once
  return f;
}

std::string program_version() { return exporter::kProgramVersion; }

bool names_case_file(const Firing& f, const std::string& path) {
  const io::FileStatus o = io::os().status(path, true);
  const std::string full = io::full_path_name(path);
  for (const std::string& in : f.files) {
    const io::FileStatus i = io::os().status(in, true);
    if (o.kind != io::FileKind::Missing && i.kind != io::FileKind::Missing) {
      if (o.device == i.device && o.id == i.id) return true;
    } else if (full == in) {
      return true;
    }
  }
  return false;
}

void write_output(const std::string& path, const std::string& shown, std::string_view bytes) {
  exporter::OutputFile out(path, shown);
  constexpr std::size_t kBlock = std::size_t{1} << 20;
  for (std::size_t at = 0; at < bytes.size(); at += kBlock) out.append(bytes.substr(at, kBlock));
  out.finish();
  out.commit();
}

}  // namespace kv::report
