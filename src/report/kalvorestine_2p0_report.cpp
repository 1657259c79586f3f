// kalvorestine_2p0_report: one page for a finished run of KALVORESTINE 2.0, and the data
// sheet of a series of firings.
#include <string>
#include <vector>

#include "companion/entry.h"
#include "companion/errors.h"

namespace {

int run(const kv::companion::Companion&, const std::vector<std::string>&) { return kv::companion::kSuccess; }

}  // namespace

int main(int argc, char** argv) { return kv::companion::run("kalvorestine_2p0_report", argc, argv, run); }
