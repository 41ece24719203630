// Solves K·dU = R by conjugate gradients with SSOR preconditioning in Eisenstat's
// split form (one forward and one backward triangular sweep per step).
// Spec: Part 4.4 (Solution of K·dU = R, steps 1-7); Part 5.2 passes its own tolerance.
//
// K is the CsrMatrix of Part 3.6 (0-based equations; entries before diagonal[i]
// in a row are its lower triangle, entries after it the upper triangle); every
// diagonal must be non-zero (see unit_zero_diagonals, assembly.h). All vectors
// have k.neq entries. The solver never prints or stops: the caller checks the
// first increment component for NaN (Part 4.1, Failure handling).
#pragma once
#include <cstdint>
#include <span>

#include "solver/csr.h"

namespace trevo {

inline constexpr double kSsorOmega = 1.05;                       // ω
inline constexpr double kSsorDiagonalScale = 0.9047619047619047;  // (2 − ω)/ω
inline constexpr double kCgStepFactor = 2.0;                      // in the step length α
inline constexpr int32_t kCgMaxSteps = 2000;

// Solver factor c = 6.18E-7 · NN^0.7, fixed once per run from the node count.
double cg_solver_factor(int32_t nn);

// Part 4.4 tolerance: 5000 · sqrt(displacement tolerance) · c · sqrt(ADP), with
// ADP the previous iteration's value (1.0 at the first).
double cg_tolerance(double displacement_tolerance, double c, double adp);

// Caller-owned vectors (k.neq each). x is the solution and warm start: it keeps
// its content from one call to the next (Part 4.4, Data model). The other five
// are scratch. The Part's r and t are formed row by row inside the fused sweeps
// and never stored, so they need no vector here.
struct CgVectors {
  std::span<double> x;  // solution, starting guess on entry
  std::span<double> z;  // preconditioned residual
  std::span<double> d;  // scaled diagonal 0.9047619047619047·K(i,i)
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
};

// Steps 1-7 of Part 4.4: from x, iterates while ρ ≥ tol, at most 2000 steps,
// then copies x into increment. rhs (R) is read only in step 1, so increment
// may be the same span as rhs (the Part returns dU in the array that held R).
CgResult conjugate_gradient(const CsrMatrix& k, std::span<const double> rhs, double tol,
                            const CgVectors& v, std::span<double> increment);

// y = K·x, each row summed in ascending column order.
void multiply(const CsrMatrix& k, std::span<const double> x, std::span<double> y);

// Forward sweep (step 2): out(i) = ω·(in(i) − Σ_{j<i} K(i,j)·out(j)) / K(i,i), i ascending.
void forward_sweep(const CsrMatrix& k, std::span<const double> in, std::span<double> out);

// Backward sweep (step 4): out(i) = ω·(in(i) − Σ_{j>i} K(i,j)·out(j)) / K(i,i), i descending.
void backward_sweep(const CsrMatrix& k, std::span<const double> in, std::span<double> out);

}  // namespace trevo
