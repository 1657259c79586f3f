#include "input/case_selection.h"

#include "io/files.h"
#include "io/list_directed.h"

namespace kv {

void read_general_data(RunState& s, io::Access access) {
  io::open(unit::kGeneralData, kGeneralDataFile, access);
  io::read(unit::kGeneralData, {s.arqcaso});
  io::close(unit::kGeneralData);
}

void read_case_parameters(RunState& s, io::Access access) {
  constexpr int u = unit::kCaseParameters;
  io::open(u, s.arqcaso.trim(), access);
  io::read(u, {s.original});
  io::read(u, {s.ti});
  io::read(u, {s.tf});
  io::read(u, {s.Fcor});
  io::read(u, {s.M});
  io::read(u, {s.w});
  io::read(u, {s.nmax});
  io::read(u, {s.toB});
  io::read(u, {s.graf});
  io::read(u, {s.abreB});
  io::read(u, {s.caso});
  io::read(u, {s.titulo});
  io::close(u);
}

}  // namespace kv
