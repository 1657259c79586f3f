// The export's writing over the scripted system, where the faults a real machine gives
// only now and then are made to happen: a disk that fills during the .eng or the CSV, a
// rename refused, a folder that takes the target's name meanwhile, a sync that fails.
// Each time the previous good file stays as it was, no temporary or cut file is left,
// and the message names the user's file and the reason. The case and its results come
// from a real run of the program on a small firing.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "companion/errors.h"
#include "export/ascii_text.h"
#include "export/export_run.h"
#include "export/output_file.h"
#include "export_fixture.h"
#include "io/files.h"
#include "scripted_os.h"

namespace kv::exporter {
namespace {

using test::CaseDir;
using test::CaseSetup;
using test::ScriptedOs;

// The files of a case folder after a real run, by name.
const std::map<std::string, std::string>& finished_case() {
  static const std::map<std::string, std::string> files = [] {
    CaseDir dir;
    dir.write_case(CaseSetup{}, test::samples(100, 0.0, 3.5, test::trapezoid_burn));
    EXPECT_EQ(dir.run_program(), 0);
    std::map<std::string, std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir.dir())) out[e.path().filename().string()] = dir.get(e.path().filename().string());
    return out;
  }();
  return files;
}

// The scripted system holding the case in its working folder /case, each file written in
// the order a run writes them.
struct Case {
  ScriptedOs os{"/case"};
  Case() {
    for (const char* input : {"kalvorestine_2p0_dados_geral.txt", "case.txt", "cell.txt"})
      os.put(input, finished_case().at(input));
    for (const auto& [name, bytes] : finished_case())
      if (!os.has(name)) os.put(name, bytes);
    for (const auto& [name, bytes] : finished_case()) os.set_modified(name, name.find("_saida_") != std::string::npos ? 2'000'000'000'000 : 1'000'000'000'000);
  }
  Options options() const {
    Options o;
    o.diameter_mm = 29;
    o.length_mm = 124;
    o.total_kg = 0.08;
    return o;
  }
  // The export's message, or "" when it succeeded.
  std::string export_with(const Options& o) {
    try {
      const FinishedRun r = read_finished_run();
      run_export(o, r);
      return "";
    } catch (const companion::DataError& e) {
      return e.what();
    }
  }
  // The names in the case folder that are no file of the case's nor one asked for.
  std::vector<std::string> strays(const std::vector<std::string>& outputs) const {
    std::vector<std::string> out;
    for (const std::string& n : os.listing("/case"))
      if (!finished_case().count(n) && std::find(outputs.begin(), outputs.end(), n) == outputs.end()) out.push_back(n);
    return out;
  }
};

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(ExportFaults, AFaultWhileWritingLeavesThePreviousFilesAsTheyWereAndNoTemporaryFile) {
  struct Row {
    const char* name;
    std::function<void(ScriptedOs&)> fault;
    const char* reason;
  };
  const Row rows[] = {
      {"the disk fills during the .eng", [](ScriptedOs& os) { os.disk_space(300); }, "the disk is full"},
      {"the disk fills during the CSV", [](ScriptedOs& os) { os.quota("/case/.curve.csv.tmp1", 2000); }, "the disk is full"},
      {"the .rse's folder refuses the rename", [](ScriptedOs& os) { os.refuse_rename("/case/m.rse"); }, "permission denied"},
      {"a folder takes the .eng's name meanwhile",
       [](ScriptedOs& os) { os.refuse_rename("/case/firing.eng", io::OsError::IsDirectory); }, "a folder has its name"},
      {"the disk cannot make the file durable", [](ScriptedOs& os) { os.refuse_sync = true; }, "durable"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Case c;
    Options o = c.options();
    o.rse_path = "m.rse";
    o.csv_path = "curve.csv";
    ASSERT_EQ(c.export_with(o), "");
    const std::string eng = c.os.get("firing.eng"), rse = c.os.get("m.rse"), csv = c.os.get("curve.csv");
    ASSERT_FALSE(eng.empty());
    // A second export over the first one's files, with fewer points, meets the fault.
    o.max_points = 20;
    o.points_given = true;
    row.fault(c.os);
    const std::string message = c.export_with(o);
    EXPECT_TRUE(contains(message, row.reason)) << message;
    EXPECT_TRUE(contains(message, "the file there was left as it was")) << message;
    EXPECT_FALSE(contains(message, ".tmp")) << "the message names the temporary file: " << message;
    EXPECT_EQ(c.strays({"firing.eng", "m.rse", "curve.csv"}), std::vector<std::string>{});
    // Where the fault came before any file was put in place, every file is the first
    // export's; a refused rename of the second leaves the first one new.
    EXPECT_EQ(c.os.get("m.rse"), rse);
    EXPECT_EQ(c.os.get("curve.csv"), csv);
    if (std::string(row.name).find(".rse") == std::string::npos) {
      EXPECT_EQ(c.os.get("firing.eng"), eng);
    }
  }
}

// SIGINT or SIGTERM while the motor files are written: the export stops between two
// writes, takes its temporary files away and leaves the previous files as they were.
TEST(ExportFaults, AnInterruptionWhileWritingLeavesThePreviousFilesAndNoTemporaryFile) {
  for (const char* temporary : {"/case/.firing.eng.tmp1", "/case/.m.rse.tmp1", "/case/.curve.csv.tmp1"}) {
    SCOPED_TRACE(temporary);
    Case c;
    Options o = c.options();
    o.rse_path = "m.rse";
    o.csv_path = "curve.csv";
    ASSERT_EQ(c.export_with(o), "");
    const std::string eng = c.os.get("firing.eng"), rse = c.os.get("m.rse"), csv = c.os.get("curve.csv");
    o.max_points = 20;
    o.points_given = true;
    c.os.interrupt_at_open(temporary, SIGTERM);
    int signal = 0;
    try {
      c.export_with(o);
    } catch (const io::Interruption& i) {
      signal = i.signal;
    }
    io::note_interrupt(0);
    EXPECT_EQ(signal, SIGTERM);
    EXPECT_EQ(c.strays({"firing.eng", "m.rse", "curve.csv"}), std::vector<std::string>{});
    EXPECT_EQ(c.os.get("firing.eng"), eng);
    EXPECT_EQ(c.os.get("m.rse"), rse);
    EXPECT_EQ(c.os.get("curve.csv"), csv);
  }
}

TEST(ExportFaults, AFullDiskOnAFirstExportLeavesNothing) {
  Case c;
  c.os.disk_space(100);
  const std::string message = c.export_with(c.options());
  EXPECT_TRUE(contains(message, "cannot write firing.eng (/case/firing.eng): the disk is full; nothing was written"))
      << message;
  EXPECT_EQ(c.strays({}), std::vector<std::string>{});
}

TEST(ExportFaults, TargetsThatAreNotRegularFilesAreNeverReplaced) {
  struct Row {
    const char* name;
    std::function<void(ScriptedOs&)> make;
    const char* says;
  };
  const Row rows[] = {
      {"a symbolic link to a file", [](ScriptedOs& os) { os.put("/motors/real.eng", "mine"); os.symlink("/case/firing.eng", "/motors/real.eng"); },
       "a symbolic link (to a regular file)"},
      {"a link that leads nowhere", [](ScriptedOs& os) { os.symlink("/case/firing.eng", "/nowhere/x.eng"); },
       "a symbolic link (to nothing)"},
      {"a FIFO", [](ScriptedOs& os) { os.put("/case/firing.eng", ""); os.not_regular("/case/firing.eng"); }, "a FIFO"},
      {"a folder", [](ScriptedOs& os) { os.mkdir("/case/firing.eng"); }, "it is a folder"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Case c;
    c.os.mkdir("/motors");
    row.make(c.os);
    const bool link = c.os.is_link("/case/firing.eng");
    const std::string message = c.export_with(c.options());
    EXPECT_TRUE(contains(message, row.says)) << message;
    EXPECT_EQ(c.os.is_link("/case/firing.eng"), link);
    if (link) {
      EXPECT_EQ(c.os.get("/motors/real.eng"), std::string(row.name).find("file") != std::string::npos ? "mine" : "");
    }
    EXPECT_EQ(c.strays({"firing.eng"}), std::vector<std::string>{});
  }
}

TEST(ExportFaults, ResultsThatAreNotTheCasesFinishedRunAreRefused) {
  struct Row {
    const char* name;
    std::function<void(ScriptedOs&)> spoil;
    const char* says;
  };
  const auto edit = [](ScriptedOs& os, const char* file, const std::string& from, const std::string& to) {
    std::string t = os.get(file);
    t.replace(t.find(from), from.size(), to);
    const std::int64_t keep = os.status(file, true).modified_ns;
    os.put(file, t);
    os.set_modified(file, keep);
  };
  const Row rows[] = {
      {"the last run stopped before its end",
       [](ScriptedOs& os) {
         std::string log = os.get("firing_saida_H.txt");
         os.put("firing_saida_H.txt", log.substr(0, log.find(" vai come\xE7" "ar a escrita da sa\xED" "da A")));
         os.set_modified("firing_saida_H.txt", 2'000'000'000'000);
       },
       "ends at \"vai come\xC3\xA7" "ar a determina\xC3\xA7\xC3\xA3o da classe do motor\": the last run of the case stopped there"},
      {"tf changed after the run", [&](ScriptedOs& os) { edit(os, "case.txt", "3.0  ", "2.9  "); },
       "was written for tf = 3.0000000E+00, where the case parameter file /case/case.txt now gives 2.9000000E+00"},
      {"Fcor changed after the run", [&](ScriptedOs& os) { edit(os, "case.txt", "0.0  ", "0.1  "); }, "for Fcor"},
      {"M changed after the run", [&](ScriptedOs& os) { edit(os, "case.txt", "0.030  ", "0.031  "); }, "for M"},
      {"the load-cell record changed after the run",
       [](ScriptedOs& os) { os.set_modified("cell.txt", 2'000'000'000'000 + 3'000'000'000); },
       "the load-cell record /case/cell.txt was changed after the run"},
      {"the case parameter file changed after the run",
       [](ScriptedOs& os) { os.set_modified("case.txt", 2'000'000'000'000 + 3'000'000'000); },
       "the case parameter file /case/case.txt was changed after the run"},
      {"a thrust of the record changed",
       [&](ScriptedOs& os) { edit(os, "cell.txt", "40.00000", "41.00000"); }, "the results are not of this record"},
      {"no run log", [](ScriptedOs& os) { os.remove("firing_saida_H.txt"); }, "no run log"},
      {"a ti beyond the double range", [&](ScriptedOs& os) { edit(os, "case.txt", "0.5  ", "1e400  "); },
       "gives ti = inf (its value 2), not a finite number"},
      {"a total impulse that is not finite",
       [&](ScriptedOs& os) {
         std::string a = os.get("firing_saida_A.txt");
         const std::string label = "impulso total real (Ns) = ";
         const std::size_t at = a.find(label) + label.size();
         a.replace(at, a.find("\r\n", at) - at, "       Infinity");
         os.put("firing_saida_A.txt", a);
         os.set_modified("firing_saida_A.txt", 2'000'000'000'000);
       },
       "not a finite number"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Case c;
    row.spoil(c.os);
    const std::string message = c.export_with(c.options());
    EXPECT_TRUE(contains(message, row.says)) << message;
    if (std::string(row.name).find("finite") == std::string::npos && std::string(row.name).find("double") == std::string::npos) {
      EXPECT_TRUE(contains(message, "run the program")) << message;
    }
    EXPECT_FALSE(c.os.has("firing.eng"));
  }
}

TEST(ExportFaults, ResultsWrittenInTheSameTwoSecondsAsTheInputsAreTheRunsOwn) {
  // A folder copied without its files' times, or a file system that keeps them to two
  // seconds: the results may seem a little older than the inputs.
  Case c;
  c.os.set_modified("case.txt", 2'000'000'000'000 + 1'500'000'000);
  EXPECT_EQ(c.export_with(c.options()), "");
}

TEST(ExportFaults, ControlCharactersInTheTitleBecomeBlanksInTheMotorFiles) {
  // A bare CR in a hand-edited title: a reader that ends lines at CR would read what
  // follows it as the motor's header line.
  Case c;
  std::string cf = c.os.get("case.txt");
  const std::string title = "'Static firing \xE9 1'";
  cf.replace(cf.find(title), title.size(), "'Static\rD99 1 1 P 1 1 x\t\x01 \x96 caf\xE9'");
  c.os.put("case.txt", cf);
  c.os.set_modified("case.txt", 1'000'000'000'000);
  Options o = c.options();
  o.rse_path = "m.rse";
  ASSERT_EQ(c.export_with(o), "");
  const std::string eng = c.os.get("firing.eng");
  EXPECT_TRUE(contains(eng, "; title: Static D99 1 1 P 1 1 x   - cafe\r\n")) << eng;
  for (const char ch : eng + c.os.get("m.rse")) {
    const auto b = static_cast<unsigned char>(ch);
    ASSERT_TRUE((b >= 0x20 && b < 0x7F) || ch == '\r' || ch == '\n') << static_cast<int>(b);
  }
  // Every line ends with CR LF: no CR stands alone.
  for (std::size_t at = eng.find('\r'); at != std::string::npos; at = eng.find('\r', at + 1)) ASSERT_EQ(eng[at + 1], '\n');
}

TEST(ExportFaults, AsciiTextsSayWhatChanged) {
  struct Row {
    std::string cp1252;
    std::string ascii;
    std::string change;
  };
  const Row rows[] = {
      {"Motor D12 \x96 ensaio est\xE1tico", "Motor D12 - ensaio estatico", "'\xE2\x80\x93' as '-'"},
      {"a\rb\nc\td", "a b c d", "a CR as a blank"},
      {"\xC6sir \xDF", "AEsir ss", "'\xC3\x86' as 'AE'"},
      {"20 \x80 \xA9", "20  ", "'\xE2\x82\xAC' left out"},
      {"x\x81y", "x y", "the control character 0x81 as a blank"},
      {"plain", "plain", ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.ascii);
    const AsciiText a = ascii_from_cp1252(r.cp1252);
    EXPECT_EQ(a.text, r.ascii);
    if (r.change.empty())
      EXPECT_TRUE(a.changes.empty());
    else
      EXPECT_TRUE(contains(changes_text(a.changes), r.change)) << changes_text(a.changes);
  }
  // From UTF-8: what Windows-1252 lacks goes, and so does a byte that is no UTF-8.
  const AsciiText u = ascii_from_utf8("Jo\xC3\xA3o \xE2\x86\x92 \xFF" "ok");
  EXPECT_EQ(u.text, "Joao  ok");
  EXPECT_EQ(u.changes.size(), 3u);
}

}  // namespace
}  // namespace kv::exporter
