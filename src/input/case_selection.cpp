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
  for (const CaseParameter& p : kCaseParameters) io::read(u, {p.target(s)});
  io::close(u);
}

}  // namespace kv
