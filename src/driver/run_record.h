// What a run records for its summary while the phases go on, and how a run ends: the
// summary <base>.summary.json written last, the message of a failed write or an
// interruption, and the exit status.
// Exit status: 0 for a complete run and for the system's own fatal stops (their message
// is in the run report); 2 when a result file could not be written; 128 + N after the
// signal N (SIGINT 130, SIGTERM 143).
#pragma once
#include <array>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "core/result_write.h"
#include "core/sha256.h"

namespace trevo {

struct Job;
struct RunFiles;

enum class Phase { read, prepare, unfold, iterate, output };
inline constexpr int kPhaseCount = 5;
inline constexpr int kWriteFailedStatus = 2;

struct RunRecord {
  std::chrono::steady_clock::time_point lap_start;
  std::array<std::optional<double>, kPhaseCount> seconds;  // wall time of each phase that ended
  std::vector<std::array<double, 4>> history;             // NN0, ADP, RELAX, MAXP per iteration
  std::optional<FileDigest> input;                        // the input as it was read
  bool solved = false;                                    // the loop and its diagnosis ran
};

// How the run ended, for the summary: its status, message and the process exit status.
struct RunEnd {
  std::string status;
  std::optional<std::string> message;
  int exit_status = 0;
};

// At the start of a run, before anything is read: removes a summary left by an earlier
// run of the job (so that no old "complete" stands beside new, unfinished files),
// fingerprints the input, starts the phase clock and the write checks, and hooks the
// iteration history (and the interruption check) into the one-step loop.
void begin_run_record(Job& job);
// The result files just opened (a file that cannot be created is a failed write).
void check_run_files_open(RunFiles& files);
// Ends a phase: its wall time, the run report's state and a pending interruption.
void end_phase(Job& job, Phase phase);
// The end of a complete run: the run report closed and checked.
void close_report(Job& job);

// The message of a failed write ("trevo: cannot write <file>: <reason>") or an
// interruption ("trevo: interrupted by signal N; results are incomplete"), written to the
// console and, while it can be written, the run report.
RunEnd write_failure(Job& job, const WriteFailed& failure);
RunEnd interruption(Job& job, const RunInterrupted& interrupted);
// The system's own fatal stop: status "stopped" with the stop's message, exit status 0.
RunEnd fatal_stop(const Job& job);

// Writes the summary for the run's end (a failure on the way turns into a write-failed or
// interrupted summary) and returns the process exit status.
int conclude_run(Job& job, RunEnd end);

}  // namespace trevo
