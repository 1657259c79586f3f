// The two kinds of trouble the export reports, each with the exit status it ends with.
#pragma once

#include <stdexcept>

namespace kv::exporter {

// The case or its results cannot give what was asked: status 1, with the message.
struct DataError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The command line is wrong: status 2, with the message and a pointer to --help.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

}  // namespace kv::exporter
