// Runs the real program in a fresh working directory that holds its input files, with
// a command interpreter that starts nothing, and gives back its files, its standard
// error stream and its exit status.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "io/cp1252.h"
#include "io/diagnostics.h"

namespace kv::test {

namespace fs = std::filesystem;

inline constexpr std::string_view kGeneralData = "kalvorestine_2p0_dados_geral.txt";
inline constexpr std::string_view kPlotScript = "kalvorestine_2p0_curva_F-t.gnu";

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kAddressSanitizer = true;
#else
inline constexpr bool kAddressSanitizer = false;
#endif
#else
inline constexpr bool kAddressSanitizer = false;
#endif

// The exit status that the parent sees for a run ended by a severe message: the
// status C0000000 (hex) + number, of which a POSIX parent sees the low byte.
inline int severe_status(int number) { return static_cast<int>(io::severe_exit_status(number) & 0xFFu); }

// The records of a file as the program writes them: each ends with CR LF.
inline std::vector<std::string> records(const std::string& bytes) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start < bytes.size()) {
    const auto end = bytes.find("\r\n", start);
    if (end == std::string::npos) {
      out.push_back(bytes.substr(start) + "<no CR LF>");
      break;
    }
    out.push_back(bytes.substr(start, end - start));
    start = end + 2;
  }
  return out;
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

class RunDir {
 public:
  RunDir() {
    std::string templ = (fs::temp_directory_path() / "kv_run_XXXXXX").string();
    if (::mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = fs::canonical(templ);
  }
  ~RunDir() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  RunDir(const RunDir&) = delete;
  RunDir& operator=(const RunDir&) = delete;

  const fs::path& dir() const { return dir_; }
  std::string path(std::string_view name) const { return (dir_ / name).string(); }

  void put(std::string_view name, std::string_view bytes) const {
    std::ofstream f(dir_ / name, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  std::string get(std::string_view name) const {
    std::ifstream f(dir_ / name, std::ios::binary);
    EXPECT_TRUE(f.good()) << "missing file " << name;
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
  }
  bool has(std::string_view name) const { return fs::exists(dir_ / name); }
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
    fs::permissions(dir_ / "interpreter.sh", fs::perms::owner_all);
    comspec_ = path("interpreter.sh");
  }

  // Runs the program here; `prefix` is shell text put before it (ulimit, environment).
  RunResult run(const std::string& prefix = "") const {
    const std::string cmd = "cd '" + dir_.string() + "' && " + prefix + " COMSPEC='" + comspec_ + "' '" +
                            KV_PROGRAM + "' >.stdout 2>.stderr";
    const int raw = std::system(cmd.c_str());
    RunResult r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 1000 + (WIFSIGNALED(raw) ? WTERMSIG(raw) : 0);
    r.out = get(".stdout");
    r.err = get(".stderr");
    fs::remove(dir_ / ".stdout");
    fs::remove(dir_ / ".stderr");
    return r;
  }

  // "forrtl: severe (NN): <text>, unit U, file <full path>" and its line end.
  std::string severe_line(int number, std::string_view text, int unit, std::string_view name) const {
    return "forrtl: severe (" + std::to_string(number) + "): " + std::string(text) + ", unit " +
           std::to_string(unit) + ", file " + path(name) + "\n";
  }
  std::string error_line(int number, std::string_view text, int unit, std::string_view name) const {
    return "forrtl: error (" + std::to_string(number) + "): " + std::string(text) + ", unit " +
           std::to_string(unit) + ", file " + path(name) + "\n";
  }

 private:
  fs::path dir_;
  std::string comspec_ = "/bin/true";
};

inline std::string golden(std::string_view name) {
  std::ifstream f(std::string(KV_SOURCE_DIR) + "/tests/golden/" + std::string(name), std::ios::binary);
  EXPECT_TRUE(f.good()) << "missing golden file " << name;
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

}  // namespace kv::test
