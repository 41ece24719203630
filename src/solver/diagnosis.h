// After the loop: the summary progress line, the convergence verdict with its hints,
// and the punch and blank-holder forces line. None changes the solution or stops.
// Node and element numbers are 0-based here and printed +1.
#pragma once
#include <cstdint>
#include <span>
#include <string>

#include "core/reporter.h"
#include "core/settings.h"

namespace trevo {

// The values a progress line shows.
struct ProgressValues {
  double adp = 1.0;
  double relax = 1.0;
  int32_t maxp_node = 0;  // 0-based
  double maxp = 0.0;
  int32_t hmin_element = 0;  // 0-based
  double hmin = 1.0e20;
};

// The progress record: "NN0=" I4 " ADP=" G9.3 " RELAX=" F4.2 " MAXP(" I6 ")=" G9.3
// " HMIN(" I6 ")=" G9.3, written as it is to the console and the report.
std::string progress_line(int32_t iteration, const ProgressValues& values);

// Summary line: unless the last progress line was written at the counter nn0
// (last_printed = the NN0 of that line, 0 when none), the progress line of nn0 - 1.
void summary_line(int32_t nn0, int32_t last_printed, const ProgressValues& values, Reporter& reporter);

// Verdict 0 (converged) or hint set 1..6, the first test that holds: L <= tau or P <= T
// converged; L > 1000 or an inversion 1; L > 1 2; L > 0.01 3; L > 0.001 or 5T < P <= 10T 4;
// L > 0.0001 5; else 6. least_adp L (the least ADP, not the last), maxp_abs P = |MAXP|,
// t1 the initial thickness of element 1, tau the displacement tolerance, f the force
// tolerance; T = t1 * f scales it by the sheet thickness, while the loop's own test uses
// f alone. The force band 5T < P <= 10T belongs to set 4 and has decided there, so set 5
// is decided by L alone.
int convergence_verdict(double least_adp, double maxp_abs, int32_t inversions, double t1, double tau, double f);

// Writes the verdict's block (console, then report, each framed by empty lines; the
// converged block differs per side); nothing unless message_level is 2.
void write_verdict(int verdict, int32_t message_level, Reporter& reporter);

// What the iteration loop leaves for the diagnosis.
struct LoopOutcome {
  int32_t nn0 = 1;           // iteration counter NN0 after the loop
  int32_t last_printed = 0;  // NN0 of the last progress line, 0 when none was written
  ProgressValues last;       // ADP, RELAX, MAXP, HMIN of the last iteration
  double least_adp = 1.0e20;
  int32_t inversions = 0;
};

// Summary line, then the verdict when the iteration limit is above 2, with tau, f and
// the message level from the settings; t1 is the initial thickness of element 1. The
// forces line is separate: the driver's optional extra update comes between the two.
void diagnosis(const LoopOutcome& loop, double t1, const RunSettings& settings, Reporter& reporter);

// The list-directed record "PUNCHFORCE=", punch force, "    BHF=", blank-holder force,
// on the console and in the report.
void forces_line(double punch_force, double blank_holder_force, Reporter& reporter);

}  // namespace trevo
