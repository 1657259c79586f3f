// Reading loggers' files: the layout found from the first lines (or refused where it
// is ambiguous), the lines of any line-end style, and the errors that name the line.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "companion/errors.h"
#include "prepare/logger_format.h"
#include "prepare/text_lines.h"
#include "prepare_support.h"

namespace kv::prepare {
namespace {

std::vector<SampleLine> numbered(const std::vector<std::string>& lines) {
  std::vector<SampleLine> out;
  for (std::size_t i = 0; i < lines.size(); ++i) out.push_back({static_cast<std::int64_t>(i + 1), lines[i]});
  return out;
}

struct LayoutCase {
  const char* name;
  std::vector<std::string> lines;
  LayoutRequest request;
  Delimiter delimiter;
  bool decimal_comma;
  int time_col, thrust_col;
  std::vector<std::string> header;
};
void PrintTo(const LayoutCase& c, std::ostream* os) { *os << c.name; }

LayoutRequest with_rate() {
  LayoutRequest r;
  r.rate_given = true;
  return r;
}
LayoutRequest columns(const char* t, const char* f) {
  LayoutRequest r;
  r.time_col = t;
  r.thrust_col = f;
  return r;
}

class PrepareLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(PrepareLayout, IsFoundFromTheFirstLines) {
  const LayoutCase& c = GetParam();
  const Layout lay = detect_layout(numbered(c.lines), c.request, "f");
  EXPECT_EQ(lay.delimiter, c.delimiter);
  EXPECT_EQ(lay.decimal_comma, c.decimal_comma);
  EXPECT_EQ(lay.time_col, c.time_col);
  EXPECT_EQ(lay.thrust_col, c.thrust_col);
  EXPECT_EQ(lay.header, c.header);
  // Every line of numbers reads with the layout found.
  std::vector<std::string_view> fields;
  double v = 0;
  split_fields(c.lines.back(), lay.delimiter, fields);
  ASSERT_GT(fields.size(), static_cast<std::size_t>(lay.thrust_col));
  EXPECT_TRUE(parse_number(fields[static_cast<std::size_t>(lay.thrust_col)], lay.decimal_comma, v));
}

INSTANTIATE_TEST_SUITE_P(
    Files, PrepareLayout,
    ::testing::Values(
        LayoutCase{"CommaPoint", {"0.000,1.5", "0.001,1.6"}, {}, Delimiter::Comma, false, 0, 1, {}},
        LayoutCase{"SemicolonComma", {"0,000;1,5", "0,001;1,6"}, {}, Delimiter::Semicolon, true, 0, 1, {}},
        LayoutCase{"TabComma", {"0,000\t1,5", "0,001\t1,6"}, {}, Delimiter::Tab, true, 0, 1, {}},
        LayoutCase{"BlanksComma", {"0,000  1,5", "0,001  1,6"}, {}, Delimiter::Blanks, true, 0, 1, {}},
        LayoutCase{"QuotedComma", {"\"0,000\",\"1,5\"", "\"0,001\",\"1,6\""}, {}, Delimiter::Comma, true, 0, 1, {}},
        LayoutCase{"BlanksPoint", {"  0.000   1.5", "  0.001   1.6"}, {}, Delimiter::Blanks, false, 0, 1, {}},
        LayoutCase{"TabHeader", {"millis\traw\tload", "12\t8400123\t0.5", "22\t8400456\t0.6"}, {}, Delimiter::Tab,
                   false, 0, 1, {"millis", "raw", "load"}},
        LayoutCase{"HeaderNames", {"millis\traw\tload", "12\t8400123\t0.5"}, columns("MILLIS", "load"),
                   Delimiter::Tab, false, 0, 2, {"millis", "raw", "load"}},
        LayoutCase{"TagAndBanner", {"STARTING NEW RUN", "d,123.4,5678", "d,125.0,5690"}, {}, Delimiter::Comma, false, 1,
                   2, {}},
        LayoutCase{"TagColumnsGiven", {"STARTING NEW RUN", "d,123.4,5678"}, columns("3", "2"), Delimiter::Comma,
                   false, 2, 1, {}},
        LayoutCase{"ThrustAlone", {"-0.8012", "-0.7998"}, with_rate(), Delimiter::Blanks, false, -1, 0, {}},
        LayoutCase{"SemicolonHeaderQuoted", {"\"timestamp\";\"force_N\"", "\"1712345678.123\";\"0.3\""}, {},
                   Delimiter::Semicolon, false, 0, 1, {"timestamp", "force_N"}}),
    [](const auto& p) { return std::string(p.param.name); });

struct RefusalCase {
  const char* name;
  std::vector<std::string> lines;
  LayoutRequest request;
  std::string says;
};
void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class PrepareLayoutRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(PrepareLayoutRefusal, SaysWhichOptionDecides) {
  const RefusalCase& c = GetParam();
  try {
    detect_layout(numbered(c.lines), c.request, "log.csv");
    FAIL() << "no refusal";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, PrepareLayoutRefusal,
    ::testing::Values(
        RefusalCase{"CommasEitherWay", {"0,031,12,5", "0,032,13"}, {}, "Give --delimiter comma if they separate values"},
        RefusalCase{"PointsAndCommas", {"0.5;1,5", "0.6;1,6"}, {}, "give --decimal-comma if the commas mark decimals"},
        RefusalCase{"ThrustAloneWithoutRate", {"12.5", "12.6"}, {}, "needs --rate HZ"},
        RefusalCase{"NameNotInHeader", {"millis\traw\tload", "12\t34\t0.5"}, columns("time", ""),
                    "no column of that name in the header (line 1: millis, raw, load)"},
        RefusalCase{"NameWithoutHeader", {"12\t34\t0.5"}, columns("time", ""), "no header line"},
        RefusalCase{"ColumnBeyondTheLine", {"0.1,2.0", "0.2,2.1"}, columns("1", "3"),
                    "column 3 asked for, but line 1 '0.1,2.0' has 2 fields"},
        RefusalCase{"NoNumbers", {"Time,Thrust", "STARTING NEW RUN"}, {}, "no number"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(PrepareLines, EveryLineEndStyleGivesTheSameLines) {
  test::TempDir d("kv_lines_");
  const std::vector<std::string> expected = {"a", "", "b c", "d"};
  for (const std::string text : {"a\n\nb c\nd\n", "a\r\n\r\nb c\r\nd", "a\r\rb c\rd\r", "\xEF\xBB\xBF" "a\n\nb c\nd"}) {
    d.put("f.txt", text);
    TextLines lines(d.dir() / "f.txt");
    std::vector<std::string> got;
    std::string_view l;
    while (lines.next(l)) got.emplace_back(l);
    EXPECT_EQ(got, expected) << test::fixed(static_cast<double>(text.size()), 0);
  }
}

TEST(PrepareLines, SeekingToALineStartsThereWithItsNumber) {
  test::TempDir d("kv_lines_");
  std::string text;
  for (int i = 1; i <= 300000; ++i) text += std::to_string(i) + "\r\n";  // more than one read block
  d.put("f.txt", text);
  TextLines lines(d.dir() / "f.txt");
  std::string_view l;
  std::uint64_t offset = 0;
  while (lines.next(l))
    if (lines.number() == 250000) offset = lines.offset();
  lines.seek(offset, 249999);
  ASSERT_TRUE(lines.next(l));
  EXPECT_EQ(l, "250000");
  EXPECT_EQ(lines.number(), 250000);
}

TEST(PrepareNumbers, DecimalMarkIsTheOneAskedFor) {
  double v = 0;
  EXPECT_TRUE(parse_number("0,031", true, v));
  EXPECT_EQ(v, 0.031);
  EXPECT_FALSE(parse_number("0.031", true, v));
  EXPECT_TRUE(parse_number("+1.5e3", false, v));
  EXPECT_EQ(v, 1500.0);
  for (const char* bad : {"", "-", "inf", "nan", "1.5x", "0x10", "1,5"}) EXPECT_FALSE(parse_number(bad, false, v)) << bad;
}

}  // namespace
}  // namespace kv::prepare
