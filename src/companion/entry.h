// A companion's main(), the same for every companion: the arguments and the output in
// UTF-8 on every system, one place that turns what stops the companion into its message
// and its exit status, and the prefixes of what it says.
//
//   int main(int argc, char** argv) { return kv::companion::run("NAME", argc, argv, body); }
//
// What `body` throws ends the companion:
//   io::Interruption                   nothing said; the signal's own end (io/os.h)
//   UsageError, or CLI11's ParseError  "NAME: TEXT (see --help)"      status 2
//   DataError                          "NAME: TEXT"                   status 1
//   io::Failure                        "NAME: REASON (DIAGNOSTIC)"    status 1
//   std::bad_alloc                     "NAME: not enough memory"      status 1
// on the standard error stream; every other std::exception as a DataError.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "io/diagnostics.h"

namespace CLI {
class App;
}

namespace kv::companion {

// The companion that runs, for the prefixes of what it says.
class Companion {
 public:
  explicit Companion(std::string_view name) : name_(name) {}

  const std::string& name() const { return name_; }

  // The text on the standard output stream, its bytes as they are.
  void out(std::string_view text) const;
  // "NAME: warning: TEXT" on the standard error stream.
  void warn(std::string_view text) const;

  // Reads the command line into the app's options. False when it asked for --help,
  // whose text is then on the standard output stream; a wrong command line throws.
  bool parse(CLI::App& app, const std::vector<std::string>& args) const;

 private:
  std::string name_;
};

// The arguments after the program's name, in UTF-8 (on Windows from the wide command
// line, whatever the console's code page), then `body`; its result, or the status of
// what it threw, is the exit status. On Windows the console shows the output as UTF-8,
// and the standard streams keep their bytes (no CR added before LF).
int run(std::string_view name, int argc, char** argv,
        int (*body)(const Companion& companion, const std::vector<std::string>& args));

// Why the program's record layer stopped, in words: "no such file", "permission denied".
std::string failure_reason(const io::Failure& f);

}  // namespace kv::companion
