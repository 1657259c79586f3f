#include "export/results_files.h"

#include <cmath>
#include <system_error>
#include <limits>
#include <memory>

#include "companion/errors.h"
#include "companion/number_text.h"
#include "io/cp1252.h"
#include "io/files.h"
#include "io/list_directed.h"
#include "io/record_writer.h"
#include "analysis/mass_flow.h"
#include "io/text_field.h"
#include "run/program_files.h"

namespace kv::exporter {

using companion::DataError;
using companion::significant;
using companion::utf8_from_cp1252;

namespace {

// The whole file, read for reading only.
std::string whole_file(int u, const std::string& name) {
  io::open(u, name, io::Access::Read);
  std::string bytes;
  constexpr std::size_t kChunk = std::size_t{1} << 16;
  auto buffer = std::make_unique<char[]>(kChunk);
  for (;;) {
    const std::size_t got = io::read_bytes(io::file(u), buffer.get(), kChunk);
    if (got == 0) break;
    bytes.append(buffer.get(), got);
  }
  io::close(u);
  return bytes;
}

// The value that follows a record's label, blanks around it removed; the program writes
// NaN and Infinity as words.
bool report_real(std::string_view text, double& out) {
  text = io::trimmed(text);
  if (text == "NaN") {
    out = std::numeric_limits<double>::quiet_NaN();
    return true;
  }
  if (text == "Infinity" || text == "-Infinity") {
    out = text[0] == '-' ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    return true;
  }
  return !text.empty() && io::convert_real(text.data(), text.data() + text.size(), out) == 0;
}

std::string without_blanks(std::string_view text) {
  std::string out;
  for (const char c : text)
    if (c != ' ') out += c;
  return out;
}

}  // namespace

std::vector<std::string_view> text_records(std::string_view text) {
  std::vector<std::string_view> out;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
    if (end == std::string_view::npos) end = text.size();
    std::string_view r = text.substr(at, end - at);
    if (r.ends_with('\r')) r.remove_suffix(1);
    out.push_back(r);
    at = next;
  }
  return out;
}

WindowFigures read_summary_report(const std::string& name) {
  const std::string bytes = whole_file(unit::kSummaryReport, name);
  struct Label {
    std::string_view text;  // Windows-1252, as the report writes it
    const char* what;
    bool found = false;
    std::string_view value;
  };
  Label labels[] = {
      {io::kCp1252<report_label::kIt>.view(), "the total impulse (It)", false, {}},
      {io::kCp1252<report_label::kFmed>.view(), "the mean thrust (Fmed)", false, {}},
      {io::kCp1252<report_label::kTq>.view(), "the burn time (tq)", false, {}},
      {io::kCp1252<report_label::kClasse>.view(), "the designation (classe)", false, {}},
      {io::kCp1252<report_label::kNc>.view(), "the number of points (nc)", false, {}},
      {io::kCp1252<report_label::kTi>.view(), "the echo of ti", false, {}},
      {io::kCp1252<report_label::kTf>.view(), "the echo of tf", false, {}},
      {io::kCp1252<report_label::kFcor>.view(), "the echo of Fcor", false, {}},
      {io::kCp1252<report_label::kM>.view(), "the echo of M", false, {}},
      {io::kCp1252<report_label::kW>.view(), "the echo of w", false, {}},
  };
  for (const std::string_view r : text_records(bytes))
    for (Label& l : labels)
      if (!l.found && r.starts_with(l.text)) {
        l.found = true;
        l.value = r.substr(l.text.size());
      }
  const std::string where = "the summary report " + io::full_path_name(name);
  for (const Label& l : labels)
    if (!l.found)
      throw DataError(where + " has no record with " + l.what + ": is it a summary report of KALVORESTINE 2.0?");

  WindowFigures w;
  double* reals[] = {&w.total_impulse, &w.mean_thrust, &w.burn_time};
  for (int k = 0; k < 3; ++k) {
    if (!report_real(labels[k].value, *reals[k]))
      throw DataError(where + " gives no number for " + labels[k].what + ": \"" +
                      utf8_from_cp1252(io::trimmed(labels[k].value)) + "\"");
    if (!std::isfinite(*reals[k]))
      throw DataError(where + " gives " + labels[k].what + " = " + utf8_from_cp1252(io::trimmed(labels[k].value)) +
                      ", not a finite number: the export cannot stand behind figures from it");
  }
  for (int k = 0; k < 5; ++k) w.echo[k] = std::string(io::trimmed(labels[5 + k].value));
  w.designation = without_blanks(labels[3].value);
  // The class is the designation's text before its number.
  std::size_t cut = w.designation.size();
  while (cut > 0) {
    const char c = w.designation[cut - 1];
    if ((c >= '0' && c <= '9') || c == '-' || c == '*')
      --cut;
    else
      break;
  }
  w.class_text = w.designation.substr(0, cut);
  // A count beyond its six columns is written as asterisks: unknown then.
  const std::string_view nc = io::trimmed(labels[4].value);
  if (!nc.empty() && nc.find_first_not_of('*') == std::string_view::npos)
    w.points = -1;
  else if (nc.empty() || io::convert_integer(nc.data(), nc.data() + nc.size(), w.points) != 0)
    throw DataError(where + " gives no number for " + labels[4].what);
  return w;
}

