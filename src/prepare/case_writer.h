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

// The shortest decimal text that reads back as v.
std::string shortest(double v);

// The case parameter file's twelve records, each value followed by its description.
std::string case_parameters(const Prepared& p, const CaseRequest& request);

// Writes the case; a folder that exists without `force` is a DataError.
void write_case(const Prepared& p, const CaseRequest& request);

// Checks a case name and a title (UTF-8 in, Windows-1252 out); a UsageError names the
// option.
void check_case_name(const std::string& caso);
std::string title_to_cp1252(const std::string& utf8);

}  // namespace kv::prepare
