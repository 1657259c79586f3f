// The list-directed reader: separators, records, nulls, repeats, slashes, strings,
// numbers, record ends, and reads that cross the input window's boundaries.
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "io/diagnostics.h"
#include "io/files.h"
#include "io/list_directed.h"
#include "io/text_field.h"
#include "io_test_support.h"

using namespace kv;
using namespace kv::iotest;

namespace {

constexpr int kUnit = 8;
constexpr double kUnset = -777.0;
constexpr std::int32_t kUnsetInt = -777;

class Reader : public ::testing::Test {
 protected:
  ScratchDir dir;
  std::string path = dir / "in.txt";

  void open_with(const std::string& bytes) {
    io::close(kUnit);
    write_file(path, bytes);
    io::open(kUnit, path);
  }
  void TearDown() override { io::close(kUnit); }

  // The exit status and the diagnostic of a read that must fail.
  void expect_failure(const std::string& bytes, const std::function<void()>& reads, int number,
                      const std::string& text) {
    SCOPED_TRACE(testing::PrintToString(bytes));
    write_file(path, bytes);
    const auto r = run_io([&] {
      io::open(kUnit, path);
      reads();
    });
    EXPECT_EQ(r.status, number);
    EXPECT_EQ(r.err, severe_line(number, text, kUnit, path));
  }
};

template <std::size_t N>
std::string padded(const std::string& s) {
  return s + std::string(N - s.size(), ' ');
}

TEST_F(Reader, TwoRealsFromOneOrSeveralRecords) {
  const char* layouts[] = {
      "  1.5 , 2.5E3\r\n",
      "1.5\n2.5e3\n",
      "1.5\r\n\r\n2.5E+3\r\n",
      "\n\t \n  1.5\n \t\n\n2.5d3",
      "1.5\t2500",
      "1.5,2.5E3,",
  };
  for (const char* bytes : layouts) {
    open_with(bytes);
    double a = kUnset, b = kUnset;
    io::read(kUnit, {a, b});
    EXPECT_EQ(a, 1.5) << testing::PrintToString(bytes);
    EXPECT_EQ(b, 2500.0) << testing::PrintToString(bytes);
  }
}

TEST_F(Reader, NullValuesSlashesAndRepeats) {
  struct Case {
    const char* bytes;
    std::vector<std::int32_t> expected;  // the integers read; kUnsetInt where unchanged
  };
  const Case cases[] = {
      {"7,\n", {7}},
      {",8\n", {kUnsetInt, 8}},
      {"3/ 4 5\n", {3, kUnsetInt, kUnsetInt}},
      {"/ 4 5\n", {kUnsetInt, kUnsetInt, kUnsetInt}},
      {"1,,3\n", {1, kUnsetInt, 3}},
      {"1 , , 3\n", {1, kUnsetInt, 3}},
      {" , ,3\n", {kUnsetInt, kUnsetInt, 3}},
      {"1 ,2 , 3\n", {1, 2, 3}},
      {"1\n/ 5\n", {1, kUnsetInt, kUnsetInt}},
      {"3*9\n", {9, 9, 9}},
      {"2*9 4\n", {9, 9, 4}},
      {"2* 4\n", {kUnsetInt, kUnsetInt, 4}},
      {"1 2*\n", {1, kUnsetInt, kUnsetInt}},
      {"2*,4\n", {kUnsetInt, kUnsetInt, 4}},
      {"2*/ 4\n", {kUnsetInt, kUnsetInt, kUnsetInt}},
      {"9*2\n", {2, 2, 2}},
      {"1*3,2*2.9\n", {3, 2, 2}},
      // A record end is a blank: a comma that follows it is the previous value's separator.
      {"1\n,2\n", {1, 2}},
      {"1\n\n  , 2\n", {1, 2}},
      {"1\n,,3\n", {1, kUnsetInt, 3}},
      {"1,\n,3\n", {1, kUnsetInt, 3}},
      {"2*5\n,6\n", {5, 5, 6}},
  };
  for (const auto& c : cases) {
    open_with(std::string(c.bytes) + "100 200 300\n");
    std::int32_t v[3] = {kUnsetInt, kUnsetInt, kUnsetInt};
    if (c.expected.size() == 1) io::read(kUnit, {v[0]});
    if (c.expected.size() == 2) io::read(kUnit, {v[0], v[1]});
    if (c.expected.size() == 3) io::read(kUnit, {v[0], v[1], v[2]});
    EXPECT_EQ(std::vector<std::int32_t>(v, v + c.expected.size()), c.expected) << testing::PrintToString(c.bytes);
    // Whatever is left of the record is skipped; a repeat does not carry over.
    io::read(kUnit, {v[0], v[1], v[2]});
    EXPECT_EQ(std::vector<std::int32_t>(v, v + 3), (std::vector<std::int32_t>{100, 200, 300}))
        << testing::PrintToString(c.bytes);
  }
}

TEST_F(Reader, Texts) {
  struct Case {
    const char* bytes;
    const char* expected;  // the value before padding
  };
  const Case cases[] = {
      {"  'meu caso 1'  resto\n", "meu caso 1"},
      {"meu caso 1\n", "meu"},
      {"'it''s'\n", "it's"},
      {"\"a\"\"b\"\n", "a\"b"},
      {"'a\"b'\n", "a\"b"},
      {"\"it's\"\n", "it's"},
      {"'a,b/c d'\n", "a,b/c d"},
      {"''\n", ""},
      {"'  lead'\n", "  lead"},
      {"'abc\ndef'\n", "abcdef"},
      {"'abc\r\ndef'\r\n", "abcdef"},
      {"'ab\n\ncd'\n", "abcd"},
      {"'x'/\n", "x"},
      {"\n   \n\t\n  name\n", "name"},
      {"C:\\dados\\motor_1.txt\n", "C:\\dados\\motor_1.txt"},
      {"dados/motor.txt\n", "dados"},
      {"a,b\n", "a"},
      {"a\tb\n", "a"},
      {"name\r\n", "name"},
      {"ab\rcd\n", "ab\rcd"},
      {"last", "last"},
      {"2*abc\n", "abc"},
      {"2*'a b'\n", "a b"},
      {"12abc\n", "12abc"},
      {"\xE1gua\n", "\xE1gua"},
  };
  for (const auto& c : cases) {
    open_with(c.bytes);
    io::TextField<90> t;
    t.assign("previous");
    io::read(kUnit, {t});
    EXPECT_EQ(std::string(t.view()), padded<90>(c.expected)) << testing::PrintToString(c.bytes);
  }
}

TEST_F(Reader, TextLengthsTruncateAndPad) {
  const std::string sixty = "abcdefghij0123456789ABCDEFGHIJabcdefghij0123456789ABCDEFGHIJ";
  open_with(sixty + "\n'" + sixty + sixty + "'\n" + "2*'x'\n");
  io::TextField<50> t50;
  io::TextField<90> t90;
  io::read(kUnit, {t50});
  EXPECT_EQ(std::string(t50.view()), sixty.substr(0, 50));
  io::read(kUnit, {t90});
  EXPECT_EQ(std::string(t90.view()), (sixty + sixty).substr(0, 90));
  io::read(kUnit, {t50, t90});
  EXPECT_EQ(std::string(t50.view()), padded<50>("x"));
  EXPECT_EQ(std::string(t90.view()), padded<90>("x"));
}

TEST_F(Reader, MixedKindsInOneRead) {
  open_with("'caso 7' 12 3.5 nome\n");
  io::TextField<90> caso;
  std::int32_t n = 0;
  double x = 0.0;
  io::TextField<50> nome;
  io::read(kUnit, {caso, n, x, nome});
  EXPECT_EQ(caso.trim(), "caso 7");
  EXPECT_EQ(n, 12);
  EXPECT_EQ(x, 3.5);
  EXPECT_EQ(nome.trim(), "nome");
}

TEST(RealConversion, AcceptedForms) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* text;
    double value;
  };
  const Case cases[] = {
      {"1.5", 1.5},
      {"-1.5", -1.5},
      {"+1.5", 1.5},
      {"1.", 1.0},
      {".5", 0.5},
      {"-.5", -0.5},
      {"7", 7.0},
      {"1e3", 1000.0},
      {"1E3", 1000.0},
      {"1d3", 1000.0},
      {"1D-3", 0.001},
      {"1q2", 100.0},
      {"1Q+2", 100.0},
      {"-2.5E3", -2500.0},
      {".5e1", 5.0},
      {"5.e-1", 0.5},
      {"+.25D+01", 2.5},
      {"0.1", 0.1},
      {"0.3", 0.3},
      {"123456789012345678901234567890", 1.2345678901234568e29},
      {"0.000000000000000000000000000001234", 1.234e-30},
      {"1.7976931348623157e308", std::numeric_limits<double>::max()},
      {"1.7976931348623159e308", inf},
      {"1.0e400", inf},
      {"-1D400", -inf},
      {"1e99999999999999999999", inf},
      {"0.0001e310", 1e306},
      {"4.9406564584124654e-324", std::numeric_limits<double>::denorm_min()},
      {"2.4703282292062328e-324", std::numeric_limits<double>::denorm_min()},
      {"2.4703282292062327e-324", 0.0},
      {"1e-400", 0.0},
      {"2.2250738585072014E-308", std::numeric_limits<double>::min()},
      {"0e999999", 0.0},
      {"0.000", 0.0},
      {"000000000000000000000000000000000000000000001.25", 1.25},
  };
  for (const auto& c : cases) {
    double v = kUnset;
    const std::string s = c.text;
    EXPECT_EQ(io::convert_real(s.data(), s.data() + s.size(), v), 0) << c.text;
    EXPECT_EQ(v, c.value) << c.text;
  }
  // Signs of zero, and of values too small to be represented, are kept.
  for (const char* text : {"-0", "-0.0e5", "-1e-400", "-.0"}) {
    double v = kUnset;
    const std::string s = text;
    EXPECT_EQ(io::convert_real(s.data(), s.data() + s.size(), v), 0) << text;
    EXPECT_TRUE(v == 0.0 && std::signbit(v)) << text << " gives " << v;
  }
}

