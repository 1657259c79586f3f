// Runs the real program as a child process in a working directory of its own, with a
// time limit, and checks what every run must leave behind whatever its input:
//
// - it ends with status 0, or with exactly one "forrtl: severe (NN): ..." line at the end
//   of its standard error stream and the status that goes with NN; never on a signal,
//   a sanitizer report or the time limit;
// - every result file is absent, or holds whole records: it is empty or ends with CR LF,
//   and every LF in it ends a record (CR LF); it has no NUL byte unless the input put one
//   into a text that the file shows;
// - the plot script is either untouched or its head is kept and it ends with CR LF.
//
// Also the generator of random but plausible inputs, used by the soak and its short
// run among the tests. Header-only (with test_support.h), so that the soak tool builds
// from headers alone.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "test_support.h"

namespace kv::soak {

namespace fs = std::filesystem;

using namespace kv::test;  // the program's file names, whole files, child processes

// Runs `program` with `dir` as its working directory and COMSPEC=/bin/true (nothing is
// launched).
inline Outcome run_program(const std::string& program, const fs::path& dir, int timeout_ms,
                           const std::string& shell_prefix = "", const std::string& comspec = "/bin/true") {
  return test::run_program(program, dir, timeout_ms, shell_prefix, {{"COMSPEC", comspec}});
}

// The problems with a run's ending, or "" when it ended as every run must.
inline std::string check_ending(const Outcome& o) {
  if (o.timed_out) return "did not end within the time limit";
  if (!o.exited) return "ended on signal " + std::to_string(o.signal);
  for (const char* bad : {"Sanitizer", "runtime error", "LeakSanitizer", "Segmentation", "Aborted"})
    if (o.err.find(bad) != std::string::npos) return std::string("standard error shows ") + bad;
  if (!o.out.empty()) return "wrote to standard output";
  // Every line of standard error is a diagnostic; only the last may be severe.
  std::size_t start = 0;
  int severe_number = -1;
  while (start < o.err.size()) {
    std::size_t end = o.err.find('\n', start);
    if (end == std::string::npos) return "standard error does not end with a line end";
    const std::string line = o.err.substr(start, end - start);
    start = end + 1;
    if (line.rfind("forrtl: error (63): output conversion error, unit ", 0) == 0) {
      if (severe_number >= 0) return "a line follows the severe diagnostic";
      continue;
    }
    if (line.rfind("forrtl: severe (", 0) == 0) {
      if (severe_number >= 0) return "two severe diagnostics";
      severe_number = std::atoi(line.c_str() + 16);
      continue;
    }
    if (line.rfind("fort: (2): Subscript #1 of the array ", 0) == 0) continue;  // followed by its severe line
    return "unexpected line on standard error: " + line.substr(0, 200);
  }
  if (severe_number < 0) {
    if (o.status != 0) return "status " + std::to_string(o.status) + " without a severe diagnostic";
    return "";
  }
  if (o.status != (severe_number & 0xFF))
    return "status " + std::to_string(o.status) + " does not match message " + std::to_string(severe_number);
  return "";
}

// The problems with a result file, or "" when it is absent or holds whole records.
inline std::string check_result_file(const fs::path& p, bool nul_allowed) {
  std::error_code ec;
  if (!fs::exists(p, ec)) return "";
  if (!fs::is_regular_file(p, ec)) return "";  // not the program's to write
  const std::string b = read_bytes(p);
  const std::string name = p.filename().string();
  if (b.empty()) return "";
  if (b.size() < 2 || b.compare(b.size() - 2, 2, "\r\n") != 0) return name + " does not end on a record end";
  for (std::size_t i = b.find('\n'); i != std::string::npos; i = b.find('\n', i + 1))
    if (i == 0 || b[i - 1] != '\r') return name + " has a line end without CR at byte " + std::to_string(i);
  if (!nul_allowed && b.find('\0') != std::string::npos) return name + " holds a NUL byte";
  return "";
}

// The plot script after a run: untouched, or its first six records kept and two records
// written behind them (the program only ever writes whole records to it).
inline std::string check_plot_script(const fs::path& p, const std::string& before, bool existed) {
  std::error_code ec;
  if (!fs::exists(p, ec)) return existed ? "the plot script was removed" : "";
  const std::string b = read_bytes(p);
  if (existed && b == before) return "";
  if (!existed && b.empty()) return "";
  std::size_t head = 0;
  for (int i = 0; i < 6; ++i) {
    const std::size_t lf = before.find('\n', head);
    if (lf == std::string::npos) {
      // A sixth record without a line end still counts; fewer records stop the run.
      if (i == 5 && head < before.size()) {
        head = before.size();
        break;
      }
      return "the plot script was rewritten although it has fewer than six records";
    }
    head = lf + 1;
  }
  if (b.compare(0, head, before, 0, head) != 0) return "the plot script's head was changed";
  if (b.size() < head + 2 || b.compare(b.size() - 2, 2, "\r\n") != 0) return "the plot script does not end on a record end";
  return "";
}

// ---------------------------------------------------------------------------------------
// Random inputs.

struct Generated {
  std::string general;        // the general data file, or absent
  bool has_general = true;
  std::string case_name_file = "caso.txt";
  std::string case_file;
  bool has_case_file = true;
  std::string load_cell_name = "celula.txt";
  std::string load_cell;
  bool has_load_cell = true;
  std::string plot_script;
  bool has_plot_script = true;
  bool text_has_nul = false;  // a NUL byte may reach a text that the outputs show
  std::vector<std::string> subdirs;  // directories to create
};

class Generator {
 public:
  explicit Generator(std::uint64_t seed) : rng_(seed) {}

