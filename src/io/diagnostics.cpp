#include "io/diagnostics.h"

#include <charconv>
#include <cstdlib>
#include <string>

#include "io/files.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace kv::io {
namespace {

std::string g_stderr;
constexpr std::size_t kStderrFlushAt = std::size_t{1} << 20;

std::string_view message_text(int number) {
  switch (number) {
    case kPermissionDenied: return "permission to access file denied";
    case kEndOfFile: return "end-of-file during read";
    case kFileNotFound: return "file not found";
    case kOpenFailure: return "open failure";
    case kWriteError: return "error during write";
    case kReadError: return "error during read";
    case kInsufficientMemory: return "insufficient virtual memory";
    case kNoSuchDevice: return "no such device";
    case kFileNameError: return "file name specification error";
    case kSyntaxError: return "list-directed I/O syntax error";
    case kOutputConversion: return "output conversion error";
    case kInputConversion: return "input conversion error";
    case kRecordOverflow: return "output statement overflows record";
    case kArraySizeOverflow: return "Cannot allocate array - overflow on array size calculation.";
    default: return "";
  }
}

void append_number(std::string& s, long long v) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  s.append(buf, r.ptr);
}

// "%s (%i): %s"
std::string line(std::string_view severity, int number, std::string_view text) {
  std::string s;
  s.append(severity).append(" (");
  append_number(s, number);
  s.append("): ").append(text);
  return s;
}

std::string unit_text(int number, int unit) {
  std::string s(message_text(number));
  s.append(", unit ");
  append_number(s, unit);
  s.append(", file ").append(file(unit).full_path);
  return s;
}

[[noreturn]] void end_run(int number, const std::string& text) {
  stderr_append(line("forrtl: severe", number, text));
  stderr_append("\n");
  stderr_flush();
  close_all_as_they_stand();
  std::exit(static_cast<int>(severe_exit_status(number)));
}

// Every record written so far reaches its file before the run ends. A file that
// refuses them would have stopped the run at that write, so its failure is the one
// reported.
bool flush_before_ending(int& number, int& unit) {
  static bool ending = false;
  if (ending) return false;
  ending = true;
  bool replaced = false;
  for (int u = 0; u < kMaxUnit; ++u) {
    File& f = file(u);
    if (f.is_open && !try_flush(f) && !replaced) {
      number = kWriteError;
      unit = u;
      replaced = true;
    }
  }
  return replaced;
}

}  // namespace

void stderr_append(std::string_view text) {
  g_stderr.append(text);
  if (g_stderr.size() >= kStderrFlushAt) stderr_flush();
}

void stderr_flush() {
  const char* p = g_stderr.data();
  std::size_t n = g_stderr.size();
  while (n > 0) {
#ifdef _WIN32
    const long long r = ::_write(2, p, static_cast<unsigned>(n));
#else
    const long long r = ::write(2, p, n);
#endif
    if (r <= 0) break;  // nowhere left to report to
    p += r;
    n -= static_cast<std::size_t>(r);
  }
  g_stderr.clear();
}

void severe(int number, int unit) {
  flush_before_ending(number, unit);
  end_run(number, unit_text(number, unit));
}

void severe_text(int number, std::string_view text) {
  int unit = 0;
  if (flush_before_ending(number, unit)) end_run(number, unit_text(number, unit));
  if (text.empty()) text = message_text(number);
  end_run(number, std::string(text));
}

void error(int number, int unit) {
  // A long curve can give one such line per record: the line is built once per message,
  // unit and file, and then copied.
  static std::string line_text;
  static int line_number = -1;
  static int line_unit = -1;
  static std::string line_path;
  const std::string& path = file(unit).full_path;
  if (number != line_number || unit != line_unit || path != line_path) {
    line_text = line("forrtl: error", number, unit_text(number, unit));
    line_text.push_back('\n');
    line_number = number;
    line_unit = unit;
    line_path = path;
  }
  g_stderr.append(line_text);
  if (g_stderr.size() >= kStderrFlushAt) stderr_flush();
}

}  // namespace kv::io
