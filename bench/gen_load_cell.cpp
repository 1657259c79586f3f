// Writes a realistic load-cell record of a static firing, with the case parameter file
// and the general data file that select it, into a directory:
//
//   gen_load_cell <samples> <seed> <dir> [w_hz] [style]
//
// The record: a quiet baseline before ignition, an ignition spike, a slowly regressive
// plateau, an exponential tail-off and a quiet baseline after burn-out, with Gaussian
// noise throughout (so the baseline dips below zero and meets the cut-off). The window
// [ti, tf] covers nearly the whole record and is closed by the samples after it.
// style: "tab" (default) time and thrust separated by a tab, fixed decimals;
//        "sci" blank-separated exponent notation; "csv" comma-separated, CR LF lines.
// Everything is deterministic from the seed.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// SplitMix64: small, fast and the same on every platform.
struct Rng {
  std::uint64_t s;
  std::uint64_t next() {
    std::uint64_t z = (s += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double uniform() { return static_cast<double>(next() >> 11) * 0x1p-53; }
  double gauss() {  // Box-Muller, one value per call
    const double u1 = 1.0 - uniform();
    const double u2 = uniform();
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
  }
};

void put_fixed(std::string& out, double v, int decimals) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
  out.append(buf, r.ptr);
}
void put_sci(std::string& out, double v, int digits) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, digits);
  out.append(buf, r.ptr);
}

bool write_text(const std::string& path, const std::string& text) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s samples seed dir [w_hz] [tab|sci|csv]\n", argv[0]);
    return 2;
  }
  const long long n = std::atoll(argv[1]);
  Rng rng{std::strtoull(argv[2], nullptr, 10)};
  const std::string dir = argv[3];
  const int w = argc > 4 ? std::atoi(argv[4]) : 10000;
  const std::string style = argc > 5 ? argv[5] : "tab";
  if (n < 100 || w <= 0) {
    std::fprintf(stderr, "need at least 100 samples and a positive frequency\n");
    return 2;
  }

  // Sample i is taken at (i - pre) / w: a short pre-trigger stretch before time 0.
  const long long pre = n / 200 + 5;   // baseline before the window
  const long long post = n / 200 + 5;  // samples after the window (the first closes it)
  const long long k0 = pre;            // first sample of the window
  const long long k1 = n - post - 1;   // last sample of the window
  const double dt = 1.0 / w;
  const double burn = static_cast<double>(k1 - k0) * dt;

  // Thrust profile over the window, in units of the burn time.
  const double plateau = 18.0 + 4.0 * rng.uniform();
  const double spike = plateau * (1.5 + 0.3 * rng.uniform());
  const double offset = 0.05 * (rng.uniform() - 0.5);  // load-cell zero drift
  const double noise = 0.25;
  auto thrust = [&](double x) {  // x: fraction of the burn, may be outside [0, 1]
    if (x < 0.0) return 0.0;
    if (x < 0.01) return spike * (x / 0.01);                                      // rise
    if (x < 0.04) return spike + (plateau - spike) * ((x - 0.01) / 0.03);          // spike decays
    if (x < 0.85) return plateau * (1.0 - 0.12 * (x - 0.04) / 0.81);               // regressive plateau
    const double tail0 = plateau * 0.88;
    return tail0 * std::exp(-(x - 0.85) / 0.03);                                  // tail-off
  };

  std::string out;
  out.reserve(static_cast<std::size_t>(n) * 24);
  const char* sep = style == "csv" ? "," : style == "sci" ? "  " : "\t";
  const char* eol = style == "csv" ? "\r\n" : "\n";
  const std::string data_name = "bench_dados.txt";
  FILE* f = std::fopen((dir + "/" + data_name).c_str(), "wb");
  if (!f) {
    std::perror("open");
    return 1;
  }
  for (long long i = 0; i < n; ++i) {
    const double t = static_cast<double>(i - pre) * dt;
    const double x = static_cast<double>(i - k0) / static_cast<double>(k1 - k0);
    const double F = thrust(x) + offset + noise * rng.gauss();
    if (style == "sci") {
      put_sci(out, t, 9);
      out += sep;
      put_sci(out, F, 5);
    } else {
      put_fixed(out, t, 6);
      out += sep;
      put_fixed(out, F, 4);
    }
    out += eol;
    if (out.size() > (1u << 22)) {
      std::fwrite(out.data(), 1, out.size(), f);
      out.clear();
    }
  }
  std::fwrite(out.data(), 1, out.size(), f);
  std::fclose(f);

  // ti and tf are the times of the first and last window samples, as written.
  std::string ti, tf;
  put_fixed(ti, static_cast<double>(k0 - pre) * dt, 6);
  put_fixed(tf, static_cast<double>(k1 - pre) * dt, 6);
  (void)burn;
  const long long points = k1 - k0 + 1;
  std::string cas;
  cas += data_name + "               original\r\n";
  cas += ti + "                  ti (s)\r\n";
  cas += tf + "                  tf (s)\r\n";
  cas += "0.0                       Fcor (N)\r\n";
  cas += "0.45                      M (kg)\r\n";
  cas += std::to_string(w) + "                     w (Hz)\r\n";
  cas += std::to_string(points) + "                   nmax\r\n";
  cas += "0                         toB\r\n";
  cas += "0                         graf\r\n";
  cas += "0                         abreB\r\n";
  cas += "bench                     caso\r\n";
  cas += "'Motor de bancada'        titulo\r\n";
  if (!write_text(dir + "/bench_caso.txt", cas) ||
      !write_text(dir + "/kalvorestine_2p0_dados_geral.txt", "bench_caso.txt   arquivo do caso\r\n")) {
    std::perror("write");
    return 1;
  }
  std::printf("%lld samples, %lld points in the window, w = %d Hz\n", n, points, w);
  return 0;
}
