#include "export/output_file.h"

#include <utility>

#include "companion/errors.h"
#include "io/files.h"
#include "io/os.h"

namespace kv::exporter {

using companion::DataError;
using io::OsError;

namespace {

std::string reason(OsError e) {
  switch (e) {
    case OsError::NoSpace: return "the disk is full";
    case OsError::AccessDenied: return "permission denied";
    case OsError::NotFound: return "its folder does not exist";
    case OsError::IsDirectory: return "a folder has its name";
    case OsError::BadName: return "the name is not valid";
    case OsError::NoDevice: return "no such device";
    case OsError::Loop: return "its path holds a loop of symbolic links";
    case OsError::Exists: return "the name is taken";
    default: return "the system refused it";
  }
}

std::string kind_text(io::FileKind k) {
  switch (k) {
    case io::FileKind::Regular: return "a regular file";
    case io::FileKind::Directory: return "a folder";
    case io::FileKind::Link: return "a symbolic link";
    case io::FileKind::Fifo: return "a FIFO";
    case io::FileKind::Device: return "a device";
    case io::FileKind::Missing: return "nothing";
    default: return "not a regular file";
  }
}

// The folder part of a name, with its separator ("" for a bare name).
std::string folder_of(const std::string& name) {
  const auto cut = name.find_last_of("/\\");
  return cut == std::string::npos ? std::string() : name.substr(0, cut + 1);
}

std::string base_of(const std::string& name) {
  const auto cut = name.find_last_of("/\\");
  return cut == std::string::npos ? name : name.substr(cut + 1);
}

}  // namespace

std::string target_problem(const std::string& target) {
  const io::FileStatus st = io::os().status(target, false);
  if (st.error == OsError::Loop) return "its path holds a loop of symbolic links";
  switch (st.kind) {
    case io::FileKind::Missing:
    case io::FileKind::Regular:
      return {};
    case io::FileKind::Link: {
      const io::FileStatus to = io::os().status(target, true);
      const std::string leads = to.error == OsError::Loop ? "a loop of links"
                                : to.kind == io::FileKind::Missing ? "nothing" : kind_text(to.kind);
      return "it is a symbolic link (to " + leads +
             "), which the export does not replace by a file of its own: name the file it leads to, or another file";
    }
    case io::FileKind::Directory:
      return "it is a folder: name a file";
    default:
      return "it is " + kind_text(st.kind) +
             ", not a regular file: the export writes regular files only, each through a temporary file that is "
             "renamed into place; name a file";
  }
}

OutputFile::OutputFile(std::string target, std::string shown) : target_(std::move(target)), shown_(std::move(shown)) {
  if (const std::string p = target_problem(target_); !p.empty())
    throw DataError("cannot write " + shown_ + " (" + io::full_path_name(target_) + "): " + p);
  const std::string folder = folder_of(target_), base = base_of(target_);
  for (int n = 1;; ++n) {
    temporary_ = folder + "." + base + ".tmp" + std::to_string(n);
    io::OpenResult r;
    do r = io::os().open(temporary_, io::Access::CreateNew);
    while (r.error == OsError::Interrupted);
    if (r.error == OsError::None) {
      handle_ = r.handle;
      return;
    }
    if (r.error != OsError::Exists || n == 100) {
      temporary_.clear();
      fail("cannot write", reason(r.error));
    }
  }
}

OutputFile::~OutputFile() { discard(); }

void OutputFile::discard() {
  if (handle_ >= 0) io::os().close(handle_);
  handle_ = -1;
  if (!committed_ && !temporary_.empty()) io::os().remove_file(temporary_);
  temporary_.clear();
}

void OutputFile::fail(const std::string& doing, const std::string& why) {
  discard();
  const bool existed = io::os().status(target_, false).kind == io::FileKind::Regular;
  throw DataError(doing + " " + shown_ + " (" + io::full_path_name(target_) + "): " + why +
                  (existed ? "; the file there was left as it was" : "; nothing was written"));
}

void OutputFile::append(std::string_view bytes) {
  const char* at = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    io::stop_if_interrupted();
    const io::OsResult r = io::os().write(handle_, at, left);
    if (r.error == OsError::Interrupted) continue;
    if (r.error != OsError::None || r.bytes == 0)
      fail("cannot write", r.error == OsError::None ? reason(OsError::NoSpace) : reason(r.error));
    at += r.bytes;
    left -= r.bytes;
  }
}

void OutputFile::finish() {
  if (!io::os().sync(handle_)) fail("cannot write", "the system could not make it durable on the disk");
  io::os().close(handle_);
  handle_ = -1;
}

void OutputFile::commit() {
  io::stop_if_interrupted();
  const OsError e = io::os().rename(temporary_, target_);
  if (e != OsError::None) fail("cannot put in place", reason(e));
  committed_ = true;
  temporary_.clear();
}

}  // namespace kv::exporter