TEST(RealConversion, MalformedTextsAreSyntaxErrors) {
  for (const char* text : {"1.2.3", "-", "+", ".", "-.", "e5", "E+5", ".e5", "1e", "1e+", "1E-", "1.5x", "1ee5",
                           "1e5.0", "1e5e5", "++1", "+-1", "0x10", "inf", "nan", "Infinity", "1+5", "1.0-3",
                           "abc", "1,5", "1 5", "'1.5'", "1.5f", "1e5d", "d5", "1_000"}) {
    double v = kUnset;
    const std::string s = text;
    EXPECT_EQ(io::convert_real(s.data(), s.data() + s.size(), v), io::kSyntaxError) << text;
    EXPECT_EQ(v, kUnset) << text;
  }
}

TEST(IntegerConversion, DigitsRealsAndRange) {
  struct Case {
    const char* text;
    int message;
    std::int32_t value;
  };
  const Case cases[] = {
      {"0", 0, 0},
      {"42", 0, 42},
      {"+12", 0, 12},
      {"-12", 0, -12},
      {"007", 0, 7},
      {"2147483647", 0, 2147483647},
      {"-2147483648", 0, std::numeric_limits<std::int32_t>::min()},
      {"0000000000000000000000000000123", 0, 123},
      {"2.9", 0, 2},
      {"-2.9", 0, -2},
      {"1e3", 0, 1000},
      {"1D3", 0, 1000},
      {".5", 0, 0},
      {"-.5", 0, 0},
      {"2147483647.9", 0, 2147483647},
      {"-2147483648.9", 0, std::numeric_limits<std::int32_t>::min()},
      {"2147483648", io::kInputConversion, kUnsetInt},
      {"-2147483649", io::kInputConversion, kUnsetInt},
      {"99999999999", io::kInputConversion, kUnsetInt},
      {"2147483648.0", io::kInputConversion, kUnsetInt},
      {"1e10", io::kInputConversion, kUnsetInt},
      {"-1e400", io::kInputConversion, kUnsetInt},
      {"abc", io::kSyntaxError, kUnsetInt},
      {"1a", io::kSyntaxError, kUnsetInt},
      {"-", io::kSyntaxError, kUnsetInt},
      {"+", io::kSyntaxError, kUnsetInt},
      {"1.2.3", io::kSyntaxError, kUnsetInt},
      {"--1", io::kSyntaxError, kUnsetInt},
      {"1-", io::kSyntaxError, kUnsetInt},
  };
  for (const auto& c : cases) {
    std::int32_t v = kUnsetInt;
    const std::string s = c.text;
    EXPECT_EQ(io::convert_integer(s.data(), s.data() + s.size(), v), c.message) << c.text;
    EXPECT_EQ(v, c.value) << c.text;
  }
}

