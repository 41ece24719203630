// The solver driver: runs the phases of a job in order.
// Returns the process exit status, which is 0 for every run that got this far: a
// normal end and a fatal stop alike (the stop's message is in the run report).
#pragma once
#include "driver/command_line.h"

namespace trevo {

int run_job(const CommandLine& line);

}  // namespace trevo
