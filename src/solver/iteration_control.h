// The pieces of the damped Newton loop that decide: displacement measure ADP,
// stabilisation coefficients, line search, inversion count and the stop tests.
// Nodes 0-based; per-equation vectors hold (x, y) of node i at 2i, 2i+1.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>

#include "core/mesh.h"
#include "core/real_limits.h"
#include "core/reporter.h"

namespace trevo {

// ADP = sum over nodes of dU(2i)^2 + dU(2i+1)^2, divided by (D + 1e-50), D the
// diagonal of the bounding rectangle of the blank (X, Y). Not square-rooted.
double displacement_measure(std::span<const double> increment, std::span<const double> blank_x,
                            std::span<const double> blank_y);

// True when every entry is a finite number.
bool all_finite(std::span<const double> values);

// A value of an iteration or of its forces that is not a finite number (an increment, a
// residual, MAXP, ADP, the punch force, the blank's area) ends the run with the
// calculation-error text at message level 2: carried on, it would reach the blank and every
// result, and a verdict could call such a run converged. Every entry of an increment counts:
// one not-a-number anywhere spreads to every node as the run goes on.
void stop_unless_finite(bool finite, int32_t message_level, Reporter& reporter);

// A blank that runs away does not always overflow: its increment can shrink to nothing while the
// out-of-balance forces grow, and the ADP test then calls kilometres of blank with |MAXP| of 1e70 N
// converged. So a MAXP beyond the range of the result files' 4-byte reals counts as not a finite
// number; no force of a stamped part comes near 3.4e38 N.
inline bool force_within_range(double maxp) {
  return std::fabs(maxp) <= kSingleLimit;
}

// Per node and direction: 1e-4 up to L/80, linear ramps to 1e-5 (L/40), 1e-6 (L/20),
// 1e-7 (L/10), then 0; u = |U| in that direction, L the blank's extent in it.
void stabilisation_coefficients(std::span<const double> displacement, std::span<const double> blank_x,
                                std::span<const double> blank_y, std::span<double> kx, std::span<double> ky);
double stabilisation_coefficient(double u, double extent);

// Number of elements whose doubled signed blank area (X3-X1)(Y4-Y2)-(X4-X2)(Y3-Y1)
// is below -1e-5 (a triangle repeats node 3 as node 4).
int32_t inverted_element_count(const Mesh& part, std::span<const double> blank_x, std::span<const double> blank_y);

// An iteration that ends with inverted elements adds 1 to the inversion count, however many.
inline int32_t counted_inversions(int32_t count, int32_t inverted_elements) {
  return inverted_elements > 0 ? count + 1 : count;
}

// The RELAX of the line search clamped to [minimum, maximum relaxation]; the update and the
// progress line use the clamped value.
inline double clamped_relaxation(double searched, double min_relax, double max_relax) {
  return std::min(std::max(min_relax, searched), max_relax);
}

// The start of the next solution K dU = R: the last increment times (1 - relax). A step of RELAX
// along dU leaves, where the problem is linear, the residual (1 - relax) R and so the increment
// (1 - relax) dU; the conjugate gradients then only answer what the step changed. Starting from
// the whole last increment instead, as the solution kept it, costs the membrane unfolding of the
// 106,632-element cup 1,400 CG steps instead of 208 (docs/performance.md).
inline void predict_next_increment(std::span<double> last_increment, double relax) {
  for (double& v : last_increment) v *= 1.0 - relax;
}

// How much a line-search trial may raise f = |R|^2 / 2 and still be taken, as a multiple of f0.
// The residual is only piecewise smooth: a node that starts or stops sticking and an element that
// crosses a jump of the secant law change it by a step. A full Newton step that settles the smooth
// part of the residual can still raise |R|^2 by some per cent through a few such nodes; a search
// that asks for a decrease (1.002 f0) then cuts the step of every node to the minimum relaxation
// for their sake, and the blank creeps towards its equilibrium at a tenth of its step for a hundred
// iterations (the 106,632-element cup: 134 iterations, against 31 with full steps; docs/convergence.md).
// So the search first takes a rise of up to 20 %. Once ADP has not fallen below half its value at
// the last such fall for five iterations, the iteration is cycling between the states of such
// nodes (a cycle may still drift down slowly); from then on the search asks for the decrease
// again, which damps the cycle so that the increments die out.
class StepAcceptance {
 public:
  static constexpr double kTolerant = 1.2, kStrict = 1.002;
  static constexpr int kStalledIterations = 5;
  // Called once per iteration with its ADP, before its line search.
  void record(double adp) {
    if (adp < 0.5 * progress_adp_) {
      progress_adp_ = adp;
      iterations_without_progress_ = 0;
    } else {
      ++iterations_without_progress_;
    }
    strict_ = strict_ || iterations_without_progress_ >= kStalledIterations;
  }
  double factor() const { return strict_ ? kStrict : kTolerant; }

