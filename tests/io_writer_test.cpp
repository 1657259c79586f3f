// The formatted record writer: field rendering (Iw, Fw.d, 1P Ew.d), record building
// from layouts, record ends, and what a file holds after it has been written.
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "io/cp1252.h"
#include "io/diagnostics.h"
#include "io/edit_descriptors.h"
#include "io/files.h"
#include "io/layout.h"
#include "io/list_directed.h"
#include "io/record_writer.h"
#include "io_test_support.h"

using namespace kv;
using namespace kv::iotest;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct FieldCase {
  double value;
  int w;
  int d;
  const char* expected;
};

std::string render_F(double v, int w, int d, bool* ok = nullptr) {
  std::string s(static_cast<std::size_t>(w), '?');
  const bool r = io::edit_F(s.data(), v, w, d);
  if (ok) *ok = r;
  return s;
}

std::string render_E(double v, int w, int d, bool* ok = nullptr) {
  std::string s(static_cast<std::size_t>(w), '?');
  const bool r = io::edit_E(s.data(), v, w, d);
  if (ok) *ok = r;
  return s;
}

std::string render_I(std::int32_t v, int w, bool* ok = nullptr) {
  std::string s(static_cast<std::size_t>(w), '?');
  const bool r = io::edit_I(s.data(), v, w);
  if (ok) *ok = r;
  return s;
}

TEST(FixedField, RendersRoundsAndOverflows) {
  const FieldCase cases[] = {
      {0.001, 12, 7, "   0.0010000"},
      {-1.5, 12, 7, "  -1.5000000"},
      {999.99999996, 12, 7, "1000.0000000"},
      {-999.9999999, 12, 7, "-999.9999999"},
      {9999.99999994, 12, 7, "9999.9999999"},
      {0.0, 12, 7, "   0.0000000"},
      // No "-" when every rounded digit is zero.
      {-0.0, 12, 7, "   0.0000000"},
      {-0.00000004, 12, 7, "   0.0000000"},
      {-0.00000006, 12, 7, "  -0.0000001"},
      {-std::numeric_limits<double>::denorm_min(), 12, 7, "   0.0000000"},
      // Exact binary ties (odd multiples of 1/256) go to the even last digit.
      {1.0 / 256, 12, 7, "   0.0039062"},
      {3.0 / 256, 12, 7, "   0.0117188"},
      {-1.0 / 256, 12, 7, "  -0.0039062"},
      {-5.0 / 256, 12, 7, "  -0.0195312"},
      {1234.0 + 7.0 / 256, 12, 7, "1234.0273438"},
      // 0.00000005 is not a tie: its binary value lies just below the half.
      {0.00000005, 12, 7, "   0.0000000"},
      {-0.00000005, 12, 7, "   0.0000000"},
      {0.00000015, 12, 7, "   0.0000001"},
      // The optional "0" before the point.
      {0.5, 9, 7, "0.5000000"},
      {0.5, 8, 7, ".5000000"},
      {-0.5, 10, 7, "-0.5000000"},
      {-0.5, 9, 7, "-.5000000"},
      {-0.06, 3, 1, "-.1"},
      {-0.04, 3, 1, "0.0"},
      {-0.04, 2, 1, ".0"},
      {0.06, 2, 1, ".1"},
      // Not numbers: one blank, the word, blanks to the end.
      {kInf, 12, 7, " Infinity   "},
      {-kInf, 12, 7, " -Infinity  "},
      {kNaN, 12, 7, " NaN        "},
      {-kNaN, 12, 7, " NaN        "},
  };
  for (const auto& c : cases) {
    bool ok = false;
    EXPECT_EQ(render_F(c.value, c.w, c.d, &ok), c.expected) << "F" << c.w << "." << c.d << " of " << c.value;
    EXPECT_TRUE(ok) << c.value;
  }
  // F with no digits after the point still writes the point; 2.5 rounds to even.
  EXPECT_EQ(render_F(2.5, 4, 0), "  2.");
  EXPECT_EQ(render_F(3.5, 4, 0), "  4.");
  EXPECT_EQ(render_F(-0.4, 4, 0), "  0.");
}

