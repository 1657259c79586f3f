// Fuzz target: the export's readers of a finished run, and what it writes from them.
//
// The input is a case folder in parts, each after a line "@@@": the case parameter file,
// the summary report, the curve table, the run log and the load-cell record. They go into
// a scripted file system with a general data file that names the case; the export reads
// the run (its case, its results, the firing curve) and writes the .eng, the .rse and the
// CSV. Any of it may refuse with a DataError; nothing may crash, read out of bounds or
// reach undefined behaviour, and a motor file it writes must break none of the readers'
// rules that --check-motor knows.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "companion/errors.h"
#include "export/export_run.h"
#include "export/motor_check.h"
#include "scripted_os.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kv;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const char* names[] = {"case.txt", "f_saida_A.txt", "f_saida_B.txt", "f_saida_H.txt", "cell.txt"};
  test::ScriptedOs os("/c");
  os.put("kalvorestine_2p0_dados_geral.txt", "case.txt\r\n");
  std::size_t at = 0;
  for (int k = 0; k < 5; ++k) {
    std::size_t end = input.find("@@@\n", at);
    if (end == std::string_view::npos) end = input.size();
    os.put(names[k], input.substr(at, end - at));
    os.set_modified(names[k], k == 0 || k == 4 ? 1 : 2);
    at = end + 4 > input.size() ? input.size() : end + 4;
  }
  exporter::Options o;
  o.diameter_mm = 24;
  o.length_mm = 70;
  o.total_kg = 1.0;
  o.rse_path = "m.rse";
  o.csv_path = "m.csv";
  try {
    const exporter::FinishedRun r = exporter::read_finished_run();
    exporter::run_export(o, r);
  } catch (const companion::DataError&) {
    return 0;
  } catch (const io::Failure&) {
    return 0;
  }
  // What it wrote breaks no rule, but for more than 32 points, which only old RASP
  // readers cut.
  const auto clean = [](const std::string& text) {
    for (const exporter::MotorProblem& p : exporter::check_motor(text).problems)
      if (p.rule.find("more than 32") == std::string::npos) return false;
    return true;
  };
  if (!clean(os.get("m.rse"))) std::abort();
  for (const std::string& n : os.listing("/c"))
    if (n.size() > 4 && n.ends_with(".eng") && !clean(os.get(n))) std::abort();
  return 0;
}
