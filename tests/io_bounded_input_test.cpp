// The reader's memory stays bounded whatever a file holds: a value too long to be a
// number or a name of the program ends the run as malformed instead of being gathered
// in memory without end.
#include <string>

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

TEST(BoundedInput, OverlongValuesAreSyntaxErrors) {
  ScratchDir dir;
  const std::string path = dir / "in.txt";
  struct Case {
    const char* what;
    std::string bytes;
    bool text;  // read into a text, else into a real
  };
  const std::size_t huge = std::size_t{3} << 20;
  const Case cases[] = {
      {"unquoted digits", std::string(huge, '7') + "\n", false},
      {"unquoted text", std::string(huge, 'k') + " 1\n", true},
      {"quoted text that never closes", std::string("'").append(huge, 'q').append("\n"), true},
      {"quoted text over many records", [&] {
         std::string many = "'";
         for (int i = 0; i < 64; ++i) many.append(huge / 64, 'q').append("\n");
         return many;
       }(),
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    write_file(path, c.bytes);
    const auto r = run_io([&] {
      io::open(kUnit, path);
      double x = 0.0;
      io::TextField<90> t;
      if (c.text)
        io::read(kUnit, {t});
      else
        io::read(kUnit, {x});
    });
    EXPECT_EQ(r.status, io::kSyntaxError);
    EXPECT_EQ(r.err, severe_line(io::kSyntaxError, "list-directed I/O syntax error", kUnit, path));
  }
}

TEST(BoundedInput, LongButReasonableValuesAreRead) {
  ScratchDir dir;
  const std::string path = dir / "in.txt";
  // A real written with 200000 digits after the point, and a quoted name of 100000.
  write_file(path, "0." + std::string(200000, '0') + "1e200001 9\n'" + std::string(100000, 'n') + "'\n");
  io::open(kUnit, path);
  double x = 0.0;
  io::read(kUnit, {x});
  EXPECT_EQ(x, 1.0);
  io::TextField<90> t;
  io::read(kUnit, {t});
  EXPECT_EQ(std::string(t.view()), std::string(90, 'n'));
  io::close(kUnit);
}

}  // namespace
