#include "prepare/os_files.h"

#include <utility>

#include "companion/errors.h"
#include "io/files.h"

namespace kv::prepare {

using companion::DataError;
using io::FileKind;
using io::OsError;

std::string reason(OsError e) {
  switch (e) {
    case OsError::None: return "no error";
    case OsError::Interrupted: return "interrupted";
    case OsError::NotFound: return "no such file or folder";
    case OsError::AccessDenied: return "permission denied";
    case OsError::IsDirectory: return "a folder stands there";
    case OsError::NoDevice: return "no such device";
    case OsError::BadName: return "the name is not valid";
    case OsError::NoSpace: return "the disk is full";
    case OsError::Exists: return "the name is taken already";
    case OsError::Loop: return "a loop of symbolic links";
    case OsError::NotEmpty: return "a folder that is not empty stands there";
    case OsError::Other: return "the system refused";
  }
  return "the system refused";
}

io::FileStatus regular_input(const std::string& name) {
  const io::FileStatus st = io::os().status(name, true);
  switch (st.kind) {
    case FileKind::Regular: return st;
    case FileKind::Directory: throw DataError(name + ": is a folder, not a file");
    case FileKind::Fifo:
      throw DataError(name + ": is a FIFO (a named pipe), not a file: give the logger's saved file (a pipe would "
                             "have to be read twice)");
    case FileKind::Device: throw DataError(name + ": is a device, not a file: give the logger's saved file");
    case FileKind::Missing:
      if (st.error == OsError::Loop) throw DataError(name + ": a loop of symbolic links, not a file");
      if (st.error == OsError::NotFound) throw DataError(name + ": no such file");
      throw DataError(name + ": cannot be opened (" + reason(st.error) + ")");
    case FileKind::Link:
    case FileKind::Other: break;
  }
  throw DataError(name + ": is not a regular file");
}

void stop_if_interrupted() { io::stop_if_interrupted(); }

InputFile::InputFile(std::string name) : name_(std::move(name)) { open(); }

InputFile::~InputFile() {
  if (handle_ >= 0) io::os().close(handle_);
}

void InputFile::open() {
  status_ = regular_input(name_);
  io::OpenResult r;
  do r = io::os().open(name_, io::Access::Read);
  while (r.error == OsError::Interrupted && io::interrupt_noted() == 0);
  stop_if_interrupted();
  if (r.error != OsError::None) throw DataError(name_ + ": cannot be opened (" + reason(r.error) + ")");
  handle_ = r.handle;
  // Between the look and the opening another file may have taken the name.
  if (!io::os().is_regular(handle_)) throw DataError(name_ + ": is not a regular file (a FIFO or a device)");
}

std::size_t InputFile::read(char* dst, std::size_t n) {
  for (;;) {
    stop_if_interrupted();
    const io::OsResult r = io::os().read(handle_, dst, n);
    if (r.error == OsError::None) return r.bytes;
    if (r.error != OsError::Interrupted) throw DataError(name_ + ": cannot be read (" + reason(r.error) + ")");
  }
}

void InputFile::seek(std::uint64_t offset) {
  if (io::os().seek(handle_, static_cast<std::int64_t>(offset))) return;
  // A system that cannot seek: open anew and read up to there.
  io::os().close(handle_);
  handle_ = -1;
  open();
  char skip[1 << 16];
  for (std::uint64_t left = offset; left > 0;) {
    const std::size_t got = read(skip, left < sizeof skip ? static_cast<std::size_t>(left) : sizeof skip);
    if (got == 0) throw DataError(name_ + ": became shorter while it was read");
    left -= got;
  }
}

std::string_view last_part(std::string_view name) {
#ifdef _WIN32
  const auto at = name.find_last_of("/\\");
#else
  const auto at = name.find_last_of('/');
#endif
  return at == std::string_view::npos ? name : name.substr(at + 1);
}

std::string_view stem_of(std::string_view name) {
  const std::string_view last = last_part(name);
  const auto dot = last.find_last_of('.');
  return dot == std::string_view::npos || dot == 0 ? last : last.substr(0, dot);
}

std::string folder_of(std::string_view name) {
  const std::string_view last = last_part(name);
  if (last.size() == name.size()) return ".";
  std::string folder(name.substr(0, name.size() - last.size()));
  folder = without_trailing_separators(folder);
  return folder.empty() ? "/" : folder;
}

std::string joined(std::string_view folder, std::string_view name) {
  if (folder == "." || folder.empty()) return std::string(name);
  std::string s(folder);
  if (!s.empty() && s.back() != '/'
#ifdef _WIN32
      && s.back() != '\\'
#endif
  )
    s += '/';
  return s += name;
}

std::string without_trailing_separators(std::string name) {
  const auto separator = [](char c) {
#ifdef _WIN32
    return c == '/' || c == '\\';
#else
    return c == '/';
#endif
  };
  while (name.size() > 1 && separator(name.back())) name.pop_back();
  return name;
}

NewFile::NewFile(std::string name) : name_(std::move(name)) {
  io::OpenResult r;
  do r = io::os().open(name_, io::Access::CreateNew);
  while (r.error == OsError::Interrupted && io::interrupt_noted() == 0);
  error_ = r.error;
  handle_ = r.error == OsError::None ? r.handle : -1;
}

NewFile::~NewFile() {
  if (handle_ >= 0) io::os().close(handle_);
  if (!keep_ && (handle_ >= 0 || error_ != OsError::Exists)) io::os().remove_file(name_);
}

bool NewFile::write(std::string_view bytes) {
  if (handle_ < 0) return false;
  while (!bytes.empty()) {
    const io::OsResult r = io::os().write(handle_, bytes.data(), bytes.size());
    if (r.error == OsError::Interrupted) continue;
    if (r.error != OsError::None || r.bytes == 0) {
      error_ = r.error == OsError::None ? OsError::NoSpace : r.error;
      return false;
    }
    bytes.remove_prefix(r.bytes);
  }
  return true;
}

bool NewFile::finish() {
  if (handle_ < 0) return false;
  const bool durable = io::os().sync(handle_);
  io::os().close(handle_);
  handle_ = -1;
  if (!durable) error_ = OsError::Other;
  return durable;
}

}  // namespace kv::prepare
