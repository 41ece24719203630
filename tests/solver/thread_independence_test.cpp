// The element loops of the one-step iteration give bit-identical results for any thread count, and the
// same results as a sequential loop over the elements in ascending order (same sums in the same order).
// Spec: Part 4.2 (evaluation), Part 4.4 (Residual step 3, Matrix steps 1-4); issue 4 (thread independence).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <set>
#include <vector>

#include "solver/assembly.h"
#include "solver/element_loops.h"
#include "solver/element_stabilisation.h"
#include "solver/increment_reversals.h"
#include "solver/law_jumps.h"
#include "../test_mesh.h"
#include "solver_test_matrix.h"

namespace trevo {
namespace {

// A curved part (steep walls on both sides, so the steep-wall terms act) of 1,100 elements with
// triangles among them, more than eight chunks of the element loops.
test::OwnedMesh curved_part() {
  std::set<int32_t> split;
  for (int32_t cell = 3; cell < 1100; cell += 7) split.insert(cell);
  test::OwnedMesh m = test::make_grid(35, 30, 1.0, 1.0, split);
  for (int32_t i = 0; i < m.nn(); ++i) m.z[i] = 0.08 * (m.x[i] - 17.0) * (m.x[i] - 17.0);
  return m;
}

// Everything the loops read and write, with a blank that stretches, shears and perturbs the part.
struct Fixture {
  test::OwnedMesh mesh = curved_part();
  Mesh part = mesh.view();
  test::OwnedMatrix matrix = test::matrix_pattern(part);
  std::vector<ElementGeometry> geometry = std::vector<ElementGeometry>(part.ne);
  std::vector<double> table = {0.001, 600.0, 0.22, 0.0, 1.4, 1.1, 1.9, 1.0};
  std::vector<int32_t> material = std::vector<int32_t>(part.ne, 0);
  std::vector<double> h0 = std::vector<double>(part.ne, 1.0);
  std::vector<int32_t> scatter = std::vector<int32_t>(scatter_map_size(part.ne));
  std::vector<int32_t> held_x = std::vector<int32_t>(part.nn, 0), held_y = std::vector<int32_t>(part.nn, 0);
  SerendipityTables tables = serendipity_tables();
  std::vector<double> u = std::vector<double>(2 * part.nn), zb = std::vector<double>(part.nn, 0.0);
  std::vector<double> kx = std::vector<double>(part.nn), ky = std::vector<double>(part.nn);
  std::vector<double> block = std::vector<double>(3 * part.nn);
  std::vector<int32_t> law_crossings = std::vector<int32_t>(part.ne, 0);
  std::vector<int32_t> increment_reversals = std::vector<int32_t>(part.nn, 0);
  std::vector<double> binder_slope = std::vector<double>(2 * part.nn);
  RunSettings settings;
  OneStepModel model;

