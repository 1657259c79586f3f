#include "program/run_sequence.h"

#include <memory>
#include <new>
#include <string>

#include "input/case_selection.h"
#include "input/sample_arrays.h"
#include "io/cp1252.h"
#include "io/diagnostics.h"
#include "io/files.h"
#include "output/curve_table.h"
#include "output/plot_script.h"
#include "output/summary_report.h"
#include "program/phases.h"
#include "run/launcher.h"
#include "run/run_log.h"

namespace kv {

// The run, step by step: each progress line of the run log stands before the phase it
// announces, so that a run log that ends early names the phase that stopped.
void run(RunState& s) {
  run_command("Notepad", kGeneralDataFile);
  read_general_data(s);
  run_command("notepad", s.arqcaso.trim());
  read_case_parameters(s);

  open_run_log(s);
  progress("Leu os dados principais");
  progress("Vai alocar memória para os vetores"_w);
  create_sample_arrays(s);
  // Ag and Ae are named but nothing computes them.
  progress("vai começar o cálculo de tq, fm, dt, Ag e Ae"_w);
  prepare_conditioning(s);
  progress("Vai iniciar a leitura de t e F do arquivo original da célula de carga"_w);
  progress(" ponto    t (s)      F (N)");
  take_points(s);
  progress("Terminou a leitura de t e F do arquivo original da célula de carga"_w);
  write_extremes_block(s);

  progress("vai começar o cálculo de Ii e It"_w);
  compute_impulse(s);
  progress("vai começar o cálculo de Mi (estimativa inicial) e Fmed"_w);
  compute_consumed_mass(s);
  compute_mean_thrust(s);
  progress("vai começar o cálculo de fmi (estimativa inicial)"_w);
  compute_mass_flow(s);
  // No value is computed for ci.
  progress("vai começar o cálculo de ci (estimativa inicial)"_w);
  progress("vai começar o cálculo de c e Is"_w);
  compute_exhaust_velocity(s);
  progress("vai começar a determinação da classe do motor"_w);
  determine_class(s);

  progress("vai começar a escrita da saída A"_w);
  write_summary_report(s);
  progress("vai começar a escrita da saída B"_w);
  write_curve_table(s);
  if (s.graf == 1) {
    progress("vai começar a gerar o gráfico de F-t.gnu"_w);
    update_plot_script(s);
    run_command("Wgnuplot", kPlotScript);
  }

  progress(io::kCp1252<kLastProgress>.view());
  close_run_log();
  run_command("Notepad", summary_report_name(s.caso.trim()));
  if (s.abreB == 1) run_command("Notepad", curve_table_name(s.caso.trim()));
  io::flush_all();
}

std::uint32_t run_program() {
  // Ctrl-C or a SIGTERM lets the run end between two records, with every record written
  // so far in its file, instead of losing what is still buffered.
  io::os().catch_interrupts();
  try {
    // The state lives until the run ends; the sample arrays can be large.
    auto state = std::make_unique<RunState>();
    run(*state);
    return 0;
  } catch (const io::Failure& failure) {
    return io::end_run(failure);
  } catch (const io::Interruption& interruption) {
    return io::end_interrupted(interruption);
  } catch (const std::bad_alloc&) {
    // Memory ran out somewhere else than in the sample arrays (an input record too long
    // to hold, for one): the run ends like any other failure, with its diagnostic and
    // with every record written so far in its file, not with an abort.
    return io::end_run(io::text_failure(io::kInsufficientMemory));
  }
}

}  // namespace kv
