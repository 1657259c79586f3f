// Whole runs of the program, over one description of a case:
// - ScriptedRun runs it in this process over the scripted operating system
//   (scripted_os.h): every file, fault and launch under the test's control;
// - RunDir runs the real executable as a child process in a fresh directory, with the
//   real shell and file system, and stand-ins for the programs it launches.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "io/cp1252.h"
#include "io/diagnostics.h"
#include "program/run_sequence.h"
#include "scripted_os.h"
#include "case_folder.h"
#include "test_support.h"

namespace kv::test {

namespace fs = std::filesystem;

// The exit status that a POSIX parent sees for a run ended by a severe message: the low
// byte of C0000000 (hex) + number.
inline int severe_status(int number) { return static_cast<int>(io::severe_exit_status(number) & 0xFFu); }

// A text of the program's files, from the UTF-8 of the test's source.
template <io::FixedString S>
std::string w() {
  return std::string(io::kCp1252<S>.view());
}

inline std::string join_records(const std::vector<std::string>& recs) {
  std::string s;
  for (const auto& r : recs) s.append(r).append("\r\n");
  return s;
}

// The last record of a file's bytes, or a marker when the file does not end with one.
inline std::string last_record(const std::string& bytes) {
  if (bytes.size() < 2 || bytes.compare(bytes.size() - 2, 2, "\r\n") != 0) return "<no record end>";
  const auto start = bytes.rfind("\r\n", bytes.size() - 3);
  const std::size_t from = start == std::string::npos ? 0 : start + 2;
  return bytes.substr(from, bytes.size() - 2 - from);
}

// The run log's lines that tell where a run stopped.
inline const std::string kLogHeader = "  ponto    t (s)      F (N)";
inline const std::string kLogAllocating = w<" Vai alocar memória para os vetores">();
inline const std::string kLogImpulse = w<" vai começar o cálculo de Ii e It">();
inline const std::string kLogWritingA = w<" vai começar a escrita da saída A">();
inline const std::string kLogWritingB = w<" vai começar a escrita da saída B">();
inline const std::string kLogPlot = w<" vai começar a gerar o gráfico de F-t.gnu">();
inline const std::string kLogLast = w<" vai começar a abrir os arquivos de saída">();
inline const std::string kLogReadDone = w<" Terminou a leitura de t e F do arquivo original da célula de carga">();

inline constexpr std::string_view kWorkedExampleSamples =
    "-0.1 0\r\n0.0 0\r\n0.1 10\r\n0.2 20\r\n0.3 10\r\n0.4 0\r\n0.5 0\r\n0.6 5\r\n";

inline std::string golden(std::string_view name) {
  std::ifstream f(std::string(KV_SOURCE_DIR) + "/tests/golden/" + std::string(name), std::ios::binary);
  EXPECT_TRUE(f.good()) << "missing golden file " << name;
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// ---------------------------------------------------------------------------------------
// In this process, over the scripted operating system.

struct ScriptedOutcome {
  std::uint32_t status = 0;  // the whole exit status: 0, or C0000000 (hex) + the message number
  std::string err;
};

class ScriptedRun {
 public:
  ScriptedOs os;

  void setup(const CaseFile& c, std::string_view samples = kWorkedExampleSamples,
             std::optional<std::string_view> plot_script = std::nullopt, std::string_view case_file = "caso1.txt") {
    put_case([this](std::string_view n, std::string_view b) { os.put(n, b); }, c, samples, plot_script, case_file);
  }

  ScriptedOutcome run() {
    os.err.clear();
    os.launches.clear();
    ScriptedOutcome o;
    o.status = kv::run_program();
    o.err = os.err;
    return o;
  }

  void put(std::string_view name, std::string_view bytes) { os.put(name, bytes); }
  std::string get(std::string_view name) const { return os.get(name); }
  bool has(std::string_view name) const { return os.has(name); }
  std::vector<std::string> recs(std::string_view name) const { return records(os.get(name)); }
  std::vector<std::string> commands() const { return os.commands(); }

  std::string severe_line(int number, std::string_view text, int unit, std::string_view name) const {
    return test::severe_line(number, text, unit, os.path(name));
  }
  std::string error_line(int number, std::string_view text, int unit, std::string_view name) const {
    return test::error_line(number, text, unit, os.path(name));
  }
};

// ---------------------------------------------------------------------------------------
// The real program, as a child process in a fresh directory.

class RunDir : public TempDir {
 public:
  RunDir() : TempDir("kv_run_") { fs::create_directory(dir() / "bin"); }
  explicit RunDir(const fs::path& parent) : TempDir("kv_run_", parent) { fs::create_directory(dir() / "bin"); }

  void setup(const CaseFile& c, std::string_view samples = kWorkedExampleSamples,
             std::optional<std::string_view> plot_script = std::nullopt, std::string_view case_file = "caso1.txt") const {
    put_case([this](std::string_view n, std::string_view b) { put(n, b); }, c, samples, plot_script, case_file);
  }

  // The whole file; a missing one fails the test.
  std::string get(std::string_view name) const {
    std::ifstream f(dir() / name, std::ios::binary);
    EXPECT_TRUE(f.good()) << "missing file " << name;
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
  }
  std::vector<std::string> recs(std::string_view name) const { return records(get(name)); }
  bool has(std::string_view name) const { return fs::exists(fs::symlink_status(dir() / name)); }
  std::vector<std::string> files_starting_with(std::string_view prefix) const {
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(dir()))
      if (e.path().filename().string().starts_with(prefix)) found.push_back(e.path().filename().string());
    return found;
  }

  // A shell script at `where`.
  void script(const fs::path& where, const std::string& body) const {
    std::ofstream(where, std::ios::binary | std::ios::trunc) << "#!/bin/sh\n" << body;
    fs::permissions(where, fs::perms::owner_all);
  }

  // Launches. By default the interpreter is /bin/true, which starts nothing.
  // - record_commands(): a recording interpreter (COMSPEC) writes each command text to
  //   commands.log, then runs it with /bin/sh when there are stand-ins to run;
  // - record_programs(): stand-ins for Notepad, notepad and Wgnuplot on PATH write
  //   "NAME[arg][arg]..." to launches.log (and COMSPEC is unset, so that /bin/sh runs
  //   them unless record_commands() names an interpreter); the plotting program also keeps
  //   a copy of the script and of the run log as they were at its launch.
  void record_commands() {
    script(dir() / "bin" / "interpreter",
           "printf '%s\\n' \"$2\" >> '" + path("commands.log") + "'\n[ -x '" + path("bin/Notepad") +
               "' ] || exit 0\nexec /bin/sh -c \"$2\"\n");
    env_["COMSPEC"] = path("bin/interpreter");
  }
  void record_programs(bool with_plotter = true) {
    const std::string log = path("launches.log");
    for (const char* editor : {"Notepad", "notepad"})
      script(dir() / "bin" / editor, "printf '%s' \"$(basename \"$0\")\" >> '" + log + "'\nprintf '[%s]' \"$@\" >> '" +
                                         log + "'\necho >> '" + log + "'\n");
    if (with_plotter)
      script(dir() / "bin" / "Wgnuplot", "printf 'Wgnuplot' >> '" + log + "'\nprintf '[%s]' \"$@\" >> '" + log +
                                             "'\necho >> '" + log + "'\ncp \"$1\" script_at_plot.gnu\n"
                                             "for f in *_saida_H.txt; do cp \"$f\" log_at_plot.txt; done\n");
    if (env_["COMSPEC"] == std::optional<std::string>("/bin/true")) env_["COMSPEC"] = std::nullopt;
  }
  void set_env(const std::string& name, const std::string& value) { env_[name] = value; }

  std::vector<std::string> commands() const { return lines(get("commands.log")); }
  std::vector<std::string> launches() const { return lines(get("launches.log")); }

  // Runs the program here, with bin/ first on PATH; `prefix` is shell text put before it
  // (ulimit, trap).
  Outcome run(const std::string& prefix = "") const {
    std::map<std::string, std::optional<std::string>> env = env_;
    env["PATH"] = path("bin") + ":/usr/bin:/bin";
    env["LC_ALL"] = "C";
    return run_program(KV_PROGRAM, dir(), 120000, prefix, env);
  }

  std::string severe_line(int number, std::string_view text, int unit, std::string_view name) const {
    return test::severe_line(number, text, unit, path(name));
  }
  std::string error_line(int number, std::string_view text, int unit, std::string_view name) const {
    return test::error_line(number, text, unit, path(name));
  }

 private:
  std::map<std::string, std::optional<std::string>> env_ = {{"COMSPEC", "/bin/true"}};
};

}  // namespace kv::test