  Generated make() {
    Generated g;
    for (const char* d : {"sub", "sub/deeper"}) g.subdirs.emplace_back(d);

    // Case parameters. Now and then a long firing, whose files the writer hands to the OS
    // in several blocks.
    big_ = chance(0.005);
    const std::string original = pick_load_cell_name(g);
    const double ti = pick({0.0, 0.0, 0.0, 1.0, -0.05, 0.25}, [&] { return uniform(-2.0, 3.0); });
    double tf = pick({0.4, 1.0, 2.0, ti, ti - 1.0}, [&] { return ti + uniform(-0.5, 4.0); });
    int w = static_cast<int>(pick({10, 100, 1000, 10, 10, 10, 100, 0, -10, 1, 3}, [&] { return int_in(1, 5000); }));
    if (big_) {
      w = 1000;
      tf = ti + static_cast<double>(int_in(17, 40));
    }
    std::string nmax_text = std::to_string(static_cast<int>(
        pick({20000, 20000, 20000, 20000, 20000, 20000, 5000, 1000, 500, 100, 5, 1, 0, -1}, [&] { return int_in(0, 3000); })));
    if (chance(0.004)) nmax_text = pick_str({"536870912", "2147483647", "300000000"});
    if (big_) nmax_text = "50000";

    std::vector<std::string> values = {
        original,
        real_text(ti),
        real_text(tf),
        real_text(pick({0.0, 0.0, 1.0, -1.0, 5.0}, [&] { return uniform(-10.0, 30.0); })),
        real_text(pick({0.01, 0.1, 0.0, -0.01, 1e300}, [&] { return uniform(0.0, 2.0); })),
        std::to_string(w),
        nmax_text,
        switch_text(),
        switch_text(),
        switch_text(),
        pick_case_name(g),
        pick_title(g),
    };
    g.case_file = case_file_text(values);
    g.load_cell = load_cell_text(ti, tf, w);
    g.plot_script = plot_script_text();
    g.general = general_text(g);

    g.has_general = !chance(0.01);
    g.has_case_file = !chance(0.01);
    g.has_load_cell = !chance(0.02);
    g.has_plot_script = !chance(0.1);
    if (chance(0.08)) mutate(g.case_file, g);
    if (chance(0.08)) mutate(g.load_cell, g);
    return g;
  }

  // Writes the inputs into `dir`, which exists and is empty.
  static void put(const fs::path& dir, const Generated& g) {
    for (const auto& d : g.subdirs) fs::create_directories(dir / d);
    if (g.has_general) write_bytes(dir / kGeneralData, g.general);
    if (g.has_case_file) write_bytes(dir / g.case_name_file, g.case_file);
    if (g.has_load_cell) write_bytes(dir / g.load_cell_name, g.load_cell);
    if (g.has_plot_script) write_bytes(dir / kPlotScript, g.plot_script);
  }

 private:
  std::mt19937_64 rng_;
  bool big_ = false;

  bool chance(double p) { return std::uniform_real_distribution<double>(0.0, 1.0)(rng_) < p; }
  double uniform(double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng_); }
  long long int_in(long long a, long long b) { return std::uniform_int_distribution<long long>(a, b)(rng_); }
  template <typename T, typename F>
  T pick(std::initializer_list<T> common, F other) {
    if (chance(0.3)) return static_cast<T>(other());
    const auto i = static_cast<std::size_t>(int_in(0, static_cast<long long>(common.size()) - 1));
    return *(common.begin() + i);
  }
  std::string pick_str(std::initializer_list<const char*> v) {
    return *(v.begin() + int_in(0, static_cast<long long>(v.size()) - 1));
  }

