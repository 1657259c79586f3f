// The record of how a case was made, <caso>_prepare.json in the case folder: the logger
// file it came from (name, size, SHA-256), prepare's version and options, what prepare
// found in the file and did with it (format, columns, units, steps, tare, baseline noise,
// quantisation, calibration, events, window) and the figures it predicted, and the
// load-cell file it wrote (size, SHA-256), so that a later check can tell when the case's
// files no longer match it. The main program never reads it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "companion/case_record.h"
#include "companion/sha256.h"
#include "prepare/calibration.h"
#include "prepare/condition.h"
#include "prepare/logger_reader.h"

namespace kv::prepare {

inline constexpr const char* kRecordVersion = "1";

using companion::record_file_name;

struct RecordInput {
  std::string logger;                 // the logger file's name, as given
  companion::FileDigest logger_digest;
  std::vector<std::string> arguments;  // the command line as given, after the program's name
  const ReadOptions* read = nullptr;
  const Scan* scan = nullptr;
  const Prepared* prepared = nullptr;
  const Calibration* calibration = nullptr;  // none without --calibration
  std::optional<double> slope_uncertainty_pct;  // --slope-uncertainty
  double mass = 0;                              // kg
  std::string caso;
};

// The record's text (UTF-8 JSON, LF line ends), with the load-cell file as written.
std::string case_record(const RecordInput& in, const std::string& load_cell_name,
                        const companion::FileDigest& load_cell);

}  // namespace kv::prepare
