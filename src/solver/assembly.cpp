// Residual, constraints, MAXP and element assembly through the scatter map.
#include "solver/assembly.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace trevo {
namespace {

// Global equation of local dof a of element e.
int32_t global_dof(const Mesh& mesh, int32_t e, int a) { return 2 * mesh.node(e, a / 2) + a % 2; }

// Position of column col in row `row` (ascending columns), or -1 (among them every column of a
// node before the row's own, which the upper triangle does not hold).
int32_t entry_position(const CsrMatrix& k, int32_t row, int32_t col) {
  const int32_t* first = k.nodes_of_row(row);
  const int32_t* last = first + (k.row_start[row + 1] - k.row_start[row]) / 2;
  const int32_t* hit = std::lower_bound(first, last, col / 2);
  return (hit != last && *hit == col / 2) ? k.row_start[row] + 2 * static_cast<int32_t>(hit - first) + col % 2 : -1;
}

bool dof_is_held(const Mesh& mesh, int32_t e, int a, const NodeConstraints& held) {
  const int32_t node = mesh.node(e, a / 2);
  return (a % 2 == 0 ? held.held_x[node] : held.held_y[node]) != 0;
}

}  // namespace

void node_constraints(std::span<const int32_t> x_nodes, std::span<const int32_t> y_nodes,
                      std::span<int32_t> held_x, std::span<int32_t> held_y) {
  std::fill(held_x.begin(), held_x.end(), 0);
  std::fill(held_y.begin(), held_y.end(), 0);
  const auto mark = [](std::span<const int32_t> nodes, std::span<int32_t> held) {
    for (const int32_t node : nodes) {
      if (node >= 0 && static_cast<size_t>(node) < held.size()) held[node] = 1;
    }
  };
  mark(x_nodes, held_x);
  mark(y_nodes, held_y);
}

void scatter_map(const Mesh& mesh, const CsrMatrix& k, std::span<int32_t> map) {
  assert(static_cast<int64_t>(map.size()) >= scatter_map_size(mesh.ne));
  for (int32_t e = 0; e < mesh.ne; ++e) {
    const int corners = corner_count(mesh, e);
    int32_t* element_map = map.data() + int64_t{kScatterWords} * e;
    for (int ca = 0; ca < 4; ++ca) {
      const int32_t row = 2 * mesh.node(e, ca);
      for (int cb = 0; cb < 4; ++cb) {
        element_map[4 * ca + cb] =
            (ca < corners && cb < corners) ? entry_position(k, row, 2 * mesh.node(e, cb)) : -1;
      }
      element_map[16 + ca] = ca < corners ? k.row_start[row + 1] - k.row_start[row] : 0;
    }
  }
}

void constrain_element_matrix(const Mesh& mesh, int32_t e, const NodeConstraints& held,
                              std::span<double, kElementPairs> ke) {
  const int dofs = element_dofs(mesh, e);
  for (int a = 0; a < dofs; ++a) {
    if (!dof_is_held(mesh, e, a, held)) continue;
    for (int j = 0; j < dofs; ++j) {
      ke[a + kElementDofs * j] = 0.0;  // row a
      ke[j + kElementDofs * a] = 0.0;  // column a
    }
    ke[a + kElementDofs * a] = 1.0;
  }
}

void symmetrise_element_matrix(int dofs, std::span<double, kElementPairs> ke) {
  for (int b = 1; b < dofs; ++b) {
    for (int a = 0; a < b; ++a) ke[b + kElementDofs * a] = ke[a + kElementDofs * b];
  }
}

void add_element_matrix(std::span<const int32_t> map, int32_t e,
                        std::span<const double, kElementPairs> ke, std::span<double> value) {
  const int32_t* element_map = map.data() + int64_t{kScatterWords} * e;
  double* v = value.data();
  for (int a = 0; a < kElementDofs; ++a) {
    for (int b = 0; b < kElementDofs; ++b) {
      const int32_t position = scattered_position(element_map, a, b);
      if (position >= 0) v[position] += ke[a + kElementDofs * b];
    }
  }
}

void assemble_element_matrix(const Mesh& mesh, int32_t e, const NodeConstraints& held,
                             std::span<const int32_t> map, std::span<double, kElementPairs> ke,
                             std::span<double> value) {
  constrain_element_matrix(mesh, e, held, ke);
  symmetrise_element_matrix(element_dofs(mesh, e), ke);
  add_element_matrix(map, e, ke, value);
}

int32_t unit_zero_diagonals(CsrMatrix& k) {
  int32_t fixed = 0;
  for (int32_t row = 0; row < k.neq; ++row) {
    double& diagonal = k.value[k.diagonal[row]];
    if (diagonal == 0.0) {
      diagonal = 1.0;
      ++fixed;
    }
  }
  return fixed;
}

void gather_element_forces(const Mesh& mesh, int32_t e, std::span<const double, kElementDofs> fe,
                           std::span<double> internal) {
  const int dofs = element_dofs(mesh, e);
  for (int a = 0; a < dofs; ++a) internal[global_dof(mesh, e, a)] += fe[a];
}

void residual(std::span<const double> external, std::span<const double> internal,
              std::span<double> r) {
  for (size_t i = 0; i < r.size(); ++i) r[i] = external[i] - internal[i];
}

void constrain_residual(const NodeConstraints& held, std::span<double> r) {
  const size_t nn = r.size() / 2;
  for (size_t node = 0; node < nn; ++node) {
    if (held.held_x[node] != 0) r[2 * node] = 0.0;
    if (held.held_y[node] != 0) r[2 * node + 1] = 0.0;
  }
}

Maxp largest_residual(std::span<const double> r) {
  Maxp maxp;
  double largest = 0.0;
  for (size_t i = 0; i < r.size(); ++i) {
    if (std::abs(r[i]) > largest) {
      largest = std::abs(r[i]);
      maxp = {static_cast<int32_t>(i / 2), r[i]};
    }
  }
  return maxp;
}

}  // namespace trevo
