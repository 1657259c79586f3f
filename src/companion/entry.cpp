#include "companion/entry.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <new>

#include "companion/errors.h"
#include "companion/system.h"
#include "io/files.h"
#include "io/os.h"

namespace kv::companion {
namespace {

void put(std::FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

}  // namespace

void Companion::out(std::string_view text) const { put(stdout, text); }

void Companion::warn(std::string_view text) const {
  put(stderr, name_ + ": warning: " + std::string(text) + "\n");
}

bool Companion::parse(CLI::App& app, const std::vector<std::string>& args) const {
  std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 takes them last first
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    out(app.help());
    return false;
  }
  return true;
}

std::string failure_reason(const io::Failure& f) {
  switch (f.number) {
    case io::kFileNotFound: return "no such file";
    case io::kPermissionDenied: return "permission denied";
    case io::kEndOfFile: return "it ends before all its values are read";
    case io::kSyntaxError: return "a value is not a number, or a record is malformed";
    case io::kInputConversion: return "a whole number is out of range";
    case io::kReadError: return "the system could not read it";
    case io::kWriteError: return "the system could not write it (disk full?)";
    case io::kFileNameError: return "the file name is not valid";
    case io::kOpenFailure: return "it cannot be opened as a file to read (a FIFO or a device, a loop of links, or another refusal of the system)";
    case io::kNoSuchDevice: return "no such device";
    case io::kInsufficientMemory: return "not enough memory";
    default: return "error " + std::to_string(f.number);
  }
}

int run(std::string_view name, int argc, char** argv,
        int (*body)(const Companion& companion, const std::vector<std::string>& args)) {
  console_in_utf8();
  names_in_utf8();
  const Companion companion(name);
  const std::string prefix = companion.name() + ": ";
  const auto usage = [&](std::string_view text) {
    put(stderr, prefix + std::string(text) + " (see --help)\n");
    return kUsageError;
  };
  const auto problem = [&](std::string_view text) {
    put(stderr, prefix + std::string(text) + "\n");
    return kDataProblem;
  };
  try {
    return body(companion, utf8_arguments(argc, argv));
  } catch (const io::Interruption& i) {
    // What was half-written has gone with the unwinding; the companion ends as the
    // interruption would have ended it.
    return static_cast<int>(io::os().end_by_interrupt(i.signal));
  } catch (const CLI::ParseError& e) {
    return usage(e.what());
  } catch (const UsageError& e) {
    return usage(e.what());
  } catch (const DataError& e) {
    return problem(e.what());
  } catch (const io::Failure& f) {
    return problem(failure_reason(f) + " (" + io::severe_line(f) + ")");
  } catch (const std::bad_alloc&) {
    return problem("not enough memory");
  } catch (const std::exception& e) {
    return problem(e.what());
  }
}

}  // namespace kv::companion
