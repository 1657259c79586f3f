// The floor the program is measured against: the same per-sample work done the plainest
// fast way on one thread. Parses every record of the load-cell data file with
// std::from_chars, formats the echo line (I5, 3X, F12.7, 1P, E15.7) of every point in the
// window and then its curve-table record (F12.7, 4 x 1P E15.6) with std::to_chars and a
// precision, all into one buffer, and writes the buffer once.
//
//   floor <data file> <ti> <tf> <w> <out file>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Right-justifies a to_chars result in a field of w columns.
void field(std::string& out, const char* b, const char* e, int w) {
  const auto n = static_cast<int>(e - b);
  if (n > w) {
    out.append(static_cast<std::size_t>(w), '*');
    return;
  }
  out.append(static_cast<std::size_t>(w - n), ' ');
  out.append(b, e);
}

void put_F(std::string& out, double v, int w, int d) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, d);
  field(out, buf, r.ptr, w);
}

void put_E(std::string& out, double v, int w, int d) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, d);
  char* e = static_cast<char*>(std::memchr(buf, 'e', static_cast<std::size_t>(r.ptr - buf)));
  *e = 'E';
  field(out, buf, r.ptr, w);
}

void put_I(std::string& out, int v, int w) {
  char buf[16];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  field(out, buf, r.ptr, w);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 6) {
    std::fprintf(stderr, "usage: %s data ti tf w out\n", argv[0]);
    return 2;
  }
  const double ti = std::strtod(argv[2], nullptr);
  const double tf = std::strtod(argv[3], nullptr);
  const double dt = 1.0 / std::atoi(argv[4]);
  FILE* in = std::fopen(argv[1], "rb");
  if (!in) return 1;
  std::vector<double> t, F;
  std::string out;
  std::string chunk(1 << 20, '\0');
  std::string carry;
  bool done = false;
  while (!done) {
    const std::size_t n = std::fread(chunk.data(), 1, chunk.size(), in);
    if (n == 0) break;
    carry.append(chunk.data(), n);
    const char* p = carry.data();
    const char* const end = p + carry.size();
    for (;;) {
      const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
      if (!nl) break;
      double st = 0.0, sf = 0.0;
      const char* q = p;
      while (q < nl && (*q == ' ' || *q == '\t')) ++q;
      q = std::from_chars(q, nl, st).ptr;
      while (q < nl && (*q == ' ' || *q == '\t' || *q == ',')) ++q;
      std::from_chars(q, nl, sf);
      p = nl + 1;
      if (ti - dt / 2 < st && st < tf + dt / 2) {
        const auto nc = static_cast<int>(t.size()) + 1;
        t.push_back(static_cast<double>(nc - 1) * dt);
        F.push_back(sf < 0.0 ? 0.0 : sf);
        put_I(out, nc, 5);
        out.append(3, ' ');
        put_F(out, t.back(), 12, 7);
        put_E(out, F.back(), 15, 7);
        out.append("\r\n");
      }
      if (st > tf + dt / 2) {
        done = true;
        break;
      }
    }
    carry.erase(0, static_cast<std::size_t>(p - carry.data()));
  }
  std::fclose(in);
  double I = 0.0;
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (i > 0) I += ((F[i] + F[i - 1]) * dt) / 2.0;
    put_F(out, t[i], 12, 7);
    put_E(out, F[i], 15, 6);
    put_E(out, I, 15, 6);
    put_E(out, I * 0.5, 15, 6);
    put_E(out, I * 0.25, 15, 6);
    out.append("\r\n");
  }
  FILE* o = std::fopen(argv[5], "wb");
  if (!o) return 1;
  std::fwrite(out.data(), 1, out.size(), o);
  std::fclose(o);
  return 0;
}
