// An operating system in memory, for tests: files are byte strings under absolute names,
// directories a set of names, and every operation can be scripted to be interrupted, to
// do less than asked, or to be refused. What the program writes to the standard error
// stream and the commands it launches are recorded.
//
// Constructing one puts it in place of the real system (io::use_os); it puts the one
// before back when it goes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "io/files.h"
#include "io/os.h"

namespace kv::test {

class ScriptedOs final : public io::Os {
 public:
  using OsError = io::OsError;

  explicit ScriptedOs(std::string cwd = "/run") : cwd_(std::move(cwd)) {
    dirs_.insert("/");
    dirs_.insert(cwd_);
    previous_ = io::use_os(this);
  }
  ~ScriptedOs() override {
    io::close_all_as_they_stand();  // no unit keeps a handle of this system
    io::note_interrupt(0);          // nor does an interruption outlive it
    io::use_os(previous_);
  }
  ScriptedOs(const ScriptedOs&) = delete;
  ScriptedOs& operator=(const ScriptedOs&) = delete;

  // --- the file system ---------------------------------------------------------------
  const std::string& cwd() const { return cwd_; }
  // The absolute, normalised name of a file, as the diagnostics show it.
  std::string path(std::string_view name) const { return normal(name); }
  void put(std::string_view name, std::string_view bytes) { files_[key(name)] = std::string(bytes); }
  std::string get(std::string_view name) const {
    const auto it = files_.find(key(name));
    return it == files_.end() ? std::string() : it->second;
  }
  bool has(std::string_view name) const { return files_.count(key(name)) != 0 || dirs_.count(key(name)) != 0; }
  void remove(std::string_view name) { files_.erase(key(name)); }
  void mkdir(std::string_view name) {
    files_.erase(key(name));
    dirs_.insert(key(name));
  }
  bool is_dir(std::string_view name) const { return dirs_.count(key(name)) != 0; }
  // A symbolic link at `name` that leads to `target` (relative to the link's folder, or
  // absolute).
  void symlink(std::string_view name, std::string_view target) { links_[key(name)] = std::string(target); }
  bool is_link(std::string_view name) const { return links_.count(key(name)) != 0; }
  // The names in a folder, sorted (files, folders and links).
  std::vector<std::string> listing(std::string_view folder) const {
    OsError e = OsError::None;
    std::vector<std::string> names = const_cast<ScriptedOs*>(this)->list_directory(std::string(folder), e);
    std::sort(names.begin(), names.end());
    return names;
  }
  // The time of the last change of a file's content, as status() gives it; every write,
  // creation and rename moves the system's clock on by a millisecond.
  void set_modified(std::string_view name, std::int64_t ns) { modified_[key(name)] = ns; }

  // --- the script ----------------------------------------------------------------------
  // Every open, read and write is first refused as interrupted, then done when asked again.
  bool interrupt_every_call = false;
  // The most bytes one read or one write moves (0: no limit).
  std::size_t max_read = 0;
  std::size_t max_write = 0;
  // The file refuses to be opened for writing (its reading still works), or to be opened at all.
  void deny_write(std::string_view name) { deny_write_.insert(key(name)); }
  void deny_open(std::string_view name, OsError why = OsError::AccessDenied) { deny_open_[key(name)] = why; }
  // The file's disk fills up when the file reaches `bytes` bytes: a write moves what
  // fits and the next one is refused with NoSpace.
  void quota(std::string_view name, std::size_t bytes) { quota_[key(name)] = bytes; }
  // Reads of the file are refused after `bytes` bytes have been read.
  void fail_reads_after(std::string_view name, std::size_t bytes) { fail_read_[key(name)] = bytes; }
  // The whole disk fills up after `bytes` more bytes have been written to any file.
  void disk_space(std::size_t bytes) { space_ = bytes; }
  // A rename from or to the name is refused; a folder cannot be made under the name; the
  // name is taken by another program just before the program makes a folder there.
  void refuse_rename(std::string_view name, OsError why = OsError::AccessDenied) { refuse_rename_[key(name)] = why; }
  void refuse_mkdir(std::string_view name, OsError why = OsError::AccessDenied) { refuse_mkdir_[key(name)] = why; }
  void appears_at_mkdir(std::string_view name) { appears_.insert(key(name)); }
  // Every sync() fails.
  bool refuse_sync = false;
  // The file is not a regular file (a FIFO or a device) but opens as one.
  void not_regular(std::string_view name) { not_regular_.insert(key(name)); }
  // The user interrupts (signal) as the file is opened, or once `bytes` bytes of it have
  // been read.
  void interrupt_at_open(std::string_view name, int signal) { interrupt_open_[key(name)] = signal; }
  void interrupt_after_read(std::string_view name, std::size_t bytes, int signal) {
    interrupt_read_[key(name)] = {bytes, signal};
  }
  // The user interrupts while the command launched `count`-th (from 1) runs.
  void interrupt_at_launch(std::size_t count, int signal) { interrupt_launch_ = {count, signal}; }

