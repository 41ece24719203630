// The integrity of a run's result files: every write of a result file is checked here, and
// interruptions (SIGINT, SIGTERM) are noticed here, so that a run which cannot finish its
// files ends as a failed or interrupted run and never as a complete one.
// A signal handler only sets a flag (async-signal-safe); the driver's check points and the
// one-step loop's per-iteration hook call check_interrupted(), which ends the run by throwing.
// For tests, TREVO_FAIL_WRITE_AT=k makes the k-th checked write call fail (k from 1).
#pragma once
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

namespace trevo {

// A result file could not be written; reason is the system's error text.
struct WriteFailed {
  std::string file, reason;
};
// SIGINT or SIGTERM arrived; signal is its number.
struct RunInterrupted {
  int signal = 0;
};

// Installs the SIGINT and SIGTERM handlers (they set the flag only) and reads
// TREVO_FAIL_WRITE_AT; resets the write count.
void begin_checked_run();
// Throws RunInterrupted when a signal has arrived since begin_checked_run().
void check_interrupted();
// Forgets the signal that arrived, once its interruption is being handled.
void clear_interruption();

// One write call: the stream's state after writing into file (or opening it). Throws
// WriteFailed when the stream failed (or the injected failure is due), RunInterrupted
// after a signal.
void check_written(const std::ostream& stream, const std::string& file);
// Closes the unit (flushing it) and checks the close as a write call.
void close_checked(std::ofstream& unit, const std::string& file);
// Flushes the data of a closed file to the disk (fsync); a failure is a write failure.
void sync_file(const std::string& file);

// Checked write calls since begin_checked_run() (for the fault-injection loop).
int write_calls();
// The files checked since begin_checked_run(), in the order of their first check: the
// run's result files (the run summary lists those that are left).
const std::vector<std::string>& checked_files();

}  // namespace trevo
