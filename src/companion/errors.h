// What stops a companion, and the exit status each ends it with. The entry (entry.h)
// catches them and reports their text; nothing else ends a companion.
#pragma once

#include <stdexcept>

namespace kv::companion {

// The exit statuses of every companion.
enum Status : int {
  kSuccess = 0,      // done (a check: nothing found)
  kDataProblem = 1,  // the data cannot give what was asked (a check: a problem found)
  kUsageError = 2,   // the command line is wrong
};

// The data cannot give what was asked: status 1, with the message. The message names
// the option that settles it where one does.
struct DataError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The command line is wrong: status 2, with the message and a pointer to --help. Only
// the reading of the command line throws it (command_line.h and each companion's
// entry); what a companion does with its data reports a DataError.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

}  // namespace kv::companion
