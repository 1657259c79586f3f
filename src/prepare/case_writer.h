// Writing a prepared case: the general data file, the case parameter file, the load-cell
// data file and, when the folder has none, the plot script's head. A new case is built in
// a temporary folder beside the target and renamed into place at the end; in an existing
// folder (--force) each case file is written to a temporary file beside it and renamed
// over it, and nothing else there is touched. Nothing is left half-written: on a failure
// or an interruption the temporary files go, and the files that were there stay.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "companion/sha256.h"
#include "io/os.h"
#include "prepare/condition.h"

namespace kv::prepare {

struct CaseRequest {
  std::string folder;         // as the user named it, without a trailing separator
  bool force = false;         // replace the case files of an existing case folder
  io::FileStatus logger;      // the file read, which is never written over
  std::string caso;           // the case name: ASCII letters, digits, '_', '-', '.'
  std::string titulo;         // Windows-1252
  double mass = 0;            // kg
  double cutoff = 0;          // Fcor, N
  std::string source;         // the logger file's name, for the notes
  // The record of how the case was made, from the load-cell file as written; no record
  // file when empty.
  std::function<std::string(const std::string& load_cell_name, const companion::FileDigest& load_cell)> record;
};

// The names of the files, from the case name.
std::string case_file_name(const std::string& caso);
std::string load_cell_file_name(const std::string& caso);

// The case parameter file's twelve records, each value followed by its description.
std::string case_parameters(const Prepared& p, const CaseRequest& request);

// What writing the case did besides the case files.
struct WriteReport {
  bool plot_script_kept = false;    // the folder's own plot script was left as it is
  std::vector<std::string> notes;   // temporaries of a stopped earlier run, removed
};

// The name of a temporary file or folder of prepare's beside `name` ("case" in
// "runs/case"): ".case.prepare-N" in the same folder. Tells whether a name is one.
std::string temporary_name(const std::string& folder, std::string_view name, unsigned n);
bool is_temporary_of(std::string_view entry, std::string_view name);

// Checks that the case can be written where it is asked (a folder that exists without
// `force`, a symbolic link, a case file that is the logger file itself are DataErrors)
// before anything is read at length.
void check_target(const CaseRequest& request);

// Writes the case.
WriteReport write_case(const Prepared& p, const CaseRequest& request);

// The longest case name (the program's field has 90 characters, and the result files add
// their suffix to it) and the longest title.
inline constexpr std::size_t kCaseNameLength = 80;
inline constexpr std::size_t kTitleLength = 90;

// Whether a character may stand in a case name: ASCII letters, digits, '_', '-', '.'.
bool case_name_character(char c);
// Why a text cannot be the case name, which makes file names; empty when it can.
std::string case_name_problem(const std::string& caso);
// Why a UTF-8 text cannot be the case's title (the program's files are Windows-1252);
// empty when it can.
std::string title_problem(const std::string& utf8);

}  // namespace kv::prepare
