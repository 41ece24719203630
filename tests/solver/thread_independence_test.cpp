// The element loops of the one-step iteration give bit-identical results for any thread count: every
// element's terms are summed in ascending element order whatever the split of the loop. So do they
// whether the element geometry comes from records or is formed from the part at each evaluation.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "solver_fixtures.h"
#include "solver/element_loops.h"
#include "solver/increment_reversals.h"
#include "solver/law_jumps.h"

namespace trevo {
namespace {

// A curved part of 1,100 elements (more than eight chunks of the loops), triangles among them, steep walls
// on both sides, an anisotropic sheet, a blank that stretches, shears and perturbs it, and every optional
// term on somewhere: law-jump holds, reversing increments, binder slopes, tool blocks, held nodes, two
// thicknesses. Thicknesses, strains, stresses, internal forces and the matrix compared byte for byte, and
// once more with two threads and no geometry records, as a large part runs.
TEST(ThreadIndependence, OneTwoAndThreeThreadsGiveBitIdenticalLoops) {
  std::set<int32_t> split;
  for (int32_t cell = 3; cell < 1100; cell += 7) split.insert(cell);
  test::OwnedMesh mesh = test::make_grid(35, 30, 1.0, 1.0, split);
  for (int32_t i = 0; i < mesh.nn(); ++i) mesh.z[i] = 0.08 * (mesh.x[i] - 17.0) * (mesh.x[i] - 17.0);
  test::OneStepRun f(mesh);
  std::mt19937 rng(4);
  std::uniform_real_distribution<double> noise(-0.05, 0.05);
  for (size_t i = 0; i < f.nn; ++i) {
    const double arc = 17.0 + std::asinh(0.16 * (mesh.x[i] - 17.0)) / 0.16;  // about the developed x
    f.U[2 * i] = mesh.x[i] - (1.02 * arc + noise(rng));
    f.U[2 * i + 1] = mesh.y[i] * 0.03 - 0.01 * mesh.x[i] + noise(rng);
    f.kx[i] = 1e-4 * (1.0 + noise(rng)), f.ky[i] = 1e-5 * (1.0 + noise(rng));
    f.slope[2 * i] = 4.0 * noise(rng), f.slope[2 * i + 1] = 2.0 * noise(rng);
    f.block[i] = 0.3 + noise(rng), f.block[f.nn + i] = noise(rng), f.block[2 * f.nn + i] = 0.2 + noise(rng);
    f.held_x[i] = i % 97 == 0, f.held_y[i] = i % 89 == 5, f.reversals[i] = i % 13 == 3 ? kReversalsToStiffen : 0;
  }
  for (size_t e = 0; e < f.ne; ++e) f.crossings[e] = e % 11 ? 0 : kCrossingsToHold, f.h0[e] = e % 5 ? 1.0 : 1.2;
  f.table[4] = 1.4, f.table[5] = 1.1, f.table[6] = 1.9;
  int32_t steep = 0, triangles = 0;
  for (int32_t e = 0; e < f.part.ne; ++e) {
    const ElementGeometry g = element_geometry(f.part, e);
    steep += g.e3[2] < 0.5, triangles += g.corners == 3;
  }
  EXPECT_GT(steep, 100);
  EXPECT_GT(triangles, 100);
  const auto loops = [&](int32_t threads) {
    f.model.threads = threads;
    for (auto* v : {&f.internal, &f.internal_z, &f.matrix.value}) std::fill(v->begin(), v->end(), 0.0);
    const ThicknessMinimum hmin = evaluate_state(f.model, f.state, f.U);
    add_internal_forces(f.model, f.state, f.U);
    add_element_matrices(f.model, f.state, f.settings);
    std::vector<double> all{hmin.value, double(hmin.element)};
    for (const auto* v : {&f.h, &f.epsbar, &f.stress, &f.strain, &f.internal, &f.internal_z, &f.matrix.value})
      all.insert(all.end(), v->begin(), v->end());
    return all;
  };
  const std::vector<double> one = loops(1);
  EXPECT_GT(*std::max_element(f.internal.begin(), f.internal.end()), 1.0);
  const auto expect_identical = [&](const std::vector<double>& other, const std::string& run) {
    ASSERT_EQ(other.size(), one.size());
    for (size_t i = 0; i < one.size(); ++i)
      ASSERT_EQ(std::memcmp(&one[i], &other[i], sizeof(double)), 0) << run << ", value " << i;
  };
  for (const int32_t threads : {2, 3}) expect_identical(loops(threads), std::to_string(threads) + " threads");
  f.model.geometry = {};
  expect_identical(loops(2), "no geometry records");
}

}  // namespace
}  // namespace trevo
