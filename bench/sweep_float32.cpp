// Renders every float32 value (as the double it converts to) through F12.7, 1P E15.6 and
// 1P E15.7 twice, with the digits from the integer arithmetic the program uses and with
// the digits from std::to_chars alone, and counts the fields that differ. Run once after
// a change to the decimal rounding; it takes a while (all 2^32 values).
//
//   sweep_float32 [first_bits last_bits]      default: 0 4294967295
#include <atomic>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "io/edit_descriptors.h"

namespace {

using kv::io::DigitSource;

struct Field {
  const char* name;
  bool fixed;
  int w, d;
};
constexpr Field kFields[] = {{"F12.7", true, 12, 7}, {"1P E15.6", false, 15, 6}, {"1P E15.7", false, 15, 7}};

std::atomic<std::uint64_t> g_checked{0};
std::atomic<std::uint64_t> g_differ{0};
std::mutex g_print;
int g_shown = 0;

void sweep(std::uint64_t first, std::uint64_t last) {
  char a[16], b[16];
  std::uint64_t checked = 0;
  for (std::uint64_t bits = first; bits <= last; ++bits) {
    const double v = static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(bits)));
    for (const Field& f : kFields) {
      const bool fa = f.fixed ? kv::io::edit_F(a, v, f.w, f.d, DigitSource::Integer)
                              : kv::io::edit_E(a, v, f.w, f.d, DigitSource::Integer);
      const bool fb = f.fixed ? kv::io::edit_F(b, v, f.w, f.d, DigitSource::ToChars)
                              : kv::io::edit_E(b, v, f.w, f.d, DigitSource::ToChars);
      if (fa != fb || std::memcmp(a, b, static_cast<std::size_t>(f.w)) != 0) {
        g_differ.fetch_add(1);
        std::lock_guard<std::mutex> lock(g_print);
        if (g_shown++ < 20)
          std::printf("differ: bits %08llx (%a) %s: '%.*s' against to_chars '%.*s'\n",
                      static_cast<unsigned long long>(bits), v, f.name, f.w, a, f.w, b);
      }
    }
    if (++checked == (1u << 24)) {
      g_checked.fetch_add(checked);
      checked = 0;
    }
  }
  g_checked.fetch_add(checked);
}

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t first = 0, last = 0xFFFFFFFFu;
  if (argc == 3) {
    std::from_chars(argv[1], argv[1] + std::strlen(argv[1]), first, 16);
    std::from_chars(argv[2], argv[2] + std::strlen(argv[2]), last, 16);
  }
  const unsigned threads = std::thread::hardware_concurrency() ? std::thread::hardware_concurrency() : 1;
  const std::uint64_t count = last - first + 1;
  std::vector<std::thread> pool;
  for (unsigned i = 0; i < threads; ++i) {
    const std::uint64_t a = first + count * i / threads;
    const std::uint64_t b = first + count * (i + 1) / threads - 1;
    pool.emplace_back(sweep, a, b);
  }
  for (auto& t : pool) t.join();
  std::printf("float32 values %08llx..%08llx: %llu values, %llu fields (F12.7, 1P E15.6, 1P E15.7), %llu differ\n",
              static_cast<unsigned long long>(first), static_cast<unsigned long long>(last),
              static_cast<unsigned long long>(g_checked.load()),
              static_cast<unsigned long long>(g_checked.load() * 3), static_cast<unsigned long long>(g_differ.load()));
  return g_differ.load() == 0 ? 0 : 1;
}