void expected_echo(const RunState& s, std::string (&echo)[5]) {
  const auto text = [](io::LayoutView layout, io::Value v) {
    std::string out;
    io::format_records(out, layout, {v});
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return std::string(io::trimmed(out));
  };
  echo[0] = text(io::layout<"(1P, E15.7)">, s.ti);
  echo[1] = text(io::layout<"(1P, E15.7)">, s.tf);
  echo[2] = text(io::layout<"(1P, E15.6)">, s.Fcor);
  echo[3] = text(io::layout<"(1P, E15.6)">, grams(s.M));
  echo[4] = text(io::layout<"(I6)">, s.w);
}

ProcessedCurve read_curve_table(const std::string& name, const RunState& s, std::int32_t points) {
  constexpr int u = unit::kCurveTable;
  const std::string where = "the curve table " + io::full_path_name(name);
  ProcessedCurve c;
  c.dt = 1.0 / static_cast<double>(s.w);
  io::open(u, name, io::Access::Read);
  // The banner and the column heading, each record opening with "#".
  for (int k = 0; k < kCurveTableHeadRecords; ++k) {
    io::TextField<2> tag;
    if (io::at_end(u)) throw DataError(where + " ends inside its heading: is it a curve table of KALVORESTINE 2.0?");
    io::read(u, {tag});
    if (tag.trim() != "#")
      throw DataError(where + " lacks the heading of eight records opening with #: is it a curve table of KALVORESTINE 2.0?");
  }
  // One record per point, all of the same length: the size of the file tells how many
  // points to make room for when the report could not.
  std::size_t room = points > 0 ? static_cast<std::size_t>(points) : 0;
  if (points < 0) {
    const io::FileStatus st = io::os().status(name, true);
    if (st.kind == io::FileKind::Regular && st.size > 0)
      room = static_cast<std::size_t>(st.size) / curve_table_record_bytes() + 1;
  }
  c.F.reserve(room);
  const double shift = s.toB == 1 ? s.ti : 0.0;
  constexpr double kEps = std::numeric_limits<double>::epsilon();
  for (std::int64_t n = 1; !io::at_end(u); ++n) {
    double t = 0.0, F = 0.0;
    bool time_known = true;
    if (!io::read_plain(u, {t, F})) {
      // A time too wide for its field is twelve asterisks: the other values still stand.
      io::TextField<16> time_text;
      io::read(u, {time_text, F});
      const std::string_view tt = time_text.trim();
      if (tt.find_first_not_of('*') == std::string_view::npos) {
        time_known = false;
      } else if (io::convert_real(tt.data(), tt.data() + tt.size(), t) != 0) {
        throw DataError(where + ": record " + std::to_string(n + kCurveTableHeadRecords) + " does not start with a time");
      }
    }
    if (time_known && !std::isfinite(t))
      throw DataError(where + ": the time of point " + std::to_string(n) + " is not a finite number");
    if (!std::isfinite(F))
      throw DataError(where + ": the thrust of point " + std::to_string(n) + " is not a finite number");
    const double expected = static_cast<double>(n - 1) * c.dt + shift;
    if (time_known && !(std::fabs(t - expected) <= 0.5e-7 + 4 * kEps * std::fmax(1.0, std::fabs(expected))))
      throw DataError(where + " does not belong to the case as it stands: point " + std::to_string(n) + " is at " +
                      significant(t, 10) + " s, where the case's ti, w and toB put it at " + significant(expected, 10) +
                      " s; run the program again on the case");
    c.F.push_back(F);
  }
  io::close(u);
  if (points >= 0 && c.F.size() != static_cast<std::size_t>(points))
    throw DataError(where + " holds " + std::to_string(c.F.size()) + " points where the summary report gives nc = " +
                    std::to_string(points) + ": the two files come from different runs; run the program again on the case");
  if (c.F.empty()) throw DataError(where + " holds no point: the case's window [ti, tf] took no sample");
  return c;
}

}  // namespace kv::exporter
