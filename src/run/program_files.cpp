#include "run/program_files.h"

#include "run/run_state.h"

namespace kv {

CaseNamePlace case_name_place(std::string_view caso) {
  if (caso.find_first_of("/\\:") == std::string_view::npos) return CaseNamePlace::Here;
  const bool outside = caso.front() == '/' || caso.front() == '\\' || caso.find(':') != std::string_view::npos ||
                       caso.starts_with("..") || caso.find("/..") != std::string_view::npos ||
                       caso.find("\\..") != std::string_view::npos;
  return outside ? CaseNamePlace::Outside : CaseNamePlace::Elsewhere;
}

std::string_view case_own_name(std::string_view caso) {
  const auto slash = caso.find_last_of("/\\:");
  return slash == std::string_view::npos ? caso : caso.substr(slash + 1);
}

std::string summary_report_name(std::string_view caso) { return std::string(caso).append(kSummaryReportSuffix); }
std::string curve_table_name(std::string_view caso) { return std::string(caso).append(kCurveTableSuffix); }
std::string run_log_name(std::string_view caso) { return std::string(caso).append(kRunLogSuffix); }

static_assert(curve_table_record_bytes() == 74);

namespace {
using K = CaseParameter::Kind;
}  // namespace

const CaseParameter kCaseParameters[12] = {
    {"original", K::Text, "original = arquivo de dados originais da célula de carga (t em s, F em N)"_w,
     [](RunState& s) { return io::Target(s.original); }},
    {"ti", K::Real, "ti (s) = tempo original inicial: um pouco antes da ignição"_w,
     [](RunState& s) { return io::Target(s.ti); }},
    {"tf", K::Real, "tf (s) = tempo original final: no fim da queima"_w, [](RunState& s) { return io::Target(s.tf); }},
    {"Fcor", K::Real, "Fcor (N) = empuxo de corte: leituras abaixo disto valem Fcor"_w,
     [](RunState& s) { return io::Target(s.Fcor); }},
    {"M", K::Real, "M (kg) = massa de propelente"_w, [](RunState& s) { return io::Target(s.M); }},
    {"w", K::Integer, "w (Hz) = frequência de aquisição de dados"_w, [](RunState& s) { return io::Target(s.w); }},
    {"nmax", K::Integer, "nmax = número máximo de pontos da curva de empuxo"_w,
     [](RunState& s) { return io::Target(s.nmax); }},
    {"toB", K::Integer, "toB = 1: a saída B dá os tempos originais; outro valor: tempos corrigidos"_w,
     [](RunState& s) { return io::Target(s.toB); }},
    {"graf", K::Integer, "graf = 1: gera o gráfico F-t com o gnuplot; outro valor: não gera"_w,
     [](RunState& s) { return io::Target(s.graf); }},
    {"abreB", K::Integer, "abreB = 1: abre a saída B no editor ao final; outro valor: só a saída A"_w,
     [](RunState& s) { return io::Target(s.abreB); }},
    {"caso", K::Text, "caso = nome do caso: base dos nomes dos arquivos de saída"_w,
     [](RunState& s) { return io::Target(s.caso); }},
    {"titulo", K::Text, "título do caso, entre apóstrofos"_w, [](RunState& s) { return io::Target(s.titulo); }},
};

}  // namespace kv
