// The JSON reader of the companions' records: the values a record holds, read exactly,
// and texts that are not one JSON value, refused with where they go wrong.
#include <gtest/gtest.h>

#include <string>

#include "companion/json.h"

namespace kv::companion {
namespace {

TEST(Json, ReadsTheValuesARecordHolds) {
  const auto j = parse_json(R"({"a": 0.1, "b": [1, -2.5e-3, true, false, null], "c": {"d": "x\"\\\n\u00e9"}, "e": []})");
  ASSERT_TRUE(j);
  EXPECT_EQ(j->object.size(), 4u);
  EXPECT_EQ((*j)["a"].number, 0.1);
  EXPECT_EQ((*j)["b"].array.size(), 5u);
  EXPECT_EQ((*j)["b"].array[1].number, -2.5e-3);
  EXPECT_TRUE((*j)["b"].array[2].boolean);
  EXPECT_EQ((*j)["b"].array[4].kind, JsonValue::Kind::Null);
  EXPECT_EQ((*j)["c"]["d"].string, "x\"\\\n\xC3\xA9");
  EXPECT_EQ((*j)["missing"]["deeper"].kind, JsonValue::Kind::Null);
  EXPECT_FALSE((*j)["c"].as_number());
}

TEST(Json, RefusesWhatIsNotOneValue) {
  for (const char* text : {"", "{", "{\"a\" 1}", "{\"a\": 1,}", "[1 2]", "\"open", "1e999", "{\"a\": 1} x", "tru",
                           "[\"a\x01\"]", "{1: 2}"}) {
    std::string why;
    EXPECT_FALSE(parse_json(text, &why)) << text;
    EXPECT_NE(why.find("at byte"), std::string::npos) << text;
  }
  std::string deep(100, '[');
  EXPECT_FALSE(parse_json(deep + std::string(100, ']')));
}

}  // namespace
}  // namespace kv::companion
