// Writes a logger's file for the prepare companion's benchmark: a data-acquisition
// export at 10 kHz ("time,thrust" header, then t in s and F in N, comma-separated, LF),
// mostly the load cell at rest with its noise and a slow drift, and a 3 s firing in the
// middle of the record.
//
//   prepare_gen LINES > file.csv
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  const long long n = argc > 1 ? std::atoll(argv[1]) : 10000000;
  const double rate = 10000.0;
  const double ignition = static_cast<double>(n) / rate / 2;
  std::uint64_t state = 88172645463325252ull;
  auto noise = [&] {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return static_cast<double>(state % 2000001) / 1000000.0 - 1.0;
  };
  std::string out = "time,thrust\n";
  char buf[64];
  for (long long i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / rate;
    const double s = t - ignition;
    double F = 0;
    if (s >= 0 && s < 0.05) F = 600.0 * s / 0.05;
    else if (s >= 0.05 && s < 3.0) F = 600.0 - 150.0 * (s - 0.05) / 2.95;
    else if (s >= 3.0 && s < 3.2) F = 450.0 * (1 - (s - 3.0) / 0.2);
    F += -12.0 + 0.002 * t + 0.4 * noise();
    char* e = std::to_chars(buf, buf + 32, t, std::chars_format::fixed, 4).ptr;
    *e++ = ',';
    e = std::to_chars(e, buf + 63, F, std::chars_format::fixed, 3).ptr;
    *e++ = '\n';
    out.append(buf, e);
    if (out.size() > (1u << 22)) {
      std::fwrite(out.data(), 1, out.size(), stdout);
      out.clear();
    }
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}