TEST(FixedField, TooWideValuesAreAsterisks) {
  const double too_wide[] = {12345.0, 10000.0, -1000.0, 9999.99999996, -999.99999996, 1e17, 1e18,
                             -1e300, std::numeric_limits<double>::max()};
  for (double v : too_wide) {
    bool ok = true;
    const std::string s = render_F(v, 12, 7, &ok);
    EXPECT_EQ(s, std::string(12, '*')) << v;
    EXPECT_FALSE(ok) << v;
  }
  bool ok = true;
  EXPECT_EQ(render_F(-0.5, 8, 7, &ok), "********");
  EXPECT_FALSE(ok);
  EXPECT_EQ(render_F(-0.06, 2, 1, &ok), "**");
  EXPECT_FALSE(ok);
}

TEST(ExponentField, RendersRoundsAndCarries) {
  const FieldCase cases[] = {
      {0.0, 15, 6, "   0.000000E+00"},
      {-0.0, 15, 6, "   0.000000E+00"},
      {1.0, 15, 6, "   1.000000E+00"},
      {-1.0, 15, 6, "  -1.000000E+00"},
      {123.45678, 15, 6, "   1.234568E+02"},
      {0.125, 15, 6, "   1.250000E-01"},
      // Exact ties go to the even digit.
      {12345665.0, 15, 6, "   1.234566E+07"},
      {12345675.0, 15, 6, "   1.234568E+07"},
      {-12345665.0, 15, 6, "  -1.234566E+07"},
      {123456785.0, 15, 7, "  1.2345678E+08"},
      {123456795.0, 15, 7, "  1.2345680E+08"},
      {1234566.5, 15, 6, "   1.234566E+06"},
      {1234567.5, 15, 6, "   1.234568E+06"},
      // The rounding carries into the exponent.
      {9.99999995, 15, 6, "   1.000000E+01"},
      {9.9999999, 15, 6, "   1.000000E+01"},
      {-0.00999999999, 15, 7, " -1.0000000E-02"},
      {9.999999999e99, 15, 6, "   1.000000+100"},
      {9.9999999999e-101, 15, 6, "   1.000000-100"},
      // Exponents of three digits drop the "E".
      {1.0e100, 15, 6, "   1.000000+100"},
      {1.0e99, 15, 6, "   1.000000E+99"},
      {1.0e-99, 15, 6, "   1.000000E-99"},
      {1.0e-100, 15, 6, "   1.000000-100"},
      {-2.5e-120, 15, 7, " -2.5000000-120"},
      {-0.0012345678, 15, 7, " -1.2345678E-03"},
      {std::numeric_limits<double>::max(), 15, 6, "   1.797693+308"},
      {-std::numeric_limits<double>::max(), 15, 7, " -1.7976931+308"},
      {std::numeric_limits<double>::denorm_min(), 15, 6, "   4.940656-324"},
      {std::numeric_limits<double>::min(), 15, 7, "  2.2250739-308"},
      {kInf, 15, 6, " Infinity      "},
      {-kInf, 15, 6, " -Infinity     "},
      {kNaN, 15, 6, " NaN           "},
      {-kNaN, 15, 7, " NaN           "},
  };
  for (const auto& c : cases) {
    bool ok = false;
    EXPECT_EQ(render_E(c.value, c.w, c.d, &ok), c.expected) << "1P,E" << c.w << "." << c.d << " of " << c.value;
    EXPECT_TRUE(ok) << c.value;
  }
  bool ok = true;
  EXPECT_EQ(render_E(-1.0, 12, 6, &ok), std::string(12, '*'));
  EXPECT_FALSE(ok);
  EXPECT_EQ(render_E(1.0, 12, 6, &ok), "1.000000E+00");
  EXPECT_TRUE(ok);
}

