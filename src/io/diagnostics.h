// The diagnostic lines of the record reader and writer and of the sample arrays, the
// exit status that goes with a severe one, and the buffered standard error stream they
// go to. The message texts are in one table, in diagnostics.cpp.
//
// A severe diagnostic does not end the run where it arises: it is a Failure, thrown, and
// the run's conductor alone reports it and ends the run (run_program() with io::end_run,
// files.h); a companion's entry reports it in its own words.
#pragma once

#include <cstdint>
#include <string>
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

// A severe diagnostic on its way to the one place that reports it.
struct Failure {
  int number = 0;
  int unit = 0;      // the unit whose file the message names; 0 for none
  std::string text;  // the message text with its placeholders filled in
};

// An interruption (SIGINT, SIGTERM) on its way to the entry point, which ends the run on
// it (io::end_interrupted, files.h). It is thrown between records only.
struct Interruption {
  int signal = 0;
};

// The message of `number` for the file `full_path` open on `unit`:
// "<text>, unit U, file <full path>".
Failure unit_failure(int number, int unit, std::string_view full_path);
// A message that names no file; an empty text stands for the message's own text.
Failure text_failure(int number, std::string_view text = {});

// The line of a severe diagnostic: "forrtl: severe (NN): <text>".
std::string severe_line(const Failure& f);

// "forrtl: error (NN): <text>, unit U, file <full path>" on the standard error stream;
// the run goes on.
void error(int number, int unit, std::string_view full_path);

// The standard error stream, kept in a buffer that stderr_flush() hands to the OS.
void stderr_append(std::string_view text);
void stderr_flush();

}  // namespace kv::io
