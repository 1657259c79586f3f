// Every kind of file a team brings, made here, prepared with only what a user knows
// (units, mass, the rate where the file does not hold it) and run through the program:
// its impulse, burn time and average agree within 0.5 % with a computation of their own
// over the fixture's points (tare on a quiet span, the 5 % crossings placed by linear
// interpolation, the trapezoid between them), and --check passes the case. The export
// run on the finished case gives the certification figures of the same points within
// 1 % (total impulse from the rise to the last measurable thrust, burn time, average
// thrust). Then the
// table of the stops: each condition that could move a figure by more than 1 % ends
// with status 1, no case, and a message that names the option; with it, the case is
// right.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "export/json_reader.h"
#include "prepare_support.h"

namespace kv::test {
namespace {

// The figures of a firing as certification defines them, over its own points (thrust
// tared, in N): the burn between the first rise above and the last fall below 5 % of
// the peak, each crossing on the straight line between the two points around it.
// The total impulse runs from the rise to the last measurable thrust: the last point
// above 1 % of the peak, and the fall from it to the next point.
struct Reference {
  double start = 0, end = 0, burn_time = 0, burn_impulse = 0, average = 0, total_impulse = 0;
};

Reference reference(const std::vector<Sample>& pts) {
  double peak = 0;
  for (const Sample& p : pts) peak = std::max(peak, p.F);
  const double level = 0.05 * peak;
  std::size_t i = 0, j = pts.size() - 1;
  while (pts[i].F < level) ++i;
  while (pts[j].F < level) --j;
  Reference r;
  r.start = i == 0 ? pts[0].t : pts[i - 1].t + (level - pts[i - 1].F) * (pts[i].t - pts[i - 1].t) / (pts[i].F - pts[i - 1].F);
  r.end = j + 1 == pts.size() ? pts[j].t
                              : pts[j].t + (pts[j].F - level) * (pts[j + 1].t - pts[j].t) / (pts[j].F - pts[j + 1].F);
  r.burn_time = r.end - r.start;
  r.burn_impulse = trapezoid(pts, r.start, r.end);
  r.average = r.burn_impulse / r.burn_time;
  std::size_t last = pts.size() - 1;
  while (last > j && !(pts[last].F > 0.01 * peak)) --last;
  if (last + 1 < pts.size()) ++last;
  r.total_impulse = trapezoid(pts, r.start, pts[last].t);
  return r;
}

// A number of the program's summary report: the value after `label` and the "= " that
// follows it.
double report_value(const std::string& report, const std::string& label) {
  const auto at = report.find(label);
  if (at == std::string::npos) return NAN;
  const auto eq = report.find("= ", report.find(")", at));
  return value_after(report.substr(eq), "= ");
}

// A file of the kind, the arguments a user gives, and the firing's own points, tared,
// in N (what the reference is computed over).
struct Kind {
  const char* name;
  std::string file;
  std::string text;
  std::vector<std::string> args;
  std::vector<Sample> firing;
  // A first try without what only the stop's message tells: that message, and the
  // option that then settles it.
  std::string stop_says;
  std::vector<std::string> settles;
};
void PrintTo(const Kind& k, std::ostream* os) { *os << k.name; }

std::string num(double v, int decimals) { return fixed(v, decimals); }

// The motor of prepare_support.h ignited at `at`, of `scale` and `burn` s.
std::vector<Sample> firing(double from, double to, double step, double at, double scale, double burn,
                           const std::function<double(double)>& extra = {}) {
  std::vector<Sample> pts;
  for (long i = 0;; ++i) {
    const double t = from + static_cast<double>(i) * step;
    if (t > to + 1e-9) break;
    pts.push_back({t, motor(t - at, scale, burn) + (extra ? extra(t) : 0.0)});
  }
  return pts;
}

Kind certification_dat() {
  // Thirty header lines of one value each: the motor's name on line 1, the casing's
  // diameter and length (mm) on lines 2 and 3, the propellant (g) on line 4, the count
  // of samples on line 17, the rate on line 27; then one thrust (N) a line at 500 Hz.
  // The user gives nothing: the mass and the title are the header's.
  const std::vector<Sample> pts = firing(0.0, 15.998, 0.002, 3.0, 6.0, 2.0);
  std::string s;
  for (int line = 1; line <= 30; ++line) {
    if (line == 1) s += "H128\r\n";
    else if (line == 2) s += "29\r\n";
    else if (line == 3) s += "124\r\n";
    else if (line == 4) s += "120.0\r\n";
    else if (line == 17) s += "8000\r\n";
    else if (line == 27) s += "500\r\n";
    else s += std::to_string(line * 7 % 23) + "\r\n";
  }
  Noise noise(3);
  std::vector<Sample> tared;
  for (const Sample& p : pts) {
    const double F = p.F + noise(0.05);
    s += num(F, 3) + "\r\n";
    tared.push_back({p.t, std::stod(num(F, 3))});
  }
  return {"CertificationDat", "TEST0042.DAT", s, {}, tared, "", {}};
}

Kind labview_lvm() {
  std::string s =
      "LabVIEW Measurement\t\nWriter_Version\t2\nReader_Version\t2\nSeparator\tTab\nDecimal_Separator\t,\n"
      "Multi_Headings\tNo\nX_Columns\tNo\nTime_Pref\tRelative\nOperator\tbancada\n***End_of_Header***\t\n\n"
      "Channels\t1\t\nSamples\t6000\t\nY_Unit_Label\tN\t\nX_Dimension\tTime\t\nX0\t0,0000000000000000E+0\t\n"
      "Delta_X\t0,001000\t\n***End_of_Header***\t\nX_Value\tForca\tComment\n";
  const std::vector<Sample> pts = firing(0.0, 5.999, 0.001, 2.0, 2.0, 1.6);
  Noise noise(5);
  std::vector<Sample> tared;
  for (const Sample& p : pts) {
    const double F = 0.8 + p.F + noise(0.04);  // the cell's own offset
    std::string v = num(F, 4);
    v[v.find('.')] = ',';
    s += "\t" + v + "\n";
    tared.push_back({p.t, std::stod(num(F, 4)) - 0.8});
  }
  return {"LabviewLvm", "firing.lvm", s, {"--mass", "0.045"}, tared, "", {}};
}

Kind two_rows() {
  const std::vector<Sample> pts = firing(0.0, 5.99, 0.01, 2.0, 1.0, 1.4);
  std::string times, thrusts;
  for (const Sample& p : pts) {
    times += (times.empty() ? "" : ",") + num(p.t, 2);
    thrusts += (thrusts.empty() ? "" : ",") + num(p.F, 3);
  }
  std::vector<Sample> tared;
  for (const Sample& p : pts) tared.push_back({p.t, std::stod(num(p.F, 3))});
  return {"TwoRows", "rows.csv", times + "\n" + thrusts + "\n", {"--mass", "0.02"}, tared, "", {}};
}

Kind colon_counts() {
  // An HX711 sketch: a few "Tare:" lines, then millis:raw counts, 420 counts a gram.
  std::string s = "Tare: 8388608\nTare: 8388611\nTare: 8388606\n";
  const std::vector<Sample> pts = firing(0.0, 4.0, 0.0125, 1.5, 0.5, 1.4);
  std::vector<Sample> tared;
  Noise noise(9);
  for (const Sample& p : pts) {
    const long raw = 8388608 + std::lround((p.F / 0.00980665 + noise(1.0)) * 420.0);
    s += std::to_string(120000 + std::lround(p.t * 1000)) + ":" + std::to_string(raw) + "\n";
    tared.push_back({p.t, static_cast<double>(raw - 8388608) / 420.0 * 0.00980665});
  }
  return {"ColonCountsAfterTareLines", "hx711.txt", s,
          {"--time-unit", "ms", "--scale", "0.002380952380952381", "--thrust-unit", "gf", "--mass", "0.01"}, tared, "", {}};
}

Kind three_runs() {
  // The logger was restarted twice; the firing is the second run.
  std::string s = "ms,N\n";
  std::vector<Sample> tared;
  for (int run = 1; run <= 3; ++run) {
    const std::vector<Sample> pts = firing(0.0, 4.0, 0.001, 1.5, run == 2 ? 1.0 : 0.0, 1.4);
    for (const Sample& p : pts) {
      s += std::to_string(std::lround(p.t * 1000)) + "," + num(p.F, 3) + "\n";
      if (run == 2) tared.push_back({p.t, std::stod(num(p.F, 3))});
    }
  }
  return {"ThreeRuns", "runs.csv", s, {"--mass", "0.02"}, tared, "the file holds 3 runs", {"--run", "2"}};
}

Kind rasp_curve() {
  const std::vector<Sample> pts = {{0.02, 12.0}, {0.05, 95.0}, {0.1, 110.0}, {0.3, 96.0}, {0.5, 90.0}, {0.7, 84.0},
                                   {0.9, 80.0},  {1.1, 70.0},  {1.2, 40.0},  {1.3, 10.0}, {1.35, 0.0}};
  std::string s = "; G80T from the maker's data\n;File produced October 3, 2000\n; points: 11\nG80T 29 124 7 0.0625 0.1197 AT\n";
  for (const Sample& p : pts) s += "   " + num(p.t, 3) + " " + num(p.F, 1) + "\n";
  s += ";\n";
  std::vector<Sample> with_origin = {{0.0, 0.0}};
  with_origin.insert(with_origin.end(), pts.begin(), pts.end());
  return {"RaspCurveWithACommaInAComment", "G80T.eng", s, {}, with_origin, "", {}};
}

Kind rocksim_curve() {
  const std::vector<Sample> pts = {{0.0, 0.0},  {0.04, 30.0}, {0.1, 42.0}, {0.4, 38.0}, {0.8, 33.0},
                                   {1.2, 28.0}, {1.5, 20.0},  {1.6, 6.0},  {1.65, 0.0}};
  std::string s = "<engine-database>\n <engine-list>\n  <engine code=\"F40\" mfg=\"Test\" dia=\"29.\" len=\"124.\" "
                  "initWt=\"90.\" propWt=\"39.1\" delays=\"4,7\" Type=\"single-use\">\n   <data>\n";
  for (const Sample& p : pts) s += "    <eng-data t=\"" + num(p.t, 3) + "\" f=\"" + num(p.F, 1) + "\" m=\"0.\"/>\n";
  s += "   </data>\n  </engine>\n </engine-list>\n</engine-database>\n";
  return {"RockSimCurve", "F40.rse", s, {}, pts, "", {}};
}

Kind noisy_10hz_with_a_dip() {
  // A hybrid at 10 Hz: noise of 3 % of the burn's level, and one second into the 7 s
  // burn a dip to 3 % of the peak for two samples.
  std::vector<Sample> pts = firing(0.0, 20.0, 0.1, 6.0, 5.0, 7.0);
  Noise noise(21);
  std::string s = "time\tforce\n";
  std::vector<Sample> tared;
  for (Sample& p : pts) {
    double F = p.F + noise(3.0);
    if (std::abs(p.t - 7.05) < 0.06) F = 4.0;
    s += num(p.t, 1) + "\t" + num(F, 2) + "\n";
    tared.push_back({p.t, std::stod(num(F, 2))});
  }
  return {"Noisy10HzWithADip", "hybrid.txt", s, {"--mass", "0.3"}, tared, "", {}};
}

Kind spike_after_the_burn() {
  // A 7 s burn, and 40 s later a handling bump four times its level for 50 ms.
  std::vector<Sample> pts = firing(0.0, 60.0, 0.01, 5.0, 2.0, 7.0);
  std::string s = "t,F\n";
  std::vector<Sample> tared;
  for (const Sample& p : pts) {
    double F = p.F;
    if (p.t >= 52.0 && p.t < 52.05) F = 200.0;
    s += num(p.t, 2) + "," + num(F, 2) + "\n";
    if (p.t < 30) tared.push_back({p.t, std::stod(num(F, 2))});
  }
  return {"SpikeLargerThanTheBurnAfterIt", "bump.csv", s, {"--mass", "0.25"}, tared, "", {}};
}

Kind glitch_sample() {
  // The shipped example's logger: millis and grams; one reading of 100000 g.
  std::vector<Sample> pts = firing(0.0, 4.0, 0.001, 1.0, 0.6, 1.7);
  std::string s = "millis,grams\n";
  std::vector<Sample> tared;
  for (std::size_t i = 0; i < pts.size(); ++i) {
    const double g = pts[i].F / 0.00980665;
    s += std::to_string(5000 + i) + "," + (i == 1800 ? std::string("100000.0") : num(g, 1)) + "\n";
    if (i != 1800) tared.push_back({pts[i].t, std::stod(num(g, 1)) * 0.00980665});
  }
  return {"OneGlitchOfAThousandTimesTheBurn", "hx711_ensaio.csv", s,
          {"--time-unit", "ms", "--thrust-unit", "gf", "--mass", "0.012"}, tared, "", {}};
}

Kind inverted_cell() {
  std::vector<Sample> pts = firing(0.0, 4.0, 0.001, 1.0, 1.0, 1.4);
  std::string s = "t,F\n";
  for (const Sample& p : pts) s += num(p.t, 3) + "," + num(-p.F, 3) + "\n";
  std::vector<Sample> tared;
  for (const Sample& p : pts) tared.push_back({p.t, std::stod(num(p.F, 3))});
  return {"InvertedLoadCell", "inverted.csv", s, {"--mass", "0.02"}, tared, "give --scale -1", {"--scale", "-1"}};
}

Kind hanging_motor() {
  // The motor hangs from the cell: its weight is in the reading, and falls as the
  // propellant burns, in proportion to the impulse delivered (0.15 kg in all, over a
  // 4 s burn: a straight line between the baselines moves the impulse by 1.6 %).
  std::vector<Sample> pts = firing(0.0, 12.0, 0.002, 3.0, 2.0, 4.0);
  double total = 0, so_far = 0;
  for (std::size_t i = 1; i < pts.size(); ++i) total += (pts[i].F + pts[i - 1].F) / 2 * (pts[i].t - pts[i - 1].t);
  std::string s = "t;F\n";
  std::vector<Sample> reading;
  for (std::size_t i = 0; i < pts.size(); ++i) {
    if (i > 0) so_far += (pts[i].F + pts[i - 1].F) / 2 * (pts[i].t - pts[i - 1].t);
    const double weight = 0.3 * 9.80665 - 0.15 * 9.80665 * so_far / total;
    s += num(pts[i].t, 3) + ";" + num(pts[i].F + weight, 4) + "\n";
    reading.push_back({pts[i].t, std::stod(num(pts[i].F + weight, 4))});
  }
  // Tare as the reference does: a straight line between quiet spans well before and
  // well after the burn.
  const auto mean = [&](double a, double b) {
    double sum = 0, tsum = 0;
    int n = 0;
    for (const Sample& p : reading)
      if (p.t >= a && p.t <= b) {
        sum += p.F;
        tsum += p.t;
        ++n;
      }
    return std::pair<double, double>{tsum / n, sum / n};
  };
  const auto [ta, fa] = mean(1.0, 2.0);
  const auto [tb, fb] = mean(9.0, 10.0);
  std::vector<Sample> tared;
  for (const Sample& p : reading) tared.push_back({p.t, p.F - (fa + (p.t - ta) * (fb - fa) / (tb - ta))});
  return {"HangingMotorWithAFallingBaseline", "hanging.csv", s, {"--mass", "0.15"}, tared, "give --tare linear",
          {"--tare", "linear"}};
}

Kind thrust_only_16hz() {
  // An L motor logged at 16 Hz, the thrust alone.
  std::vector<Sample> pts = firing(0.0, 10.0, 1.0 / 16, 3.0, 60.0, 3.2);
  std::string s;
  std::vector<Sample> tared;
  for (const Sample& p : pts) {
    s += num(p.F, 2) + "\n";
    tared.push_back({p.t, std::stod(num(p.F, 2))});
  }
  return {"ThrustOnly16Hz", "l_motor.txt", s, {"--rate", "16", "--mass", "1.6"}, tared, "", {}};
}

Kind fast_20khz() {
  // A short burn at 20 kHz.
  std::vector<Sample> pts = firing(0.0, 1.2, 0.00005, 0.4, 0.4, 0.25);
  std::string s = "time_s,thrust_N\n";
  std::vector<Sample> tared;
  for (const Sample& p : pts) {
    s += num(p.t, 5) + "," + num(p.F, 4) + "\n";
    tared.push_back({p.t, std::stod(num(p.F, 4))});
  }
  return {"Fast20kHz", "fast.csv", s, {"--mass", "0.002"}, tared, "", {}};
}

std::vector<Kind> kinds() {
  return {certification_dat(), labview_lvm(),    two_rows(),           colon_counts(),  three_runs(),
          rasp_curve(),        rocksim_curve(),  noisy_10hz_with_a_dip(), spike_after_the_burn(), glitch_sample(),
          inverted_cell(),     hanging_motor(),  thrust_only_16hz(),   fast_20khz()};
}

class PrepareKind : public ::testing::TestWithParam<Kind> {};

TEST_P(PrepareKind, GivesTheFiguresOfItsOwnPointsThroughTheProgram) {
  const Kind& k = GetParam();
  TempDir d("kv_kinds_");
  d.put(k.file, k.text);
  std::vector<std::string> args = k.args;
  args.insert(args.begin(), k.file);
  args.insert(args.end(), {"--out", "case", "--case", "caso"});
  if (!k.stop_says.empty()) {
    const Outcome stop = prepare(d.dir(), args);
    EXPECT_EQ(stop.status, 1) << stop.out << stop.err;
    EXPECT_NE(stop.err.find(k.stop_says), std::string::npos) << stop.err;
    EXPECT_FALSE(d.has("case"));
    args.insert(args.end(), k.settles.begin(), k.settles.end());
  }
  const Outcome r = prepare(d.dir(), args);
  ASSERT_EQ(r.status, 0) << r.err;
  const Outcome checked = prepare(d.dir(), {"--check", "case"});
  EXPECT_EQ(checked.status, 0) << checked.out << checked.err;
  const Outcome run = program(d.dir() / "case");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string report = read_bytes(d.dir() / "case" / "caso_saida_A.txt");
  const Reference ref = reference(k.firing);
  const double It = program_impulse(d.dir() / "case", "caso");
  const double tq = report_value(report, "   tq     = tempo de queima");
  const double Fmed = report_value(report, "   Fmed   = empuxo m");
  EXPECT_NEAR(It, ref.burn_impulse, 0.005 * ref.burn_impulse) << r.out;
  EXPECT_NEAR(tq, ref.burn_time, 0.005 * ref.burn_time) << r.out;
  EXPECT_NEAR(Fmed, ref.average, 0.005 * ref.average) << r.out;

  const Outcome exported = export_run(d.dir() / "case", {"--no-eng", "--json"});
  ASSERT_EQ(exported.status, 0) << exported.err;
  const Json nfpa = parse_json(exported.out)["nfpa"];
  EXPECT_NEAR(nfpa["total_impulse_Ns"].number, ref.total_impulse, 0.01 * ref.total_impulse) << exported.err;
  EXPECT_NEAR(nfpa["burn_time_s"].number, ref.burn_time, 0.01 * ref.burn_time) << exported.err;
  EXPECT_NEAR(nfpa["average_thrust_N"].number, ref.average, 0.01 * ref.average) << exported.err;
}

INSTANTIATE_TEST_SUITE_P(Files, PrepareKind, ::testing::ValuesIn(kinds()),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(PrepareKindDefaults, TheCertificationHeaderGivesMassTitleAndCasingAndTheUsersOptionsWin) {
  const Kind k = certification_dat();
  TempDir d("kv_kinds_");
  d.put(k.file, k.text);
  const Outcome r = prepare(d.dir(), {k.file, "--out", "case", "--case", "caso"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(record_number(d.dir() / "case" / "caso.txt", 5), 0.12);
  EXPECT_TRUE(records(read_bytes(d.dir() / "case" / "caso.txt"))[11].starts_with("'H128'"));
  // The summary names what the header gave, and the casing goes to the export's options.
  EXPECT_NE(r.out.find("motor H128, propellant 0.12 kg, casing 29 x 124 mm"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("kalvorestine_2p0_export --diameter 29 --length 124"), std::string::npos) << r.out;

  const Outcome mine = prepare(d.dir(), {k.file, "--mass", "0.1", "--title", "Stand 3", "--out", "mine", "--case", "caso"});
  ASSERT_EQ(mine.status, 0) << mine.err;
  EXPECT_EQ(record_number(d.dir() / "mine" / "caso.txt", 5), 0.1);
  EXPECT_TRUE(records(read_bytes(d.dir() / "mine" / "caso.txt"))[11].starts_with("'Stand 3'"));
}

// A rate that disagrees with the steps by less than moves a figure by 1 %, or a --rate
// that replaces a header's: the case is written, and the summary says what each said.
TEST(PrepareStatedRate, ASmallDisagreementOrTheUsersRateIsAWarning) {
  TempDir d("kv_kinds_");
  const Kind dat = certification_dat();
  d.put(dat.file, dat.text);
  const Outcome replaced = prepare(d.dir(), {dat.file, "--rate", "501", "--out", "a"});
  ASSERT_EQ(replaced.status, 0) << replaced.err;
  EXPECT_NE(replaced.out.find("--rate 501 Hz times the samples; its header gives 500 Hz"), std::string::npos) << replaced.out;

  // Times that step 0.5 % longer than Delta_X says.
  std::string s = "LabVIEW Measurement\t\nSeparator\tTab\nDecimal_Separator\t.\n***End_of_Header***\t\n\n"
                  "Channels\t1\t\nY_Unit_Label\tN\t\nDelta_X\t0.001000\t\n***End_of_Header***\t\nX_Value\tForce\n";
  for (const Sample& p : firing(0.0, 4.0, 0.001005, 1.0, 1.0, 1.4)) s += num(p.t, 6) + "\t" + num(p.F, 3) + "\n";
  d.put("near.lvm", s);
  const Outcome near = prepare(d.dir(), {"near.lvm", "--mass", "0.02", "--out", "b"});
  ASSERT_EQ(near.status, 0) << near.err;
  EXPECT_NE(near.out.find("Delta_X gives 1000 Hz, but the times in column 1 (X_Value) step by 1.005 ms"), std::string::npos)
      << near.out;
  EXPECT_NE(near.out.find("the file's times are used"), std::string::npos) << near.out;
}

// The stops: what prepare cannot stand behind, the option named, and the case right
// once it is given.
struct Stop {
  const char* name;
  std::string text;
  std::vector<std::string> args;
  std::string says;
  std::vector<std::string> settles;
};
void PrintTo(const Stop& s, std::ostream* os) { *os << s.name; }

std::string record_csv(const std::vector<Sample>& pts, int decimals = 3) {
  std::string s = "t,F\n";
  for (const Sample& p : pts) s += num(p.t, 4) + "," + num(p.F, decimals) + "\n";
  return s;
}

std::vector<Stop> stops() {
  std::vector<Stop> out;
  // Two firings of like impulse.
  {
    std::vector<Sample> pts = firing(0.0, 8.0, 0.001, 1.0, 1.0, 1.4);
    for (Sample& p : pts) p.F += motor(p.t - 5.0, 0.8, 1.4);
    out.push_back({"ComparableEvents", record_csv(pts), {}, "two of them of comparable impulse: give --event N", {"--event", "1"}});
  }
  // A baseline that drifts by 0.6 N/s.
  out.push_back({"Drift", record_csv(firing(0.0, 5.0, 0.001, 1.5, 1.0, 1.4, [](double t) { return 0.6 * t; })), {},
                 "give --tare linear", {"--tare", "linear"}});
  // A slower drift, 0.1 N/s: little over the burn itself, but the baseline after it ends
  // above 1 % of the peak, so that certification's total impulse would count it on.
  out.push_back({"DriftAboveTheLastMeasurableThrust",
                 record_csv(firing(0.0, 5.0, 0.001, 1.5, 1.0, 1.4, [](double t) { return 0.1 * t; })), {},
                 "counted to the last thrust above 1 % of the peak, would change by", {"--tare", "linear"}});
  // The record ends during the burn.
  out.push_back({"CutInTheBurn", record_csv(firing(0.0, 2.0, 0.001, 1.0, 1.0, 1.4)), {}, "the record ends during the burn",
                 {"--window", "0.9,2.0"}});
  // A peak cut flat by the amplifier.
  {
    std::vector<Sample> pts = firing(0.0, 4.0, 0.001, 1.0, 1.0, 1.4);
    for (Sample& p : pts) p.F = std::min(p.F, 25.0);
    out.push_back({"ClippedPeak", record_csv(pts), {}, "give --accept clipped", {"--accept", "clipped"}});
  }
  // Grams read as newtons.
  {
    std::vector<Sample> pts = firing(0.0, 4.0, 0.001, 1.0, 1.0, 1.4);
    for (Sample& p : pts) p.F /= 0.00980665;
    out.push_back({"GramsAsNewtons", record_csv(pts, 1), {}, "check --thrust-unit", {"--thrust-unit", "gf"}});
  }
  // A LabVIEW file whose Delta_X says 1 kHz, and whose times step by 0.5 ms: either the
  // times are kept, or the samples are timed by the rate, as the message says.
  {
    std::string s = "LabVIEW Measurement\t\nSeparator\tTab\nDecimal_Separator\t.\n***End_of_Header***\t\n\n"
                    "Channels\t1\t\nY_Unit_Label\tN\t\nDelta_X\t0.001000\t\n***End_of_Header***\t\nX_Value\tForce\n";
    for (const Sample& p : firing(0.0, 4.0, 0.0005, 1.0, 1.0, 1.4)) s += num(p.t, 4) + "\t" + num(p.F, 3) + "\n";
    const std::string says = "Delta_X gives 1000 Hz, but the times in column 1 (X_Value) step by 500 us (2000 Hz)";
    out.push_back({"RateTheStepsContradictTimesKept", s, {}, says + " at the median", {"--time-col", "1"}});
    out.push_back({"RateTheStepsContradictTimedByTheRate", s, {}, "or --time-col none --thrust-col 2 --rate 1000",
                   {"--time-col", "none", "--thrust-col", "2", "--rate", "1000"}});
  }
  // No span before ignition is quiet: the stand shook until the firing (the record is
  // quiet after it).
  {
    std::vector<Sample> pts = firing(0.0, 5.0, 0.001, 2.5, 1.0, 1.4, [](double t) {
      return t < 2.45 ? 0.5 * std::sin(40 * t) : 0.0;
    });
    out.push_back({"NoisyTareSpan", record_csv(pts), {}, "give --tare-span A,B", {"--tare-span", "0.1,0.9"}});
  }
  return out;
}

class PrepareStop : public ::testing::TestWithParam<Stop> {};

TEST_P(PrepareStop, NamesTheOptionAndWritesNothingThenTheOptionSettlesIt) {
  const Stop& c = GetParam();
  TempDir d("kv_stops_");
  d.put("log.csv", c.text);
  std::vector<std::string> args = {"log.csv", "--mass", "0.02", "--out", "case", "--case", "caso"};
  args.insert(args.end(), c.args.begin(), c.args.end());
  const Outcome stop = prepare(d.dir(), args);
  EXPECT_EQ(stop.status, 1) << stop.out << stop.err;
  EXPECT_NE(stop.err.find(c.says), std::string::npos) << stop.err;
  EXPECT_EQ(stop.out, "");
  EXPECT_FALSE(d.has("case"));
  args.insert(args.end(), c.settles.begin(), c.settles.end());
  const Outcome ok = prepare(d.dir(), args);
  ASSERT_EQ(ok.status, 0) << ok.err;
  EXPECT_EQ(prepare(d.dir(), {"--check", "case"}).status, 0);
  ASSERT_EQ(program(d.dir() / "case").status, 0);
  const Outcome exported = export_run(d.dir() / "case", {"--no-eng"});
  EXPECT_EQ(exported.status, 0) << exported.err;
}

INSTANTIATE_TEST_SUITE_P(Conditions, PrepareStop, ::testing::ValuesIn(stops()),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace kv::test
