// The one way a run ends early: the caller has written its message, then stops.
// A fatal error stops the run at once with exit status 0 and leaves the files as they
// are. Readers and checkers call stop_run(); only the driver's top catches RunStopped
// and ends the process, so no subsystem calls exit() itself.
#pragma once

namespace trevo {

struct RunStopped {};

[[noreturn]] inline void stop_run() { throw RunStopped{}; }

}  // namespace trevo
