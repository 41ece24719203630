// Spec: Part 4.6 (Convergence diagnosis and forces), Part 4.1 (progress line).
#include "solver/diagnosis.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace trevo {
namespace {

struct Captured {
  std::ostringstream console, report;
  Reporter reporter{console, &report};
};

// Expected records below were written by gfortran 12 with the formats of Part 4.1/4.6.
TEST(ProgressLine, MatchesTheFortranFormat) {
  const ProgressValues v{0.00123, 0.5, 16, -3.5, 3, 0.95};
  EXPECT_EQ(progress_line(21, v), "NN0=  21 ADP=0.123E-02 RELAX=0.50 MAXP(    17)=-3.50     HMIN(     4)=0.950    ");
}

// Part 4.1 edge cases: a loop stopping at iteration 1 writes no summary; one stopping
// at iteration 7 writes a summary showing NN0 = 6.
TEST(SummaryLine, WrittenOnlyWhenTheLastProgressLineIsNotAtTheCounter) {
  const ProgressValues v{0.00123, 0.5, 16, -3.5, 3, 0.95};
  Captured out;
  summary_line(1, 1, v, out.reporter);
  EXPECT_EQ(out.console.str(), "");
  summary_line(7, 1, v, out.reporter);
  const std::string line = progress_line(6, v) + "\n";
  EXPECT_EQ(out.console.str(), line);
  EXPECT_EQ(out.report.str(), line);
  EXPECT_EQ(line.substr(0, 8), "NN0=   6");
}

// Part 4.6 edge case: ADP once below tau and then above it: the least ADP decides.
TEST(Verdict, LeastAdpBelowToleranceIsConverged) {
  EXPECT_EQ(convergence_verdict(0.00005, 1000.0, 0, 1.0, 0.0001, 2.0), 0);
  EXPECT_EQ(convergence_verdict(0.00015, 1000.0, 0, 1.0, 0.0001, 2.0), 5);
}

// Part 4.6 edge case: one inversion gives set 1 whenever not converged, however small ADP.
TEST(Verdict, InversionGivesSetOneWhenNotConverged) {
  EXPECT_EQ(convergence_verdict(0.00011, 1000.0, 1, 1.0, 0.0001, 2.0), 1);
  EXPECT_EQ(convergence_verdict(0.00009, 1000.0, 1, 1.0, 0.0001, 2.0), 0);
}

// Part 4.6 edge case: T = t1 f = 4, final |MAXP| 3 is converged.
TEST(Verdict, ForceBelowThicknessScaledToleranceIsConverged) {
  EXPECT_EQ(convergence_verdict(0.5, 3.0, 0, 2.0, 0.0001, 2.0), 0);
  EXPECT_EQ(convergence_verdict(0.5, 4.0, 0, 2.0, 0.0001, 2.0), 0);
  EXPECT_EQ(convergence_verdict(0.5, 4.1, 0, 2.0, 0.0001, 2.0), 3);
}

TEST(Verdict, SetsByLeastAdpBands) {
  const double big = 1.0e9;
  EXPECT_EQ(convergence_verdict(1000.5, big, 0, 1.0, 1e-4, 2.0), 1);
  EXPECT_EQ(convergence_verdict(1000.0, big, 0, 1.0, 1e-4, 2.0), 2);
  EXPECT_EQ(convergence_verdict(1.0, big, 0, 1.0, 1e-4, 2.0), 3);
  EXPECT_EQ(convergence_verdict(0.01, big, 0, 1.0, 1e-4, 2.0), 4);
  EXPECT_EQ(convergence_verdict(0.001, big, 0, 1.0, 1e-4, 2.0), 5);
  EXPECT_EQ(convergence_verdict(0.0001, big, 0, 1.0, 1e-5, 2.0), 6);
  // 5T < P <= 10T gives set 4 even when L alone would give 5 or 6.
  EXPECT_EQ(convergence_verdict(0.0005, 15.0, 0, 1.0, 1e-5, 2.0), 4);
  EXPECT_EQ(convergence_verdict(0.00005, 20.0, 0, 1.0, 1e-5, 2.0), 4);
  EXPECT_EQ(convergence_verdict(0.00005, 20.5, 0, 1.0, 1e-5, 2.0), 6);
}

TEST(Verdict, ConvergedBlockDiffersOnConsoleAndReport) {
  Captured out;
  write_verdict(0, 2, out.reporter);
  EXPECT_EQ(out.console.str(), "\n .... TREVO solution is complete. Result meets required convergent criteria ....\n");
  EXPECT_EQ(out.report.str(), " .... TREVO solution is complete, result meets required convergent criteria ....\n");
}

TEST(Verdict, HintBlocksAreFramedOnEachSide) {
  Captured out;
  write_verdict(1, 2, out.reporter);
  const std::string set1 =
      "\n"
      " ******* Solution is not converged. See the main reasons as follows *******\n"
      "   1. One-step forming is not suitable for this Part.\n"
      "      Should consider multi-step forming.\n"
      "   2. Possible error in punch direction.\n"
      "      Check the model and try again.\n"
      "   3. Possibly bad mesh quality in the Blank.\n"
      "      Check the model and try again.\n"
      "   4. The least convergent factor is possibly too high.\n"
      "      Reduce the factor and try again.\n"
      "   5. Possible rigid body movement of the Blank.\n"
      "      Define constraint and try again.\n"
      "   6. Try to increase convergent stability factor\n"
      "      as multiple of the sheet\"s thickness.\n"
      "\n";
  EXPECT_EQ(out.console.str(), set1);
  EXPECT_EQ(out.report.str(), set1);
}

TEST(Verdict, EverySetHasItsExactLines) {
  struct Case {
    int verdict;
    std::string text;
  };
  const Case cases[] = {
      {2, " ******* Solution is not converged. Result may not be accurate. *******\n"
          "   1. Possibly bad mesh quality in the Blank.\n      Check the model and try again.\n"
          "   2. Possible rigid body movement of the Blank.\n      Define constraint and try again.\n"
          "   3. Possibly insufficient Blank Holder force or\n     wrong drawbead setting.\n"
          "   4. The least convergent factor is possibly too high.\n      Reduce the factor and try again.\n"
          "   5. Try to increase number of iterations to\n      improve accuracy.\n"
          "   6. Try to increase convergent stability factor\n      to half of the sheet\"s thickness.\n"},
      {3, " ******* Solution is not converged completely with moderate error *******\n"
          "   1. Possibly bad mesh quality in the Blank.\n      Check the model and try again.\n"
          "   2. Possible rigid body movement of the Blank.\n      Define constraint and try again.\n"
          "   3. Possibly insufficient Blank Holder force or\n     bad drawbead setting.\n"
          "   4. Try to increase number of iterations to\n      improve accuracy.\n"
          "   5. Try to increase convergent stability factor\n      to half of the sheet\"s thickness.\n"},
      {4, " ******* Solution is not converged completely with minor error *******\n"
          "   1. Possibly bad mesh quality in the Blank.\n      Check the model and try again.\n"
          "   2. Possible rigid body movement of the Blank.\n      Define constraint and try again.\n"
          "   3. Try to increase number of iterations to\n      improve accuracy.\n"},
      {5, " ******* Solution is convergent with minor error *******\n"
          "   1. Possible bad mesh quality in the Blank.\n   2. Possible rigid body movement of the Blank.\n"
          " ******* It is not required to run TREVO again *******\n"},
      {6, " ....... Solution is converged, though it does not meet the required accuracy.......\n"},
  };
  for (const Case& c : cases) {
    Captured out;
    write_verdict(c.verdict, 2, out.reporter);
    EXPECT_EQ(out.console.str(), "\n" + c.text + "\n") << "set " << c.verdict;
    EXPECT_EQ(out.report.str(), "\n" + c.text + "\n") << "set " << c.verdict;
  }
}

TEST(Verdict, NothingBelowMessageLevelTwo) {
  Captured out;
  write_verdict(1, 1, out.reporter);
  write_verdict(0, 1, out.reporter);
  EXPECT_EQ(out.console.str() + out.report.str(), "");
}

// Part 4.6 edge case: with the iteration limit at 2 or less only the summary line.
TEST(Diagnosis, IterationLimitTwoOrLessWritesNoVerdict) {
  LoopOutcome loop;
  loop.nn0 = 3;  // the limit ended the loop: NN0 = limit + 1
  loop.last_printed = 1;
  loop.least_adp = 0.5;
  loop.last = {0.5, 1.0, 0, 100.0, 0, 1.0};
  RunSettings settings;
  settings.iteration_limit = 2;
  Captured out;
  diagnosis(loop, 1.0, settings, out.reporter);
  EXPECT_EQ(out.console.str(), progress_line(2, loop.last) + "\n");
  EXPECT_EQ(out.report.str(), progress_line(2, loop.last) + "\n");
  settings.iteration_limit = 3;
  loop.nn0 = 4;
  Captured more;
  diagnosis(loop, 1.0, settings, more.reporter);
  EXPECT_NE(more.console.str().find("moderate error"), std::string::npos);
}

TEST(ForcesLine, ListDirectedPunchAndBlankHolderForces) {
  Captured out;
  forces_line(12345.678, 50000.0, out.reporter);
  const std::string line = " PUNCHFORCE=   12345.678000000000          BHF=   50000.000000000000     \n";
  EXPECT_EQ(out.console.str(), line);
  EXPECT_EQ(out.report.str(), line);
}

}  // namespace
}  // namespace trevo
