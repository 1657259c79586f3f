// A working directory for end-to-end runs of the program with recording stand-ins for
// the outside programs: Notepad, notepad and Wgnuplot on PATH write their arguments to
// launches.log, and a recording interpreter (COMSPEC) writes each command text it is
// given to commands.log before it runs it with /bin/sh.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <stdexcept>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace kv::launch_test {

namespace fs = std::filesystem;

inline constexpr std::string_view kGeneralData = "kalvorestine_2p0_dados_geral.txt";
inline constexpr std::string_view kPlotScript = "kalvorestine_2p0_curva_F-t.gnu";

// The lines of a text, split at LF (a CR before it kept).
inline std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

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

class Sandbox {
 public:
  Sandbox() {
    std::string templ = (fs::temp_directory_path() / "kv_launch_XXXXXX").string();
    if (::mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = fs::canonical(templ);
    fs::create_directory(dir_ / "bin");
  }
  ~Sandbox() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  const fs::path& dir() const { return dir_; }
  std::string path(std::string_view name) const { return (dir_ / name).string(); }

  void put(std::string_view name, std::string_view bytes) const {
    std::ofstream f(dir_ / name, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  std::string get(std::string_view name) const {
    std::ifstream f(dir_ / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
  }
  bool has(std::string_view name) const { return fs::exists(dir_ / name); }
  std::vector<std::string> files_starting_with(std::string_view prefix) const {
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(dir_))
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
      script(dir_ / "bin" / editor, "printf '%s' \"$(basename \"$0\")\" >> '" + log + "'\nprintf '[%s]' \"$@\" >> '" +
                                        log + "'\necho >> '" + log + "'\n");
    if (with_plotter)
      script(dir_ / "bin" / "Wgnuplot", "printf 'Wgnuplot' >> '" + log + "'\nprintf '[%s]' \"$@\" >> '" + log +
                                            "'\necho >> '" + log + "'\ncp \"$1\" script_at_plot.gnu\n"
                                            "for f in *_saida_H.txt; do cp \"$f\" log_at_plot.txt; done\n");
  }

  // A recording interpreter named by COMSPEC: the command text goes to commands.log.
  void record_commands() {
    script(dir_ / "bin" / "interpreter", "printf '%s\\n' \"$2\" >> '" + path("commands.log") + "'\nexec /bin/sh -c \"$2\"\n");
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
    std::vector<std::string> strings;
    for (const auto& [k, v] : env) strings.push_back(k + "=" + v);
    std::vector<char*> envp;
    for (auto& s : strings) envp.push_back(s.data());
    envp.push_back(nullptr);
    const std::string err_file = path(".stderr");
    std::string program = KV_PROGRAM;
    char* argv[] = {program.data(), nullptr};

    const pid_t pid = ::fork();
    if (pid == 0) {
      const int in = ::open("/dev/null", O_RDONLY);
      const int err = ::open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (in < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(err, 2) < 0 || ::chdir(dir_.c_str()) != 0) ::_exit(120);
      ::execve(program.c_str(), argv, envp.data());
      ::_exit(121);
    }
    int raw = 0;
    ::waitpid(pid, &raw, 0);
    Result r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 1000;
    r.err = get(".stderr");
    fs::remove(dir_ / ".stderr");
    return r;
  }

 private:
  static std::string unquoted(std::string_view name) {
    if (name.size() >= 2 && (name.front() == '\'' || name.front() == '"')) return std::string(name.substr(1, name.size() - 2));
    return std::string(name);
  }

  fs::path dir_;
  std::map<std::string, std::string> env_;
};

}  // namespace kv::launch_test
