// The one-step loop and its pieces: assembly of the element matrices, the preconditioned conjugate
// gradients, the tool terms (height search, holder and pad friction, punch force); the loop on
// developable parts, and the lines and verdicts it writes.
#include "solver/one_step.h"

#include <gtest/gtest.h>

#include <cmath>

#include "solver/assembly.h"
#include "solver/conjugate_gradient.h"
#include "solver/iteration_control.h"
#include "solver/tool_terms.h"
#include "solver_fixtures.h"

namespace trevo {
namespace {

// A grid with triangles and a node used by no element; random positive definite element matrices
// assembled with the given nodes held in x and in y.
struct Assembled {
  test::OwnedMesh mesh = test::make_grid(4, 3, 1.0, 1.0, {1, 4, 7});
  test::OwnedMatrix matrix, by_scan;
  std::vector<int32_t> held_x, held_y;
  Assembled(std::vector<int32_t> x_nodes, std::vector<int32_t> y_nodes) {
    mesh.add_node(0, 4, 0);
    const Mesh m = mesh.view();
    matrix = by_scan = test::matrix_pattern(m);
    held_x.resize(m.nn), held_y.resize(m.nn);
    node_constraints(x_nodes, y_nodes, held_x, held_y);
    CsrMatrix k = matrix.view(), scan = by_scan.view();
    std::vector<int32_t> map(scatter_map_size(m.ne));
    scatter_map(m, k, map);
    std::mt19937 rng(11);
    for (int32_t e = 0; e < m.ne; ++e) {
      std::array<double, 64> ke = test::spd_element_matrix(rng), literal = ke;
      assemble_element_matrix(m, e, {held_x, held_y}, map, ke, k.value);
      // The same pair by pair: constrain, copy the upper triangle down, add K(a, b) to the entry of row
      // dof(a) whose column is dof(b), found by scanning the row.
      constrain_element_matrix(m, e, {held_x, held_y}, literal);
      symmetrise_element_matrix(element_dofs(m, e), literal);
      const auto dof = [&](int a) { return 2 * m.node(e, a / 2) + a % 2; };
      for (int a = 0; a < element_dofs(m, e); ++a)
        for (int b = 0; b < element_dofs(m, e); ++b)
          for (int32_t q = scan.row_start[dof(a)]; q < scan.row_start[dof(a) + 1]; ++q)
            if (scan.column_of(dof(a), q) == dof(b)) scan.value[q] += literal[a + 8 * b];
    }
    unit_zero_diagonals(k);
  }
};

// Nodes 6 (both directions) and 2 (x) held: the scatter map adds where the row scan does; the held dofs'
// rows and columns hold only the diagonal, 1 from each element using the node, and their residual is 0.
TEST(Assembly, ScatterMapAddsWhereTheRowScanDoesAndHeldDofsDecouple) {
  Assembled a({6, 2}, {6});
  a.by_scan.value[a.by_scan.diagonal[40]] = a.by_scan.value[a.by_scan.diagonal[41]] = 1.0;  // the unused node
  EXPECT_EQ(a.matrix.value, a.by_scan.value);
  const CsrMatrix k = a.matrix.view();
  const auto held = [](int32_t dof) { return dof == 12 || dof == 13 || dof == 4; };
  for (int32_t row = 0; row < 40; ++row)  // every node but the unused one
    for (int32_t q = k.row_start[row]; q < k.row_start[row + 1]; ++q)
      EXPECT_EQ(k.value[q] == 0.0, (held(row) || held(k.column_of(row, q))) && row != k.column_of(row, q)) << row << " " << q;
  EXPECT_TRUE(k.value[k.diagonal[12]] == 4.0 && k.value[k.diagonal[13]] == 4.0 && k.value[k.diagonal[4]] == 2.0);
  std::vector<double> r(k.neq);
  residual(std::vector<double>(k.neq, 3.0), std::vector<double>(k.neq, 1.0), r);
  constrain_residual({a.held_x, a.held_y}, r);
  for (int32_t i = 0; i < k.neq; ++i) EXPECT_EQ(r[i], held(i) ? 0.0 : 2.0) << i;
}

// K x* for a known x*, solved from a zero start: converged (rho below the tolerance) to x*, the unused
// node's unit rows giving dU = R there. Solved again from there, with the residual zero at the warm start,
// no step is taken and the previous increment comes back unchanged.
TEST(ConjugateGradient, SolvesTheAssembledSystemToItsTolerance) {
  Assembled a({}, {});
  const CsrMatrix k = a.matrix.view();
  std::vector<double> solution(k.neq), increment(k.neq), again(k.neq, 99.0), v[5];
  for (int32_t i = 0; i < k.neq; ++i) solution[i] = std::sin(1.7 * i + 0.3);
  std::vector<double> rhs = test::symmetric_product(k, solution);
  for (auto& x : v) x.assign(k.neq, 0.0);
  const CgVectors vectors{v[0], v[1], v[2], v[3], v[4]};
  const CgResult result = conjugate_gradient(k, rhs, 1e-24, vectors, increment);
  EXPECT_LT(result.rho, 1e-24);
  for (int32_t i = 0; i < k.neq; ++i) EXPECT_NEAR(increment[i], solution[i], 1e-9) << i;
  EXPECT_EQ(rhs[41], solution[41]);
  multiply(k, v[0], rhs);  // K x - R is exactly zero at the warm start
  EXPECT_EQ(conjugate_gradient(k, rhs, 1e-20, vectors, again).steps, 0);
  EXPECT_EQ(again, increment);
}

// A perturbed grid on the plane z = 0.2 x - 0.1 y: every hit lies on that plane, and the grid search
// must find the first element (in element order) that a scan of every element holding the point finds.
TEST(HeightSearch, FindsTheFirstElementOfTheScanAndItsPlane) {
  test::OwnedMesh owned = test::make_grid(7, 5, 1.3, 1.3);
  for (int32_t i = 0; i < owned.nn(); ++i) {
    owned.x[i] += 0.21 * std::sin(3.0 * i), owned.y[i] += 0.17 * std::cos(5.0 * i);
    owned.z[i] = 0.2 * owned.x[i] - 0.1 * owned.y[i];
  }
  const Mesh m = owned.view();
  const PlanGrid grid(m, 1e-8);
  int32_t hits = 0;
  for (int a = -3; a < 120; ++a)
    for (int b = -3; b < 90; ++b) {
      const double X = a * 0.0791, Y = b * 0.0807;
      int32_t first = kNone, hit = kNone;
      for (int32_t e = 0; e < m.ne && first == kNone; ++e)
        if (element_height(m, e, X, Y)) first = e;
      const auto h = surface_height(m, grid, X, Y, hit);
      ASSERT_EQ(hit, first) << X << ", " << Y;
      if (h) {
        ++hits;
        ASSERT_NEAR(*h, 0.2 * X - 0.1 * Y, 1e-12);
      }
    }
  EXPECT_GT(hits, 5000);
  std::vector<int32_t> neighbours(4 * m.ne, kNone), boundary(m.ne), last{kNone, kNone};
  for (int32_t e = 0; e < m.ne; ++e) boundary[e] = e;
  std::vector<double> X{4.0, 30.0}, Y{3.0, 2.0}, zb{7.0, 7.0}, slope(4, -1.0);
  binder_heights(m, grid, neighbours, boundary, false, X, Y, last, zb, slope);
  EXPECT_NEAR(std::hypot(zb[0] - 0.5, slope[0] - 0.2, slope[1] + 0.1), 0.0, 1e-12);
  EXPECT_TRUE(zb[1] == 7.0 && slope[2] == -1.0);  // outside the binder without the fallback: both kept
}

// Holder and pad friction pulls straight against each node's plan displacement, whatever its
// direction; the punch force counts the free nodes (state 2) only.
TEST(ToolTerms, HolderAndPadFrictionPullAgainstTheMotionAndPunchForceCountsFreeNodes) {
  const size_t nn = 8;
  std::vector<double> holding(nn, 30.0), count(nn, 2.0), normals(3 * nn, 0.0), node_force(2 * nn), contact(3 * nn);
  std::vector<int32_t> state = {4, 5, 4, 5, 4, 5, 4, 5}, none;
  std::vector<double> bead_force;
  for (size_t i = 0; i < nn; ++i) normals[2 * nn + i] = 1.0;
  const RestraintData r{holding, state, count, normals, {}, bead_force, none, none, node_force, contact};
  std::vector<double> z(nn, 1.0), zb(nn, 0.0), zh(nn, 1.0), U(2 * nn), external(2 * nn, 0.0), kb, kf(nn, 0.0);
  for (size_t i = 0; i < nn; ++i) U[2 * i] = std::cos(0.8 * i + 0.3), U[2 * i + 1] = std::sin(0.8 * i + 0.3);
  RunSettings s;
  s.pad_flag = 1;
  restraint_forces(z, U, zb, zh, r, DrawbeadLines{}, s, external, kb, kf);
  for (size_t i = 0; i < nn; ++i) {
    const double cross = external[2 * i] * U[2 * i + 1] - external[2 * i + 1] * U[2 * i];
    const double dot = external[2 * i] * U[2 * i] + external[2 * i + 1] * U[2 * i + 1];
    EXPECT_NEAR(cross, 0.0, 1e-9 * std::abs(dot)) << "node " << i;
    EXPECT_LT(dot, 0.0) << "node " << i;
  }
  const std::vector<int32_t> states = {2, 3, 2, 5, 1, 4};
  EXPECT_DOUBLE_EQ(punch_force(states, std::vector<double>{1.5, 100.0, 2.5, 100.0, 100.0, 100.0}), 4.0);
}

// A full step that raises |R|^2 by 10 % is taken while ADP keeps halving within five iterations, and
// backtracked once five iterations in a row have not halved it (a slow fall, 0.9 per iteration, is
// no progress); a later fall does not make the search tolerant again.
TEST(LineSearch, TakesARisingFullStepUntilAdpStopsHalving) {
  const auto rising_full_step = [](double lambda) { return 100.0 * (1.0 - 1.8 * lambda + 1.9 * lambda * lambda); };
  StepAcceptance acceptance;
  for (double adp : {1.0, 1.2, 0.9, 0.8, 0.7, 0.4, 0.39, 0.38, 0.37, 0.36}) {
    acceptance.record(adp);
    const LineSearchResult full = line_search(100.0, 0.1, acceptance.factor(), rising_full_step);
    EXPECT_EQ(full.relax, 1.0);
    EXPECT_EQ(full.trials, 1);
  }
  for (double adp : {0.35, 0.01}) {
    acceptance.record(adp);
    const LineSearchResult cut = line_search(100.0, 0.1, acceptance.factor(), rising_full_step);
    EXPECT_GT(cut.trials, 1);
    EXPECT_LT(cut.relax, 1.0);
    EXPECT_LE(rising_full_step(cut.relax), 100.0);
  }
}

TEST(OneStep, DevelopablePartsConvergeToTheirDevelopment) {
  test::OwnedMesh flat_plate = test::make_grid(10, 6, 2.0, 1.0, {3, 8, 20, 41}), hat_flat = test::make_grid(24, 8);
  test::OwnedMesh plate = flat_plate;
  for (double& z : plate.z) z = 5.0;
  for (const auto& [part, development] : {std::pair{plate, flat_plate}, {test::hat_section(hat_flat), hat_flat}}) {
    test::OneStepRun r(part);
    for (size_t i = 0; i < r.nn; ++i)
      r.X[i] = 1.03 * development.x[i] + 0.01 * development.y[i],
      r.Y[i] = 0.98 * development.y[i] - 0.02 * development.x[i];
    test::Captured out;
    LoopOutcome outcome;
    LoopState loop;
    const int stop = run_one_step(r.model, r.state, r.settings, out.reporter, outcome, loop);
    diagnosis(outcome, 1.0, r.settings, out.reporter);
    EXPECT_TRUE(stop == 4 || stop == 5) << "stop test " << stop << "\n" << out.console.str();
    EXPECT_NE(out.console.str().find("Result meets required convergent criteria"), std::string::npos);
    for (int32_t e = 0; e < part.ne(); ++e)
      for (int k = 0; k < part.corners[e]; ++k) {
        const int32_t a = r.part.node(e, k), b = r.part.node(e, (k + 1) % part.corners[e]);
        const double on_part = std::hypot(part.x[a] - part.x[b], part.y[a] - part.y[b], part.z[a] - part.z[b]);
        ASSERT_NEAR(std::hypot(r.X[a] - r.X[b], r.Y[a] - r.Y[b]), on_part, 2e-3 * on_part) << "element " << e;
      }
  }
}

// The records below are gfortran's for the same formats and values.
TEST(ProgressLine, FortranFormatsOfTheProgressSummaryAndForcesLines) {
  const ProgressValues v{0.00123, 0.5, 16, -3.5, 3, 0.95};
  EXPECT_EQ(progress_line(21, v), "NN0=  21 ADP=0.123E-02 RELAX=0.50 MAXP(    17)=-3.50     HMIN(     4)=0.950    ");
  test::Captured out;
  summary_line(1, 1, v, out.reporter);  // the loop stopped where its last line was written
  summary_line(7, 1, v, out.reporter);
  forces_line(12345.678, 50000.0, out.reporter);
  EXPECT_EQ(test::lines(out.console), (std::vector<std::string>{progress_line(6, v),
            " PUNCHFORCE=   12345.678000000000          BHF=   50000.000000000000     "}));
  EXPECT_EQ(out.report.str(), out.console.str());
}

// Each direction's stabilisation follows the blank's own extent in it: turning a long blank (100 x 10) a
// quarter turn swaps the two coefficients of every node.
TEST(Stabilisation, QuarterTurnOfTheBlankSwapsTheDirections) {
  const std::vector<double> x{0, 100, 100, 0}, y{0, 0, 10, 10}, d{0.2, 0.2, 3.0, 0.05, 0.9, 1.1, 0.01, 0.6};
  std::vector<double> turned(d.size()), kx(4), ky(4), kx_turned(4), ky_turned(4);
  for (size_t i = 0; i < 4; ++i) turned[2 * i] = d[2 * i + 1], turned[2 * i + 1] = d[2 * i];
  stabilisation_coefficients(d, x, y, kx, ky);
  stabilisation_coefficients(turned, y, x, kx_turned, ky_turned);
  EXPECT_TRUE(kx == ky_turned && ky == kx_turned && kx[0] != ky[0]);  // node 0: the same move, along and across
}

// The verdict's bands on a sheet 2 mm thick (tolerances tau 1e-4, f 1 N per mm of thickness): the
// first rule that holds decides, and the force tolerance scales with the thickness.
TEST(Verdict, FirstBandThatHoldsDecides) {
  const struct { double adp, maxp; int32_t inversions; int want; } rows[] = {
      {0.5, 1.5, 0, 0}, {5e-5, 1e9, 0, 0}, {2000, 1e9, 0, 1}, {0.5, 1e9, 1, 1}, {5.0, 1e9, 0, 2},
      {0.5, 2.5, 0, 3}, {5e-4, 15.0, 0, 4}, {0.005, 1e9, 0, 4}, {5e-4, 100.0, 0, 5}, {2e-4, 1e9, 0, 5}};
  for (const auto& r : rows)
    EXPECT_EQ(convergence_verdict(r.adp, r.maxp, r.inversions, 2.0, 1e-4, 1.0), r.want) << r.adp << " " << r.maxp;
}

TEST(Verdict, EveryBlockHasItsExactLinesOnEachSide) {
  const std::string l1 = "   1. Possibly bad mesh quality in the Blank.\n      Check the model and try again.\n",
                    rigid = "Possible rigid body movement of the Blank.\n      Define constraint and try again.\n",
                    more = "Try to increase number of iterations to\n      improve accuracy.\n",
                    half = "Try to increase convergent stability factor\n      to half of the sheet\"s thickness.\n";
  const std::string blocks[7] = {
      " .... TREVO solution is complete. Result meets required convergent criteria ....\n",
      " ******* Solution is not converged. See the main reasons as follows *******\n"
      "   1. One-step forming is not suitable for this Part.\n      Should consider multi-step forming.\n"
      "   2. Possible error in punch direction.\n      Check the model and try again.\n"
      "   3. Possibly bad mesh quality in the Blank.\n      Check the model and try again.\n"
      "   4. The least convergent factor is possibly too high.\n      Reduce the factor and try again.\n"
      "   5. " + rigid +
          "   6. Try to increase convergent stability factor\n      as multiple of the sheet\"s thickness.\n",
      " ******* Solution is not converged. Result may not be accurate. *******\n" + l1 + "   2. " + rigid +
          "   3. Possibly insufficient Blank Holder force or\n     wrong drawbead setting.\n"
          "   4. The least convergent factor is possibly too high.\n      Reduce the factor and try again.\n"
          "   5. " + more + "   6. " + half,
      " ******* Solution is not converged completely with moderate error *******\n" + l1 + "   2. " + rigid +
          "   3. Possibly insufficient Blank Holder force or\n     bad drawbead setting.\n   4. " + more +
          "   5. " + half,
      " ******* Solution is not converged completely with minor error *******\n" + l1 + "   2. " + rigid + "   3. " +
          more,
      " ******* Solution is convergent with minor error *******\n   1. Possible bad mesh quality in the Blank.\n"
      "   2. Possible rigid body movement of the Blank.\n ******* It is not required to run TREVO again *******\n",
      " ....... Solution is converged, though it does not meet the required accuracy.......\n"};
  for (int verdict = 0; verdict < 7; ++verdict) {
    test::Captured out, quiet;
    write_verdict(verdict, 2, out.reporter);
    write_verdict(verdict, 1, quiet.reporter);  // nothing below message level 2
    EXPECT_EQ(out.console.str(), "\n" + blocks[verdict] + (verdict ? "\n" : "")) << "verdict " << verdict;
    const std::string converged = " .... TREVO solution is complete, result meets required convergent criteria ....\n";
    EXPECT_EQ(out.report.str(), verdict ? "\n" + blocks[verdict] + "\n" : converged);
    EXPECT_EQ(quiet.console.str() + quiet.report.str(), "");
  }
}

}  // namespace
}  // namespace trevo
