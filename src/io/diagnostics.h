// The diagnostic lines of the record reader and writer and of the sample arrays, and
// the exit status that goes with a severe one. The texts are in one table, in
// diagnostics.cpp.
#pragma once

#include <cstdint>
#include <string_view>

namespace kv::io {

enum Message : int {
  kPermissionDenied = 9,
  kEndOfFile = 24,
  kFileNotFound = 29,
  kOpenFailure = 30,
  kWriteError = 38,
  kReadError = 39,
  kInsufficientMemory = 41,
  kNoSuchDevice = 42,
  kFileNameError = 43,
  kSyntaxError = 59,
  kOutputConversion = 63,
  kInputConversion = 64,
  kRecordOverflow = 66,
  kArraySizeOverflow = 179,
  kSubscriptOutOfRange = 408,
};

// The exit status of a run that a severe message ends: C0000000 (hex) plus its number.
constexpr std::uint32_t severe_exit_status(int number) { return 0xC0000000u + static_cast<std::uint32_t>(number); }

// "forrtl: severe (NN): <text>, unit U, file <full path>", then the run ends.
[[noreturn]] void severe(int number, int unit);
// "forrtl: severe (NN): <text>" for messages that name no file, then the run ends.
[[noreturn]] void severe_text(int number, std::string_view text);
// "forrtl: error (NN): ..., unit U, file ..."; the run goes on.
void error(int number, int unit);

// The standard error stream, kept in a buffer that flush_all() hands to the OS.
void stderr_append(std::string_view text);
void stderr_flush();

}  // namespace kv::io
