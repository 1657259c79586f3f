// The one rule for a number typed on a companion's command line, and the texts in which
// the companions show numbers, file lines and the program's Windows-1252 texts.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "companion/number_text.h"

namespace kv::companion {
namespace {

TEST(UserNumber, ADecimalPointOrADecimalCommaNeverBoth) {
  struct Row {
    const char* text;
    std::optional<double> value;
  };
  const Row rows[] = {
      {"24", 24.0},       {"+24", 24.0},     {"-0.5", -0.5},      {"0.028", 0.028},   {"0,028", 0.028},
      {",5", 0.5},        {"1e-3", 1e-3},    {"1,5E2", 150.0},    {"2.", 2.0},        {"", std::nullopt},
      {"+", std::nullopt}, {"+-1", std::nullopt}, {"1.000,5", std::nullopt}, {"1,000.5", std::nullopt},
      {"1,2,3", std::nullopt}, {" 1", std::nullopt}, {"1 ", std::nullopt}, {"1kg", std::nullopt},
      {"inf", std::nullopt}, {"nan", std::nullopt}, {"1e999", std::nullopt}, {"0x10", std::nullopt},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.text);
    const std::optional<double> v = user_number(r.text);
    ASSERT_EQ(v.has_value(), r.value.has_value());
    if (v) {
      EXPECT_EQ(*v, *r.value);
    }
  }
}

TEST(NumberText, EachFormOnTheValuesThatTellThemApart) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  struct Row {
    double v;
    const char* shortest;
    const char* shortest_fixed;
    const char* fixed3;
    const char* significant4;
    const char* json;
  };
  const Row rows[] = {
      {18.97574, "18.97574", "18.97574", "18.976", "18.98", "18.97574"},
      {0.00001, "1e-05", "0.00001", "0.000", "1e-05", "1e-05"},
      {-0.0, "-0", "0", "0.000", "0", "0"},
      {-0.0004, "-4e-04", "-0.0004", "0.000", "-0.0004", "-4e-04"},
      {1.6, "1.6", "1.6", "1.600", "1.6", "1.6"},
      {kInf, "inf", "inf", "inf", "inf", "null"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.shortest);
    EXPECT_EQ(shortest(r.v), r.shortest);
    EXPECT_EQ(shortest_fixed(r.v), r.shortest_fixed);
    EXPECT_EQ(fixed(r.v, 3), r.fixed3);
    EXPECT_EQ(significant(r.v, 4), r.significant4);
    EXPECT_EQ(json_number(r.v), r.json);
  }
  EXPECT_EQ(percent(0.005, 3), "0.5 %");
  EXPECT_EQ(signed_percent(0.0357), "+3.57 %");
  EXPECT_EQ(signed_percent(-0.0005), "-0.05 %");
  EXPECT_EQ(signed_percent(-0.00001), "+0.00 %");  // no sign on a zero
  EXPECT_EQ(signed_percent(std::nan("")), "-");
  EXPECT_EQ(fixed_trimmed(1.23456, 3), "1.235");
  EXPECT_EQ(fixed_trimmed(-0.0001, 3), "0");
  EXPECT_EQ(json_string("a \"b\"\\\n"), "\"a \\\"b\\\"\\\\\\u000a\"");
}

TEST(NumberText, FileLinesAndTheProgramsTexts) {
  EXPECT_EQ(quoted_excerpt("1.5\t2.0", 60), "'1.5 2.0'");
  EXPECT_EQ(quoted_excerpt(std::string(70, 'x'), 60), "'" + std::string(57, 'x') + "...'");
  EXPECT_EQ(utf8_from_cp1252("est\xE1tico \x96 1\x81"), "estático – 1\xEF\xBF\xBD");
  EXPECT_EQ(cp1252_from_utf8("estático – 1"), std::optional<std::string>("est\xE1tico \x96 1"));
  EXPECT_EQ(cp1252_from_utf8("日本"), std::nullopt);
  EXPECT_EQ(cp1252_from_utf8("\xC3"), std::nullopt);  // cut short
  EXPECT_EQ(cp1252_from_utf8_or_marks("a日b"), "a?b");
}

}  // namespace
}  // namespace kv::companion