  // --- what the program did --------------------------------------------------------------
  std::string err;                                              // the standard error stream
  std::vector<std::pair<std::string, std::string>> launches;   // interpreter, command
  std::vector<std::optional<std::string>> child_paths;          // the PATH of each launch
  std::string executable;                                       // the program's own file
  std::map<std::string, std::string> env;                       // the environment it sees
  std::int32_t exit_code = 0;                                   // what every launch returns
  bool interrupts_caught = false;                               // catch_interrupts() was called
  int ended_by = 0;                                             // the signal end_by_interrupt() was given
  std::optional<io::LaunchFailure> launch_failure;              // launches that cannot start

  // --- io::Os ----------------------------------------------------------------------------
  io::OpenResult open(const std::string& name, io::Access access) override {
    if (interrupted()) return {-1, OsError::Interrupted};
    if (access == io::Access::CreateNew) {
      const std::optional<std::string> at = resolve(key(name), false);
      if (!at) return {-1, OsError::Loop};
      if (files_.count(*at) || dirs_.count(*at) || links_.count(*at)) return {-1, OsError::Exists};
    }
    const std::optional<std::string> resolved = resolve(key(name), true);
    if (!resolved) return {-1, OsError::Loop};
    const std::string k = *resolved;
    if (const auto it = deny_open_.find(k); it != deny_open_.end()) return {-1, it->second};
    if (dirs_.count(k)) return {-1, OsError::IsDirectory};
    if (!dirs_.count(parent(k))) return {-1, OsError::NotFound};
    if (const auto it = interrupt_open_.find(k); it != interrupt_open_.end()) io::note_interrupt(it->second);
    const bool writable = access != io::Access::Read;
    if (writable && deny_write_.count(k)) return {-1, OsError::AccessDenied};
    if (!files_.count(k)) {
      if (!writable) return {-1, OsError::NotFound};
      files_[k] = "";
      touch(k);
    }
    const int h = next_handle_++;
    handles_[h] = Handle{k, 0, writable, 0};
    return {h, OsError::None};
  }

  io::OsResult read(int handle, char* dst, std::size_t n) override {
    if (interrupted()) return {0, OsError::Interrupted};
    Handle& h = handles_.at(handle);
    const std::string& bytes = files_[h.file];
    if (const auto it = fail_read_.find(h.file); it != fail_read_.end() && h.read_so_far >= it->second)
      return {0, OsError::Other};
    std::size_t m = std::min(n, bytes.size() - std::min(h.pos, bytes.size()));
    if (max_read) m = std::min(m, max_read);
    if (const auto it = fail_read_.find(h.file); it != fail_read_.end())
      m = std::min(m, it->second - h.read_so_far);
    std::copy_n(bytes.data() + h.pos, m, dst);
    h.pos += m;
    h.read_so_far += m;
    if (const auto it = interrupt_read_.find(h.file); it != interrupt_read_.end() && h.read_so_far >= it->second.first)
      io::note_interrupt(it->second.second);
    return {m, OsError::None};
  }

