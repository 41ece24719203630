// Part 2.3: process controls, material table, drawbead and contour rows, feature lines.
#include "input/controls.h"

#include <gtest/gtest.h>

#include "input_test_support.h"

namespace trevo {
namespace {

// Controls of a file with the given counts; arrays owned here.
struct Controls {
  test::Capture out;
  RunSettings settings;
  std::array<std::vector<double>, kDrawbeadValues> drawbead;
  std::vector<int32_t> cx_int, cy_int;
  std::vector<double> cx_real, cy_real, material;
  ProcessArrays arrays;
  std::vector<int32_t> element_material{0, 1, 0};
  std::vector<double> element_value{5.0, 5.0, 5.0};
  bool stopped = false;

  explicit Controls(const std::string& text, int32_t method = 1, int32_t materials = 1, int32_t drawbeads = 0,
                    int32_t contours = 0) {
    settings.method = method;
    settings.material_count = materials;
    settings.drawbead_count = drawbeads;
    settings.contratx_count = settings.contraty_count = contours;
    for (size_t v = 0; v < drawbead.size(); ++v) {
      drawbead[v].assign(static_cast<size_t>(drawbeads), -1.0);
      arrays.drawbead[v] = drawbead[v];
    }
    cx_int.assign(static_cast<size_t>(contours), -1);
    cy_int = cx_int;
    cx_real.assign(static_cast<size_t>(contours), -1.0);
    cy_real = cx_real;
    material.assign(static_cast<size_t>(kMaterialColumns * materials), -1.0);
    arrays.contratx_int = cx_int;
    arrays.contraty_int = cy_int;
    arrays.contratx_real = cx_real;
    arrays.contraty_real = cy_real;
    arrays.material = material;
    if (materials < 2) element_material.assign(3, 0);
    try {
      read_controls(KeywordFile::from_text(text), settings, arrays, element_material, element_value, out.reporter);
    } catch (const RunStopped&) {
      stopped = true;
    }
  }
  double material_at(int row, int column) const {
    const size_t rows = material.size() / kMaterialColumns;
    return material[static_cast<size_t>(column) * rows + static_cast<size_t>(row)];
  }
};

// Part 2.3 edge case: a file with no control lines runs with the defaults.
TEST(Controls, NoControlLinesGiveTheDefaults) {
  Controls c("$$KVO/TREVO\nFORMTYPE 0\n");
  ASSERT_FALSE(c.stopped);
  const RunSettings& s = c.settings;
  EXPECT_EQ(s.iteration_limit, 300);
  EXPECT_EQ(s.displacement_tolerance, 0.0001);
  EXPECT_EQ(s.min_relax, 0.1);
  EXPECT_EQ(s.max_relax, 1.0);
  EXPECT_EQ(s.force_tolerance, 2.0);
  EXPECT_EQ(s.friction1, 0.2);
  EXPECT_EQ(s.friction2, 0.13);
  EXPECT_EQ(s.bhforce, 0.0);
  EXPECT_EQ(s.holforce, 0.0);
  EXPECT_EQ(s.pad_coefficient, 0.2);
  EXPECT_EQ(s.method, 1);
  EXPECT_EQ(s.offset, 0.0);
  EXPECT_EQ(s.autonoml, 0);
  EXPECT_EQ(s.stabiliz, (std::array<double, 2>{1.0, 1.0}));
}

TEST(Controls, DefaultsAreSetAgainOnEntry) {
  RunSettings settings;
  settings.friction1 = 9.0;
  settings.iteration_limit = 7;
  settings.method = 0;
  test::Capture out;
  ProcessArrays arrays;
  read_controls(KeywordFile::from_text(""), settings, arrays, {}, {}, out.reporter);
  EXPECT_EQ(settings.friction1, 0.2);
  EXPECT_EQ(settings.iteration_limit, 300);
  EXPECT_EQ(settings.method, 1);  // reset to 1 unless it is 3
}

// Part 2.3 edge case: METHOD 0 while the punch-direction check chose the elastic method.
TEST(Controls, MethodStaysThreeWhenChosenBefore) {
  Controls c("METHOD   0\n", 3);
  EXPECT_EQ(c.settings.method, 3);
  Controls d("METHOD   0\n", 1);
  EXPECT_EQ(d.settings.method, 0);
  Controls e("METHOD   3\nMETHOD   0\n", 1);  // read only while the method is not 3
  EXPECT_EQ(e.settings.method, 3);
}

// Part 2.3 edge case: CORTROL with only the iteration limit changes only that value.
TEST(Controls, CortrolWithOnlyTheIterationLimit) {
  Controls c("CORTROL  50\n");
  EXPECT_EQ(c.settings.iteration_limit, 50);
  EXPECT_EQ(c.settings.displacement_tolerance, 0.0001);
  EXPECT_EQ(c.settings.min_relax, 0.1);
  EXPECT_EQ(c.settings.max_relax, 1.0);
  EXPECT_EQ(c.settings.force_tolerance, 2.0);
}

TEST(Controls, EveryControlRead) {
  Controls c("FRICTION 0.15 0.1\nBHFORCE  1000.0\nHOLFORCE 5.0 0.3\nCORTROL  250 0.0002 0.2 0.9 3.0\nMETHOD   0\n"
             "OFFSET   0.5\nAUTONOML 1\nMANUNOML 10.0 20.0\nSTABILIZ 1.5 2.5\n");
  ASSERT_FALSE(c.stopped);
  const RunSettings& s = c.settings;
  EXPECT_EQ(s.friction1, 0.15);
  EXPECT_EQ(s.friction2, 0.1);
  EXPECT_EQ(s.bhforce, 1000.0);
  EXPECT_EQ(s.holforce, 5.0);
  EXPECT_EQ(s.pad_coefficient, 0.3);
  EXPECT_EQ(s.iteration_limit, 250);
  EXPECT_EQ(s.displacement_tolerance, 0.0002);
  EXPECT_EQ(s.min_relax, 0.2);
  EXPECT_EQ(s.max_relax, 0.9);
  EXPECT_EQ(s.force_tolerance, 3.0);
  EXPECT_EQ(s.method, 0);
  EXPECT_EQ(s.offset, 0.5);
  EXPECT_EQ(s.autonoml, 1);
  EXPECT_EQ(s.manunoml, (std::array<double, 2>{10.0, -20.0}));  // second value sign-reversed
  EXPECT_EQ(s.stabiliz, (std::array<double, 2>{1.5, 2.5}));
}

// Part 2.3: the last line of a keyword wins; null and missing values keep the target.
TEST(Controls, LastLineWinsAndNullsKeep) {
  Controls c("FRICTION 0.3 0.4\nFRICTION , 0.5\nMANUNOML 1.0 2.0\nMANUNOML 3.0\n");
  EXPECT_EQ(c.settings.friction1, 0.3);
  EXPECT_EQ(c.settings.friction2, 0.5);
  EXPECT_EQ(c.settings.manunoml, (std::array<double, 2>{3.0, -2.0}));
}

// Part 2.1: BHFORCE and CORTROL over 7 columns, METHOD and OFFSET over 6.
TEST(Controls, ShortKeywordsComparedOverTheirLength) {
  Controls c("BHFORCEX 7.0\nCORTROLY 9\nMETHODAB 0\nOFFSET12 2.5\nFRICTIOX 0.9\n");
  EXPECT_EQ(c.settings.bhforce, 7.0);
  EXPECT_EQ(c.settings.iteration_limit, 9);
  EXPECT_EQ(c.settings.method, 0);
  EXPECT_EQ(c.settings.offset, 2.5);
  EXPECT_EQ(c.settings.friction1, 0.2);  // FRICTION is compared over 8 columns
}

TEST(Controls, UnreadableValueGivesTheDataErrorReport) {
  Controls c("BHFORCE  abc\n");
  EXPECT_TRUE(c.stopped);
  EXPECT_EQ(c.out.console.str(), test::read_error_text(kDataError, "BHFORCE  abc"));
  EXPECT_EQ(c.out.report.str(), test::read_error_text(kDataError, "BHFORCE  abc"));
}

// Part 2.3, material table: first form (columns 9-10 blank) fills columns 1-7 from column 11;
// rows preset with 0.001, 600, 0.22, 0, 1, 1, 1, 1; no element-value replacement.
TEST(Controls, MaterialFirstForm) {
  Controls c("MATERIAL  0.002 500.0\nMATERIAL  1 2 3 4 5 6 7 8\n", 1, 2);
  ASSERT_FALSE(c.stopped);
  const double preset[] = {0.001, 600.0, 0.22, 0.0, 1.0, 1.0, 1.0, 1.0};
  EXPECT_EQ(c.material_at(0, 0), 0.002);
  EXPECT_EQ(c.material_at(0, 1), 500.0);
  for (int col = 2; col < 8; ++col) EXPECT_EQ(c.material_at(0, col), preset[col]) << col;
  for (int col = 0; col < 7; ++col) EXPECT_EQ(c.material_at(1, col), col + 1.0) << col;
  EXPECT_EQ(c.material_at(1, 7), 1.0);  // column 8 is not filled by the first form
  EXPECT_EQ(c.element_value, (std::vector<double>{5.0, 5.0, 5.0}));
}

// Part 2.3: the second form (an integer in columns 9-10) fills from column 1 on and the element
// values are replaced by column 8 of each element's material row.
TEST(Controls, MaterialSecondFormReplacesElementValues) {
  Controls c("MATERIAL  0.002\nMATERIAL 2 1 2 3 4 5 6 7 8.5\n", 1, 2);
  ASSERT_FALSE(c.stopped);
  EXPECT_EQ(c.material_at(1, 0), 1.0);
  EXPECT_EQ(c.material_at(1, 7), 8.5);
  EXPECT_EQ(c.element_value, (std::vector<double>{1.0, 8.5, 1.0}));  // materials 1, 2, 1
}

TEST(Controls, MaterialFormIntegerMustBeAnInteger) {
  Controls c("MATERIAL x 1.0\n", 1, 1);
  EXPECT_TRUE(c.stopped);
  EXPECT_EQ(c.out.report.str(), test::read_error_text(kDataError, "MATERIAL x 1.0"));
}

// Part 2.3: DRAWBEAD rows by index; the index is validated (Left to the implementer).
TEST(Controls, DrawbeadRowsByIndex) {
  Controls c("DRAWBEAD 2 1 2 3 4 5 6 7 8\nDRAWBEAD 1 9 9\n", 1, 1, 2);
  ASSERT_FALSE(c.stopped);
  for (size_t v = 0; v < 8; ++v) EXPECT_EQ(c.drawbead[v][1], v + 1.0) << v;
  EXPECT_EQ(c.drawbead[0][0], 9.0);
  EXPECT_EQ(c.drawbead[1][0], 9.0);
  EXPECT_EQ(c.drawbead[2][0], 0.0);  // rows not given are 0
  for (const std::string bad : {"DRAWBEAD 3 1 2", "DRAWBEAD 0 1", "DRAWBEAD", "DRAWBEAD , 1"}) {
    Controls d(bad + "\n", 1, 1, 2);
    EXPECT_TRUE(d.stopped) << bad;
    EXPECT_EQ(d.out.report.str(), test::read_error_text(kDataError, bad)) << bad;
  }
}

TEST(Controls, ContourTablesByIndex) {
  Controls c("CONTRATX 2 62 0.5\nCONTRATY 1 7 1.5\nCONTRATY 2 8\n", 1, 1, 0, 2);
  ASSERT_FALSE(c.stopped);
  EXPECT_EQ(c.cx_int, (std::vector<int32_t>{0, 62}));
  EXPECT_EQ(c.cx_real, (std::vector<double>{0.0, 0.5}));
  EXPECT_EQ(c.cy_int, (std::vector<int32_t>{7, 8}));
  EXPECT_EQ(c.cy_real, (std::vector<double>{1.5, 0.0}));
  Controls d("CONTRATX 3 1 1.0\n", 1, 1, 0, 2);
  EXPECT_TRUE(d.stopped);
}

// Feature lines over a node renumbering (10 node lines, none dropped unless given).
struct Features {
  test::Capture out;
  FeatureLines lines;
  bool stopped = false;
  explicit Features(const std::string& text, std::vector<int32_t> dropped = {}, int32_t nodes_read = 20) {
    NodeRenumbering renumbering{nodes_read, std::move(dropped)};
    try {
      lines = read_feature_lines(KeywordFile::from_text(text), renumbering,
                                 nodes_read - static_cast<int32_t>(renumbering.dropped.size()), out.reporter);
    } catch (const RunStopped&) {
      stopped = true;
    }
  }
};

TEST(FeatureLinesTest, ShortLineOnTheNextFtlnnodeLine) {
  Features f("FEATLINE 1 3\nFTLNNODE 1 2 3\nFEATLINE 2 2\nFTLNNODE 4 5\n");
  ASSERT_FALSE(f.stopped);
  EXPECT_EQ(f.lines.node_counts, (std::vector<int32_t>{3, 2}));
  EXPECT_EQ(f.lines.nodes, (std::vector<int32_t>{0, 1, 2, 3, 4}));  // 0-based
}

// Part 2.3: n <= 7 and the next line is not FTLNNODE: the feature line is dropped.
TEST(FeatureLinesTest, ShortLineWithoutFtlnnodeIsDropped) {
  Features f("FEATLINE 1 3\nSHETNODE 1 2 3\nFTLNNODE 1 2 3\n");
  EXPECT_TRUE(f.lines.node_counts.empty());
}

// Part 2.3: n > 7: floor((n-1)/7) lines of seven, then the rest; other keywords add nothing.
TEST(FeatureLinesTest, LongLineOverSeveralFtlnnodeLines) {
  Features f("FEATLINE 1 9\nFTLNNODE 1 2 3 4 5 6 7\nFTLNNODE 8 9\n"
             "FEATLINE 2 14\nFTLNNODE 1 2 3 4 5 6 7\nFTLNNODE 8 9 10 11 12 13 14\n"
             "FEATLINE 3 16\nFTLNNODE 1 2 3 4 5 6 7\n$ comment\nFTLNNODE 15 16\n");
  ASSERT_FALSE(f.stopped);
  EXPECT_EQ(f.lines.node_counts, (std::vector<int32_t>{9, 14, 9}));
  EXPECT_EQ(f.lines.nodes.size(), 32u);
  EXPECT_EQ(f.lines.nodes[30], 14);
}

// Part 2.3: a feature line with fewer than 2 nodes is dropped.
TEST(FeatureLinesTest, FewerThanTwoNodesDropped) {
  Features f("FEATLINE 1 1\nFTLNNODE 5\nFEATLINE 2 8\n$ x\nFTLNNODE 7\nFEATLINE 3 0\n");
  ASSERT_FALSE(f.stopped);
  EXPECT_TRUE(f.lines.node_counts.empty());
}

// Part 2.3: numbers renumbered when unused nodes were dropped (Part 2.2's shift rule).
TEST(FeatureLinesTest, RenumberedByTheDroppedNodes) {
  Features f("FEATLINE 1 3\nFTLNNODE 1 3 5\n", {1, 3}, 6);
  ASSERT_FALSE(f.stopped);
  EXPECT_EQ(f.lines.nodes, (std::vector<int32_t>{0, 1, 2}));
}

// Part 2.3, Left to the implementer: a buffer of 500 node numbers; longer lines are rejected.
TEST(FeatureLinesTest, MoreThan500NodesRejected) {
  Features ok("FEATLINE 1 500\n");
  EXPECT_FALSE(ok.stopped);
  Features f("FEATLINE 1 501\nFTLNNODE 1 2\n");
  EXPECT_TRUE(f.stopped);
  EXPECT_EQ(f.out.console.str(), test::read_error_text(kDataError, "FEATLINE 1 501"));
  EXPECT_EQ(f.out.report.str(), test::read_error_text(kDataError, "FEATLINE 1 501"));
}

TEST(FeatureLinesTest, BadNodeNumbersAreReadErrors) {
  for (const std::string bad : {"FTLNNODE 1 2 x", "FTLNNODE 1 2", "FTLNNODE 0 1 2", "FTLNNODE 1 2 21"}) {
    Features f("FEATLINE 1 3\n" + bad + "\n");
    EXPECT_TRUE(f.stopped) << bad;
    EXPECT_EQ(f.out.report.str(), test::read_error_text(kDataError, bad)) << bad;
  }
  Features tail("FEATLINE 1 2\nFTLNNODE 1 6\n", {5}, 6);  // node 6 dropped, no kept node after it
  EXPECT_TRUE(tail.stopped);
}

TEST(FeatureLinesTest, EndOfFileEndsALine) {
  Features f("FEATLINE 1 9\nFTLNNODE 1 2 3 4 5 6 7\n");
  ASSERT_FALSE(f.stopped);
  EXPECT_EQ(f.lines.node_counts, (std::vector<int32_t>{7}));
}

}  // namespace
}  // namespace trevo
