// The summary of a preparation, as standard output shows it.
#pragma once

#include <string>

#include "prepare/calibration.h"
#include "prepare/case_writer.h"
#include "prepare/condition.h"
#include "prepare/logger_reader.h"

namespace kv::prepare {

struct SummaryInput {
  std::string logger;     // the logger file's name
  const ReadOptions* read;
  const Scan* scan;
  const Prepared* prepared;
  const CaseRequest* request;
  bool plot_script_kept;  // the folder's own plot script was kept
  const Calibration* calibration = nullptr;  // --calibration, when given
};

std::string summary(const SummaryInput& in);

}  // namespace kv::prepare
