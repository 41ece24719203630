// The explicit path for a phase whose subsystem is not built yet: it says so on the
// console and in the run report and stops the run, so no result is ever faked.
#pragma once
#include <string>

#include "core/reporter.h"
#include "core/run_stop.h"

namespace trevo {

[[noreturn]] inline void stop_not_implemented(const std::string& phase, Reporter& reporter) {
  reporter.message("******* Not implemented in this version of trevo: " + phase + " *******");
  stop_run();
}

}  // namespace trevo