TEST_F(Reader, RecordsEndAtLineFeeds) {
  // An empty item list consumes exactly one record, whatever it holds.
  open_with("a b c\r\n\r\n'unterminated\nsecond\r\nx 1\n2");
  io::TextField<50> t;
  io::read(kUnit, {});
  io::read(kUnit, {});
  io::read(kUnit, {});
  io::read(kUnit, {t});
  EXPECT_EQ(t.trim(), "second");
  // One value is taken from "x 1"; the rest of the record is skipped.
  io::read(kUnit, {t});
  EXPECT_EQ(t.trim(), "x");
  // The last record has no line feed and is still read.
  std::int32_t n = 0;
  io::read(kUnit, {n});
  EXPECT_EQ(n, 2);
}

TEST_F(Reader, EndOfFileAndMalformedValuesEndTheRun) {
  const std::string eof = "end-of-file during read";
  const std::string syntax = "list-directed I/O syntax error";
  const std::string conversion = "input conversion error";
  auto ints = [](int count) {
    return [count] {
      std::int32_t a = 0, b = 0;
      if (count == 1) io::read(kUnit, {a});
      if (count == 2) io::read(kUnit, {a, b});
    };
  };
  auto real = [] {
    double x = 0.0;
    io::read(kUnit, {x});
  };
  auto text = [] {
    io::TextField<90> t;
    io::read(kUnit, {t});
  };
  auto skip = [] { io::read(kUnit, {}); };
  auto skip_twice = [] {
    io::read(kUnit, {});
    io::read(kUnit, {});
  };

  expect_failure("", real, io::kEndOfFile, eof);
  expect_failure("", skip, io::kEndOfFile, eof);
  expect_failure("only\n", skip_twice, io::kEndOfFile, eof);
  expect_failure("only", skip_twice, io::kEndOfFile, eof);
  expect_failure("1\n", ints(2), io::kEndOfFile, eof);
  expect_failure("1\n\n   \n", ints(2), io::kEndOfFile, eof);
  expect_failure("   \r\n\r\n", text, io::kEndOfFile, eof);
  expect_failure("'never closed\n", text, io::kEndOfFile, eof);
  expect_failure("1.2.3\n", real, io::kSyntaxError, syntax);
  expect_failure("-\n", real, io::kSyntaxError, syntax);
  expect_failure("'1.5'\n", real, io::kSyntaxError, syntax);
  expect_failure("abc\n", ints(1), io::kSyntaxError, syntax);
  expect_failure("1 x\n", ints(2), io::kSyntaxError, syntax);
  expect_failure("99999999999\n", ints(1), io::kInputConversion, conversion);
  expect_failure("5 -2147483649\n", ints(2), io::kInputConversion, conversion);
}