  std::string real_text(double v) {
    char buf[64];
    switch (int_in(0, 5)) {
      case 0: std::snprintf(buf, sizeof buf, "%.17g", v); break;
      case 1: std::snprintf(buf, sizeof buf, "%.3f", v); break;
      case 2: std::snprintf(buf, sizeof buf, "%.6E", v); break;
      case 3: std::snprintf(buf, sizeof buf, "%.4e", v); buf[std::strcspn(buf, "e")] = 'D'; break;
      default: std::snprintf(buf, sizeof buf, "%g", v); break;
    }
    return buf;
  }

  std::string switch_text() { return std::to_string(static_cast<int>(pick({0, 1, 1, 2, -1}, [&] { return int_in(-3, 3); }))); }

  std::string pick_load_cell_name(Generated& g) {
    switch (int_in(0, 19)) {
      case 0: g.load_cell_name = "sub/celula.txt"; return "'sub/celula.txt'";
      case 1: g.load_cell_name = "dados com espaco.txt"; return "'dados com espaco.txt'";
      case 2: g.load_cell_name = "celula.txt"; return "no_such_dir/celula.txt";  // cut at "/": "no_such_dir"
      case 3: g.load_cell_name = "celula.txt"; return "'no_such_dir/celula.txt'";
      case 4: g.load_cell_name = "celula.txt"; return "sub";  // a directory
      case 5: g.load_cell_name = "celula.txt"; return "'" + std::string(60, 'c') + "'";  // cut to 50
      case 6: g.load_cell_name = "c\xE9lula.txt"; return "c\xE9lula.txt";
      case 7: g.load_cell_name = "celula.txt"; return "''";
      default: g.load_cell_name = "celula.txt"; return "celula.txt";
    }
  }

  std::string pick_case_name(Generated& g) {
    switch (int_in(0, 24)) {
      case 0: return "'  ensaio com espa\xE7o  '";
      case 1: return "'" + std::string(90, 'n') + "'";
      case 2: return "'sub/ensaio'";
      case 3: return "'sem_dir/ensaio'";
      case 4: return "''";
      case 5: return "'sub'";  // the run log "sub_saida_H.txt"
      case 6: return "'sub/deeper'";
      case 7: g.text_has_nul = true; return std::string("'nu\0l'", 6);
      case 8: return "'ap''o'";
      case 9: return "'" + std::string(300, 'x') + "'";  // cut to 90
      default: return "ensaio" + std::to_string(int_in(0, 3));
    }
  }

  std::string pick_title(Generated& g) {
    switch (int_in(0, 9)) {
      case 0: return "'Motor de teste 1'";
      case 1: return "Motor";
      case 2: return "'T\xEDtulo com acentua\xE7\xE3o \x80\xFF'";
      case 3: return "'it''s'";
      case 4: g.text_has_nul = true; return std::string("'com\0nul'", 9);
      case 5: return "'" + std::string(120, 't') + "'";
      case 6: return "''";
      default: return "'Ensaio " + std::to_string(int_in(0, 99)) + "'";
    }
  }

  // The line ends of one file: CR LF, LF, a mix of both, or (rarely) CR alone, which
  // makes the whole file one record.
  int line_style_ = 0;
  void pick_line_style() {
    line_style_ = chance(0.01) ? 3 : static_cast<int>(int_in(0, 2));
  }
  std::string line_end() {
    switch (line_style_) {
      case 0: return "\r\n";
      case 1: return "\n";
      case 2: return chance(0.5) ? "\r\n" : "\n";
      default: return "\r";
    }
  }

