// The one-step loop on developable parts, and the lines and verdicts it writes.
#include "solver/one_step.h"
#include "solver/iteration_control.h"

#include <gtest/gtest.h>

#include <cmath>

#include "solver_fixtures.h"

namespace trevo {
namespace {

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