  io::OsResult write(int handle, const char* src, std::size_t n) override {
    if (interrupted()) return {0, OsError::Interrupted};
    if (handle == io::kStandardError) {
      err.append(src, n);
      return {n, OsError::None};
    }
    Handle& h = handles_.at(handle);
    if (!h.writable) return {0, OsError::AccessDenied};
    std::string& bytes = files_[h.file];
    std::size_t m = n;
    if (max_write) m = std::min(m, max_write);
    if (const auto it = quota_.find(h.file); it != quota_.end()) {
      const std::size_t room = it->second > h.pos ? it->second - h.pos : 0;
      if (room == 0 && n > 0) return {0, OsError::NoSpace};
      m = std::min(m, room);
    }
    if (space_) {
      if (*space_ == 0 && n > 0) return {0, OsError::NoSpace};
      m = std::min(m, *space_);
      *space_ -= m;
    }
    if (bytes.size() < h.pos + m) bytes.resize(h.pos + m);
    std::copy_n(src, m, bytes.data() + h.pos);
    h.pos += m;
    touch(h.file);
    return {m, OsError::None};
  }

  bool truncate(int handle, std::int64_t size) override {
    Handle& h = handles_.at(handle);
    if (!h.writable) return false;
    files_[h.file].resize(static_cast<std::size_t>(size));
    h.pos = static_cast<std::size_t>(size);
    return true;
  }
  std::int64_t position(int handle) override { return static_cast<std::int64_t>(handles_.at(handle).pos); }
  bool seek(int handle, std::int64_t offset) override {
    Handle& h = handles_.at(handle);
    if (not_regular_.count(h.file) || offset < 0) return false;
    h.pos = static_cast<std::size_t>(offset);
    return true;
  }
  bool is_regular(int handle) override { return not_regular_.count(handles_.at(handle).file) == 0; }
  void close(int handle) override { handles_.erase(handle); }
  std::string full_path(std::string_view name) override { return normal(name); }
  bool is_directory(const std::string& name) override {
    const std::optional<std::string> k = resolve(key(name), true);
    return k && dirs_.count(*k) != 0;
  }

