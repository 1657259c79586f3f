// The floor the prepare companion is measured against: the file read once in large
// blocks, and of each line after the first only its two numbers parsed with fast_float,
// their sum kept so that nothing is optimised away. No layout found, no check of a line,
// no curve kept, nothing written.
//
//   prepare_floor FILE
#include <fast_float/fast_float.h>

#include <cstdio>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  std::FILE* f = std::fopen(argv[1], "rb");
  if (!f) return 1;
  std::vector<char> buf(std::size_t{1} << 20);
  std::size_t have = 0;
  double sum = 0;
  long long lines = 0;
  bool first = true;
  for (;;) {
    const std::size_t got = std::fread(buf.data() + have, 1, buf.size() - have, f);
    have += got;
    const char* p = buf.data();
    const char* end = buf.data() + have;
    for (;;) {
      const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
      if (!nl) break;
      if (!first) {
        double t = 0, F = 0;
        const auto a = fast_float::from_chars(p, nl, t);
        if (a.ptr < nl && *a.ptr == ',') fast_float::from_chars(a.ptr + 1, nl, F);
        sum += t + F;
      }
      first = false;
      ++lines;
      p = nl + 1;
    }
    have = static_cast<std::size_t>(end - p);
    std::memmove(buf.data(), p, have);
    if (got == 0) break;
  }
  std::fclose(f);
  std::printf("%lld lines, sum %.6g\n", lines, sum);
  return 0;
}
