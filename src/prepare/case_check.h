// Checking a case folder as the program will read it, changing nothing: each problem that
// would stop the program or silently falsify its figures, with the file and line.
#pragma once

#include <string>
#include <vector>

namespace kv::prepare {

struct Finding {
  std::string where;  // "file" or "file:line"
  std::string text;
};

// Reads the case of the current folder.
std::vector<Finding> check_case();

}  // namespace kv::prepare
