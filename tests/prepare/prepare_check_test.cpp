// --check over case folders with one problem each: the problem is reported with its
// file and line, nothing in the folder changes, and the real program agrees that the
// case stops it (or runs, with figures the problem falsifies).

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "prepare_support.h"

namespace kv::test {
namespace {

struct CaseValues {
  std::string original = "celula.txt";
  std::string ti = "0.1", tf = "0.5", w = "100", nmax = "100", graf = "1";
};

// Samples every `step` seconds from `from` to `to`: a triangle of 10 N from 0.15 to
// 0.45 s over `base`, times written by `time_text`.
std::string samples(double from, double to, double step, double base = 0.0,
                    const std::function<std::string(double)>& time_text = [](double t) { return fixed(t, 4); }) {
  std::string s;
  for (int i = 0;; ++i) {
    const double t = from + i * step;
    if (t > to + 1e-9) break;
    const double F = t < 0.15 || t > 0.45 ? 0.0 : 10.0 - std::abs(t - 0.3) * (10.0 / 0.15);
    s += time_text(t) + " " + fixed(base + F, 4) + "\r\n";
  }
  return s;
}

void write_case(const TempDir& d, const CaseValues& v, const std::string& cell, bool plot = true) {
  CaseFile c;
  c.original = "'" + v.original + "'";
  c.ti = v.ti;
  c.tf = v.tf;
  c.w = v.w;
  c.nmax = v.nmax;
  c.toB = "1";
  c.graf = v.graf;
  c.caso = "caso1";
  c.titulo = "'Teste'";
  put_case_folder(d, c, cell, plot ? std::optional<std::string_view>(kPlotHead) : std::nullopt, "caso1.txt", v.original);
  if (cell.empty()) fs::remove(d.dir() / v.original);  // no load-cell file at all
}

std::map<std::string, std::string> snapshot(const fs::path& dir) {
  std::map<std::string, std::string> m;
  for (const auto& e : fs::directory_iterator(dir)) m[e.path().filename().string()] = read_bytes(e.path());
  return m;
}

struct CheckCase {
  const char* name;
  std::function<void(const TempDir&)> setup;
  std::string where;               // "" for a clean case
  std::string says;
  std::optional<bool> program_stops;  // what the real program does with the case
};
void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.name; }

std::vector<CheckCase> check_cases() {
  const CaseValues v;
  const std::string good = samples(0.0, 0.7, 0.01);
  std::vector<CheckCase> c;
  c.push_back({"Clean", [=](const TempDir& d) { write_case(d, v, good); }, "", "", false});
  c.push_back({"HeaderLine", [=](const TempDir& d) { write_case(d, v, "time thrust\r\n" + good); }, "celula.txt:1",
               "is not two numbers: the program stops here", true});
  c.push_back({"RecordEndsAtTf", [=](const TempDir& d) { write_case(d, v, samples(0.0, 0.5, 0.01)); }, "celula.txt:51",
               "ends without a sample after tf", true});
  c.push_back({"NoSampleBeforeTi", [=](const TempDir& d) { write_case(d, v, samples(0.1, 0.7, 0.01)); }, "celula.txt:1",
               "no sample before ti", false});
  c.push_back({"MorePointsThanNmax",
               [=](const TempDir& d) {
                 CaseValues small = v;
                 small.nmax = "20";
                 write_case(d, small, good);
               },
               "celula.txt:31", "more than nmax = 20", true});
  c.push_back({"StepsDisagreeWithW",
               [=](const TempDir& d) {
                 CaseValues w64 = v;
                 w64.w = "64";
                 write_case(d, w64, samples(0.0, 0.7, 1.0 / 60));
               },
               "celula.txt:7-31", "but w = 64: the program places point n at (n - 1)/w, so the curve's times and impulse come out 6", false});
  c.push_back({"Milliseconds",
               [=](const TempDir& d) {
                 CaseValues ms = v;
                 ms.ti = "100";
                 ms.tf = "500";
                 write_case(d, ms, samples(0.0, 0.7, 0.01, 0.0, [](double t) { return fixed(t * 1000, 0); }));
               },
               "celula.txt:11-51", "look like milliseconds", false});
  c.push_back({"DecimalCommas",
               [=](const TempDir& d) {
                 std::string s = good;
                 for (char& ch : s)
                   if (ch == '.') ch = ',';
                 write_case(d, v, s);
               },
               "celula.txt:1", "decimal commas", std::nullopt});
  c.push_back({"BaselineOff", [=](const TempDir& d) { write_case(d, v, samples(0.0, 0.7, 0.01, -3.0)); },
               "celula.txt:1-10", "stands at -3 N", false});
  c.push_back({"GapInTheRecord",
               [=](const TempDir& d) {
                 std::string s = samples(0.0, 0.3, 0.01) + samples(0.34, 0.7, 0.01);
                 write_case(d, v, s);
               },
               "celula.txt:32", "a step of 0.04 s", false});
  c.push_back({"OneNumberOnALine",
               [=](const TempDir& d) { write_case(d, v, samples(0.0, 0.2, 0.01) + "0.21\r\n5.0\r\n" + samples(0.22, 0.7, 0.01)); },
               "celula.txt:22", "holds one number", false});
  c.push_back({"NoPlotScript", [=](const TempDir& d) { write_case(d, v, good, false); }, "kalvorestine_2p0_curva_F-t.gnu",
               "missing while graf = 1", true});
  c.push_back({"NoLoadCellFile",
               [=](const TempDir& d) { write_case(d, v, ""); }, "celula.txt", "load-cell data file is missing", true});
  c.push_back({"NoCaseParameterFile",
               [=](const TempDir& d) { d.put(kGeneralData, "nao_existe.txt\r\n"); }, "nao_existe.txt",
               "file not found", true});
  c.push_back({"TooFewCaseValues",
               [=](const TempDir& d) {
                 d.put(kGeneralData, "caso1.txt\r\n");
                 d.put("caso1.txt", "'celula.txt'\r\n0.1\r\n0.5\r\n");
               },
               "caso1.txt", "end-of-file during read", true});
  return c;
}

class PrepareCheck : public ::testing::TestWithParam<CheckCase> {};

TEST_P(PrepareCheck, ReportsTheProblemWithItsPlaceAndChangesNothing) {
  const CheckCase& c = GetParam();
  TempDir d("kv_check_");
  c.setup(d);
  const auto before = snapshot(d.dir());
  const Outcome r = prepare(d.dir(), {"--check"});
  EXPECT_EQ(snapshot(d.dir()), before) << "--check changed the folder";
  EXPECT_EQ(r.err, "");
  if (c.where.empty()) {
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("no problem found"), std::string::npos) << r.out;
  } else {
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find(c.where + ": "), std::string::npos) << "expected at " << c.where << ":\n" << r.out;
    EXPECT_NE(r.out.find(c.says), std::string::npos) << "expected " << c.says << ":\n" << r.out;
  }
  if (c.program_stops) {
    const Outcome run = program(d.dir());
    EXPECT_EQ(run.status != 0, *c.program_stops) << "program status " << run.status << " " << run.err;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, PrepareCheck, ::testing::ValuesIn(check_cases()),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(PrepareCheckFolder, ChecksTheFolderNamedAndRefusesAMissingOne) {
  TempDir d("kv_check_");
  fs::create_directory(d.dir() / "caso");
  TempDir inner("kv_check_", d.dir() / "caso");
  write_case(inner, CaseValues{}, samples(0.0, 0.7, 0.01));
  const Outcome ok = prepare(d.dir(), {"--check", inner.dir().string()});
  EXPECT_EQ(ok.status, 0) << ok.out << ok.err;
  const Outcome missing = prepare(d.dir(), {"--check", "no_such_folder"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("no_such_folder"), std::string::npos) << missing.err;
}

}  // namespace
}  // namespace kv::test
