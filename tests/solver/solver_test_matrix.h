// Test helpers for the solver: the Part 3.6 matrix pattern built by the rules alone
// (0-based; each node's adjacent nodes ascending, itself included even when no element
// uses it, so that such a node has rows holding only their diagonal) and element matrices.
// The owning mesh and its grids are the shared ones of ../test_mesh.h.
// Spec: Part 3.6 (pattern), Part 3.1 (triangle = corner 3 repeating corner 2).
#pragma once
#include <array>
#include <cstdint>
#include <random>
#include <set>
#include <vector>

#include "frame/mesh.h"
#include "solver/csr.h"

namespace trevo::test {

struct OwnedMatrix {
  std::vector<int32_t> row_start, column, diagonal;
  std::vector<double> value;
  CsrMatrix view() {
    return CsrMatrix{static_cast<int32_t>(diagonal.size()), row_start, column, diagonal, value};
  }
};

// Part 3.6 expansion: rows 2i and 2i+1 hold columns 2j, 2j+1 of every adjacent j.
inline OwnedMatrix matrix_pattern(const Mesh& mesh) {
  std::vector<std::set<int32_t>> adjacent(mesh.nn);
  for (int32_t node = 0; node < mesh.nn; ++node) adjacent[node].insert(node);
  for (int32_t e = 0; e < mesh.ne; ++e) {
    const int corners = corner_count(mesh, e);
    for (int a = 0; a < corners; ++a)
      for (int b = 0; b < corners; ++b) adjacent[mesh.node(e, a)].insert(mesh.node(e, b));
  }
  OwnedMatrix k;
  k.row_start.push_back(0);
  for (int32_t node = 0; node < mesh.nn; ++node) {
    for (int dir = 0; dir < 2; ++dir) {
      for (const int32_t j : adjacent[node]) {
        if (j == node) k.diagonal.push_back(static_cast<int32_t>(k.column.size()) + dir);
        k.column.push_back(2 * j);
        k.column.push_back(2 * j + 1);
      }
      k.row_start.push_back(static_cast<int32_t>(k.column.size()));
    }
  }
  k.value.assign(k.column.size(), 0.0);
  return k;
}

// A random symmetric positive definite 8 × 8 matrix (column-major): BᵀB + 8·I.
inline std::array<double, 64> spd_element_matrix(std::mt19937& rng) {
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::array<double, 64> b{}, k{};
  for (double& v : b) v = u(rng);
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 8; ++j) {
      double sum = (i == j) ? 8.0 : 0.0;
      for (int q = 0; q < 8; ++q) sum += b[q + 8 * i] * b[q + 8 * j];
      k[i + 8 * j] = sum;
    }
  return k;
}

// A stiffness-like element matrix: the unit bilinear square's Laplacian times
// [[1, 0.3], [0.3, 1]] over the (x, y) pair, plus 1E-6 on the diagonal so that
// the grid's matrix is positive definite but as ill-conditioned as a membrane.
inline std::array<double, 64> laplacian_element_matrix() {
  constexpr double kLaplacian[4][4] = {{4, -1, -2, -1}, {-1, 4, -1, -2}, {-2, -1, 4, -1}, {-1, -2, -1, 4}};
  constexpr double kCoupling[2][2] = {{1.0, 0.3}, {0.3, 1.0}};
  std::array<double, 64> ke{};
  for (int a = 0; a < 8; ++a)
    for (int b = 0; b < 8; ++b)
      ke[a + 8 * b] = kLaplacian[a / 2][b / 2] / 6.0 * kCoupling[a % 2][b % 2] + (a == b ? 1e-6 : 0.0);
  return ke;
}

}  // namespace trevo::test
