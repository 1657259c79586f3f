// A working directory for end-to-end runs of the program with recording stand-ins for
// the outside programs: Notepad, notepad and Wgnuplot on PATH write their arguments to
// launches.log, and a recording interpreter (COMSPEC) writes each command text it is
// given to commands.log before it runs it with /bin/sh.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "test_support.h"

namespace kv::launch_test {

namespace fs = std::filesystem;

using namespace kv::test;  // the program's file names, lines(), TempDir, child processes

// The twelve values of a case parameter file, each followed by its description.
struct Case {
  std::string caso = "teste1";
  std::string titulo = "'Motor de teste'";
  int graf = 1;
  int abreB = 1;

  std::string text() const {
    return "celula.txt     original\r\n0.0   ti\r\n0.4   tf\r\n0.0   Fcor\r\n0.01   M\r\n10   w\r\n100   nmax\r\n"
           "0   toB\r\n" +
           std::to_string(graf) + "   graf\r\n" + std::to_string(abreB) + "   abreB\r\n" + caso + "   caso\r\n" +
           titulo + "   titulo\r\n";
  }
};

inline constexpr std::string_view kSamples = "-0.1 0\r\n0.0 0\r\n0.1 10\r\n0.2 20\r\n0.3 10\r\n0.4 0\r\n0.5 0\r\n";

inline std::string head_records(int n) {
  std::string s;
  for (int i = 1; i <= n; ++i) s += "# head record " + std::to_string(i) + "\r\n";
  return s;
}

struct Result {
  int status = -1;
  std::string err;
};

class Sandbox : public TempDir {
 public:
  Sandbox() : TempDir("kv_launch_") { fs::create_directory(dir() / "bin"); }

  std::vector<std::string> files_starting_with(std::string_view prefix) const {
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(dir()))
      if (e.path().filename().string().starts_with(prefix)) found.push_back(e.path().filename().string());
    return found;
  }

  void script(const fs::path& where, const std::string& body) const {
    std::ofstream(where, std::ios::binary | std::ios::trunc) << "#!/bin/sh\n" << body;
    fs::permissions(where, fs::perms::owner_all);
  }

  // The inputs of a run: the general data file naming the case file, the case file, a
  // load-cell record of five points, and a plot script head of `head` records (none:
  // no script at all).
  void setup(const Case& c, std::optional<int> head = 6, std::string_view case_file = "caso.txt") const {
    put(kGeneralData, std::string(case_file) + "   arquivo do caso\r\n");
    put(unquoted(case_file), c.text());
    put("celula.txt", kSamples);
    if (head) put(kPlotScript, head_records(*head));
  }

  // Recording stand-ins on PATH. Each writes "NAME[arg][arg]..." to launches.log; the
  // editor also notes whether its file was complete, and the plotting program keeps a
  // copy of the script and of the run log as they were at its launch.
  void record_programs(bool with_plotter = true) const {
    const std::string log = path("launches.log");
    for (const char* editor : {"Notepad", "notepad"})
      script(dir() / "bin" / editor, "printf '%s' \"$(basename \"$0\")\" >> '" + log + "'\nprintf '[%s]' \"$@\" >> '" +
                                        log + "'\necho >> '" + log + "'\n");
    if (with_plotter)
      script(dir() / "bin" / "Wgnuplot", "printf 'Wgnuplot' >> '" + log + "'\nprintf '[%s]' \"$@\" >> '" + log +
                                            "'\necho >> '" + log + "'\ncp \"$1\" script_at_plot.gnu\n"
                                            "for f in *_saida_H.txt; do cp \"$f\" log_at_plot.txt; done\n");
  }

  // A recording interpreter named by COMSPEC: the command text goes to commands.log.
  void record_commands() {
    script(dir() / "bin" / "interpreter", "printf '%s\\n' \"$2\" >> '" + path("commands.log") + "'\nexec /bin/sh -c \"$2\"\n");
    env_["COMSPEC"] = path("bin/interpreter");
  }

  void set_env(const std::string& name, const std::string& value) { env_[name] = value; }

  std::vector<std::string> launches() const { return lines(get("launches.log")); }
  std::vector<std::string> commands() const { return lines(get("commands.log")); }

  // Runs the program in the directory, with PATH = bin:/usr/bin:/bin, COMSPEC unset
  // unless set here, and standard input from /dev/null.
  Result run() const {
    std::map<std::string, std::string> env = {{"PATH", path("bin") + ":/usr/bin:/bin"}, {"LC_ALL", "C"}};
    for (const char* keep : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "TMPDIR"})
      if (const char* v = std::getenv(keep)) env[keep] = v;
    for (const auto& [k, v] : env_) env[k] = v;
    Child c;
    c.env.emplace();
    for (const auto& [k, v] : env) c.env->push_back(k + "=" + v);
    c.argv = {KV_PROGRAM};
    c.cwd = dir();
    c.in = "/dev/null";
    c.err = path(".stderr");
    const ChildEnd e = run_child_process(c);
    Result r;
    if (!e.started)
      r.status = 121;
    else
      r.status = WIFEXITED(e.wait_status) ? WEXITSTATUS(e.wait_status) : 1000;
    r.err = get(".stderr");
    fs::remove(dir() / ".stderr");
    return r;
  }

 private:
  static std::string unquoted(std::string_view name) {
    if (name.size() >= 2 && (name.front() == '\'' || name.front() == '"')) return std::string(name.substr(1, name.size() - 2));
    return std::string(name);
  }

  std::map<std::string, std::string> env_;
};

}  // namespace kv::launch_test
