#include "export/export_run.h"

#include <cmath>
#include <filesystem>
#include <string_view>

#include "companion/entry.h"
#include "companion/errors.h"
#include "companion/number_text.h"
#include "companion/paths.h"
#include "export/eng_curve.h"
#include "input/case_selection.h"
#include "io/diagnostics.h"
#include "io/files.h"
#include "run/program_files.h"

namespace kv::exporter {

using companion::DataError;
using companion::shortest_fixed;
using companion::significant;
using companion::utf8_from_cp1252;

namespace {

namespace fs = std::filesystem;

// A file's full path as the messages show it.
std::string full_path(const std::string& name) { return io::full_path_name(name); }

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

// Writes a file through io, its text handed over a block at a time by `produce`, which
// calls the sink it is given.
template <class Produce>
void write_streamed(int u, const std::string& name, Produce produce) {
  try {
    io::open(u, name, io::Access::ReadWrite);
    io::File& f = io::file(u);
    io::start_writing(f);
    produce([&f](std::string_view block) {
      f.out.append(block);
      io::flush(f);
    });
    io::close(u);
  } catch (const io::Failure& f) {
    io::close_all_as_they_stand();
    throw DataError("cannot write " + full_path(name) + ": " + companion::failure_reason(f));
  }
}

void write_file(int u, const std::string& name, std::string_view bytes) {
  write_streamed(u, name, [bytes](auto sink) {
    constexpr std::size_t kBlock = std::size_t{1} << 20;
    for (std::size_t at = 0; at < bytes.size(); at += kBlock) sink(bytes.substr(at, kBlock));
  });
}

std::string motor_name(const Options& o, const WindowFigures& w, std::vector<std::string>& warnings) {
  if (o.name) return *o.name;
  std::string name = w.designation;
  if (w.class_text.empty() && !name.empty()) {
    // Past class N the program gives the number alone: the class continues by doubling.
    const std::string cls(impulse_class_continued(w.total_impulse));
    if (!cls.empty()) {
      name = cls + name;
      warnings.push_back("the summary report gives no class past N; the motor is named " + name +
                         " by doubling the class bounds on from N");
    }
  }
  std::string problem = header_field_problem(name, true);
  if (problem.empty() && name.find('*') != std::string::npos)
    problem = "the report could not write the mean thrust";
  if (!problem.empty())
    throw DataError("the summary report's designation \"" + name + "\" cannot name the motor (" + problem +
                    "): give a name with --name");
  return name;
}

}  // namespace

FinishedRun read_finished_run() {
  FinishedRun r;
  r.s = std::make_unique<RunState>();
  RunState& s = *r.s;
  reading("the general data file", kGeneralDataFile, [&] { read_general_data(s, io::Access::Read); },
          "is the folder a case folder of KALVORESTINE 2.0?");
  r.case_file = std::string(s.arqcaso.trim());
  reading("the case parameter file", r.case_file, [&] { read_case_parameters(s, io::Access::Read); });
  if (s.w <= 0)
    throw DataError("the case parameter file " + full_path(r.case_file) + " gives w = " + std::to_string(s.w) +
                    " Hz: the curve has no time step");
  const std::string report_file = summary_report_name(s.caso.trim());
  const std::string table_file = curve_table_name(s.caso.trim());
  const char* run_first = "run the program on the case first";
  r.window = reading("the summary report", report_file, [&] { return read_summary_report(report_file); }, run_first);
  r.curve = reading("the curve table", table_file, [&] { return read_curve_table(table_file, s, r.window.points); },
                    run_first);
  r.files = {kGeneralDataFile, r.case_file, std::string(s.original.trim()), report_file, table_file,
             run_log_name(s.caso.trim()), kPlotScript};
  return r;
}

bool names_case_file(const std::string& path, const FinishedRun& r) {
  std::error_code ec;
  const fs::path o = fs::weakly_canonical(fs::path(path), ec);
  for (const std::string& in : r.files) {
    std::error_code ec2;
    const fs::path i = fs::weakly_canonical(fs::path(in), ec2);
    if (!ec && !ec2 && o == i) return true;
  }
  return false;
}

std::string eng_file(const Options& o, const FinishedRun& r) {
  return o.eng_path ? *o.eng_path : std::string(r.s->caso.trim()) + ".eng";
}

Outcome run_export(const Options& o, const FinishedRun& r) {
  const RunState& s = *r.s;
  Outcome out;
  Figures f;
  f.caso = utf8_from_cp1252(s.caso.trim());
  f.title = utf8_from_cp1252(s.titulo.trim());
  f.ti = s.ti;
  f.tf = s.tf;
  f.window = r.window;
  f.nfpa = nfpa_figures(r.curve.F, r.curve.dt);
  f.curve_points = r.curve.F.size();
  if (!(f.nfpa.peak > 0.0)) out.warnings.push_back("the curve has no positive thrust: it has no NFPA burn");

  std::string eng_bytes;
  if (o.write_eng) {
    EngHeader h;
    h.name = motor_name(o, r.window, out.warnings);
    h.diameter_mm = *o.diameter_mm;
    h.length_mm = *o.length_mm;
    h.delays = o.delays;
    if (o.propellant_kg) {
      h.propellant_kg = *o.propellant_kg;
    } else {
      h.propellant_kg = s.M;
      if (!(s.M > 0.0) || !std::isfinite(s.M))
        throw DataError("the case's propellant mass M is " + significant(s.M, 7) + " kg: give it with --propellant-mass KG");
    }
    if (o.total_kg) {
      h.total_kg = *o.total_kg;
    } else {
      h.total_kg = h.propellant_kg;
      out.warnings.push_back("no --total-mass: the loaded motor's mass is written as the propellant mass (" +
                             shortest_fixed(h.propellant_kg) + " kg), which makes the simulated rocket too light");
    }
    h.maker = o.maker;

    const EngCurve ec = eng_curve(r.curve.F, r.curve.dt, o.max_points);
    for (const std::string& n : ec.notes) out.warnings.push_back(n);
    // Low thrust that stays in the file because it holds too much impulse to leave out
    // (a cut-off Fcor above zero, or a window much wider than the burn) is what a
    // simulator meets first, or last: say so.
    const double lead = f.nfpa.burn_start - ec.origin;
    const double trail = ec.origin + ec.points.back().t - f.nfpa.burn_end;
    if (lead > 0.1 * f.nfpa.burn_time)
      out.warnings.push_back("the .eng starts " + significant(lead, 3) +
                             " s before the thrust reaches 5 % of its peak, at the case's low readings before "
                             "ignition: a window (ti) that opens closer to ignition, or a lower Fcor, leaves them out");
    if (trail > 0.1 * f.nfpa.burn_time)
      out.warnings.push_back("the .eng ends " + significant(trail, 3) +
                             " s after the thrust falls below 5 % of its peak, at the case's low readings after "
                             "burn-out: a window (tf) that closes closer to burn-out, or a lower Fcor, leaves them out");
    f.eng_origin = ec.origin;
    std::vector<std::string> comments;
    comments.push_back("case: " + std::string(s.caso.trim()));
    comments.push_back("title: " + std::string(s.titulo.trim()));
    comments.push_back(std::string("thrust curve of a static firing, processed by ") + kProgramVersion +
                       " and written by " + kExportName);
    comments.push_back("NFPA 1125: " + (f.nfpa.designation.empty() ? std::string("no class") : f.nfpa.designation) +
                       ", total impulse " + significant(f.nfpa.total_impulse, 6) + " N s, burn time " +
                       significant(f.nfpa.burn_time, 6) + " s, average thrust " + significant(f.nfpa.average, 6) +
                       " N, peak " + significant(f.nfpa.peak, 6) + " N");
    comments.push_back("the program's window: " +
                       (r.window.designation.empty() ? std::string("no designation") : r.window.designation) +
                       ", total impulse " + significant(r.window.total_impulse, 6) + " N s, burn time " +
                       significant(r.window.burn_time, 6) + " s, mean thrust " + significant(r.window.mean_thrust, 6) +
                       " N");
    eng_bytes = eng_text(comments, h, ec.points, time_decimals(r.curve.dt));
    f.eng = check_eng_text(eng_bytes, f.nfpa.total_impulse, f.nfpa.peak);
    f.has_eng = true;
    f.eng_path = eng_file(o, r);
    f.eng_shown = o.eng_path ? (o.eng_shown.empty() ? *o.eng_path : o.eng_shown)
                             : o.case_dir_shown + utf8_from_cp1252(s.caso.trim()) + ".eng";
    f.eng_header = eng_header_line(h);
    if (!o.eng_path && names_case_file(f.eng_path, r))
      throw DataError("the .eng file's own name, " + f.eng_shown + ", is one of the case's files: give another with --eng FILE");
  }
  if (o.csv_path) {
    f.csv_path = *o.csv_path;
    f.csv_shown = o.csv_shown.empty() ? *o.csv_path : o.csv_shown;
  }

  if (f.has_eng) write_file(unit::kEngFile, f.eng_path, eng_bytes);
  if (o.csv_path) {
    const double shift = s.toB == 1 ? s.ti : 0.0;
    write_streamed(unit::kCsvFile, f.csv_path, [&](auto sink) { curve_csv(r.curve, shift, sink); });
  }
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
