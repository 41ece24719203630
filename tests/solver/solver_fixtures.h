// Test-only solver fixtures: the CSR pattern built from its definition alone, a random positive definite
// element matrix, and the owner of all the one-step loop and the unfolding stages read and write (a part
// with the default material, thickness 1, free nodes, no tools; the blank starts as its projection).
#pragma once
#include <algorithm>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <vector>

#include "../test_mesh.h"
#include "prepare/element_normal.h"
#include "solver/csr.h"
#include "solver/one_step.h"

namespace trevo::test {

struct OwnedMatrix {
  std::vector<int32_t> row_start, column, first_upper, diagonal;
  std::vector<double> value;
  CsrMatrix view() {
    return CsrMatrix{static_cast<int32_t>(diagonal.size()), row_start, column, first_upper, diagonal, value};
  }
};

// Rows 2i and 2i+1 hold columns 2j, 2j+1 of node i itself and of every node j > i sharing an element
// with it; the column list names each node sharing an element with node i (i included) once per node
// i, and node i's row nodes start at i's own place in it.
inline OwnedMatrix matrix_pattern(const Mesh& mesh) {
  std::vector<std::set<int32_t>> adjacent(mesh.nn);
  for (int32_t node = 0; node < mesh.nn; ++node) adjacent[node].insert(node);
  for (int32_t e = 0; e < mesh.ne; ++e) {
    const int corners = mesh.corners.empty() ? corner_count(mesh, e) : mesh.corners[e];
    for (int a = 0; a < corners; ++a)
      for (int b = 0; b < corners; ++b) adjacent[mesh.node(e, a)].insert(mesh.node(e, b));
  }
  OwnedMatrix k;
  k.row_start.push_back(0);
  int32_t entries = 0;
  for (int32_t node = 0; node < mesh.nn; ++node) {
    const auto own = std::find(adjacent[node].begin(), adjacent[node].end(), node);
    k.first_upper.push_back(static_cast<int32_t>(k.column.size() + std::distance(adjacent[node].begin(), own)));
    k.column.insert(k.column.end(), adjacent[node].begin(), adjacent[node].end());  // once for both rows
    for (int dir = 0; dir < 2; ++dir) {
      for (auto j = own; j != adjacent[node].end(); ++j) {
        if (*j == node) k.diagonal.push_back(entries + dir);
        entries += 2;
      }
      k.row_start.push_back(entries);
    }
  }
  k.value.assign(static_cast<size_t>(entries), 0.0);
  return k;
}

// K·x from the definition: every stored entry (i, j) above the diagonal stands for K(i,j) and K(j,i).
inline std::vector<double> symmetric_product(const CsrMatrix& k, const std::vector<double>& x) {
  std::vector<double> y(static_cast<size_t>(k.neq), 0.0);
  for (int32_t i = 0; i < k.neq; ++i) {
    y[i] += k.value[k.diagonal[i]] * x[i];
    for (int32_t q = k.diagonal[i] + 1; q < k.row_start[i + 1]; ++q) {
      const int32_t j = k.column_of(i, q);
      y[i] += k.value[q] * x[j], y[j] += k.value[q] * x[i];
    }
  }
  return y;
}

// B^T B + 8 I for a random 8 x 8 B (column-major).
inline std::array<double, 64> spd_element_matrix(std::mt19937& rng) {
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::array<double, 64> b{}, k{};
  for (double& v : b) v = u(rng);
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 8; ++j) {
      k[i + 8 * j] = i == j ? 8.0 : 0.0;
      for (int q = 0; q < 8; ++q) k[i + 8 * j] += b[q + 8 * i] * b[q + 8 * j];
    }
  return k;
}

// The element across each edge k (corner k to k + 1) of every element: 4 x ne, column-major, kNone
// across a free edge, as the part's neighbour table holds it.
inline std::vector<int32_t> neighbour_table(const Mesh& part) {
  std::map<std::pair<int32_t, int32_t>, std::vector<int32_t>> slots;  // edge -> slots k * ne + e
  for (int32_t e = 0; e < part.ne; ++e)
    for (int k = 0; k < part.corners[e]; ++k) {
      const int32_t a = part.node(e, k), b = part.node(e, (k + 1) % part.corners[e]);
      slots[{std::min(a, b), std::max(a, b)}].push_back(k * part.ne + e);
    }
  std::vector<int32_t> neighbours(4 * static_cast<size_t>(part.ne), kNone);
  for (const auto& [edge, at] : slots)
    if (at.size() == 2) neighbours[at[0]] = at[1] % part.ne, neighbours[at[1]] = at[0] % part.ne;
  return neighbours;
}