  std::string case_file_text(const std::vector<std::string>& values) {
    std::string s;
    pick_line_style();
    const bool cr_only = line_style_ == 3;
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (chance(0.05)) s += chance(0.5) ? "   " : "";
      if (chance(0.05)) s += cr_only ? "\r" : "\r\n";
      std::string v = values[i];
      if (chance(0.01)) v = pick_str({"abc", "1.2.3", "-", "99999999999", ",", "/", "2*", "1e", "+"});
      s += v;
      if (chance(0.7)) s += "      descricao " + std::to_string(i + 1);
      s += cr_only ? "\r" : line_end();
    }
    if (chance(0.03)) s.resize(static_cast<std::size_t>(int_in(0, static_cast<long long>(s.size()))));
    return s;
  }

  std::string load_cell_text(double ti, double tf, int w) {
    std::string s;
    pick_line_style();
    const double step = w > 0 ? 1.0 / w : 0.1;
    double t = ti - step * static_cast<double>(int_in(0, 5));
    long long n = int_in(0, 400);
    if (chance(0.01)) n = int_in(1000, 20000);
    if (big_) n = static_cast<long long>((tf - ti) * w) + 50;
    const bool one_value_lines = chance(0.03);
    for (long long i = 0; i < n; ++i) {
      if (chance(0.01)) s += "\r\n";
      char buf[96];
      const double f = chance(0.1) ? uniform(-5.0, 5.0) : uniform(0.0, 200.0);
      if (one_value_lines)
        std::snprintf(buf, sizeof buf, "%.6f\n%.4f\n", t, f);
      else if (chance(0.02))
        std::snprintf(buf, sizeof buf, "%.6f,%.4f, 7, 8", t, f);
      else
        std::snprintf(buf, sizeof buf, "%.6f\t%.4f", t, f);
      s += buf;
      if (!one_value_lines) s += line_end();
      t += chance(0.05) ? step * uniform(0.0, 3.0) : step;
      if (chance(0.003)) t = pick({tf + step / 2, ti - step / 2, 1e300, -1e300}, [&] { return uniform(-10.0, 10.0); });
    }
    // Usually a sample beyond the window ends the reading.
    if (chance(0.92)) {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.6f 0\r\n", tf + 10.0 * step + 1.0);
      s += buf;
    }
    if (chance(0.02)) s = "tempo empuxo\r\n" + s;  // a header line
    if (chance(0.01)) s.erase(s.size() - (s.size() > 2 ? 2 : s.size()));  // no final line end
    return s;
  }

  std::string plot_script_text() {
    std::string s = "set terminal dumb\r\nset grid\r\nset xlabel 't'\r\nset ylabel 'F'\r\nset key off\r\nset style data lines\r\n";
    switch (int_in(0, 9)) {
      case 0: return "a\r\nb\r\nc\r\n";                        // too short
      case 1: return s + "set title 'x'\r\nplot 'x' using 1:2\r\nmore\r\n";
      case 2: return "1\n2\n3\n4\n5\n6";                       // last record without a line end
      case 3: return "";
      default: return s;
    }
  }

  std::string general_text(Generated& g) {
    switch (int_in(0, 59)) {
      case 0: return "\r\n\r\n   caso.txt  primeiro\r\n";
      case 1: return "'caso.txt'\r\n";
      case 2: g.case_name_file = "sub/caso.txt"; return "'sub/caso.txt'\r\n";
      case 3: return "";
      case 4: return "   \r\n";
      default: return "caso.txt   arquivo do caso em uso\r\n";
    }
  }

  // Flips, inserts or removes a few bytes, any byte value included.
  void mutate(std::string& s, Generated& g) {
    const long long k = int_in(1, 4);
    for (long long i = 0; i < k; ++i) {
      const auto at = static_cast<std::size_t>(int_in(0, static_cast<long long>(s.size())));
      const char c = static_cast<char>(int_in(0, 255));
      if (c == '\0') g.text_has_nul = true;
      switch (int_in(0, 2)) {
        case 0: if (at < s.size()) s[at] = c; else s.push_back(c); break;
        case 1: s.insert(at, 1, c); break;
        default: if (at < s.size()) s.erase(at, 1); break;
      }
    }
  }
};

// One generated run in `dir` (created empty here): writes the inputs, runs the program,
// checks the ending and the files. Returns "" or the problems found.
// `status`, when given, receives the run's exit status (-1 when it did not exit).
inline std::string soak_one(const std::string& program, const fs::path& dir, std::uint64_t seed, int timeout_ms,
                            int* status = nullptr) {
  std::error_code ec;
  fs::remove_all(dir, ec);
  fs::create_directories(dir);
  Generator gen(seed);
  const Generated g = gen.make();
  Generator::put(dir, g);
  const Outcome o = run_program(program, dir, timeout_ms);
  if (status) *status = o.exited ? o.status : -1;
  std::string problems = check_ending(o);
  auto add = [&](const std::string& p) {
    if (!p.empty()) problems += (problems.empty() ? "" : "; ") + p;
  };
  for (const auto& entry : fs::recursive_directory_iterator(dir, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.find("_saida_") != std::string::npos) add(check_result_file(entry.path(), g.text_has_nul));
  }
  add(check_plot_script(dir / kPlotScript, g.plot_script, g.has_plot_script));
  if (!problems.empty()) problems += " [stderr: " + o.err.substr(0, 400) + "]";
  return problems;
}

}  // namespace kv::soak
