// SSOR-preconditioned conjugate gradients, Eisenstat's form, on the CSR matrix.
//
// The vector updates of a step are fused into the two sweeps where the arithmetic
// of the unfused algorithm stays the same operation for operation: every value is
// computed by the same expression, and every sum runs over i ascending. Only the
// loop that visits an element changes, which halves the memory traffic.
#include "solver/conjugate_gradient.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace trevo {
namespace {

// Raw view of the CSR arrays for the inner loops (no bounds checks).
struct Rows {
  int32_t neq;
  const int32_t* row_start;
  const int32_t* column;       // the node adjacency (csr.h)
  const int32_t* first_upper;  // per node
  const int32_t* diagonal;
  const double* value;
  const int32_t* nodes_of_row(int32_t i) const { return column + first_upper[i >> 1]; }
};

// Column of the entry `offset` places into a row whose node has the adjacent nodes `nodes`.
inline int32_t column_at(const int32_t* nodes, int32_t offset) { return 2 * nodes[offset >> 1] + (offset & 1); }

Rows rows_of(const CsrMatrix& k) {
  return {k.neq, k.row_start.data(), k.column.data(), k.first_upper.data(), k.diagonal.data(), k.value.data()};
}

// Adds K(i,j)·x(i) to lower(j) for every stored j > i: row i's part of the rows below it, which
// only the upper triangle holds. Rows taken in ascending order give every lower(j) its terms in
// ascending column order, as a scan of row j's lower triangle would.
inline void add_to_rows_below(const Rows& k, int32_t i, double xi, double* lower) {
  const int32_t first = k.row_start[i], end = k.row_start[i + 1];
  const int32_t* nodes = k.nodes_of_row(i);
  for (int32_t q = k.diagonal[i] + 1; q < end; ++q) lower[column_at(nodes, q - first)] += k.value[q] * xi;
}

// (K·x)(i), ascending columns: lower(i) holds the terms of the columns before i, added by the rows
// before (add_to_rows_below, lower zero before the first row); the row's own part, from its diagonal
// on, continues the same sum. Row i then adds its part to the rows below.
inline double row_product(const Rows& k, int32_t i, const double* x, double* lower) {
  const int32_t first = k.row_start[i], end = k.row_start[i + 1];
  const int32_t* nodes = k.nodes_of_row(i);
  double sum = lower[i];
  for (int32_t q = k.diagonal[i]; q < end; ++q) sum += k.value[q] * x[column_at(nodes, q - first)];
  add_to_rows_below(k, i, x[i], lower);
  return sum;
}

// Forward sweep, i ascending: out(i) = ω·(in(i) − Σ_{j<i} K(i,j)·out(j)) / K(i,i), with in(i) = rhs(i)
// formed when row i is reached; then done(i, out(i)). Both callbacks also get d(i) = scale·K(i,i),
// the preconditioner's diagonal, formed from the row's own diagonal entry as it is read (a stored
// copy would add a vector to every sweep's memory traffic). The sums over the lower triangle gather in
// out itself, whose entries below row i are not yet swept: once a node's two rows are swept, their
// terms go to the rows of the nodes after it, which hold the same columns, in one pass (row x's
// term before row y's, the order of the columns in a scan of the receiving row).
// Each row multiplies by ω / K(i,i), formed from its diagonal before its sum is known. The rows
// form a chain, each waiting on the last, and a division inside that chain would set the sweep's
// pace; formed ahead, it runs beside the chain (docs/performance.md, "The sweeps' division").
template <class Rhs, class Done>
inline void forward_rows(const Rows& k, Rhs rhs, double* out, Done done) {
  std::fill(out, out + k.neq, 0.0);
  for (int32_t x_row = 0; x_row < k.neq; x_row += 2) {
    const int32_t y_row = x_row + 1;
    // Both rows start with the node's own pair (csr.h): (x, x), (x, y) and (y, x) unread, (y, y).
    const double* x_values = k.value + k.row_start[x_row];
    const double* y_values = k.value + k.row_start[y_row];
    const double x_scaled = kSsorDiagonalScale * x_values[0], y_scaled = kSsorDiagonalScale * y_values[1];
    const double x_factor = kSsorOmega / x_values[0], y_factor = kSsorOmega / y_values[1];
    const double x_result = (rhs(x_row, x_scaled) - out[x_row]) * x_factor;
    out[x_row] = x_result;
    done(x_row, x_result, x_scaled);
    out[y_row] += x_values[1] * x_result;
    const double y_result = (rhs(y_row, y_scaled) - out[y_row]) * y_factor;
    out[y_row] = y_result;
    done(y_row, y_result, y_scaled);
    const int32_t* nodes = k.nodes_of_row(x_row);
    const int32_t pairs = (k.row_start[y_row] - k.row_start[x_row]) / 2;
    for (int32_t o = 1; o < pairs; ++o) {
      double* below = out + 2 * nodes[o];
      below[0] = below[0] + x_values[2 * o] * x_result + y_values[2 * o] * y_result;
      below[1] = below[1] + x_values[2 * o + 1] * x_result + y_values[2 * o + 1] * y_result;
    }
  }
}

// Backward sweep, i descending: out(i) = ω·(in(i) − Σ_{j>i} K(i,j)·out(j)) / K(i,i); the
// callbacks and the factor ω / K(i,i) as in the forward sweep.
template <class Rhs, class Done>
inline void backward_rows(const Rows& k, Rhs rhs, double* out, Done done) {
  double previous = 0.0;  // out(i + 1), kept in a register
  for (int32_t i = k.neq - 1; i >= 0; --i) {
    const int32_t diagonal = k.diagonal[i], first = k.row_start[i];
    const int32_t end = k.row_start[i + 1];
    const int32_t* nodes = k.nodes_of_row(i);
    double sum = 0.0;
    int32_t q = diagonal + 1;
    if (q < end) {
      const int32_t j = column_at(nodes, q - first);
      sum += k.value[q] * (j == i + 1 ? previous : out[j]);
      for (++q; q < end; ++q) sum += k.value[q] * out[column_at(nodes, q - first)];
    }
    const double scaled = kSsorDiagonalScale * k.value[diagonal];
    const double factor = kSsorOmega / k.value[diagonal];
    const double result = (rhs(i, scaled) - sum) * factor;
    out[i] = result;
    previous = result;
    done(i, result, scaled);
  }
}

inline double ascending_sum(const double* terms, int32_t n) {
  double sum = 0.0;
  for (int32_t i = 0; i < n; ++i) sum += terms[i];
  return sum;
}

}  // namespace

