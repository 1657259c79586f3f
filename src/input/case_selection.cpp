#include "input/case_selection.h"

#include "io/files.h"
#include "io/list_directed.h"

namespace kv {

void read_general_data(RunState& s, io::Access access) {
  io::open(unit::kGeneralData, kGeneralDataFile, access);
  io::read(unit::kGeneralData, {s.arqcaso});
  io::close(unit::kGeneralData);
}

void read_case_parameters(RunState& s, io::Access access, const CaseParameter** reading) {
  constexpr int u = unit::kCaseParameters;
  if (reading) *reading = nullptr;
  io::open(u, s.arqcaso.trim(), access);
  for (const CaseParameter& p : kCaseParameters) {
    if (reading) *reading = &p;
    io::read(u, {p.target(s)});
  }
  io::close(u);
}

}  // namespace kv
