// The companion's own failures: a problem with the data (exit status 1) or with the
// command line (exit status 2). The entry catches them and reports their text.
#pragma once

#include <stdexcept>
#include <string>

namespace kv::prepare {

struct DataError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

}  // namespace kv::prepare