  Fixture() {
    element_geometries(part, geometry);
    scatter_map(part, matrix.view(), scatter);
    std::mt19937 rng(4);
    std::uniform_real_distribution<double> noise(-0.05, 0.05);
    for (int32_t i = 0; i < part.nn; ++i) {
      const double arc = 17.0 + std::asinh(0.16 * (part.x[i] - 17.0)) / 0.16;  // roughly the developed x
      u[2 * i] = part.x[i] - (1.02 * arc + noise(rng));
      u[2 * i + 1] = part.y[i] - (0.97 * part.y[i] + 0.01 * part.x[i] + noise(rng));
      kx[i] = 1e-4 * (1.0 + noise(rng)), ky[i] = 1e-5 * (1.0 + noise(rng));
      binder_slope[2 * i] = 4.0 * noise(rng), binder_slope[2 * i + 1] = 2.0 * noise(rng);
      block[i] = 0.3 + noise(rng), block[part.nn + i] = noise(rng), block[2 * part.nn + i] = 0.2 + noise(rng);
    }
    for (int32_t e = 0; e < part.ne; e += 11) law_crossings[e] = kCrossingsToHold;  // held at a law jump
    for (int32_t i = 3; i < part.nn; i += 13) increment_reversals[i] = kReversalsToStiffen;  // fuller matrix
    for (int32_t i = 0; i < part.nn; i += 97) held_x[i] = 1;
    for (int32_t i = 5; i < part.nn; i += 89) held_y[i] = 1;
    for (int32_t e = 0; e < part.ne; e += 5) h0[e] = 1.2;
    settings.restraint_category = 11;
    settings.stabiliz = {1.0, 1.0};
    model.part = part;
    model.geometry = geometry;
    model.material_table = table;
    model.material = material;
    model.h0 = h0;
    model.scatter = scatter;
    model.held = {held_x, held_y};
    model.tables = &tables;
  }
};

// What the loops produce.
struct Results {
  std::vector<double> h, epsbar, stress, strain, internal, internal_z, matrix;
  ThicknessMinimum hmin;
};

Results run_loops(Fixture& f, int32_t threads) {
  f.model.threads = threads;
  const int32_t ne = f.part.ne, nn = f.part.nn;
  Results r{std::vector<double>(ne), std::vector<double>(ne), std::vector<double>(3 * ne),
            std::vector<double>(3 * ne), std::vector<double>(2 * nn, 0.0), std::vector<double>(nn, 0.0),
            std::vector<double>(f.matrix.value.size(), 0.0), {}};
  OneStepState state;
  state.h = r.h, state.epsbar = r.epsbar, state.stress = r.stress, state.strain = r.strain;
  state.internal = r.internal, state.internal_z = r.internal_z;
  state.kx = f.kx, state.ky = f.ky;
  state.tool.block = f.block;
  state.law_crossings = f.law_crossings;
  state.increment_reversals = f.increment_reversals;
  state.binder_slope = f.binder_slope;
  state.U = f.u, state.Zb = f.zb;
  test::OwnedMatrix k = f.matrix;
  state.k = k.view();
  r.hmin = evaluate_elements(f.geometry, f.part, f.u, f.zb, f.table, 1, f.material, f.h0, state.h, state.epsbar,
                             state.stress, state.strain, threads);
  add_internal_forces(f.model, state);
  add_element_matrices(f.model, state, f.settings);
  r.matrix = k.value;
  return r;
}

// The sequential loops of Part 4.4 written out: element by element in ascending order.
Results sequential_reference(Fixture& f) {
  Results r = run_loops(f, 1);  // the evaluation is per element (no sums), so its output serves as input
  const int32_t ne = f.part.ne;
  std::fill(r.internal.begin(), r.internal.end(), 0.0);
  std::fill(r.internal_z.begin(), r.internal_z.end(), 0.0);
  std::fill(r.matrix.begin(), r.matrix.end(), 0.0);
  for (int32_t e = 0; e < ne; ++e) {
    const ElementGeometry& g = f.geometry[e];
    const ElementForces fe = element_internal_forces(g, r.stress[e], r.stress[ne + e], r.stress[2 * ne + e], r.h[e],
                                                     f.h0[e]);
    gather_element_forces(f.part, e, std::span<const double, kElementDofs>(fe.fxy, kElementDofs), r.internal);
    for (int k = 0; k < g.corners; ++k) r.internal_z[f.part.node(e, k)] += fe.fz[k];
    const StressMatrix ds = stress_matrix(r.epsbar[e], material_row(f.table, 1, 0));
    const double volume = element_volume(g, r.h[e], f.h0[e]);
    const bool reversing = keeps_reversing(f.part, e, g.corners, f.increment_reversals);
    ElementMatrix ke = element_stiffness(g, ds, r.h[e], f.h0[e], f.settings.stabiliz[1], f.tables,
                                         reversing ? corner_slopes(f.part, e, g.corners, f.binder_slope) : CornerSlopes{});
    add_normal_displacement_stiffness(g, corner_displacements(f.part, e, g.corners, f.u, f.zb), ds, volume,
                                      reversing ? kFullNormalDisplacementWeight : kNormalDisplacementWeight, ke);
    if (held_at_law_jump(f.law_crossings[e])) {
      add_law_jump_stiffness(g, r.strain[e], r.strain[ne + e], r.strain[2 * ne + e], r.epsbar[e],
                             material_row(f.table, 1, 0), volume, ke);
    }
    std::array<double, 4> kx{}, ky{};
    for (int k = 0; k < g.corners; ++k) kx[k] = f.kx[f.part.node(e, k)], ky[k] = f.ky[f.part.node(e, k)];
    scale_restraint_diagonal(f.settings.restraint_category, f.settings.stabiliz[0], kx, ky, g.corners, ke);
    add_tool_stiffness(f.part, e, f.block, ke);
    assemble_element_matrix(f.part, e, f.model.held, f.scatter, ke, r.matrix);
  }
  return r;
}

// Bit-for-bit comparison; names the first differing index and both values.
void expect_identical(const std::vector<double>& a, const std::vector<double>& b, const char* what) {
  ASSERT_EQ(a.size(), b.size()) << what;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::memcmp(&a[i], &b[i], sizeof(double)) != 0) {
      ADD_FAILURE() << what << "[" << i << "]: " << a[i] << " vs " << b[i];
      return;
    }
  }
}

void expect_identical(const Results& a, const Results& b) {
  expect_identical(a.h, b.h, "h");
  expect_identical(a.epsbar, b.epsbar, "epsbar");
  expect_identical(a.stress, b.stress, "stress");
  expect_identical(a.strain, b.strain, "strain");
  expect_identical(a.internal, b.internal, "internal");
  expect_identical(a.internal_z, b.internal_z, "internal_z");
  expect_identical(a.matrix, b.matrix, "matrix");
  EXPECT_EQ(a.hmin.element, b.hmin.element);
  EXPECT_EQ(a.hmin.value, b.hmin.value);
}

TEST(ThreadIndependence, FixtureIsNonTrivial) {
  Fixture f;
  const Results r = run_loops(f, 1);
  int32_t steep = 0, triangles = 0;
  for (const ElementGeometry& g : f.geometry) steep += g.e3[2] < 0.5, triangles += g.corners == 3;
  EXPECT_GT(f.part.ne, 8 * 128);
  EXPECT_GT(steep, 100);
  EXPECT_GT(triangles, 100);
  double largest = 0.0;
  for (double v : r.internal) largest = std::max(largest, std::fabs(v));
  EXPECT_GT(largest, 1.0);
  EXPECT_NE(r.hmin.element, kNone);
}

// Issue 4: the same evaluation and assembly with 1 and 2 threads (and 3, more than the cores) agree bit
// for bit.
TEST(ThreadIndependence, OneAndTwoThreadsBitIdentical) {
  Fixture f;
  const Results one = run_loops(f, 1);
  const Results two = run_loops(f, 2);
  expect_identical(one, two);
  const Results three = run_loops(f, 3);
  expect_identical(one, three);
}

// The parallel loops give exactly the sums of the sequential element loop (Part 4.4 Matrix step 4:
// elements in ascending order).
TEST(ThreadIndependence, TwoThreadsEqualSequentialLoop) {
  Fixture f;
  expect_identical(run_loops(f, 2), sequential_reference(f));
}

}  // namespace
}  // namespace trevo