// Records far larger than the window the reader holds at once, and line ends that fall
// on its boundaries.
TEST_F(Reader, RecordsLargerThanTheInputWindow) {
  const std::size_t big = 700 * 1024;
  std::string bytes;
  bytes += std::string(big, ' ') + "42" + std::string(big, ' ') + "43\r\n";  // values far apart
  bytes += std::string(big, 'k') + "\r\n";                                   // one huge unquoted text
  bytes += std::string("'").append(big, 'q').append("'\n");                 // one huge quoted text
  bytes += std::string(big, 'z') + " 1\n";                                   // a huge record skipped
  bytes += "'ab" + std::string(big, ' ') + "\r\ncd'\n";                      // a quoted text over a long record
  bytes += "7\n";
  open_with(bytes);
  std::int32_t a = 0, b = 0;
  io::read(kUnit, {a, b});
  EXPECT_EQ(a, 42);
  EXPECT_EQ(b, 43);
  io::TextField<50> t;
  io::read(kUnit, {t});
  EXPECT_EQ(std::string(t.view()), std::string(50, 'k'));
  io::read(kUnit, {t});
  EXPECT_EQ(std::string(t.view()), std::string(50, 'q'));
  io::read(kUnit, {});
  io::read(kUnit, {t});
  EXPECT_EQ(std::string(t.view()), "ab" + std::string(48, ' '));
  io::read(kUnit, {a});
  EXPECT_EQ(a, 7);
}

