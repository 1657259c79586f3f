#include "output/summary_report.h"

#include <charconv>
#include <cstdint>
#include <string>

#include "analysis/impulse_class.h"
#include "analysis/mass_flow.h"
#include "io/files.h"
#include "io/layout.h"
#include "io/record_writer.h"
#include "run/program_files.h"
#include "run/run_log.h"

namespace kv {
namespace {

constexpr int u = unit::kSummaryReport;

// A label of program_files.h as a literal item of a layout.
template <std::size_t N>
consteval io::FixedString<N + 2> literal(const io::FixedString<N>& text) {
  return io::FixedString("\"") + text + io::FixedString("\"");
}

constexpr auto kMainResults = io::FixedString(R"((/, /,
    " ---------- RESULTADOS PRINCIPAIS ----------", /, /, /,
    )") + literal(report_label::kIt) + io::FixedString(R"(, 1P, E15.6, /, /,
    )") + literal(report_label::kFmed) + io::FixedString(R"(, E15.6, /, /,
    )") + literal(report_label::kTq) + io::FixedString(R"(, E15.7, /, /,
    )") + literal(report_label::kClasse) + io::FixedString(", A, ");

constexpr auto kData = io::FixedString(R"((/, /,
    " ---------- DADOS ----------", /, /, /,
    "   original = nome do arquivo de dados originais de empuxo versus tempo = ", A, /, /,
    )") + literal(report_label::kTi) + io::FixedString(R"(, 1P, E15.7, /, /,
    )") + literal(report_label::kTf) + io::FixedString(R"(, E15.7, /, /,
    )") + literal(report_label::kFcor) + io::FixedString(R"(, E15.6, /, /,
    )") + literal(report_label::kM) + io::FixedString(R"(, E15.6, /, /,
    )") + literal(report_label::kW) + io::FixedString(R"(, I6, /, /,
    "   dt = intervalo de tempo entre duas medidas (s) = ", E15.7, /, /,
    "   go = aceleração gravitacional ao nível do mar (m/s2) = ", E15.6, /, /,
    "   nmax = número máximo de pontos para a curva de empuxo = ", I8, /,
    )") + literal(report_label::kNc) + io::FixedString(", I6)");

void write_main_results(const RunState& s) {
  const std::string_view classe = s.classe.trim();
  std::int32_t number = INT32_MIN;
  if (!class_number(s.Fmed, number) || (number >= -9 && number <= 99)) {
    // A number from -9 to 99 fits I2. No number at all (a non-finite mean thrust, or
    // one beyond 32 bits) is the most negative integer, which I2 shows as "**" with the
    // output conversion error.
    io::write(u, io::layout<kMainResults + io::FixedString("I2)")>, {s.It, s.Fmed, s.tq, classe, number});
  } else {
    // A number beyond two columns is written with all its digits: G120, K1450, -10.
    char digits[12];
    const auto r = std::to_chars(digits, digits + sizeof digits, number);
    io::write(u, io::layout<kMainResults + io::FixedString("A)")>,
              {s.It, s.Fmed, s.tq, classe, std::string_view(digits, static_cast<std::size_t>(r.ptr - digits))});
  }
}

}  // namespace

void write_summary_report(const RunState& s) {
  io::open(u, summary_report_name(s.caso.trim()));
  write_banner(u, s);
  io::write(u, io::layout<kData>,
            {s.original.trim(), s.ti, s.tf, s.Fcor, grams(s.M), s.w, s.dt, go, s.nmax, s.nc});
  write_main_results(s);
  io::write(u,
            io::layout<R"((/, /,
                " ---------- OUTROS RESULTADOS ----------", /, /, /,
                "   c   = velocidade de exaustão efetiva média (m/s) = ", 1P, E15.6, /, /,
                "   Is  = impulso específico médio (s) = ", E15.6))">,
            {s.c, s.Is});
  io::write(u,
            io::layout<R"((/, /,
                " --- variável ---   --- média -----   --- máximo ----   --- mínimo ----   -- max / med --   -- min / med --", /, /,
                T2, "F real [N] .....", T18, 1P, 5(3X, E15.6)))">,
            {s.Fmed, s.Fmax, s.Fmin, s.Fmax / s.Fmed, s.Fmin / s.Fmed});
  io::close(u);
}

}  // namespace kv
