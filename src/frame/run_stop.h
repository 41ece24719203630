// The one way a run ends early: the caller has written its message, then stops.
// Spec: Part 1.3 (State and lifecycle): a fatal error stops the run at once with
// exit status 0. Readers and checkers call stop_run(); only the driver's top
// catches RunStopped and ends the process, so no Part calls exit() itself.
#pragma once

namespace trevo {

struct RunStopped {};

[[noreturn]] inline void stop_run() { throw RunStopped{}; }

}  // namespace trevo
