#include "run/run_log.h"

#include <string>

#include "io/files.h"
#include "io/layout.h"
#include "io/record_writer.h"
#include "run/program_files.h"

namespace kv {

void write_banner(int unit, const RunState& s) {
  io::write(unit,
            io::layout<R"(("#", /,
                           "#", T4, "Saída do programa KALVORESTINE 2.0.6.2, versão de 19 Nov 2012", /,
                           "#", /,
                           "#", T4, "Caso   = ", A, /,
                           "#", /,
                           "#", T4, "Título = ", A, /,
                           "#"))">,
            {s.caso.trim(), s.titulo.trim()});
}

void open_run_log(const RunState& s) {
  io::open(unit::kRunLog, run_log_name(s.caso.trim()));
  write_banner(unit::kRunLog, s);
}

void close_run_log() { io::close(unit::kRunLog); }

void progress(std::string_view text) { io::write_list(unit::kRunLog, text); }

void echo_line(std::int32_t nc, double t, double F) {
  io::write(unit::kRunLog, io::layout<"(I5, 3X, F12.7, 1P, E15.7)">, {nc, t, F});
}

void write_extremes_block(const RunState& s) {
  io::write(unit::kRunLog,
            io::layout<R"(("fm  = fluxo de massa médio = M/tq (g/s) = ", 1P, E15.6, /,
                           "Fmin = empuxo mínimo (N) = ", E15.6, /,
                           "tmin-ti = tempo corrigido do empuxo mínimo (s) = ", E15.7, /,
                           "tmin    = tempo original do empuxo mínimo (s)  = ", E15.7, /,
                           "Fmax = empuxo máximo (N) = ", E15.6, /,
                           "tmax-ti = tempo corrigido do empuxo máximo (s) = ", E15.7, /,
                           "tmax    = tempo original do empuxo máximo (s)  = ", E15.7, /,
                           "nmax = número máximo de pontos para a curva de empuxo = ", I8, /,
                           "nc = número de pontos da curva processada = ", I6))">,
            {s.fm, s.Fmin, s.tmin - s.ti, s.tmin, s.Fmax, s.tmax - s.ti, s.tmax, s.nmax, s.nc});
}

}  // namespace kv
