#include "prepare/case_writer.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <fstream>
#include <optional>
#include <system_error>
#include <vector>

#include "companion/errors.h"
#include "companion/number_text.h"
#include "companion/paths.h"
#include "input/case_selection.h"
#include "io/cp1252.h"
#include "output/plot_script.h"

namespace kv::prepare {

namespace fs = std::filesystem;
using companion::cp1252_from_utf8;
using companion::cp1252_from_utf8_or_marks;
using companion::DataError;
using companion::display_name;
using companion::shortest;
using companion::utf8_path;

namespace {

constexpr std::size_t kValueWidth = 26;

// The head records of a new plot script: gnuplot writes a PNG of the curve.
constexpr std::string_view kPlotHead[kPlotScriptHeadRecords] = {
    "set terminal pngcairo size 900,600 noenhanced font 'Sans,11'",
    "set encoding cp1252",
    "set output 'kalvorestine_2p0_curva_F-t.png'",
    "set xlabel 'tempo (s)'; set ylabel 'empuxo (N)'",
    "set grid; set key off; set yrange [0:*]; set offsets 0, 0, graph 0.08, 0",
    "set style data lines; set linetype 1 linewidth 2 linecolor rgb '#c0392b'",
};

// A value, then blanks up to the description's column (two at least).
std::string record(std::string_view value, std::string_view description) {
  std::string s(value);
  s.append(s.size() + 2 <= kValueWidth ? kValueWidth - s.size() : 2, ' ');
  s.append(description).append("\r\n");
  return s;
}

// A text value in apostrophes, an apostrophe inside written twice.
std::string in_apostrophes(std::string_view text) {
  std::string s = "'";
  for (char c : text) {
    s += c;
    if (c == '\'') s += '\'';
  }
  return s + "'";
}

void write_file(const fs::path& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  f.close();
  if (!f) throw DataError(display_name(path) + ": cannot be written");
}

// A fresh folder beside `target` whose name starts with its name.
fs::path fresh_folder(const fs::path& target, const char* kind) {
  const fs::path parent = target.has_parent_path() ? target.parent_path() : fs::path(".");
  const auto seed = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  for (unsigned i = 0; i < 1000; ++i) {
    std::string name = ".";
    name += display_name(target.filename());
    name += kind;
    name += std::to_string((seed + i) % 1000000);
    const fs::path p = parent / utf8_path(name);
    std::error_code ec;
    if (fs::create_directory(p, ec)) return p;
    if (ec && ec != std::errc::file_exists)
      throw DataError(display_name(parent) + ": cannot create a folder there (" + ec.message() + ")");
  }
  throw DataError(display_name(parent) + ": cannot create a temporary folder there");
}

}  // namespace

std::string case_file_name(const std::string& caso) { return caso + ".txt"; }
std::string load_cell_file_name(const std::string& caso) {
  const std::string name = caso + "_celula.txt";
  return name.size() <= 50 ? name : "celula.txt";
}

bool case_name_character(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.';
}

std::string case_name_problem(const std::string& caso) {
  if (caso.empty()) return "the case name is empty";
  if (caso.size() > kCaseNameLength)
    return "at most " + std::to_string(kCaseNameLength) + " characters (the program adds " +
           std::string(kSummaryReportSuffix) + " to it)";
  for (char c : caso)
    if (!case_name_character(c)) return "use letters A to Z, digits, '_', '-' and '.' (the case name makes file names)";
  if (caso.front() == '.' || caso.front() == '-') return "begin with a letter or a digit";
  if (case_file_name(caso) == kGeneralDataFile) return "that is the general data file's name";
  return {};
}

std::string title_problem(const std::string& utf8) {
  const std::optional<std::string> bytes = cp1252_from_utf8(utf8);
  const auto control = [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; };
  if (!bytes || std::any_of(bytes->begin(), bytes->end(), control))
    return "a character that Windows-1252 cannot write (the program's files are Windows-1252)";
  if (bytes->size() > kTitleLength) return "at most " + std::to_string(kTitleLength) + " characters";
  return {};
}

std::string case_parameters(const Prepared& p, const CaseRequest& request) {
  const std::int64_t nc = p.window_points();
  // The values in the order of kCaseParameters: the window and the grid's rate from the
  // preparation, room for a tenth more points, the curve table in original times, the
  // plot drawn, only the summary report opened at the end.
  const std::string values[] = {in_apostrophes(load_cell_file_name(request.caso)),
                                shortest(p.ti),
                                shortest(p.tf),
                                shortest(request.cutoff),
                                shortest(request.mass),
                                std::to_string(p.rate),
                                std::to_string(nc + std::max<std::int64_t>(10, nc / 10)),
                                "1",
                                "1",
                                "0",
                                request.caso,
                                in_apostrophes(request.titulo)};
  static_assert(std::size(values) == std::size(kCaseParameters));
  std::string s;
  for (std::size_t k = 0; k < std::size(values); ++k) s += record(values[k], kCaseParameters[k].description);
  return s;
}

void write_case(const Prepared& p, const CaseRequest& request) {
  const fs::path& target = request.folder;
  std::error_code ec;
  const bool exists = fs::exists(target, ec);
  if (exists && !fs::is_directory(target, ec))
    throw DataError(display_name(target) + ": exists and is not a folder");
  if (exists && !request.force)
    throw DataError(display_name(target) + ": the case folder exists already; give --force to replace its case files, "
                                           "or --out another folder");

  const fs::path tmp = fresh_folder(target, ".tmp-");
  try {
    write_file(tmp / kGeneralDataFile,
               record(case_file_name(request.caso), "nome do arquivo com os dados do caso") +
                   record("", "(só o primeiro valor deste arquivo é lido; o resto são notas)"_w) +
                   std::string("Preparado por kalvorestine_2p0_prepare a partir de "_w) + cp1252_from_utf8_or_marks(request.source) + "\r\n");
    write_file(tmp / case_file_name(request.caso), case_parameters(p, request));

    // The load-cell data file: uniform times i / rate, thrusts as they read back.
    {
      std::ofstream f(tmp / load_cell_file_name(request.caso), std::ios::binary | std::ios::trunc);
      std::string chunk;
      chunk.reserve(1 << 20);
      char buf[96];
      for (std::int64_t i = p.ia; i <= p.ib; ++i) {
        char* e = std::to_chars(buf, buf + 40, p.time(i)).ptr;
        *e++ = ' ';
        e = std::to_chars(e, buf + sizeof buf - 2, p.thrust(i)).ptr;
        *e++ = '\r';
        *e++ = '\n';
        chunk.append(buf, e);
        if (chunk.size() > (1u << 20) - 100) {
          f.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
          chunk.clear();
        }
      }
      f.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
      f.close();
      if (!f) throw DataError(display_name(tmp / load_cell_file_name(request.caso)) + ": cannot be written");
    }

    // The plot script: the folder's own is kept; else six head records that make a PNG.
    const fs::path own = target / kPlotScript;
    if (exists && fs::exists(own, ec)) {
      fs::copy_file(own, tmp / kPlotScript, fs::copy_options::overwrite_existing, ec);
      if (ec) throw DataError(display_name(own) + ": cannot be copied (" + ec.message() + ")");
    } else {
      std::string head;
      for (const std::string_view r : kPlotHead) head.append(r).append("\r\n");
      write_file(tmp / kPlotScript, head);
    }

    if (!exists) {
      fs::rename(tmp, target, ec);
      if (ec) throw DataError(display_name(target) + ": cannot be put in place (" + ec.message() + ")");
      return;
    }
    // Replacing a case folder: the old one steps aside, the new one takes its place, and
    // whatever else the old one held (results, notes) moves into the new one.
    const fs::path old = fresh_folder(target, ".old-");
    fs::remove(old, ec);
    fs::rename(target, old, ec);
    if (ec) throw DataError(display_name(target) + ": cannot be replaced (" + ec.message() + ")");
    fs::rename(tmp, target, ec);
    if (ec) {
      std::error_code back;
      fs::rename(old, target, back);
      throw DataError(display_name(target) + ": cannot be replaced (" + ec.message() + ")");
    }
    for (const auto& entry : fs::directory_iterator(old, ec)) {
      const fs::path dest = target / entry.path().filename();
      std::error_code e2;
      if (!fs::exists(dest, e2)) fs::rename(entry.path(), dest, e2);
    }
    fs::remove_all(old, ec);
  } catch (...) {
    std::error_code e;
    if (fs::exists(tmp, e)) fs::remove_all(tmp, e);
    throw;
  }
}

}  // namespace kv::prepare
