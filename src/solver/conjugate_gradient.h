// Solves K·dU = R by conjugate gradients with SSOR preconditioning in Eisenstat's
// split form (one forward and one backward triangular sweep per step). Used by the
// one-step iteration (cg_tolerance) and by the membrane unfolding (its own tolerance).
//
// K is a CsrMatrix (0-based equations, the upper triangle of a symmetric matrix, csr.h); every
// diagonal must be non-zero (see unit_zero_diagonals, assembly.h). All vectors
// have k.neq entries. The solver never prints or stops: the caller checks the
// first increment component for NaN and ends the run.
#pragma once
#include <cstdint>
#include <span>

#include "solver/csr.h"

namespace trevo {

inline constexpr double kSsorOmega = 1.05;                       // ω
inline constexpr double kSsorDiagonalScale = 0.9047619047619047;  // (2 − ω)/ω
inline constexpr double kCgStepFactor = 2.0;                      // in the step length α
inline constexpr int32_t kCgMaxSteps = 2000;
// Forcing term η of the one-step iteration's solutions (CgStop::relative), chosen by
// measurement on cups of 7k to 107k elements (docs/convergence.md). 0 switches it off.
inline constexpr double kCgForcing = 0.0;

// Solver factor c = 6.18E-7 · NN^0.7, fixed once per run from the node count.
double cg_solver_factor(int32_t nn);

// One-step tolerance: 5000 · sqrt(displacement tolerance) · c · sqrt(ADP), with
// ADP the previous iteration's value (1.0 at the first).
double cg_tolerance(double displacement_tolerance, double c, double adp);

// Caller-owned vectors (k.neq each). x is the solution and warm start: it keeps
// its content from one call to the next, so each solution starts from the last
// increment (the first of the iteration from the pre-unfolding's), which the
// one-step iteration and the pre-unfolding scale first (predict_next_increment). The other four
// are scratch. The residual r = K·x − R, t = w − d·p and the preconditioner's diagonal
// d = 0.9047619047619047·K(i,i) are formed row by row inside the fused sweeps and never stored,
// so they need no vector here.
struct CgVectors {
  std::span<double> x;  // solution, starting guess on entry
  std::span<double> z;  // preconditioned residual
  std::span<double> p;  // direction
  std::span<double> w;  // auxiliary w
  std::span<double> s;  // forward sweep of t
};

// What the solution did: steps taken (0 when ρ < tol at the start, which
// leaves x, and so the increment, unchanged), the last ρ and the tolerance used.
struct CgResult {
  int32_t steps = 0;
  double rho = 0.0;
  double tol = 0.0;
  double rhs_rho = 0.0;  // ρ of the right-hand side (ρ at x = 0) when measured, else 0
};

// When the solution stops. absolute: the tolerance on ρ. relative (η, the forcing term of
// an inexact Newton method): when above 0 the solution also goes on while ρ ≥ η²·ρ_R, ρ_R
// the same measure of the right-hand side, so that the increment is exact to a fraction η
// of the residual it answers whatever the node count. measure_rhs asks for ρ_R (one more
// forward sweep) without the relative test, for statistics.
struct CgStop {
  double absolute = 0.0;
  double relative = 0.0;
  bool measure_rhs = false;
};

// From x, iterates while ρ ≥ tol, at most 2000 steps (reaching them is not an
// error: x is taken as it is), then copies x into increment. rhs (R) is read only
// while forming the first residual, so increment may be the same span as rhs (dU
// may replace R in place).
CgResult conjugate_gradient(const CsrMatrix& k, std::span<const double> rhs, double tol,
                            const CgVectors& v, std::span<double> increment);
CgResult conjugate_gradient(const CsrMatrix& k, std::span<const double> rhs, const CgStop& stop,
                            const CgVectors& v, std::span<double> increment);

// y = K·x, each row summed in ascending column order.
void multiply(const CsrMatrix& k, std::span<const double> x, std::span<double> y);

// Forward sweep: out(i) = ω·(in(i) − Σ_{j<i} K(i,j)·out(j)) / K(i,i), i ascending.
void forward_sweep(const CsrMatrix& k, std::span<const double> in, std::span<double> out);

// Backward sweep: out(i) = ω·(in(i) − Σ_{j>i} K(i,j)·out(j)) / K(i,i), i descending.
void backward_sweep(const CsrMatrix& k, std::span<const double> in, std::span<double> out);

}  // namespace trevo
