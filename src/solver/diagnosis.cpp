// Convergence diagnosis after the iteration loop: summary line, verdict with hints, forces line.
#include "solver/diagnosis.h"

#include <array>
#include <cmath>
#include <string_view>

#include "fortran/edit.h"

namespace trevo {
namespace {

using fortran::edit_f;
using fortran::edit_g;
using fortran::edit_i;

// The hint blocks of verdicts 1..6, one list-directed line each, in their order. The
// sets differ in small ways ("wrong" and "bad" drawbead setting, "Possibly" and
// "Possible" bad mesh quality); each line is written exactly as it stands.
constexpr std::array<std::string_view, 13> kSet1 = {
    "******* Solution is not converged. See the main reasons as follows *******",
    "  1. One-step forming is not suitable for this Part.",
    "     Should consider multi-step forming.",
    "  2. Possible error in punch direction.",
    "     Check the model and try again.",
    "  3. Possibly bad mesh quality in the Blank.",
    "     Check the model and try again.",
    "  4. The least convergent factor is possibly too high.",
    "     Reduce the factor and try again.",
    "  5. Possible rigid body movement of the Blank.",
    "     Define constraint and try again.",
    "  6. Try to increase convergent stability factor",
    "     as multiple of the sheet\"s thickness."};
constexpr std::array<std::string_view, 13> kSet2 = {
    "******* Solution is not converged. Result may not be accurate. *******",
    "  1. Possibly bad mesh quality in the Blank.",
    "     Check the model and try again.",
    "  2. Possible rigid body movement of the Blank.",
    "     Define constraint and try again.",
    "  3. Possibly insufficient Blank Holder force or",
    "    wrong drawbead setting.",
    "  4. The least convergent factor is possibly too high.",
    "     Reduce the factor and try again.",
    "  5. Try to increase number of iterations to",
    "     improve accuracy.",
    "  6. Try to increase convergent stability factor",
    "     to half of the sheet\"s thickness."};
constexpr std::array<std::string_view, 11> kSet3 = {
    "******* Solution is not converged completely with moderate error *******",
    "  1. Possibly bad mesh quality in the Blank.",
    "     Check the model and try again.",
    "  2. Possible rigid body movement of the Blank.",
    "     Define constraint and try again.",
    "  3. Possibly insufficient Blank Holder force or",
    "    bad drawbead setting.",
    "  4. Try to increase number of iterations to",
    "     improve accuracy.",
    "  5. Try to increase convergent stability factor",
    "     to half of the sheet\"s thickness."};
constexpr std::array<std::string_view, 7> kSet4 = {
    "******* Solution is not converged completely with minor error *******",
    "  1. Possibly bad mesh quality in the Blank.",
    "     Check the model and try again.",
    "  2. Possible rigid body movement of the Blank.",
    "     Define constraint and try again.",
    "  3. Try to increase number of iterations to",
    "     improve accuracy."};
constexpr std::array<std::string_view, 4> kSet5 = {
    "******* Solution is convergent with minor error *******",
    "  1. Possible bad mesh quality in the Blank.",
    "  2. Possible rigid body movement of the Blank.",
    "******* It is not required to run TREVO again *******"};
constexpr std::array<std::string_view, 1> kSet6 = {
    "....... Solution is converged, though it does not meet the required accuracy......."};
constexpr std::string_view kConvergedConsole =
    ".... TREVO solution is complete. Result meets required convergent criteria ....";
constexpr std::string_view kConvergedReport =
    ".... TREVO solution is complete, result meets required convergent criteria ....";

std::span<const std::string_view> hint_set(int verdict) {
  switch (verdict) {
    case 1: return kSet1;
    case 2: return kSet2;
    case 3: return kSet3;
    case 4: return kSet4;
    case 5: return kSet5;
    default: return kSet6;
  }
}

// A list-directed record of one text item: one blank, then the text.
std::string list_directed(std::string_view text) {
  std::string record(1, ' ');
  record.append(text);
  return record;
}

}  // namespace

std::string progress_line(int32_t iteration, const ProgressValues& v) {
  return "NN0=" + edit_i(iteration, 4) + " ADP=" + edit_g(v.adp, 9, 3) + " RELAX=" + edit_f(v.relax, 4, 2) +
         " MAXP(" + edit_i(int64_t{v.maxp_node} + 1, 6) + ")=" + edit_g(v.maxp, 9, 3) + " HMIN(" +
         edit_i(int64_t{v.hmin_element} + 1, 6) + ")=" + edit_g(v.hmin, 9, 3);
}

void summary_line(int32_t nn0, int32_t last_printed, const ProgressValues& values, Reporter& reporter) {
  if (last_printed == nn0) return;
  reporter.both(progress_line(nn0 - 1, values));
}

int convergence_verdict(double least_adp, double maxp_abs, int32_t inversions, double t1, double tau, double f) {
  const double L = least_adp, P = maxp_abs, T = t1 * f;
  if (L <= tau || P <= T) return 0;
  if (L > 1000.0 || inversions > 0) return 1;
  if (L > 1.0) return 2;
  if (L > 0.01) return 3;
  if (L > 0.001 || (5.0 * T < P && P <= 10.0 * T)) return 4;
  if (L > 0.0001) return 5;
  return 6;
}

void write_verdict(int verdict, int32_t message_level, Reporter& reporter) {
  if (message_level != 2) return;
  if (verdict == 0) {
    reporter.console("");
    reporter.console(list_directed(kConvergedConsole));
    reporter.report(list_directed(kConvergedReport));
    return;
  }
  const auto lines = hint_set(verdict);
  reporter.console("");
  for (const auto line : lines) reporter.console(list_directed(line));
  reporter.console("");
  reporter.report("");
  for (const auto line : lines) reporter.report(list_directed(line));
  reporter.report("");
}

void diagnosis(const LoopOutcome& loop, double t1, const RunSettings& settings, Reporter& reporter) {
  summary_line(loop.nn0, loop.last_printed, loop.last, reporter);
  if (settings.iteration_limit <= 2) return;
  const int verdict = convergence_verdict(loop.least_adp, std::abs(loop.last.maxp), loop.inversions, t1,
                                          settings.displacement_tolerance, settings.force_tolerance);
  write_verdict(verdict, settings.message_level, reporter);
}

void forces_line(double punch_force, double blank_holder_force, Reporter& reporter) {
  reporter.both(fortran::ListRecord().text("PUNCHFORCE=").real(punch_force).text("    BHF=").real(blank_holder_force).str());
}

}  // namespace trevo
