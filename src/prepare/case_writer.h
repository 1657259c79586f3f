// Writing a prepared case: the general data file, the case parameter file, the load-cell
// data file and, when the folder has none, the plot script's head. Everything is built in
// a temporary folder beside the target and moved into place at the end, so that a case
// folder is never left half-written.
#pragma once

#include <filesystem>
#include <string>

#include "prepare/condition.h"

namespace kv::prepare {

struct CaseRequest {
  std::filesystem::path folder;
  bool force = false;         // replace an existing case folder
  std::string caso;           // the case name: ASCII letters, digits, '_', '-', '.'
  std::string titulo;         // Windows-1252
  double mass = 0;            // kg
  double cutoff = 0;          // Fcor, N
  std::string source;         // the logger file's name, for the notes
};

// The names of the files, from the case name.
std::string case_file_name(const std::string& caso);
std::string load_cell_file_name(const std::string& caso);

// The case parameter file's twelve records, each value followed by its description.
std::string case_parameters(const Prepared& p, const CaseRequest& request);

// Writes the case; a folder that exists without `force` is a DataError.
void write_case(const Prepared& p, const CaseRequest& request);

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
