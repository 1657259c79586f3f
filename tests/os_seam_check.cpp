// The OS seam's walk (os_seam_walk.h) on the Windows build, run under Wine by the Windows
// check: once with the program's own names (the ANSI code page) and once with a
// companion's UTF-8 names, in a folder whose name is not ASCII.
//   kv_os_seam_check.exe EMPTY_FOLDER
#include <cstdio>
#include <string>

#include "io/os.h"
#include "os_seam_walk.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: kv_os_seam_check EMPTY_FOLDER\n", stderr);
    return 2;
  }
  const std::string expected = std::string(kv::test::kSeamWalk).append(kv::test::kSeamWalkEnd);
  int failed = 0;
  const auto walk = [&](const std::string& top, const char* what) {
    const std::string got = kv::test::seam_walk(kv::io::os(), top, "\\", nullptr);
    if (got != expected) {
      std::fprintf(stderr, "the walk with %s differs:\n%s", what, got.c_str());
      failed = 1;
    }
  };
  walk(argv[1], "ANSI names");
  kv::io::use_name_encoding(kv::io::NameEncoding::Utf8);
  const std::string utf8_top = std::string(argv[1]).append("\\a\xC3\xA7\xC3\xA3o");  // "ação"
  if (kv::io::os().make_directory(utf8_top) != kv::io::OsError::None) {
    std::fputs("cannot make a folder with a UTF-8 name\n", stderr);
    return 1;
  }
  walk(utf8_top, "UTF-8 names");
  kv::io::OsError e = kv::io::OsError::None;
  const auto names = kv::io::os().list_directory(argv[1], e);
  bool listed = false;
  for (const auto& n : names) listed = listed || n == "a\xC3\xA7\xC3\xA3o";
  if (!listed) {
    std::fputs("the UTF-8 folder's name does not come back as UTF-8\n", stderr);
    failed = 1;
  }
  return failed;
}
