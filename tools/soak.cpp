// The soak: many generated runs of the real program, each checked for how it ends and
// what it leaves behind (tests/soak_harness.h).
//
//   soak PROGRAM [--runs N] [--seed S] [--jobs J] [--timeout-ms T] [--keep DIR]
//
// Run i uses the seed S + i, so one failing run can be replayed alone with
// --seed S+i --runs 1. A failing run's directory is copied under --keep (default
// soak-failures). The exit status is 0 when every run passed.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "../tests/soak_harness.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: soak PROGRAM [--runs N] [--seed S] [--jobs J] [--timeout-ms T] [--keep DIR]\n");
    return 2;
  }
  const std::string program = fs::absolute(argv[1]).string();
  long long runs = 10000;
  unsigned long long seed = 1;
  int jobs = 1;
  int timeout_ms = 30000;
  fs::path keep = "soak-failures";
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string opt = argv[i];
    const char* v = argv[i + 1];
    if (opt == "--runs") runs = std::atoll(v);
    else if (opt == "--seed") seed = std::strtoull(v, nullptr, 10);
    else if (opt == "--jobs") jobs = std::max(1, std::atoi(v));
    else if (opt == "--timeout-ms") timeout_ms = std::atoi(v);
    else if (opt == "--keep") keep = v;
    else {
      std::fprintf(stderr, "soak: unknown option %s\n", opt.c_str());
      return 2;
    }
  }
  keep = fs::absolute(keep);
  std::string base_templ = (fs::temp_directory_path() / "kv_soak_XXXXXX").string();
  if (!::mkdtemp(base_templ.data())) return 2;
  const fs::path base = base_templ;
  const auto start = std::chrono::steady_clock::now();

  // Each worker takes the runs i = worker, worker + jobs, ...
  for (int worker = 0; worker < jobs; ++worker) {
    const pid_t pid = ::fork();
    if (pid < 0) return 2;
    if (pid > 0) continue;
    int failures = 0;
    long long by_status[257] = {};
    const fs::path dir = base / ("w" + std::to_string(worker));
    for (long long i = worker; i < runs; i += jobs) {
      int status = -1;
      const std::string problems =
          kv::soak::soak_one(program, dir, seed + static_cast<unsigned long long>(i), timeout_ms, &status);
      ++by_status[status < 0 ? 256 : status];
      if (problems.empty()) continue;
      ++failures;
      std::printf("FAIL seed %llu: %s\n", seed + static_cast<unsigned long long>(i), problems.c_str());
      std::error_code ec;
      const fs::path to = keep / ("seed_" + std::to_string(seed + static_cast<unsigned long long>(i)));
      fs::create_directories(to, ec);
      fs::copy(dir, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
      std::fflush(stdout);
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    std::string counts = "worker " + std::to_string(worker) + " exit statuses:";
    for (int st = 0; st <= 256; ++st)
      if (by_status[st]) counts += " " + (st == 256 ? std::string("none") : std::to_string(st)) + "x" + std::to_string(by_status[st]);
    std::printf("%s\n", counts.c_str());
    std::fflush(stdout);
    ::_exit(failures > 0 ? 1 : 0);
  }
  bool ok = true;
  for (int worker = 0; worker < jobs; ++worker) {
    int raw = 0;
    ::wait(&raw);
    if (!WIFEXITED(raw) || WEXITSTATUS(raw) != 0) ok = false;
  }
  std::error_code ec;
  fs::remove_all(base, ec);
  const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("soak: %lld runs (seeds %llu to %llu) in %.1f s: %s\n", runs, seed, seed + static_cast<unsigned long long>(runs) - 1, secs,
              ok ? "all passed" : "FAILURES");
  return ok ? 0 : 1;
}
