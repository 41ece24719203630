// The solver driver: runs the phases of a job in order.
// Returns the process exit status: 0 for a normal end and a fatal stop alike (the stop's
// message is in the run report), 2 for a result file that could not be written, 128 + N
// after the signal N (driver/run_record.h). The run summary is the run's last file.
#pragma once
#include "driver/command_line.h"

namespace trevo {

int run_job(const CommandLine& line);

}  // namespace trevo
