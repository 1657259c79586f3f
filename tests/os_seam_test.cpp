// The folder, file and rename operations of the OS seam: the real system and the scripted
// one give the same answers, so that what a test scripts is what the programs meet.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "os_seam_walk.h"
#include "scripted_os.h"
#include "test_support.h"

namespace kv::test {
namespace {

TEST(OsSeam, TheRealAndTheScriptedSystemAnswerAlike) {
  TempDir real_top("kv_seam_");
  const std::string real = seam_walk(io::os(), real_top.dir().string(), "/", [](const std::string& name, const std::string& target) {
    ASSERT_EQ(::symlink(target.c_str(), name.c_str()), 0);
  });
  EXPECT_EQ(real, std::string(kSeamWalk) + kSeamWalkLinks + kSeamWalkEnd);

  ScriptedOs scripted("/work/top");
  const std::string fake = seam_walk(scripted, "/work/top", "/", [&](const std::string& name, const std::string& target) {
    scripted.symlink(name, target);
  });
  EXPECT_EQ(fake, std::string(kSeamWalk) + kSeamWalkLinks + kSeamWalkEnd);
}

}  // namespace
}  // namespace kv::test