TEST(IntegerField, RendersAndOverflows) {
  struct Case {
    std::int32_t value;
    int w;
    const char* expected;
    bool fits;
  };
  const Case cases[] = {
      {-1234, 5, "-1234", true},
      {0, 6, "     0", true},
      {42, 5, "   42", true},
      {-9, 2, "-9", true},
      {99, 2, "99", true},
      {123, 2, "**", false},
      {-10, 2, "**", false},
      {std::numeric_limits<std::int32_t>::min(), 11, "-2147483648", true},
      {std::numeric_limits<std::int32_t>::min(), 8, "********", false},
      {std::numeric_limits<std::int32_t>::max(), 10, "2147483647", true},
  };
  for (const auto& c : cases) {
    bool ok = !c.fits;
    EXPECT_EQ(render_I(c.value, c.w, &ok), c.expected) << "I" << c.w << " of " << c.value;
    EXPECT_EQ(ok, c.fits) << c.value;
  }
}

// A unit opened on a scratch file; the file's bytes are read back after the close.
class RecordFile : public ::testing::Test {
 protected:
  static constexpr int kUnit = 10;
  ScratchDir dir;
  std::string path = dir / "out.txt";

  void SetUp() override { io::open(kUnit, path); }
  void TearDown() override { io::close(kUnit); }
  std::string bytes() {
    io::close(kUnit);
    return read_file(path);
  }
};

