// Faults that the fuzz targets and the soak found, kept as tests.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "io/edit_descriptors.h"
#include "io/files.h"
#include "io/layout.h"
#include "io/record_writer.h"

namespace {

// 1P Ew.d of zero with more digits than the short path holds (it wrote past a
// ten-digit buffer): every width and digit count gives the zero digits, exactly w
// columns, and nothing beyond them.
TEST(FuzzRegression, ZeroInExponentFormWithManyDigits) {
  for (const double zero : {0.0, -0.0}) {
    for (int d = 0; d <= 40; ++d) {
      for (const int w : {d + 6, d + 10, 64}) {
        SCOPED_TRACE("d=" + std::to_string(d) + " w=" + std::to_string(w));
        char field[80];
        std::memset(field, '#', sizeof field);
        std::string want = "0." + std::string(static_cast<std::size_t>(d), '0') + "E+00";
        const bool fits = static_cast<int>(want.size()) <= w;
        want = fits ? std::string(static_cast<std::size_t>(w) - want.size(), ' ') + want
                    : std::string(static_cast<std::size_t>(w), '*');
        EXPECT_EQ(kv::io::edit_E(field, zero, w, d), fits);
        EXPECT_EQ(std::string(field, static_cast<std::size_t>(w)), want);
        EXPECT_EQ(field[w], '#');
      }
    }
  }
}

// An A item given a text with no characters at all (a view with no storage behind it,
// as an all-blank name once trimmed to) adds nothing to its record and copies from
// nowhere.
TEST(FuzzRegression, EmptyTextWithoutStorageInAnAItem) {
  char templ[] = "/tmp/kv_regr_XXXXXX";
  ASSERT_NE(::mkdtemp(templ), nullptr);
  const std::string path = std::string(templ) + "/out.txt";
  constexpr int kUnit = 77;
  kv::io::open(kUnit, path);
  kv::io::write(kUnit, kv::io::layout<R"(("set title '", A, "'"))">, {std::string_view{}});
  kv::io::write(kUnit, kv::io::layout<R"(("#", T4, "Caso   = ", A))">, {std::string_view{}});
  kv::io::close(kUnit);
  std::ifstream in(path, std::ios::binary);
  const std::string got{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_EQ(got, "set title ''\r\n#  Caso   = \r\n");
  std::filesystem::remove_all(templ);
}

}  // namespace