double cg_solver_factor(int32_t nn) { return 6.18e-7 * std::pow(static_cast<double>(nn), 0.7); }

double cg_tolerance(double displacement_tolerance, double c, double adp) {
  return 5000.0 * std::sqrt(displacement_tolerance) * c * std::sqrt(adp);
}

void multiply(const CsrMatrix& k, std::span<const double> x, std::span<double> y) {
  assert(x.size() >= static_cast<size_t>(k.neq) && y.size() >= static_cast<size_t>(k.neq));
  const Rows rows = rows_of(k);
  std::fill(y.begin(), y.begin() + rows.neq, 0.0);  // y gathers the lower triangle's terms until its row
  for (int32_t i = 0; i < rows.neq; ++i) y[i] = row_product(rows, i, x.data(), y.data());
}

void forward_sweep(const CsrMatrix& k, std::span<const double> in, std::span<double> out) {
  assert(in.size() >= static_cast<size_t>(k.neq) && out.size() >= static_cast<size_t>(k.neq));
  const double* source = in.data();
  forward_rows(rows_of(k), [source](int32_t i, double) { return source[i]; }, out.data(),
               [](int32_t, double, double) {});
}

void backward_sweep(const CsrMatrix& k, std::span<const double> in, std::span<double> out) {
  assert(in.size() >= static_cast<size_t>(k.neq) && out.size() >= static_cast<size_t>(k.neq));
  const double* source = in.data();
  backward_rows(rows_of(k), [source](int32_t i, double) { return source[i]; }, out.data(),
                [](int32_t, double, double) {});
}

