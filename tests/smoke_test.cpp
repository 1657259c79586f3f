#include <gtest/gtest.h>

#include "io/cp1252.h"

using namespace kv;

TEST(Cp1252, LiteralsAreSingleBytes) {
  EXPECT_EQ("Saída"_w, std::string_view("Sa\xED" "da", 5));
}
