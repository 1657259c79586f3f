#include "prepare/case_writer.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include "companion/errors.h"
#include "companion/number_text.h"
#include "input/case_selection.h"
#include "io/cp1252.h"
#include "output/plot_script.h"
#include "prepare/case_record.h"
#include "prepare/os_files.h"

namespace kv::prepare {

using companion::cp1252_from_utf8;
using companion::cp1252_from_utf8_or_marks;
using companion::DataError;
using companion::shortest;
using io::FileKind;
using io::OsError;

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

// The bytes of the general data file.
std::string general_data(const CaseRequest& request) {
  return record(case_file_name(request.caso), "nome do arquivo com os dados do caso") +
         record("", "(só o primeiro valor deste arquivo é lido; o resto são notas)"_w) +
         std::string("Preparado por kalvorestine_2p0_prepare a partir de "_w) + cp1252_from_utf8_or_marks(request.source) +
         "\r\n";
}

std::string plot_head() {
  std::string head;
  for (const std::string_view r : kPlotHead) head.append(r).append("\r\n");
  return head;
}

// One file of the case as it is written: its final name, and the file being made.
struct Piece {
  std::string name;                 // in the case folder
  std::unique_ptr<NewFile> file;    // under a temporary name
};

// Writes the bytes of one piece; the load-cell file comes in blocks, so that an
// interruption is seen between two of them.
void fill(Piece& piece, const std::string& shown, const std::string& bytes) {
  stop_if_interrupted();
  if (!piece.file->write(bytes) || !piece.file->finish())
    throw DataError(shown + ": cannot be written (" + reason(piece.file->error()) + ")");
}

companion::FileDigest fill_load_cell(Piece& piece, const std::string& shown, const Prepared& p) {
  // Uniform times i / rate, thrusts as they read back.
  companion::Sha256 digest;
  companion::FileDigest written;
  std::string chunk;
  chunk.reserve(1 << 16);
  char buf[96];
  const auto flush = [&] {
    stop_if_interrupted();
    if (!piece.file->write(chunk)) throw DataError(shown + ": cannot be written (" + reason(piece.file->error()) + ")");
    digest.add(chunk);
    written.size += chunk.size();
    chunk.clear();
  };
  for (std::int64_t i = p.ia; i <= p.ib; ++i) {
    char* e = std::to_chars(buf, buf + 40, p.time(i)).ptr;
    *e++ = ' ';
    e = std::to_chars(e, buf + sizeof buf - 2, p.thrust(i)).ptr;
    *e++ = '\r';
    *e++ = '\n';
    chunk.append(buf, e);
    if (chunk.size() > (1u << 16) - 100) flush();
  }
  flush();
  if (!piece.file->finish()) throw DataError(shown + ": cannot be written (" + reason(piece.file->error()) + ")");
  written.sha256 = digest.hex();
  return written;
}

// A folder of prepare's own, taken away again unless released; only when empty, so that
// nothing in it that prepare did not write is ever lost.
struct OwnFolder {
  std::string name;
  bool release = false;
  ~OwnFolder() {
    if (!name.empty() && !release) io::os().remove_directory(name);
  }
};

unsigned seed() {
  return static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count() % 1000000);
}

bool same_file(const io::FileStatus& a, const io::FileStatus& b) {
  return a.kind != FileKind::Missing && b.kind != FileKind::Missing && a.device == b.device && a.id == b.id;
}

// The case files' names in the folder, the plot script last (written only where the
// folder has none).
std::vector<std::string> case_files(const CaseRequest& request) {
  if (!request.record) return {load_cell_file_name(request.caso), case_file_name(request.caso), kGeneralDataFile, kPlotScript};
  return {load_cell_file_name(request.caso), case_file_name(request.caso), kGeneralDataFile,
          record_file_name(request.caso), kPlotScript};
}

// Removes what a stopped earlier run of prepare left: temporary files of the case files
// in the folder, and temporary folders of the case folder beside it that hold nothing
// but such files.
void remove_stale(const CaseRequest& request, bool folder_exists, WriteReport& report) {
  OsError error = OsError::None;
  const std::string parent = folder_of(request.folder);
  const std::string last(last_part(request.folder));
  const std::vector<std::string> files = case_files(request);
  for (const std::string& entry : io::os().list_directory(parent, error)) {
    if (!is_temporary_of(entry, last)) continue;
    const std::string tmp = joined(parent, entry);
    if (io::os().status(tmp, false).kind != FileKind::Directory) continue;
    OsError e = OsError::None;
    const std::vector<std::string> inside = io::os().list_directory(tmp, e);
    const bool ours = std::all_of(inside.begin(), inside.end(), [&](const std::string& n) {
      return std::find(files.begin(), files.end(), n) != files.end() &&
             io::os().status(joined(tmp, n), false).kind == FileKind::Regular;
    });
    if (!ours) continue;
    for (const std::string& n : inside) io::os().remove_file(joined(tmp, n));
    if (io::os().remove_directory(tmp) == OsError::None)
      report.notes.push_back("removed " + tmp + ", a temporary folder that an earlier run left when it was stopped");
  }
  if (!folder_exists) return;
  for (const std::string& entry : io::os().list_directory(request.folder, error)) {
    for (const std::string& f : files) {
      if (!is_temporary_of(entry, f)) continue;
      const std::string tmp = joined(request.folder, entry);
      if (io::os().status(tmp, false).kind == FileKind::Regular && io::os().remove_file(tmp) == OsError::None)
        report.notes.push_back("removed " + tmp + ", a temporary file that an earlier run left when it was stopped");
    }
  }
}

}  // namespace

