// Data records of plain numbers take a short path through the reader; whatever a record
// holds, the values read must be bit for bit those of the full conversion rules.
#include <bit>
#include <charconv>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "decimal_cases.h"
#include "io/files.h"
#include "io/list_directed.h"
#include "io_test_support.h"

using namespace kv;
using namespace kv::iotest;

namespace {

// A number text in one of the forms a data file may hold.
std::string number_text(std::uint64_t i) {
  const std::uint64_t r = decimal_cases::mix(i);
  const double v = decimal_cases::value(i, 7, 8);
  char buf[400];  // room for any double in fixed notation
  std::string s;
  switch (r % 6) {
    case 0: s.assign(buf, std::to_chars(buf, buf + sizeof buf, v).ptr); break;  // shortest
    case 1: s.assign(buf, std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, static_cast<int>(r >> 8) % 12).ptr); break;
    case 2: s.assign(buf, std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, static_cast<int>(r >> 8) % 18).ptr); break;
    case 3: s = std::to_string(static_cast<std::int64_t>(r >> 20) - (1ll << 43)); break;  // integers
    case 4: {  // hand-made: leading zeros, a lone point side, exponent letters and signs
      const char* forms[] = {"007.50", ".5", "5.", "+1.25E+2", "-0.0", "1D3", "2.5q-1", "1e0005", "0.000000000000000000000000001",
                             "123456789012345678901234", "9007199254740993", "1.5e-400", "1e400", "-.000E7"};
      s = forms[(r >> 8) % (sizeof forms / sizeof *forms)];
      break;
    }
    default:  // fixed with many digits, past 19 significant ones
      s.assign(buf, std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 20).ptr);
      if (s.size() > 60) s = "1.5";
      break;
  }
  return s;
}

TEST(ReaderFastPath, SameValuesAsTheFullConversion) {
  ScratchDir dir;
  const std::string path = dir / "data.txt";
  const char* separators[] = {" ", "\t", ",", " , ", "  \t "};
  const char* endings[] = {"\n", "\r\n", " \n", ",\n", " 99 extra\r\n"};
  std::string bytes;
  std::vector<std::pair<double, double>> expected;
  for (std::uint64_t i = 0; i < 20000; ++i) {
    const std::string a = number_text(2 * i);
    const std::string b = number_text(2 * i + 1);
    double x = 0.0, y = 0.0;
    ASSERT_EQ(io::convert_real(a.data(), a.data() + a.size(), x), 0) << a;
    ASSERT_EQ(io::convert_real(b.data(), b.data() + b.size(), y), 0) << b;
    expected.emplace_back(x, y);
    bytes += (i % 3 == 0 ? "  " : "") + a + separators[i % 5] + b + endings[(i / 5) % 5];
  }
  write_file(path, bytes);
  io::open(8, path);
  for (const auto& [x, y] : expected) {
    double a = -1.0, b = -1.0;
    io::read(8, {a, b});
    ASSERT_EQ(std::bit_cast<std::uint64_t>(a), std::bit_cast<std::uint64_t>(x)) << a << " vs " << x;
    ASSERT_EQ(std::bit_cast<std::uint64_t>(b), std::bit_cast<std::uint64_t>(y)) << b << " vs " << y;
  }
  io::close(8);
}

// The data reader's loop: the short read when it can be taken, the full rules
// otherwise. Records lie across the places where more of the file must be read.
TEST(ReaderFastPath, ShortReadsAcrossWindowRefills) {
  ScratchDir dir;
  const std::string path = dir / "data.txt";
  const std::string record = "12.5e-1\t-3.75\r\n";
  for (std::size_t shift = 0; shift < record.size() + 2; ++shift) {
    // A first record long enough to move the rest to any offset, then 40000 records
    // (more than two windows' worth), then one with an exponent letter the short read
    // leaves to the full rules, then a last one without line end.
    std::string bytes = std::string(1000 + shift, ' ') + "0 0\n";
    for (int i = 0; i < 40000; ++i) bytes += record;
    bytes += "2D0 4\n5 6";
    write_file(path, bytes);
    io::open(8, path);
    int plain = 0;
    auto next = [&](double& a, double& b) {
      if (io::read_plain(8, {a, b}))
        ++plain;
      else
        io::read(8, {a, b});
    };
    double a = -1.0, b = -1.0;
    next(a, b);
    ASSERT_EQ(a, 0.0);
    for (int i = 0; i < 40000; ++i) {
      a = b = 0.0;
      next(a, b);
      ASSERT_EQ(a, 1.25) << "shift " << shift << " record " << i;
      ASSERT_EQ(b, -3.75) << "shift " << shift << " record " << i;
    }
    next(a, b);
    EXPECT_EQ(a, 2.0);
    EXPECT_EQ(b, 4.0);
    next(a, b);
    EXPECT_EQ(a, 5.0);
    EXPECT_EQ(b, 6.0);
    EXPECT_GE(plain, 40000);  // the short read took the plain records, refills included
    io::close(8);
  }
}

}  // namespace
