// Records prepared in a buffer (possibly on another thread) and then handed to a unit
// give the same file and the same diagnostics as one write per record.
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "io/files.h"
#include "io/layout.h"
#include "io/record_writer.h"
#include "io_test_support.h"

using namespace kv;
using namespace kv::iotest;

namespace {

constexpr io::LayoutView kRecord = io::layout<"(F12.7, 8(1P, E15.6))">;

// Times that fit and times that overflow F12.7, thrusts of every sign and magnitude.
std::vector<double> times() {
  std::vector<double> v;
  for (int i = 0; i < 5000; ++i) v.push_back(i % 7 == 0 ? 10000.0 + i : -999.0 + 0.37 * i);
  return v;
}

TEST(RecordBlocks, SameBytesAndDiagnosticsAsOneWritePerRecord) {
  ScratchDir dir;
  const auto t = times();
  const auto one_by_one = run_child([&] {
    io::open(20, dir / "a.txt");
    for (std::size_t i = 0; i < t.size(); ++i)
      io::write(20, kRecord, {t[i], -t[i] * 1e-3, t[i] * 1e5, 0.0, 1e-300 * t[i]});
    io::close(20);
  });
  const auto in_blocks = run_child([&] {
    io::open(20, dir / "b.txt");
    // Blocks of uneven sizes, the second of each pair prepared on another thread.
    for (std::size_t i = 0; i < t.size();) {
      const std::size_t mid = std::min(i + 700, t.size());
      const std::size_t end = std::min(mid + 1300, t.size());
      std::string first, second;
      std::size_t first_errors = 0, second_errors = 0;
      auto block = [&](std::size_t from, std::size_t to, std::string& out, std::size_t& errors) {
        for (std::size_t k = from; k < to; ++k)
          if (!io::format_records(out, kRecord, {t[k], -t[k] * 1e-3, t[k] * 1e5, 0.0, 1e-300 * t[k]})) ++errors;
      };
      std::thread other(block, mid, end, std::ref(second), std::ref(second_errors));
      block(i, mid, first, first_errors);
      other.join();
      io::write_formatted(20, first, first_errors);
      io::write_formatted(20, second, second_errors);
      i = end;
    }
    io::close(20);
  });
  ASSERT_TRUE(one_by_one.exited && in_blocks.exited);
  EXPECT_EQ(one_by_one.status, 0);
  EXPECT_EQ(in_blocks.status, 0);
  const std::string a = read_file(dir / "a.txt");
  const std::string b = read_file(dir / "b.txt");
  EXPECT_EQ(a.size(), t.size() * 74);
  EXPECT_TRUE(a == b);
  EXPECT_NE(one_by_one.err.find("forrtl: error (63)"), std::string::npos);
  // The diagnostics name the file, which differs: compare them with the names aligned.
  std::string err_b = in_blocks.err;
  for (std::size_t p = 0; (p = err_b.find("/b.txt", p)) != std::string::npos;) err_b.replace(p, 6, "/a.txt");
  EXPECT_EQ(one_by_one.err, err_b);
}

}  // namespace