namespace {

// ".NAME.prepare-", the start of prepare's temporary names beside NAME.
std::string temporary_head(std::string_view name) {
  std::string head(1, '.');
  head.append(name).append(".prepare-");
  return head;
}

}  // namespace

std::string temporary_name(const std::string& folder, std::string_view name, unsigned n) {
  return joined(folder, temporary_head(name).append(std::to_string(n)));
}

bool is_temporary_of(std::string_view entry, std::string_view name) {
  const std::string head = temporary_head(name);
  if (entry.size() <= head.size() || entry.substr(0, head.size()) != head) return false;
  const std::string_view digits = entry.substr(head.size());
  return std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

void check_target(const CaseRequest& request) {
  const io::FileStatus st = io::os().status(request.folder, false);
  if (st.kind == FileKind::Link)
    throw DataError(request.folder + ": is a symbolic link; give --out the folder it leads to (prepare writes into "
                                     "the folder named, never through a link)");
  if (st.kind == FileKind::Missing) {
    if (st.error == OsError::NotFound) return;
    throw DataError(request.folder + ": cannot be used as the case folder (" + reason(st.error) + ")");
  }
  if (st.kind != FileKind::Directory) throw DataError(request.folder + ": exists and is not a folder");
  if (!request.force)
    throw DataError(request.folder + ": the case folder exists already; give --force to replace its case files, "
                                     "or --out another folder");
  for (const std::string& name : case_files(request)) {
    const std::string file = joined(request.folder, name);
    if (same_file(io::os().status(file, true), request.logger))
      throw DataError(file + " is the logger file itself, which the case would write over: give --out another "
                             "folder" + (name == kGeneralDataFile || name == kPlotScript ? "" : " or --case another name"));
  }
}


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

WriteReport write_case(const Prepared& p, const CaseRequest& request) {
  check_target(request);
  WriteReport report;
  const bool exists = io::os().status(request.folder, false).kind == FileKind::Directory;
  remove_stale(request, exists, report);

  // A new case: a folder of prepare's own beside the target, renamed into place.
  OwnFolder own;
  std::string where = request.folder;
  const unsigned n = seed();
  if (!exists) {
    const std::string parent = folder_of(request.folder);
    const std::string last(last_part(request.folder));
    for (unsigned k = 0; k < 1000 && own.name.empty(); ++k) {
      const std::string tmp = temporary_name(parent, last, (n + k) % 1000000);
      const OsError e = io::os().make_directory(tmp);
      if (e == OsError::None) own.name = tmp;
      else if (e != OsError::Exists)
        throw DataError(request.folder + ": the case folder cannot be made (" + reason(e) + ")");
    }
    if (own.name.empty()) throw DataError(request.folder + ": the case folder cannot be made (the name is taken)");
    where = own.name;
  }

  std::vector<Piece> pieces;
  for (const std::string& name : case_files(request)) {
    if (name == kPlotScript && exists && io::os().status(joined(request.folder, name), false).kind != FileKind::Missing) {
      report.plot_script_kept = true;
      continue;
    }
    Piece piece{name, nullptr};
    const std::string tmp = exists ? temporary_name(request.folder, name, n) : joined(where, name);
    piece.file = std::make_unique<NewFile>(tmp);
    if (piece.file->opened() != OsError::None)
      throw DataError(joined(request.folder, name) + ": cannot be written (" + reason(piece.file->opened()) + ")");
    pieces.push_back(std::move(piece));
  }
  companion::FileDigest load_cell;  // the load-cell file comes first, the record after it
  for (Piece& piece : pieces) {
    const std::string shown = joined(request.folder, piece.name);
    if (piece.name == kGeneralDataFile) fill(piece, shown, general_data(request));
    else if (piece.name == kPlotScript) fill(piece, shown, plot_head());
    else if (piece.name == case_file_name(request.caso)) fill(piece, shown, case_parameters(p, request));
    else if (piece.name == load_cell_file_name(request.caso)) load_cell = fill_load_cell(piece, shown, p);
    else fill(piece, shown, request.record(load_cell_file_name(request.caso), load_cell));
  }
  stop_if_interrupted();

  if (!exists) {
    // Another program may have made the folder meanwhile: it is not replaced.
    if (io::os().status(request.folder, false).kind != FileKind::Missing)
      throw DataError(request.folder + ": a folder of that name appeared while the case was written; nothing was put there");
    const OsError e = io::os().rename(own.name, request.folder);
    if (e == OsError::NotEmpty || e == OsError::Exists)
      throw DataError(request.folder + ": a folder of that name appeared while the case was written; nothing was put there");
    if (e != OsError::None) throw DataError(request.folder + ": the case folder cannot be put in place (" + reason(e) + ")");
    own.release = true;
    for (Piece& piece : pieces) piece.file->keep();
    return report;
  }
  // Each case file replaces the one before in a single step; the others stay as they are.
  std::vector<std::string> replaced;
  for (Piece& piece : pieces) {
    const std::string final_name = joined(request.folder, piece.name);
    const OsError e = io::os().rename(piece.file->name(), final_name);
    if (e != OsError::None) {
      std::string state = replaced.empty() ? "no case file was changed" : "";
      for (const std::string& r : replaced) state += (state.empty() ? "" : ", ") + r;
      if (!replaced.empty()) state += (replaced.size() == 1 ? " is" : " are") + std::string(" new already: run again");
      throw DataError(final_name + ": cannot be replaced (" + reason(e) + "); " + state);
    }
    piece.file->keep();
    replaced.push_back(piece.name);
  }
  return report;
}

}  // namespace kv::prepare
