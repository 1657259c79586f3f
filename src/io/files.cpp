#include "io/files.h"

#include <optional>

namespace kv::io {
namespace {

File g_units[kMaxUnit];

// The reason the OS gave for a failed open, as the message that reports it.
int open_failure_message(OsError e) {
  switch (e) {
    case OsError::NotFound:
      return kFileNotFound;
    case OsError::AccessDenied:
    case OsError::IsDirectory:
      return kPermissionDenied;
    case OsError::NoDevice:
      return kNoSuchDevice;
    case OsError::BadName:
      return kFileNameError;
    default:
      return kOpenFailure;
  }
}

OpenResult open_retrying(const std::string& name, Access access) {
  OpenResult r;
  do r = os().open(name, access);
  while (r.error == OsError::Interrupted);
  return r;
}

OsResult read_retrying(int handle, char* dst, std::size_t n) {
  OsResult r;
  do r = os().read(handle, dst, n);
  while (r.error == OsError::Interrupted);
  return r;
}

// Hands f.out to the OS; false when the OS refused part of it. A disk that filled up
// part of the way through leaves the file cut back behind the last record that reached
// it whole (the buffer holds whole records, each ending with CR LF).
bool try_flush(File& f) {
  if (f.out.empty()) return true;
  std::size_t done = 0;
  const bool ok = write_fully(os(), f.handle, f.out.data(), f.out.size(), done);
  if (!ok && done > 0 && f.regular) {
    std::size_t whole = 0;
    for (std::size_t i = done; i >= 2; --i)
      if (f.out[i - 2] == '\r' && f.out[i - 1] == '\n') {
        whole = i;
        break;
      }
    const std::int64_t end = os().position(f.handle);
    if (end >= 0) os().truncate(f.handle, end - static_cast<std::int64_t>(done - whole));
  }
  f.out.clear();
  return ok;
}

}  // namespace

std::string full_path_name(std::string_view name) { return os().full_path(name); }

File& file(int unit) { return g_units[unit]; }

void fail(int number, const File& f) { throw unit_failure(number, f.unit, f.full_path); }

void open(int unit, std::string_view name, Access access) {
  // The records written so far reach their files before another file is created or
  // cut: a record the OS refuses stops the run before anything else is touched.
  flush_all();
  File& f = g_units[unit];
  if (f.is_open) close(unit);  // a unit opened again lets go of its earlier file first
  f = File{};
  f.unit = unit;
  f.full_path = full_path_name(name);
  // A NUL byte would cut the name short and open another file.
  if (f.full_path.size() > kMaxFullPath || name.find('\0') != std::string_view::npos) fail(kFileNameError, f);
  const std::string path(name);
  OpenResult r = path.empty() ? OpenResult{-1, OsError::NotFound} : open_retrying(path, access);
  if (r.error == OsError::AccessDenied && access == Access::ReadWrite) {
    // A file that may be read but not written: the run only needs to read it.
    const OpenResult ro = open_retrying(path, Access::Read);
    if (ro.error == OsError::None) {
      r = ro;
      f.read_only = true;
    }
  }
  if (r.error != OsError::None) fail(open_failure_message(r.error), f);
  if (access == Access::Read) f.read_only = true;
  f.handle = r.handle;
  f.regular = os().is_regular(r.handle);
  f.is_open = true;
}

bool read_bytes_quietly(File& f, char* dst, std::size_t n, std::size_t& got) {
  if (!f.regular || interrupt_noted() != 0) return false;
  const OsResult r = read_retrying(f.handle, dst, n);
  if (r.error != OsError::None) return false;
  got = r.bytes;
  return true;
}

std::size_t read_bytes(File& f, char* dst, std::size_t n) {
  // Records are read from regular files only: a FIFO or a device (a terminal, /dev/zero)
  // would keep the read waiting, or never end, so it cannot be opened as an input.
  if (!f.regular) fail(kOpenFailure, f);
  stop_if_interrupted();
  const OsResult r = read_retrying(f.handle, dst, n);
  if (r.error != OsError::None) fail(kReadError, f);
  return r.bytes;
}

void start_writing(File& f) {
  if (f.read_only) fail(kPermissionDenied, f);
  flush_all();  // as at an open: nothing is cut while other records are still pending
  const std::int64_t at = f.in ? f.in_base + static_cast<std::int64_t>(f.pos) : 0;
  if (f.regular && !os().truncate(f.handle, at)) fail(kWriteError, f);
  // A last record read without its line end gets one, so the first record written
  // starts a line of its own.
  if (f.last_unterminated) f.out.append("\r\n");
  f.writing = true;
}

void flush(File& f) {
  if (!try_flush(f)) fail(kWriteError, f);
}

void flush_all() {
  for (File& f : g_units)
    if (f.is_open) flush(f);
  stderr_flush();
}

void close(int unit) {
  File& f = g_units[unit];
  if (!f.is_open) return;
  flush(f);
  os().close(f.handle);
  f = File{};
}

namespace {

// Hands every unit's records to the OS; the failure of the first file that refuses them.
std::optional<Failure> flush_for_the_end() {
  std::optional<Failure> refused;
  for (File& f : g_units)
    if (f.is_open && !try_flush(f) && !refused) refused = unit_failure(kWriteError, f.unit, f.full_path);
  return refused;
}

void report_severe(const Failure& f) {
  stderr_append(severe_line(f));
  stderr_append("\n");
  stderr_flush();
}

}  // namespace

std::uint32_t end_run(const Failure& failure) {
  const Failure reported = flush_for_the_end().value_or(failure);
  report_severe(reported);
  close_all_as_they_stand();
  return severe_exit_status(reported.number);
}

std::uint32_t end_interrupted(const Interruption& interruption) {
  if (const std::optional<Failure> refused = flush_for_the_end()) report_severe(*refused);
  stderr_flush();
  close_all_as_they_stand();
  return os().end_by_interrupt(interruption.signal);
}

void close_all_as_they_stand() {
  for (File& f : g_units)
    if (f.is_open) {
      os().close(f.handle);
      f = File{};
    }
}

}  // namespace kv::io