 private:
  double progress_adp_ = std::numeric_limits<double>::infinity();
  int iterations_without_progress_ = 0;
  bool strict_ = false;
};

// Backtracking line search on f = |R|^2 / 2 along the increment: RELAX 1 when |R|^2 < 0.01 or the full
// step gives f <= acceptance f0, else a quadratic then cubic backtrack until f <= acceptance f0 or the
// step falls below min_relax. residual_sq = |R|^2 at the current state; trial(lambda) evaluates the
// state U + lambda*dU and returns |R|^2 there. Returns the RELAX it found (before clamped_relaxation).
struct LineSearchResult {
  double relax = 1.0;
  int trials = 0;
};
template <class Trial>
LineSearchResult line_search(double residual_sq, double min_relax, double acceptance, Trial&& trial);

// The step rules of the line search, separately testable.
double first_backtrack(double f0, double g, double f1);
double cubic_backtrack(double f0, double g, double lambda, double f_lambda, double lambda_prev, double f_prev);

struct StopState {
  double adp = 1.0, first_adp = 1.0, maxp_value = 0.0;
  int32_t inversion_count = 0, iteration = 1;
};
struct StopLimits {
  double displacement_tolerance = 1e-4, force_tolerance = 2.0;
};
// The first of the six stop tests that holds, or 0 when the loop goes on: 1 divergence (ADP > 10 first
// ADP and > 10000), 2 fifty inversions, 3 ADP < 0.01 after six inversions, 4 ADP converged, 5 |MAXP|
// converged, 6 |MAXP| < 5 force tolerance from iteration 400 on.
int stop_test(const StopState& s, const StopLimits& limits);

// The cubic backtrack has no bound of its own; a search that keeps landing above the
// minimum relaxation without enough decrease ends after this many trials (the
// clamp then applies) so that a pathological residual cannot hang a run.
inline constexpr int kMaxLineSearchTrials = 40;

template <class Trial>
LineSearchResult line_search(double residual_sq, double min_relax, double acceptance, Trial&& trial) {
  const double f0 = 0.5 * residual_sq;
  const double g = -residual_sq;
  LineSearchResult result;
  if (-g < 0.01) return result;  // RELAX = 1 without any trial
  const double acceptable = acceptance * f0;
  double lambda = 1.0;
  double f = 0.5 * trial(lambda);
  result.trials = 1;
  if (f <= acceptable) return result;
  double lambda_prev = lambda, f_prev = f;
  lambda = first_backtrack(f0, g, f);
  f = 0.5 * trial(lambda);
  result.trials = 2;
  while (f > acceptable && result.trials < kMaxLineSearchTrials) {
    const double next = cubic_backtrack(f0, g, lambda, f, lambda_prev, f_prev);
    lambda_prev = lambda;
    f_prev = f;
    lambda = next;
    if (!(lambda == lambda)) {  // no real root: give up at the minimum relaxation
      lambda = min_relax;
      break;
    }
    f = 0.5 * trial(lambda);
    ++result.trials;
    if (lambda < min_relax) break;
  }
  result.relax = lambda;
  return result;
}

}  // namespace trevo
