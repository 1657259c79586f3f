// Logger files shaped like real ones, each prepared into a case and run through the real
// program: its total impulse must agree with an independent trapezoid over the
// fixture's own tared points, over the window the case gives.

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "prepare_support.h"

namespace kv::test {
namespace {

struct Fixture {
  std::string name;
  std::string file;               // the logger file's name
  std::string text;               // its bytes
  std::vector<std::string> args;  // options beyond --out, --case and --mass
  double mass;                    // kg
  std::vector<Sample> tared;      // the fixture's points, tared with the known baseline
  std::vector<std::string> says;  // what the summary must say
};

constexpr double kGf = 0.00980665;
constexpr double kLbf = 4.4482216152605;

double parse(const std::string& s) {
  double v = NAN;
  std::from_chars(s.data(), s.data() + s.size(), v);
  return v;
}

// An Arduino sketch's output: a banner, then "d,<grams>,<milliseconds>" at about 80 Hz.
Fixture tagged_grams() {
  Fixture f{"tagged_grams", "HX711_run.txt", "STARTING NEW RUN\r\ncalibration factor: 2280\r\n", {}, 0.02, {}, {}};
  f.args = {"--time-col", "3", "--thrust-col", "2", "--time-unit", "ms", "--thrust-unit", "gf"};
  Noise noise(1);
  for (int i = 0; i < 480; ++i) {
    const double ms = std::round(i * 12.5 + (i > 0 ? noise(2) : 0));
    const double grams = 35.0 + motor(ms / 1000.0 - 2.0) / kGf + noise(3);
    const std::string g = fixed(grams, 1);
    f.text += "d," + g + "," + fixed(ms, 0) + "\r\n";
    f.tared.push_back({ms / 1000.0, (parse(g) - 35.0) * kGf});
  }
  f.says = {"comma (detected)", "column 3 in ms", "column 2 in gf", "2 skipped"};
  return f;
}

// One column of pounds-force at 2 kHz, the load cell reading below zero at rest.
Fixture one_column_lbf() {
  Fixture f{"one_column_lbf", "thrust_lbf.txt", "", {"--rate", "2000", "--thrust-unit", "lbf"}, 0.015, {}, {}};
  Noise noise(2);
  for (int i = 0; i < 6000; ++i) {
    const double t = i / 2000.0;
    const std::string v = fixed(-0.8 + motor(t - 1.0, 0.5) / kLbf + noise(0.02), 4);
    f.text += v + "\n";
    f.tared.push_back({t, (parse(v) + 0.8) * kLbf});
  }
  f.says = {"time: i / 2000 Hz", "in lbf", "w = 2000 Hz"};
  return f;
}

// Tab-separated with a header of names: milliseconds, raw counts and a load column.
Fixture tab_header_counts() {
  Fixture f{"tab_header_counts", "log_042.tsv", "millis\traw\tload\n", {}, 0.02, {}, {}};
  f.args = {"--time-col", "millis", "--thrust-col", "raw", "--time-unit", "ms", "--scale", "0.25", "--offset", "-25000",
            "--thrust-unit", "gf"};
  Noise noise(3);
  for (int i = 0; i < 400; ++i) {
    const int ms = 734120 + i * 10;
    const double grams = 12.0 + motor(i * 0.01 - 1.2) / kGf + noise(2);
    const long raw = std::lround((grams + 25000.0) * 4.0);
    f.text += std::to_string(ms) + "\t" + std::to_string(raw) + "\t" + fixed(grams / 1000, 3) + "\n";
    f.tared.push_back({ms / 1000.0, (0.25 * static_cast<double>(raw) - 25000.0 - 12.0) * kGf});
  }
  f.says = {"column names on line 1", "column 1 (millis) in ms", "column 2 (raw) in gf", "0.25 x raw - 25000"};
  return f;
}

// Semicolons, Unix epoch seconds, quoted fields, a byte-order mark and CR LF.
Fixture semicolon_epoch() {
  Fixture f{"semicolon_epoch", "export.csv", "\xEF\xBB\xBF\"timestamp\";\"force_N\"\r\n", {}, 0.02, {}, {}};
  Noise noise(4);
  double first = 0;
  for (int i = 0; i < 1500; ++i) {
    const std::string stamp_fixed = fixed(1712345678.123 + 0.002 * i, 3);  // 2 ms steps
    const double t_rel = 0.002 * i;
    const std::string v = fixed(0.3 + motor(t_rel - 0.9) + noise(0.05), 3);
    f.text += "\"" + stamp_fixed + "\";\"" + v + "\"\r\n";
    const double t = parse(stamp_fixed);
    if (i == 0) first = t;
    f.tared.push_back({t - first, parse(v) - 0.3});
  }
  f.says = {"semicolon (detected)", "column names on line 1", "subtracted, so that the record starts at 0"};
  return f;
}

// Decimal commas between tabs, as a spreadsheet in Portuguese exports them.
Fixture decimal_commas() {
  Fixture f{"decimal_commas", "ensaio.txt", "Tempo (s)\tEmpuxo (N)\n", {}, 0.02, {}, {}};
  Noise noise(5);
  for (int i = 0; i < 3000; ++i) {
    const std::string t = fixed(i / 1000.0, 3);
    const std::string v = fixed(motor(i / 1000.0 - 1.0) + noise(0.04), 3);
    auto comma = [](std::string s) {
      for (char& c : s)
        if (c == '.') c = ',';
      return s;
    };
    f.text += comma(t) + "\t" + comma(v) + "\n";
    f.tared.push_back({parse(t), parse(v)});
  }
  f.says = {"tab (detected)", "decimal comma (detected)"};
  return f;
}

// A logger sold as 64 Hz that samples at about 60 Hz with steps from 13 to 29 ms, and
// now and then writes a time stamp twice.
Fixture uneven_steps() {
  Fixture f{"uneven_steps", "cheap_logger.csv", "time,thrust\n", {}, 0.02, {}, {}};
  Noise noise(6);
  int ms = 0;
  for (int i = 0; i < 300; ++i) {
    ms += i == 0 ? 0 : 13 + static_cast<int>(std::lround(8 + noise(8)));
    const double t = ms / 1000.0;
    const std::string ts = fixed(t, 3);
    const std::string v = fixed(0.2 + motor(t - 1.5) + noise(0.05), 3);
    f.text += ts + "," + v + "\n";
    f.tared.push_back({parse(ts), parse(v) - 0.2});
    if (i % 50 == 25) {
      const std::string again = fixed(0.2 + motor(t - 1.5) + noise(0.05), 3);
      f.text += ts + "," + again + "\n";
      f.tared.back().F = (f.tared.back().F + parse(again) - 0.2) / 2;
    }
  }
  f.says = {"averaged into it", "median step"};
  return f;
}

// A big motor on a load cell whose baseline drifts from -80 N to -36 N over the record.
Fixture drifting_baseline() {
  Fixture f{"drifting_baseline", "static_fire_7.dat", "", {"--tare", "linear"}, 0.4, {}, {}};
  Noise noise(7);
  for (int i = 0; i < 4000; ++i) {
    const double t = i / 1000.0;
    const double base = -80.0 + 44.0 * t / 4.0;
    const std::string v = fixed(base + motor(t - 1.5, 20.0) + noise(0.5), 2);
    f.text += fixed(t, 3) + " " + v + "\n";
    f.tared.push_back({t, parse(v) - base});
  }
  f.says = {"linear: the baseline goes from -69", "subtracted as a straight line"};
  return f;
}

struct Maker {
  const char* name;
  Fixture (*make)();
};
void PrintTo(const Maker& m, std::ostream* os) { *os << m.name; }

class PrepareFixture : public ::testing::TestWithParam<Maker> {};

TEST_P(PrepareFixture, ProgramImpulseMatchesTrapezoidOverTaredPoints) {
  const Fixture f = GetParam().make();
  SCOPED_TRACE(f.name);
  TempDir dir("kv_prepare_");
  dir.put(f.file, f.text);
  std::vector<std::string> args = f.args;
  args.insert(args.end(), {"--out", "case", "--case", "c1", "--mass", fixed(f.mass, 3), f.file});
  const Outcome o = prepare(dir.dir(), args);
  ASSERT_EQ(o.status, 0) << o.err << o.out;
  EXPECT_EQ(o.err, "");
  for (const auto& s : f.says) EXPECT_NE(o.out.find(s), std::string::npos) << "summary lacks: " << s << "\n" << o.out;
  EXPECT_EQ(o.out.find("warning"), std::string::npos) << o.out;

  const fs::path folder = dir.dir() / "case";
  const Outcome run = program(folder);
  ASSERT_EQ(run.status, 0) << run.err;
  const double It = program_impulse(folder, "c1");
  const double ti = record_number(folder / "c1.txt", 2);
  const double tf = record_number(folder / "c1.txt", 3);
  const double expected = trapezoid(f.tared, ti, tf);
  EXPECT_NEAR(It, expected, 0.005 * expected) << "window " << ti << " to " << tf;
  // The window holds the whole burn: outside it, the tared curve is at rest.
  EXPECT_NEAR(trapezoid(f.tared, f.tared.front().t, f.tared.back().t), expected, 0.01 * expected);
}

INSTANTIATE_TEST_SUITE_P(Loggers, PrepareFixture,
                         ::testing::Values(Maker{"tagged_grams", tagged_grams}, Maker{"one_column_lbf", one_column_lbf},
                                           Maker{"tab_header_counts", tab_header_counts},
                                           Maker{"semicolon_epoch", semicolon_epoch}, Maker{"decimal_commas", decimal_commas},
                                           Maker{"uneven_steps", uneven_steps},
                                           Maker{"drifting_baseline", drifting_baseline}),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace kv::test
