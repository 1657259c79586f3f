// A case folder for the export's end-to-end tests: the general data file, a case
// parameter file and a load-cell record, the real program run on it (with a command
// interpreter that starts nothing), then the export.
#pragma once

#include <sys/wait.h>

#include <charconv>
#include <cstring>
#include <string>
#include <vector>

#include "test_support.h"

extern char** environ;

namespace kv::test {

// The value of a case parameter, as the twelve records of the file give them.
struct CaseSetup {
  std::string ti = "0.5";
  std::string tf = "3.0";
  std::string Fcor = "0.0";
  std::string M = "0.030";
  std::string w = "100";
  std::string nmax = "100000";
  std::string toB = "0";
  std::string caso = "firing";
  std::string titulo = "'Static firing \xE9 1'";  // Windows-1252, as the program's files are
};

struct Ran {
  int status = -1;
  std::string out, err;
};

inline std::string fixed2(double v, int decimals) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
  return std::string(buf, r.ptr);
}

class CaseDir : public TempDir {
 public:
  CaseDir() : TempDir("kv_export_") {}

  // Writes the case: the general data file names case.txt, which names cell.txt.
  void write_case(const CaseSetup& c, const std::string& samples) const {
    put("kalvorestine_2p0_dados_geral.txt", "case.txt   the case in use\r\n");
    const std::string recs[] = {"'cell.txt'   original", c.ti + "   ti",       c.tf + "   tf",     c.Fcor + "   Fcor",
                                c.M + "   M",            c.w + "   w",          c.nmax + "   nmax", c.toB + "   toB",
                                "0   graf",              "0   abreB",           c.caso + "   caso", c.titulo + "   titulo"};
    std::string text;
    for (const auto& r : recs) text += r + "\r\n";
    put("case.txt", text);
    put("cell.txt", samples);
  }

  // Runs the program in the folder; its status.
  int run_program() const {
    Child c;
    c.argv = {KV_PROGRAM};
    c.env = environment();
    c.cwd = dir();
    c.in = "/dev/null";
    c.out = path(".program.out");
    c.err = path(".program.err");
    c.timeout_ms = 120000;
    return status(run_child_process(c));
  }

  // Runs the export with `args`, from `cwd` (the folder itself when empty).
  Ran run_export(const std::vector<std::string>& args, const fs::path& cwd = {}) const {
    Child c;
    c.argv = {KV_EXPORT};
    c.argv.insert(c.argv.end(), args.begin(), args.end());
    c.env = environment();
    c.cwd = cwd.empty() ? dir() : cwd;
    c.in = "/dev/null";
    c.out = path(".export.out");
    c.err = path(".export.err");
    c.timeout_ms = 120000;
    Ran r;
    r.status = status(run_child_process(c));
    r.out = get(".export.out");
    r.err = get(".export.err");
    fs::remove(dir() / ".export.out");
    fs::remove(dir() / ".export.err");
    return r;
  }

 private:
  static std::vector<std::string> environment() {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
      if (std::strncmp(*e, "COMSPEC=", 8) != 0) env.emplace_back(*e);
    env.emplace_back("COMSPEC=/bin/true");
    return env;
  }
  static int status(const ChildEnd& e) {
    if (!e.started || e.timed_out) return -1;
    return WIFEXITED(e.wait_status) ? WEXITSTATUS(e.wait_status) : 1000;
  }
};

// A load-cell record sampled at w Hz from t0 to t1 (both included), "t F" per line,
// CR LF; F(t) from the function.
template <class Thrust>
std::string samples(double w, double t0, double t1, Thrust thrust) {
  std::string s;
  const long n0 = static_cast<long>(t0 * w + 0.5), n1 = static_cast<long>(t1 * w + 0.5);
  for (long n = n0; n <= n1; ++n) {
    const double t = static_cast<double>(n) / w;
    s += fixed2(t, 4) + "  " + fixed2(thrust(t), 5) + "\r\n";
  }
  return s;
}

}  // namespace kv::test
