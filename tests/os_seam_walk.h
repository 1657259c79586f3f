// One walk over the folder, file and rename operations of the OS seam, written as a
// transcript: a line per operation with what the system answered. The real system and
// the scripted one must give the same transcript (os_seam_test.cpp), and so must the
// Windows build under Wine (os_seam_check.cpp), so that what a test scripts is what the
// programs meet.
//
// Free of the test framework, so that the Windows check builds from it too.
#pragma once

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "io/os.h"

namespace kv::test {

inline const char* error_name(io::OsError e) {
  switch (e) {
    case io::OsError::None: return "ok";
    case io::OsError::Interrupted: return "interrupted";
    case io::OsError::NotFound: return "not found";
    case io::OsError::AccessDenied: return "access denied";
    case io::OsError::IsDirectory: return "is a directory";
    case io::OsError::NoDevice: return "no device";
    case io::OsError::BadName: return "bad name";
    case io::OsError::NoSpace: return "no space";
    case io::OsError::Exists: return "exists";
    case io::OsError::Loop: return "loop";
    case io::OsError::NotEmpty: return "not empty";
    case io::OsError::Other: return "other";
  }
  return "?";
}

inline const char* kind_name(io::FileKind k) {
  switch (k) {
    case io::FileKind::Missing: return "missing";
    case io::FileKind::Regular: return "regular";
    case io::FileKind::Directory: return "directory";
    case io::FileKind::Link: return "link";
    case io::FileKind::Fifo: return "fifo";
    case io::FileKind::Device: return "device";
    case io::FileKind::Other: return "other";
  }
  return "?";
}

// What every system must answer, in order: the walk, the rows about links where the
// system has them, and its last row.
inline constexpr const char* kSeamWalk =
    "mkdir d: ok\n"
    "mkdir d again: exists\n"
    "mkdir in a missing folder: not found\n"
    "create d/f: ok\n"
    "create d/f again: exists\n"
    "status d/f: regular 3\n"
    "status d: directory\n"
    "status of a missing name: missing (not found)\n"
    "create d/g: ok\n"
    "rename d/g over d/f: ok\n"
    "status d/f after: regular 5\n"
    "status d/g after: missing (not found)\n"
    "list d: ok f\n"
    "mkdir e: ok\n"
    "create e/h: ok\n"
    "rename d onto e, which holds a file: refused\n"
    "rename d to d2: ok\n"
    "list d2: ok f\n"
    "status d after: missing (not found)\n"
    "remove the folder e while it holds h: not empty\n"
    "remove_file on a folder: refused\n"
    "remove e/h: ok\n"
    "remove e: ok\n"
    "remove a missing file: not found\n";
inline constexpr const char* kSeamWalkLinks =
    "status l: link\n"
    "status l followed: directory\n"
    "status l/f: regular 5\n"
    "l/f is d2/f: yes\n"
    "create l (a link's name): exists\n"
    "create dangling (a link to nothing): exists\n"
    "status dangling followed: missing (not found)\n"
    "status loop followed: missing (loop)\n"
    "open loop: loop\n"
    "remove l: ok\n"
    "status d2 after removing l: directory\n"
    "remove loop: ok\n"
    "remove dangling: ok\n";
inline constexpr const char* kSeamWalkEnd = "list top: ok d2\n";

// The walk, in folder `top` (which exists and is empty), with `sep` between names.
// `make_link(name, target)` makes a symbolic link, where the system has them (null: the
// rows about links are left out).
inline std::string seam_walk(io::Os& os, const std::string& top, const std::string& sep,
                             const std::function<void(const std::string&, const std::string&)>& make_link) {
  std::string out;
  // Texts are built by appending: GCC 12 takes some concatenations for overlapping copies.
  const auto at = [&](const std::string& name) { return std::string(top).append(sep).append(name); };
  const auto line = [&](const std::string& what, const std::string& answer) {
    out.append(what).append(": ").append(answer).append("\n");
  };
  const auto status = [&](const std::string& name, bool follow) {
    const io::FileStatus st = os.status(at(name), follow);
    std::string s = kind_name(st.kind);
    if (st.kind == io::FileKind::Regular) s.append(" ").append(std::to_string(st.size));
    if (st.error != io::OsError::None) s.append(" (").append(error_name(st.error)).append(")");
    return s;
  };
  const auto create = [&](const std::string& name, const std::string& bytes) {
    const io::OpenResult r = os.open(at(name), io::Access::CreateNew);
    if (r.error != io::OsError::None) return std::string(error_name(r.error));
    std::size_t done = 0;
    const bool wrote = io::write_fully(os, r.handle, bytes.data(), bytes.size(), done);
    const bool synced = os.sync(r.handle);
    os.close(r.handle);
    return std::string(wrote && synced ? "ok" : "write failed");
  };
  const auto listing = [&](const std::string& name) {
    io::OsError e = io::OsError::None;
    std::vector<std::string> names = os.list_directory(at(name), e);
    std::sort(names.begin(), names.end());
    std::string s = error_name(e);
    for (const auto& n : names) s.append(" ").append(n);
    return s;
  };

  line("mkdir d", error_name(os.make_directory(at("d"))));
  line("mkdir d again", error_name(os.make_directory(at("d"))));
  line("mkdir in a missing folder", error_name(os.make_directory(at("no" + sep + "x"))));
  line("create d/f", create("d" + sep + "f", "abc"));
  line("create d/f again", create("d" + sep + "f", "xyz"));
  line("status d/f", status("d" + sep + "f", true));
  line("status d", status("d", true));
  line("status of a missing name", status("none", true));
  line("create d/g", create("d" + sep + "g", "12345"));
  line("rename d/g over d/f", error_name(os.rename(at("d" + sep + "g"), at("d" + sep + "f"))));
  line("status d/f after", status("d" + sep + "f", true));
  line("status d/g after", status("d" + sep + "g", true));
  line("list d", listing("d"));
  line("mkdir e", error_name(os.make_directory(at("e"))));
  line("create e/h", create("e" + sep + "h", ""));
  line("rename d onto e, which holds a file", error_name(os.rename(at("d"), at("e"))) == std::string("ok")
                                                  ? "ok"
                                                  : "refused");
  line("rename d to d2", error_name(os.rename(at("d"), at("d2"))));
  line("list d2", listing("d2"));
  line("status d after", status("d", true));
  line("remove the folder e while it holds h", error_name(os.remove_directory(at("e"))));
  line("remove_file on a folder", os.remove_file(at("e")) == io::OsError::None ? "ok" : "refused");
  line("remove e/h", error_name(os.remove_file(at("e" + sep + "h"))));
  line("remove e", error_name(os.remove_directory(at("e"))));
  line("remove a missing file", error_name(os.remove_file(at("none"))));
  if (make_link) {
    make_link(at("l"), "d2");
    line("status l", status("l", false));
    line("status l followed", status("l", true));
    line("status l/f", status("l" + sep + "f", true));
    const io::FileStatus via = os.status(at("l" + sep + "f"), true), direct = os.status(at("d2" + sep + "f"), true);
    line("l/f is d2/f", via.device == direct.device && via.id == direct.id ? "yes" : "no");
    line("create l (a link's name)", create("l", "x"));
    make_link(at("dangling"), "nowhere");
    line("create dangling (a link to nothing)", create("dangling", "x"));
    line("status dangling followed", status("dangling", true));
    make_link(at("loop"), "loop");
    line("status loop followed", status("loop", true));
    line("open loop", error_name(os.open(at("loop"), io::Access::Read).error));
    line("remove l", error_name(os.remove_file(at("l"))));
    line("status d2 after removing l", status("d2", true));
    line("remove loop", error_name(os.remove_file(at("loop"))));
    line("remove dangling", error_name(os.remove_file(at("dangling"))));
  }
  line("list top", listing(""));
  return out;
}

}  // namespace kv::test