  io::FileStatus status(const std::string& name, bool follow) override {
    io::FileStatus st;
    const std::optional<std::string> k = resolve(key(name), follow);
    if (!k) {
      st.error = OsError::Loop;
      return st;
    }
    if (!follow && links_.count(*k)) {
      st.kind = io::FileKind::Link;
    } else if (files_.count(*k)) {
      st.kind = not_regular_.count(*k) ? io::FileKind::Fifo : io::FileKind::Regular;
      st.size = static_cast<std::int64_t>(files_.at(*k).size());
    } else if (dirs_.count(*k)) {
      st.kind = io::FileKind::Directory;
    } else {
      st.error = OsError::NotFound;
      return st;
    }
    st.modified_ns = modified_.count(*k) ? modified_.at(*k) : 0;
    st.device = 1;
    st.id = std::hash<std::string>{}(*k);
    return st;
  }
  OsError make_directory(const std::string& name) override {
    const std::optional<std::string> at = resolve(key(name), false);
    if (!at) return OsError::Loop;
    const std::string k = *at;
    if (const auto it = refuse_mkdir_.find(k); it != refuse_mkdir_.end()) return it->second;
    if (appears_.erase(k)) dirs_.insert(k);
    if (files_.count(k) || dirs_.count(k) || links_.count(k)) return OsError::Exists;
    if (!dirs_.count(parent(k))) return OsError::NotFound;
    dirs_.insert(k);
    return OsError::None;
  }
  OsError rename(const std::string& from, const std::string& to) override {
    const std::optional<std::string> a = resolve(key(from), false), b = resolve(key(to), false);
    if (!a || !b) return OsError::Loop;
    for (const std::string* k : {&*a, &*b})
      if (const auto it = refuse_rename_.find(*k); it != refuse_rename_.end()) return it->second;
    if (!dirs_.count(parent(*b))) return OsError::NotFound;
    if (*a == *b) return OsError::None;
    if (links_.count(*a)) {
      if (dirs_.count(*b)) return OsError::IsDirectory;
      files_.erase(*b);
      links_[*b] = links_.at(*a);
      links_.erase(*a);
      return OsError::None;
    }
    if (files_.count(*a)) {
      if (dirs_.count(*b)) return OsError::IsDirectory;
      links_.erase(*b);
      files_[*b] = std::move(files_.at(*a));
      files_.erase(*a);
      move_marks(*a, *b);
      touch(*b);
      return OsError::None;
    }
    if (!dirs_.count(*a)) return OsError::NotFound;
    if (files_.count(*b) || links_.count(*b)) return OsError::NotFound;  // ENOTDIR
    if (dirs_.count(*b) && !children(*b).empty()) return OsError::NotEmpty;
    if (b->rfind(*a + "/", 0) == 0) return OsError::BadName;  // into itself
    move_tree(*a, *b);
    return OsError::None;
  }
  OsError remove_file(const std::string& name) override {
    const std::optional<std::string> at = resolve(key(name), false);
    if (!at) return OsError::Loop;
    if (links_.erase(*at)) return OsError::None;
    if (dirs_.count(*at)) return OsError::IsDirectory;
    if (!files_.erase(*at)) return OsError::NotFound;
    return OsError::None;
  }
  OsError remove_directory(const std::string& name) override {
    const std::optional<std::string> at = resolve(key(name), false);
    if (!at) return OsError::Loop;
    if (!dirs_.count(*at)) return OsError::NotFound;
    if (!children(*at).empty()) return OsError::NotEmpty;
    dirs_.erase(*at);
    return OsError::None;
  }
  std::vector<std::string> list_directory(const std::string& name, OsError& error) override {
    const std::optional<std::string> at = resolve(key(name), true);
    if (!at || !dirs_.count(*at)) {
      error = at ? OsError::NotFound : OsError::Loop;
      return {};
    }
    error = OsError::None;
    return children(*at);
  }
  bool sync(int) override { return !refuse_sync; }
  std::string executable_path() override { return executable; }

  std::optional<std::string> environment(const char* name) override {
    const auto it = env.find(name);
    if (it == env.end()) return std::nullopt;
    return it->second;
  }
  io::LaunchResult launch(const std::string& interpreter, const std::string& command,
                          const std::optional<std::string>& child_path) override {
    launches.emplace_back(interpreter, command);
    child_paths.push_back(child_path);
    if (launches.size() == interrupt_launch_.first) io::note_interrupt(interrupt_launch_.second);
    if (launch_failure) return {*launch_failure, -1};
    return {io::LaunchFailure::None, exit_code};
  }
  void catch_interrupts() override { interrupts_caught = true; }
  std::uint32_t end_by_interrupt(int signal) override {
    ended_by = signal;
    return 128u + static_cast<std::uint32_t>(signal);
  }

  // The commands launched, without their interpreter.
  std::vector<std::string> commands() const {
    std::vector<std::string> out;
    for (const auto& l : launches) out.push_back(l.second);
    return out;
  }

 private:
  struct Handle {
    std::string file;
    std::size_t pos;
    bool writable;
    std::size_t read_so_far;
  };

