// The solver driver: runs the 30 phases of a job in order.
// Spec: Part 1.3. Returns the process exit status, which is 0 for every run that
// got this far: a normal end and a fatal stop alike (Part 1.3, State and lifecycle).
#pragma once
#include "frame/command_line.h"

namespace trevo {

int run_job(const CommandLine& line);

}  // namespace trevo