TEST_F(Reader, LineEndsOnWindowBoundaries) {
  // For offsets around several powers of two, a record whose CR or LF falls on the
  // boundary, followed by a second record.
  for (std::size_t power : {std::size_t{1} << 16, std::size_t{1} << 17, std::size_t{1} << 18, std::size_t{1} << 19,
                            std::size_t{1} << 20}) {
    for (std::size_t cr_at = power - 3; cr_at <= power + 2; ++cr_at) {
      std::string bytes(cr_at - 3, ' ');
      bytes += "abc\r\n";
      bytes += "1.25\r\n";
      open_with(bytes);
      io::TextField<50> t;
      double x = 0.0;
      io::read(kUnit, {t});
      io::read(kUnit, {x});
      EXPECT_EQ(std::string(t.view()), padded<50>("abc")) << "CR at " << cr_at;
      EXPECT_EQ(x, 1.25) << "CR at " << cr_at;
    }
  }
}

TEST_F(Reader, ValuesStraddlingWindowBoundaries) {
  // The same record shifted one byte at a time across several powers of two, so that a
  // repeat count, a quoted text with a doubled delimiter, a real and the CR LF each in
  // turn straddle the point where the reader has to fetch more of the file.
  const std::string record = "2*'a''b' 12345.5e-1,\t-7\r\n";
  for (std::size_t power : {std::size_t{1} << 16, std::size_t{1} << 17, std::size_t{1} << 18, std::size_t{1} << 19}) {
    for (std::size_t start = power - record.size(); start <= power + 1; ++start) {
      open_with(std::string(start, ' ') + record + "next\n");
      io::TextField<50> t1, t2;
      double x = 0.0;
      std::int32_t n = 0;
      io::read(kUnit, {t1, t2, x, n});
      ASSERT_EQ(t1.trim(), "a'b") << "start " << start;
      ASSERT_EQ(t2.trim(), "a'b") << "start " << start;
      ASSERT_EQ(x, 1234.55) << "start " << start;
      ASSERT_EQ(n, -7) << "start " << start;
      io::read(kUnit, {t1});
      ASSERT_EQ(std::string(t1.view()), padded<50>("next")) << "start " << start;
    }
  }
}

TEST_F(Reader, ManyRecordsInSequence) {
  std::string bytes;
  const int n = 200000;
  for (int i = 0; i < n; ++i) bytes += std::to_string(i) + "  " + std::to_string(i) + ".5e-1\r\n";
  open_with(bytes);
  for (int i = 0; i < n; ++i) {
    double t = 0.0, f = 0.0;
    io::read(kUnit, {t, f});
    if (t != i || f != (i + 0.5) / 10.0) {
      ADD_FAILURE() << "record " << i << ": " << t << " " << f;
      break;
    }
  }
  expect_failure(bytes, [] {
    for (int i = 0; i <= n; ++i) {
      double t = 0.0, f = 0.0;
      io::read(kUnit, {t, f});
    }
  }, io::kEndOfFile, "end-of-file during read");
}

}  // namespace
