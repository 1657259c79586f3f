// A short soak among the tests: generated runs, valid and broken, each of which must end
// with status 0 or one severe diagnostic, never a signal, a sanitizer report or a hang,
// and leave only whole records in its files (tests/soak_harness.h). The long soak runs
// the same generator through tools/soak.cpp.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "soak_harness.h"

namespace {

TEST(SoakShort, GeneratedRunsEndCleanlyAndLeaveWholeRecords) {
  namespace fs = std::filesystem;
  std::string templ = (fs::temp_directory_path() / "kv_soak_short_XXXXXX").string();
  ASSERT_NE(::mkdtemp(templ.data()), nullptr);
  const fs::path base = templ;
  int completed = 0;
  for (std::uint64_t seed = 1; seed <= 150; ++seed) {
    int status = -1;
    const std::string problems = kv::soak::soak_one(KV_PROGRAM, base / "run", seed * 7919, 60000, &status);
    EXPECT_EQ(problems, "") << "seed " << seed * 7919 << " (replay: soak PROGRAM --seed " << seed * 7919 << " --runs 1)";
    completed += status == 0;
  }
  // The generator keeps a fair share of runs that go all the way.
  EXPECT_GT(completed, 15);
  std::error_code ec;
  fs::remove_all(base, ec);
}

}  // namespace