struct OneStepRun {
  OwnedMesh mesh;
  Mesh part = mesh.view();
  OwnedMatrix matrix = matrix_pattern(part);
  size_t nn = static_cast<size_t>(part.nn), ne = static_cast<size_t>(part.ne);
  std::vector<ElementGeometry> geometry = std::vector<ElementGeometry>(ne);
  std::vector<double> table{0.001, 600.0, 0.22, 0.0, 1.0, 1.0, 1.0, 1.0}, h0 = std::vector<double>(ne, 1.0);
  std::vector<int32_t> material, scatter, held_x, held_y, restraint_state, last_binder, last_part, sticking, branch,
      crossings, law_form, reversals, neighbours;
  std::vector<double> holding, count, normals, node_force, contact, X = mesh.x, Y = mesh.y, Zb, Zh, slope, U, dU, R,
      previous, internal, external, internal_z, kx, ky, h, epsbar, stress, strain, kf, kc, block, cg[5];
  SerendipityTables tables = serendipity_tables();
  OneStepModel model;
  OneStepState state;
  RunSettings settings;

  explicit OneStepRun(OwnedMesh m) : mesh(std::move(m)) {
    element_geometries(part, geometry);
    scatter.resize(scatter_map_size(part.ne));
    scatter_map(part, matrix.view(), scatter);
    neighbours = neighbour_table(part);
    for (auto* v : {&material, &branch, &crossings, &law_form}) v->assign(ne, 0);
    for (auto* v : {&held_x, &held_y, &sticking, &reversals}) v->assign(nn, 0);
    last_binder.assign(nn, kNone), last_part.assign(nn, kNone), restraint_state.assign(nn, 2);
    for (auto* v : {&h, &epsbar}) v->assign(ne, 0.0);
    for (auto* v : {&stress, &strain}) v->assign(3 * ne, 0.0);
    for (auto* v : {&holding, &count, &Zb, &Zh, &internal_z, &kx, &ky, &kf, &kc}) v->assign(nn, 0.0);
    for (auto* v : {&normals, &contact, &block}) v->assign(3 * nn, 0.0);
    for (auto* v : {&node_force, &slope, &U, &dU, &R, &previous, &internal, &external})
      v->assign(2 * nn, 0.0);
    for (auto& v : cg) v.assign(2 * nn, 0.0);
    for (size_t e = 0; e < ne; ++e)
      for (int k = 0; k < part.corners[e]; ++k) count[part.node(e, k)] += 1.0;
    const std::span<double> n = normals;
    nodal_normals(part, n.subspan(0, nn), n.subspan(nn, nn), n.subspan(2 * nn, nn));
    model.part = part, model.geometry = geometry, model.material_table = table, model.material_count = 1;
    model.material = material, model.h0 = h0, model.scatter = scatter, model.held = {held_x, held_y};
    model.neighbours = neighbours;
    model.tables = &tables;
    model.restraint = {holding, restraint_state, count, normals, {}, {}, {}, {}, node_force, contact};
    state.X = X, state.Y = Y, state.Zb = Zb, state.Zh = Zh, state.binder_slope = slope, state.U = U, state.dU = dU;
    state.R = R, state.previous_increment = previous;
    state.internal = internal, state.external = external, state.internal_z = internal_z, state.kx = kx, state.ky = ky;
    state.h = h, state.epsbar = epsbar, state.stress = stress, state.strain = strain;
    state.last_binder_element = last_binder, state.last_part_element = last_part, state.sticking = sticking;
    state.law_branch = branch, state.law_crossings = crossings, state.law_form = law_form;
    state.increment_reversals = reversals;
    state.k = matrix.view(), state.cg = {cg[0], cg[1], cg[2], cg[3], cg[4]}, state.tool = {{}, kf, kc, block};
    settings.restraint_category = 11;
  }
  OneStepRun(const OneStepRun&) = delete;
};

// A hat section bent from a flat grid 24 wide (in x): flanges at z 4, vertical walls, bottom at z 0.
inline OwnedMesh hat_section(OwnedMesh m) {
  for (int32_t i = 0; i < m.nn(); ++i) {
    const double s = m.x[i];
    m.x[i] = s <= 4 ? s : s <= 8 ? 4 : s <= 16 ? s - 4 : s <= 20 ? 12 : s - 8;
    m.z[i] = s <= 4 ? 4 : s <= 8 ? 8 - s : s <= 16 ? 0 : s <= 20 ? s - 16 : 4;
  }
  return m;
}

}  // namespace trevo::test
