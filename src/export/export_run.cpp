#include "export/export_run.h"

#include <cmath>
#include <filesystem>
#include <memory>
#include <string_view>

#include "export/eng_curve.h"
#include "export/errors.h"
#include "export/number_text.h"
#include "input/case_selection.h"
#include "io/diagnostics.h"
#include "io/files.h"
#include "run/program_files.h"

namespace kv::exporter {
namespace {

namespace fs = std::filesystem;

std::string reason(const io::Failure& f) {
  switch (f.number) {
    case io::kFileNotFound: return "no such file";
    case io::kPermissionDenied: return "permission denied";
    case io::kEndOfFile: return "it ends before all its values are read";
    case io::kSyntaxError: return "a value is not a number, or a record is malformed";
    case io::kInputConversion: return "a whole number is out of range";
    case io::kReadError: return "the system could not read it";
    case io::kWriteError: return "the system could not write it (disk full?)";
    case io::kFileNameError: return "the file name is not valid";
    case io::kNoSuchDevice: return "no such device";
    case io::kInsufficientMemory: return "not enough memory";
    default: return "error " + std::to_string(f.number);
  }
}

// Runs `step`, turning an io failure into a message that names the file.
template <class Step>
auto reading(std::string_view what, const std::string& name, Step step, std::string_view hint = {}) {
  try {
    return step();
  } catch (const io::Failure& f) {
    io::close_all_as_they_stand();
    std::string text = "cannot read " + std::string(what) + " " + io::full_path_name(name) + ": " + reason(f);
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
    throw DataError("cannot write " + io::full_path_name(name) + ": " + reason(f));
  }
}

void write_file(int u, const std::string& name, std::string_view bytes) {
  write_streamed(u, name, [bytes](auto sink) {
    constexpr std::size_t kBlock = std::size_t{1} << 20;
    for (std::size_t at = 0; at < bytes.size(); at += kBlock) sink(bytes.substr(at, kBlock));
  });
}

// An output that would land on one of the case's files is refused: the export changes
// nothing the program reads or writes.
void refuse_overwrite(const std::string& out, const std::vector<std::string>& inputs, const char* option) {
  std::error_code ec;
  const fs::path o = fs::weakly_canonical(fs::path(out), ec);
  for (const std::string& in : inputs) {
    std::error_code ec2;
    const fs::path i = fs::weakly_canonical(fs::path(in), ec2);
    if (!ec && !ec2 && o == i)
      throw UsageError(std::string(option) + " " + out + " names one of the case's own files; choose another name");
  }
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

void check_options(const Options& o) {
  if (o.max_points < 0 || o.max_points == 1)
    throw UsageError("--points must be 0 (every point) or at least 2 (the peak and the final zero)");
  if (!o.write_eng) return;
  if (!o.diameter_mm)
    throw UsageError("--diameter MM is required: a simulator needs the motor's diameter (or use --no-eng)");
  if (!o.length_mm) throw UsageError("--length MM is required: a simulator needs the motor's length (or use --no-eng)");
  const auto positive = [](const std::optional<double>& v, const char* option) {
    if (v && !(*v > 0.0)) throw UsageError(std::string(option) + " must be a positive number");
  };
  positive(o.diameter_mm, "--diameter");
  positive(o.length_mm, "--length");
  positive(o.propellant_kg, "--propellant-mass");
  positive(o.total_kg, "--total-mass");
  if (o.name) {
    const std::string p = header_field_problem(*o.name, true);
    if (!p.empty()) throw UsageError("--name \"" + *o.name + "\" cannot be used: " + p);
  }
  if (const std::string p = header_field_problem(o.maker, false); !p.empty())
    throw UsageError("--maker \"" + o.maker + "\" cannot be used: " + p);
  if (const std::string p = delays_problem(o.delays); !p.empty())
    throw UsageError("--delays \"" + o.delays + "\" cannot be used: " + p);
  if (o.propellant_kg && o.total_kg && *o.total_kg < *o.propellant_kg)
    throw UsageError("--total-mass must be at least the propellant mass");
}

Outcome run_export(const Options& o) {
  check_options(o);
  Outcome out;
  auto s = std::make_unique<RunState>();
  reading("the general data file", kGeneralDataFile, [&] { read_general_data(*s, io::Access::Read); },
          "is the folder a case folder of KALVORESTINE 2.0?");
  const std::string case_file(s->arqcaso.trim());
  reading("the case parameter file", case_file, [&] { read_case_parameters(*s, io::Access::Read); });
  if (s->w <= 0)
    throw DataError("the case parameter file " + io::full_path_name(case_file) + " gives w = " + std::to_string(s->w) +
                    " Hz: the curve has no time step");

  const std::string report_file = summary_report_name(s->caso.trim());
  const std::string table_file = curve_table_name(s->caso.trim());
  const char* run_first = "run the program on the case first";
  const WindowFigures window = reading("the summary report", report_file, [&] { return read_summary_report(report_file); }, run_first);
  const ProcessedCurve curve =
      reading("the curve table", table_file, [&] { return read_curve_table(table_file, *s, window.points); }, run_first);

  Figures f;
  f.caso = utf8_from_cp1252(s->caso.trim());
  f.title = utf8_from_cp1252(s->titulo.trim());
  f.ti = s->ti;
  f.tf = s->tf;
  f.window = window;
  f.nfpa = nfpa_figures(curve.F, curve.dt);
  f.curve_points = curve.F.size();
  if (!(f.nfpa.peak > 0.0)) out.warnings.push_back("the curve has no positive thrust: it has no NFPA burn");

  const std::vector<std::string> inputs = {kGeneralDataFile, case_file,  std::string(s->original.trim()),
                                           report_file,      table_file, run_log_name(s->caso.trim()),
                                           kPlotScript};
  std::string eng_bytes;
  if (o.write_eng) {
    EngHeader h;
    h.name = motor_name(o, window, out.warnings);
    h.diameter_mm = *o.diameter_mm;
    h.length_mm = *o.length_mm;
    h.delays = o.delays;
    if (o.propellant_kg) {
      h.propellant_kg = *o.propellant_kg;
    } else {
      h.propellant_kg = s->M;
      if (!(s->M > 0.0) || !std::isfinite(s->M))
        throw DataError("the case's propellant mass M is " + significant(s->M, 7) + " kg: give it with --propellant-mass KG");
    }
    if (o.total_kg) {
      h.total_kg = *o.total_kg;
      if (h.total_kg < h.propellant_kg)
        throw UsageError("--total-mass (" + shortest_fixed(h.total_kg) + " kg) is less than the propellant mass (" +
                         shortest_fixed(h.propellant_kg) + " kg)");
    } else {
      h.total_kg = h.propellant_kg;
      out.warnings.push_back("no --total-mass: the loaded motor's mass is written as the propellant mass (" +
                             shortest_fixed(h.propellant_kg) + " kg), which makes the simulated rocket too light");
    }
    h.maker = o.maker;

    const EngCurve ec = eng_curve(curve.F, curve.dt, o.max_points);
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
    comments.push_back("case: " + std::string(s->caso.trim()));
    comments.push_back("title: " + std::string(s->titulo.trim()));
    comments.push_back(std::string("thrust curve of a static firing, processed by ") + kProgramVersion +
                       " and written by " + kExportName);
    comments.push_back("NFPA 1125: " + (f.nfpa.designation.empty() ? std::string("no class") : f.nfpa.designation) +
                       ", total impulse " + significant(f.nfpa.total_impulse, 6) + " N s, burn time " +
                       significant(f.nfpa.burn_time, 6) + " s, average thrust " + significant(f.nfpa.average, 6) +
                       " N, peak " + significant(f.nfpa.peak, 6) + " N");
    comments.push_back("the program's window: " + (window.designation.empty() ? std::string("no designation") : window.designation) +
                       ", total impulse " + significant(window.total_impulse, 6) + " N s, burn time " +
                       significant(window.burn_time, 6) + " s, mean thrust " + significant(window.mean_thrust, 6) + " N");
    eng_bytes = eng_text(comments, h, ec.points, time_decimals(curve.dt));
    f.eng = check_eng_text(eng_bytes, f.nfpa.total_impulse, f.nfpa.peak);
    f.has_eng = true;
    f.eng_path = o.eng_path ? *o.eng_path : std::string(s->caso.trim()) + ".eng";
    f.eng_shown = o.eng_path ? (o.eng_shown.empty() ? *o.eng_path : o.eng_shown)
                             : o.case_dir_shown + utf8_from_cp1252(s->caso.trim()) + ".eng";
    f.eng_header = eng_header_line(h);
    refuse_overwrite(f.eng_path, inputs, "--eng");
  }
  if (o.csv_path) {
    f.csv_path = *o.csv_path;
    f.csv_shown = o.csv_shown.empty() ? *o.csv_path : o.csv_shown;
    refuse_overwrite(f.csv_path, inputs, "--csv");
    if (f.has_eng) {
      std::error_code ec;
      if (fs::weakly_canonical(f.csv_path, ec) == fs::weakly_canonical(f.eng_path, ec))
        throw UsageError("--csv and the .eng file name the same file");
    }
  }

  if (f.has_eng) write_file(unit::kEngFile, f.eng_path, eng_bytes);
  if (o.csv_path) {
    const double shift = s->toB == 1 ? s->ti : 0.0;
    write_streamed(unit::kCsvFile, f.csv_path, [&](auto sink) { curve_csv(curve, shift, sink); });
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
    append_fixed_trimmed(block, t, decimals);
    block += ',';
    append_shortest_fixed(block, c.F[k]);
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