TEST_F(RecordFile, ValueItemWithNoValueLeftStopsTheRecord) {
  // Five values: the F field and four E fields, no blank after the last one.
  io::write(kUnit, io::layout<"(F12.7, 8(1P, E15.6))">, {1.0, 2.0, 3.0, 4.0, 5.0});
  const std::string first = "   1.0000000   2.000000E+00   3.000000E+00   4.000000E+00   5.000000E+00";
  ASSERT_EQ(first.size(), 72u);
  // Literals, "/" and positioning before the value item that finds no value are kept.
  io::write(kUnit, io::layout<R"(("a", I2, "b", /, "c", T5, I2, "d"))">, {std::int32_t{1}});
  // A first item that finds no value still writes an empty record.
  io::write(kUnit, io::layout<R"((I5, "x"))">);
  // With no value items, the whole layout.
  io::write(kUnit, io::layout<R"(("#", T4, "t [s]", T16, "F [N]", T31, "I [Ns]", T46, "fm [g/s]", T61, "M [g]"))">);
  // A group with "/" inside, run to the end of the layout: the last record is empty.
  io::write(kUnit, io::layout<R"((2("x", I2, /)))">, {std::int32_t{1}, std::int32_t{2}});
  EXPECT_EQ(bytes(), first + "\r\n" +
                         "a 1b\r\nc\r\n" +
                         "\r\n" +
                         "#  t [s]       F [N]          I [Ns]         fm [g/s]       M [g]\r\n" +
                         "x 1\r\nx 2\r\n\r\n");
}

TEST_F(RecordFile, SlashesPositioningAndText) {
  io::write(kUnit, io::layout<R"((/, /, "abc"))">);
  io::write(kUnit, io::layout<R"(("a", /, /, "b"))">);
  // T back over written columns replaces them; X and T at the end add no blanks.
  io::write(kUnit, io::layout<R"(("abcdef", T2, "XY"))">);
  io::write(kUnit, io::layout<R"(("ab", 3X))">);
  io::write(kUnit, io::layout<R"(("ab", 3X, "c", T20))">);
  io::write(kUnit, io::layout<R"((T3, "x", 1X, A, "|", A, "|"))">, {"", " k  "});
  EXPECT_EQ(bytes(), "\r\n\r\nabc\r\n"
                     "a\r\n\r\nb\r\n"
                     "aXYdef\r\n"
                     "ab\r\n"
                     "ab   c\r\n"
                     "  x | k  |\r\n");
}

TEST_F(RecordFile, LiteralsAreWindows1252Bytes) {
  io::write(kUnit, io::layout<R"(("é", T3, "ção", "€""ü"))">);
  io::write(kUnit, io::layout<"(A)">, {"Saída"_w});
  // Each character is one column: T7 lands right after the six characters.
  io::write(kUnit, io::layout<R"(("Média", T7, "x"))">);
  EXPECT_EQ(bytes(), std::string("\xE9 \xE7\xE3o\x80\"\xFC\r\n"
                                 "Sa\xED" "da\r\n"
                                 "M\xE9" "dia x\r\n"));
}

TEST_F(RecordFile, ListDirectedTextRecord) {
  io::write_list(kUnit, "Leu os dados principais");
  io::write_list(kUnit, "keeps trailing   ");
  io::write_list(kUnit, "");
  EXPECT_EQ(bytes(), " Leu os dados principais\r\n keeps trailing   \r\n \r\n");
}

TEST_F(RecordFile, OutputConversionErrorIsOneLineAfterTheWrite) {
  testing::internal::CaptureStderr();
  io::write(kUnit, io::layout<"(I2, F12.7, I2, /, I2)">,
            {std::int32_t{123}, 12345.0, std::int32_t{5}, std::int32_t{-10}});
  io::write(kUnit, io::layout<"(I2)">, {std::int32_t{-9}});
  io::stderr_flush();
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(bytes(), "************** 5\r\n**\r\n-9\r\n");
  EXPECT_EQ(err, "forrtl: error (63): output conversion error, unit 10, file " + path + "\n");
}

TEST(RecordFileRewrite, ExistingLongerFileIsCutAfterTheRecordsWritten) {
  ScratchDir dir;
  const std::string path = dir / "old.txt";
  write_file(path, std::string(5000, 'z') + "\r\nold tail\r\n");
  io::open(20, path);
  io::write(20, io::layout<R"(("new"))">);
  io::close(20);
  EXPECT_EQ(read_file(path), "new\r\n");

  // A file that was opened and closed without a write keeps its content.
  io::open(20, path);
  io::close(20);
  EXPECT_EQ(read_file(path), "new\r\n");
}

TEST(RecordFileRewrite, WritingAfterReadsStartsBehindTheLastRecordRead) {
  ScratchDir dir;
  const std::string path = dir / "script.gnu";
  write_file(path, "one\r\ntwo\nthree\r\nfour\r\n");
  io::open(18, path);
  io::read(18, {});
  io::read(18, {});
  io::write(18, io::layout<R"(("X"))">);
  io::close(18);
  EXPECT_EQ(read_file(path), "one\r\ntwo\nX\r\n");

  // A last record read without its line end: the written record starts a line of its own.
  write_file(path, "one\r\ntwo");
  io::open(18, path);
  io::read(18, {});
  io::read(18, {});
  io::write(18, io::layout<R"(("X"))">);
  io::close(18);
  EXPECT_EQ(read_file(path), "one\r\ntwo\r\nX\r\n");
}

TEST(RecordFileRewrite, OpeningAnOpenUnitAgainKeepsTheRecordsOfItsFirstFile) {
  ScratchDir dir;
  io::open(20, dir / "first.txt");
  io::write(20, io::layout<R"(("one"))">);
  io::open(20, dir / "second.txt");
  io::write(20, io::layout<R"(("two"))">);
  io::close(20);
  EXPECT_EQ(read_file(dir / "first.txt"), "one\r\n");
  EXPECT_EQ(read_file(dir / "second.txt"), "two\r\n");
}

TEST(RecordFileRewrite, LongRecordsAndManyRecordsArriveWhole) {
  ScratchDir dir;
  const std::string path = dir / "big.txt";
  io::open(80, path);
  const std::string big(3 * 1024 * 1024 + 17, 'q');
  io::write(80, io::layout<"(A, I5)">, {std::string_view(big), std::int32_t{7}});
  std::string expected = big + "    7\r\n";
  for (std::int32_t i = 0; i < 50000; ++i) {
    io::write(80, io::layout<"(I6, F12.7)">, {i, 0.5});
    expected += render_I(i, 6) + "   0.5000000\r\n";
  }
  io::close(80);
  EXPECT_EQ(read_file(path), expected);
}

}  // namespace
