// KALVORESTINE 2.0: thrust-curve analysis of a static firing of a solid-propellant
// rocket motor. The run is steered by its input files; it takes no arguments.
#include "program/run_sequence.h"

int main() { return static_cast<int>(kv::run_program()); }
