#include "io/diagnostics.h"

#include <charconv>
#include <string>

#include "io/os.h"

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

std::string unit_text(int number, int unit, std::string_view full_path) {
  std::string s(message_text(number));
  s.append(", unit ");
  append_number(s, unit);
  s.append(", file ").append(full_path);
  return s;
}

}  // namespace

Failure unit_failure(int number, int unit, std::string_view full_path) {
  return {number, unit, unit_text(number, unit, full_path)};
}

Failure text_failure(int number, std::string_view text) {
  return {number, 0, std::string(text.empty() ? message_text(number) : text)};
}

std::string severe_line(const Failure& f) { return line("forrtl: severe", f.number, f.text); }

void stderr_append(std::string_view text) {
  g_stderr.append(text);
  if (g_stderr.size() >= kStderrFlushAt) stderr_flush();
}

void stderr_flush() {
  std::size_t done = 0;
  write_fully(os(), kStandardError, g_stderr.data(), g_stderr.size(), done);  // a refusal leaves nowhere to report to
  g_stderr.clear();
}

void error(int number, int unit, std::string_view full_path) {
  // A long curve can give one such line per record: the line is built once per message,
  // unit and file, and then copied.
  static std::string line_text;
  static int line_number = -1;
  static int line_unit = -1;
  static std::string line_path;
  if (number != line_number || unit != line_unit || full_path != line_path) {
    line_text = line("forrtl: error", number, unit_text(number, unit, full_path));
    line_text.push_back('\n');
    line_number = number;
    line_unit = unit;
    line_path = full_path;
  }
  stderr_append(line_text);
}

}  // namespace kv::io
