// The program's files, in one place: their names, the unit numbers the diagnostics name
// them by, the records that the companions read back from them, and the twelve values
// of the case parameter file. The program writes these files and the companions read
// and write them from here, so that no name, label or record layout is spelled twice.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "io/cp1252.h"
#include "io/layout.h"
#include "io/list_directed.h"

namespace kv {

struct RunState;

// Unit numbers of the files of a run, as the diagnostics name them.
namespace unit {
inline constexpr int kGeneralData = 5;
inline constexpr int kCaseParameters = 6;
inline constexpr int kLoadCell = 8;
inline constexpr int kSummaryReport = 10;
inline constexpr int kPlotScript = 18;
inline constexpr int kCurveTable = 20;
inline constexpr int kRunLog = 80;
}  // namespace unit

// The files with fixed names, in the case folder.
inline constexpr const char* kGeneralDataFile = "kalvorestine_2p0_dados_geral.txt";
inline constexpr const char* kPlotScript = "kalvorestine_2p0_curva_F-t.gnu";

// The records of the plot script that are the user's: the run keeps them as they are
// and rewrites what follows them.
inline constexpr int kPlotScriptHeadRecords = 6;

// The result files, named after the trimmed case name.
inline constexpr std::string_view kSummaryReportSuffix = "_saida_A.txt";
inline constexpr std::string_view kCurveTableSuffix = "_saida_B.txt";
inline constexpr std::string_view kRunLogSuffix = "_saida_H.txt";
std::string summary_report_name(std::string_view caso);
std::string curve_table_name(std::string_view caso);
std::string run_log_name(std::string_view caso);

// Where a case name with a folder in it ("sub/x", "../x") puts the result files: in
// another folder than the case folder, or outside it (a parent, an absolute path, a
// drive); `Here` for a plain name. `case_own_name` is its last part ("x").
enum class CaseNamePlace { Here, Elsewhere, Outside };
CaseNamePlace case_name_place(std::string_view caso);
std::string_view case_own_name(std::string_view caso);

// The banner that opens the run log, the summary report and the curve table: seven
// records, each beginning with "#".
inline constexpr int kBannerRecords = 7;

// The labels of the summary report's records that the companions read back; each is
// followed at once by its value.
namespace report_label {
inline constexpr io::FixedString kIt = "   It  = impulso total real (Ns) = ";
inline constexpr io::FixedString kFmed = "   Fmed   = empuxo médio (N) = ";
inline constexpr io::FixedString kTq = "   tq     = tempo de queima (s) = ";
inline constexpr io::FixedString kClasse = "   classe = classificação do motor =   ";
inline constexpr io::FixedString kNc = "   nc = número de pontos da curva processada = ";
// The echo of the case's values, which tells whose results the report holds.
inline constexpr io::FixedString kTi = "   ti = tempo original inicial (s) = ";
inline constexpr io::FixedString kTf = "   tf = tempo original final (s)   = ";
inline constexpr io::FixedString kFcor = "   Fcor = valor de corte do empuxo da curva de empuxo (N) = ";
inline constexpr io::FixedString kM = "   M = massa de propelente (g) = ";
inline constexpr io::FixedString kW = "   w = freqüência da aquisição de dados (Hz) = ";
}  // namespace report_label

// The run log's last progress line, written once every result file is complete: a log
// that ends elsewhere belongs to a run that stopped.
inline constexpr io::FixedString kLastProgress = "vai começar a abrir os arquivos de saída";

// The curve table: the banner, one heading record, then one record per point of the
// processed curve with its time, thrust, cumulative impulse, mass flow and consumed mass.
inline constexpr io::FixedString kCurveTableHeading =
    R"(("#", T4, "t [s]", T16, "F [N]", T31, "I [Ns]", T46, "fm [g/s]", T61, "M [g]"))";
inline constexpr io::FixedString kCurveTableRecord = "(F12.7, 8(1P, E15.6))";
inline constexpr int kCurveTableHeadRecords = kBannerRecords + 1;
inline constexpr int kCurveTableValues = 5;

// The bytes of one record of the curve table: its fields and the record end.
constexpr std::size_t curve_table_record_bytes() {
  std::size_t bytes = 2;
  int values = 0;
  for (const io::Item& item : io::layout<kCurveTableRecord>.items)
    if (item.takes_value() && values < kCurveTableValues) {
      bytes += item.w;
      ++values;
    }
  return bytes;
}

// The twelve values of the case parameter file, in their order: each is the first value
// of its own record, and a record may go on with a description that the program ignores.
struct CaseParameter {
  enum class Kind : std::uint8_t { Text, Real, Integer };
  std::string_view name;            // the name the program's labels give it
  Kind kind;
  std::string_view description;     // Windows-1252: what a case file says after the value
  io::Target (*target)(RunState&);  // where the run keeps it
};
extern const CaseParameter kCaseParameters[12];

}  // namespace kv