CgResult conjugate_gradient(const CsrMatrix& k, std::span<const double> rhs, double tol,
                            const CgVectors& v, std::span<double> increment) {
  return conjugate_gradient(k, rhs, CgStop{tol}, v, increment);
}

CgResult conjugate_gradient(const CsrMatrix& k, std::span<const double> rhs, const CgStop& stop,
                            const CgVectors& v, std::span<double> increment) {
  const double tol = stop.absolute;
  const Rows rows = rows_of(k);
  const int32_t n = rows.neq;
  assert(std::min({rhs.size(), increment.size(), v.x.size(), v.z.size(), v.p.size(), v.w.size(), v.s.size()}) >=
         static_cast<size_t>(n));
  double* x = v.x.data();
  double* z = v.z.data();
  double* p = v.p.data();
  double* w = v.w.data();
  // s holds the forward sweep of t; between the backward sweep and the next
  // forward sweep it holds the terms p(i)·(2.0·w(i) − d(i)·p(i)) of α's divisor.
  // d(i) = scale·K(i,i) comes with each row from the sweeps.
  double* s = v.s.data();
  const double* r_given = rhs.data();

  // ρ_R = Σ d(i)·(forward sweep of R)(i)², into s, which is scratch until the first backward sweep.
  double rhs_rho = 0.0;
  if (stop.relative > 0.0 || stop.measure_rhs) {
    forward_rows(
        rows, [&](int32_t i, double) { return r_given[i]; }, s,
        [&](int32_t, double si, double di) { rhs_rho += di * (si * si); });
  }
  const double relative_rho = stop.relative > 0.0 ? stop.relative * stop.relative * rhs_rho : 0.0;

  // r = K·x − R, z = forward sweep of r, ρ = Σ d(i)·z(i)². p gathers the lower triangle's terms
  // of K·x until the backward sweep fills it.
  double rho = 0.0;
  std::fill(p, p + n, 0.0);
  forward_rows(
      rows, [&](int32_t i, double) { return row_product(rows, i, x, p) - r_given[i]; }, z,
      [&](int32_t, double zi, double di) { rho += di * (zi * zi); });
  int32_t steps = 0;
  // Iterate while rho >= tol. A residual of exactly 0 (rho = 0) is already the
  // solution, and with tol = 0 (ADP = 0) the step length would be 0/0: stop there too.
  // The relative test only ever adds steps; without it (relative_rho = 0) the loop is the plain one.
  const auto unfinished = [&](double r) { return r >= tol || (relative_rho > 0.0 && r >= relative_rho); };
  // w = −d·z, p = backward sweep of w: the first step's direction, not needed when the start is
  // already within the tolerance (a fifth of the pre-unfolding's solutions).
  const auto divisor_term = [&](int32_t i, double pi, double di) { s[i] = pi * (kCgStepFactor * w[i] - di * pi); };
  if (unfinished(rho) && rho > 0.0) {
    backward_rows(
        rows, [&](int32_t i, double di) { return w[i] = -di * z[i]; }, p, divisor_term);
  }
  while (steps < kCgMaxSteps && unfinished(rho) && rho > 0.0) {
    const double alpha = rho / ascending_sum(s, n);  // α = ρ / Σ p(i)·(2·w(i) − d(i)·p(i))
    double rho_next = 0.0;
    forward_rows(
        rows,
        [&](int32_t i, double di) {
          x[i] = x[i] + alpha * p[i];  // x = x + α·p
          return w[i] - di * p[i];     // t(i) = w(i) − d(i)·p(i)
        },
        s,
        [&](int32_t i, double si, double di) {
          z[i] = z[i] + alpha * (si + p[i]);  // z = z + α·(s + p), s the sweep of t
          rho_next += di * (z[i] * z[i]);     // ρ' = Σ d(i)·z(i)²
        });
    const double beta = rho_next / rho;
    backward_rows(
        rows, [&](int32_t i, double di) { return w[i] = beta * w[i] - di * z[i]; }, p,  // w = β·w − d·z, p = sweep of w
        divisor_term);
    rho = rho_next;
    ++steps;
  }
  if (increment.data() != x) std::copy(x, x + n, increment.data());  // dU = x
  return {steps, rho, tol, rhs_rho};
}

}  // namespace trevo