  std::string key(std::string_view name) const {
    std::string k = normal(name);
    if (k.size() > 1 && k.back() == '/') k.pop_back();  // "folder/" is the folder
    return k;
  }
  // The name made absolute and lexically normal, as the real system shows a full path.
  std::string normal(std::string_view name) const {
    std::string abs = !name.empty() && name.front() == '/' ? std::string(name) : cwd_ + "/" + std::string(name);
    return std::filesystem::path(abs).lexically_normal().string();
  }
  static std::string parent(const std::string& k) {
    const auto slash = k.find_last_of('/');
    return slash == 0 ? "/" : k.substr(0, slash);
  }
  static std::string joined(const std::string& folder, std::string_view name) {
    return folder == "/" ? "/" + std::string(name) : folder + "/" + std::string(name);
  }
  // The name with every symbolic link on its way replaced by where it leads (the last
  // part's own link only when `follow_last`); nothing for links that lead in a circle.
  std::optional<std::string> resolve(std::string k, bool follow_last) const {
    for (int hops = 0; hops <= 40; ++hops) {
      std::string at = "/";
      bool moved = false;
      std::size_t i = 1;
      while (i <= k.size()) {
        std::size_t j = k.find('/', i);
        if (j == std::string::npos) j = k.size();
        if (j > i) {
          const std::string next = joined(at, std::string_view(k).substr(i, j - i));
          const bool last = j >= k.size();
          if (const auto it = links_.find(next); it != links_.end() && (!last || follow_last)) {
            const std::string& target = it->second;
            std::string dest = !target.empty() && target.front() == '/' ? target : at + "/" + target;
            if (!last) dest += k.substr(j);
            k = std::filesystem::path(dest).lexically_normal().string();
            if (k.size() > 1 && k.back() == '/') k.pop_back();
            moved = true;
            break;
          }
          at = next;
        }
        i = j + 1;
      }
      if (!moved) return k;
    }
    return std::nullopt;
  }
  std::vector<std::string> children(const std::string& folder) const {
    std::vector<std::string> out;
    auto add = [&](const std::string& k) {
      if (k != folder && parent(k) == folder) out.push_back(k.substr(k.find_last_of('/') + 1));
    };
    for (const auto& [k, v] : files_) add(k);
    for (const std::string& k : dirs_) add(k);
    for (const auto& [k, v] : links_) add(k);
    return out;
  }
  void touch(const std::string& k) {
    clock_ns_ += 1000000;
    modified_[k] = clock_ns_;
  }
  // What the script says of a file goes with it when it is renamed.
  void move_marks(const std::string& from, const std::string& to) {
    if (not_regular_.erase(from)) not_regular_.insert(to);
    if (auto it = modified_.find(from); it != modified_.end()) {
      modified_[to] = it->second;
      modified_.erase(it);
    }
  }
  void move_tree(const std::string& from, const std::string& to) {
    const auto under = [&](const std::string& k) { return k == from || k.rfind(from + "/", 0) == 0; };
    const auto moved = [&](const std::string& k) { return to + k.substr(from.size()); };
    std::map<std::string, std::string> files;
    for (auto it = files_.begin(); it != files_.end();) {
      if (under(it->first)) {
        files[moved(it->first)] = std::move(it->second);
        move_marks(it->first, moved(it->first));
        it = files_.erase(it);
      } else {
        ++it;
      }
    }
    files_.merge(files);
    std::set<std::string> dirs;
    for (auto it = dirs_.begin(); it != dirs_.end();) {
      if (under(*it)) {
        dirs.insert(moved(*it));
        it = dirs_.erase(it);
      } else {
        ++it;
      }
    }
    dirs_.merge(dirs);
    std::map<std::string, std::string> links;
    for (auto it = links_.begin(); it != links_.end();) {
      if (under(it->first)) {
        links[moved(it->first)] = it->second;
        it = links_.erase(it);
      } else {
        ++it;
      }
    }
    links_.merge(links);
  }
  bool interrupted() {
    if (!interrupt_every_call) return false;
    interrupt_pending_ = !interrupt_pending_;
    return interrupt_pending_;
  }

