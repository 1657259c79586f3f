// Runs the real program in a fresh working directory that holds its input files, with
// a command interpreter that starts nothing, and gives back its files, its standard
// error stream and its exit status.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "io/cp1252.h"
#include "io/diagnostics.h"
#include "test_support.h"

namespace kv::test {

namespace fs = std::filesystem;

// The exit status that the parent sees for a run ended by a severe message: the
// status C0000000 (hex) + number, of which a POSIX parent sees the low byte.
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

// The twelve records of a case parameter file, each value followed by its description.
// The defaults are the small firing of the worked example: five points, It = 4 N s.
struct CaseFile {
  std::string original = "celula.txt                original = arquivo de dados originais";
  std::string ti = "0.0                       ti (s)";
  std::string tf = "0.4                       tf (s)";
  std::string Fcor = "0.0                       Fcor (N)";
  std::string M = "0.01                      M (kg)";
  std::string w = "10                        w (Hz)";
  std::string nmax = "100                       nmax";
  std::string toB = "0                         toB";
  std::string graf = "0                         graf";
  std::string abreB = "0                         abreB";
  std::string caso = "teste1                    caso";
  std::string titulo = "'Motor de teste'          titulo";

  std::string text() const {
    std::string s;
    for (const std::string* v : {&original, &ti, &tf, &Fcor, &M, &w, &nmax, &toB, &graf, &abreB, &caso, &titulo})
      s.append(*v).append("\r\n");
    return s;
  }
};

inline constexpr std::string_view kWorkedExampleSamples =
    "-0.1 0\r\n0.0 0\r\n0.1 10\r\n0.2 20\r\n0.3 10\r\n0.4 0\r\n0.5 0\r\n0.6 5\r\n";

// Six head records for the plot script, as a user keeps them.
inline constexpr std::string_view kPlotHead =
    "set terminal wxt\r\nset grid\r\nset xlabel 't [s]'\r\nset ylabel 'F [N]'\r\nset key off\r\nset style data lines\r\n";

struct RunResult {
  int status = -1;
  std::string out;  // standard output
  std::string err;  // standard error
};

class RunDir : public TempDir {
 public:
  RunDir() : TempDir("kv_run_") {}

  // The whole file; a missing one fails the test.
  std::string get(std::string_view name) const {
    std::ifstream f(dir() / name, std::ios::binary);
    EXPECT_TRUE(f.good()) << "missing file " << name;
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
  }
  std::vector<std::string> recs(std::string_view name) const { return records(get(name)); }

  // The general data file naming caso1.txt, that case file, and a load-cell file.
  void setup(const CaseFile& c, std::string_view samples = kWorkedExampleSamples) const {
    put(kGeneralData, "caso1.txt   arquivo do caso em uso\r\n");
    put("caso1.txt", c.text());
    put("celula.txt", samples);
  }

  // Command lines handed to the interpreter are recorded in launches.txt.
  void record_launches() {
    put("interpreter.sh", "#!/bin/sh\nprintf '%s\\n' \"$2\" >> launches.txt\n");
    fs::permissions(dir() / "interpreter.sh", fs::perms::owner_all);
    comspec_ = path("interpreter.sh");
  }

  // Runs the program here under /bin/sh; `prefix` is shell text put before it (ulimit,
  // environment).
  RunResult run(const std::string& prefix = "") const {
    Child c;
    c.argv = {"/bin/sh", "-c", prefix + " COMSPEC='" + comspec_ + "' '" + KV_PROGRAM + "'"};
    c.cwd = dir();
    c.out = path(".stdout");
    c.err = path(".stderr");
    const ChildEnd e = run_child_process(c);
    const int raw = e.wait_status;
    RunResult r;
    if (!e.started)
      r.status = 127;
    else
      r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 1000 + (WIFSIGNALED(raw) ? WTERMSIG(raw) : 0);
    r.out = get(".stdout");
    r.err = get(".stderr");
    fs::remove(dir() / ".stdout");
    fs::remove(dir() / ".stderr");
    return r;
  }

  // "forrtl: severe (NN): <text>, unit U, file <full path>" and its line end.
  std::string severe_line(int number, std::string_view text, int unit, std::string_view name) const {
    return test::severe_line(number, text, unit, path(name));
  }
  std::string error_line(int number, std::string_view text, int unit, std::string_view name) const {
    return test::error_line(number, text, unit, path(name));
  }

 private:
  std::string comspec_ = "/bin/true";
};

inline std::string golden(std::string_view name) {
  std::ifstream f(std::string(KV_SOURCE_DIR) + "/tests/golden/" + std::string(name), std::ios::binary);
  EXPECT_TRUE(f.good()) << "missing golden file " << name;
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

}  // namespace kv::test