  std::string cwd_;
  std::map<std::string, std::string> files_;
  std::set<std::string> dirs_;
  std::map<int, Handle> handles_;
  int next_handle_ = 10;
  std::set<std::string> deny_write_;
  std::map<std::string, OsError> deny_open_;
  std::map<std::string, std::size_t> quota_;
  std::map<std::string, std::size_t> fail_read_;
  std::set<std::string> not_regular_;
  std::map<std::string, std::string> links_;
  std::map<std::string, std::int64_t> modified_;
  std::int64_t clock_ns_ = 1'700'000'000'000'000'000;
  std::optional<std::size_t> space_;
  std::map<std::string, OsError> refuse_rename_, refuse_mkdir_;
  std::set<std::string> appears_;
  std::map<std::string, int> interrupt_open_;
  std::map<std::string, std::pair<std::size_t, int>> interrupt_read_;
  std::pair<std::size_t, int> interrupt_launch_{0, 0};
  bool interrupt_pending_ = false;
  io::Os* previous_ = nullptr;
};

// The real operating system, but for the standard error stream, which is kept in `err`.
class StderrCapture final : public io::Os {
 public:
  StderrCapture() : real_(io::use_os(this)) {}
  ~StderrCapture() override { io::use_os(real_); }
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;

  std::string err;

  io::OpenResult open(const std::string& name, io::Access access) override { return real_->open(name, access); }
  io::OsResult read(int handle, char* dst, std::size_t n) override { return real_->read(handle, dst, n); }
  io::OsResult write(int handle, const char* src, std::size_t n) override {
    if (handle != io::kStandardError) return real_->write(handle, src, n);
    err.append(src, n);
    return {n, io::OsError::None};
  }
  bool truncate(int handle, std::int64_t size) override { return real_->truncate(handle, size); }
  std::int64_t position(int handle) override { return real_->position(handle); }
  bool seek(int handle, std::int64_t offset) override { return real_->seek(handle, offset); }
  bool is_regular(int handle) override { return real_->is_regular(handle); }
  void close(int handle) override { real_->close(handle); }
  std::string full_path(std::string_view name) override { return real_->full_path(name); }
  bool is_directory(const std::string& name) override { return real_->is_directory(name); }
  std::string executable_path() override { return real_->executable_path(); }
  std::optional<std::string> environment(const char* name) override { return real_->environment(name); }
  io::LaunchResult launch(const std::string& interpreter, const std::string& command,
                          const std::optional<std::string>& child_path) override {
    return real_->launch(interpreter, command, child_path);
  }
  using OsError = io::OsError;
  io::FileStatus status(const std::string& name, bool follow) override { return real_->status(name, follow); }
  OsError make_directory(const std::string& name) override { return real_->make_directory(name); }
  OsError rename(const std::string& from, const std::string& to) override { return real_->rename(from, to); }
  OsError remove_file(const std::string& name) override { return real_->remove_file(name); }
  OsError remove_directory(const std::string& name) override { return real_->remove_directory(name); }
  std::vector<std::string> list_directory(const std::string& name, OsError& error) override {
    return real_->list_directory(name, error);
  }
  bool sync(int handle) override { return real_->sync(handle); }
  // The test process keeps its own handling of signals.
  void catch_interrupts() override {}
  std::uint32_t end_by_interrupt(int signal) override { return 128u + static_cast<std::uint32_t>(signal); }

 private:
  io::Os* real_;
};

// How a piece of record I/O ended: 0, or the low byte of the severe status; and what it
// wrote to the standard error stream.
struct IoOutcome {
  int status = 0;
  std::string err;
};

// Runs `body` in this process as the program's entry would: a failure that it throws is
// reported (io::end_run: every record reaches its file, the diagnostic line is written,
// every unit is closed), and at the end every record written reaches its file and every
// unit is closed. `err` is where the system in use keeps the standard error stream.
template <class Body>
IoOutcome run_io(std::string& err, Body body) {
  IoOutcome r;
  try {
    body();
    io::flush_all();
  } catch (const io::Failure& f) {
    r.status = static_cast<int>(io::end_run(f) & 0xFFu);
  }
  io::close_all_as_they_stand();
  r.err = err;
  err.clear();
  return r;
}

// The same over the real files.
template <class Body>
IoOutcome run_io(Body body) {
  StderrCapture capture;
  return run_io(capture.err, body);
}

}  // namespace kv::test
