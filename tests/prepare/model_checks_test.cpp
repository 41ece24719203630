// Tests of Part 3.2: the four model checks and their exact messages on console and report.
#include "prepare/model_checks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "prep_test_mesh.h"
#include "prepare/element_normal.h"
#include "prepare/topology.h"

namespace trevo {
namespace {

using test::CapturedReporter;
using test::OwnedMesh;
using test::records;
using test::reverse_row;
using Lines = std::vector<std::string>;

const std::string kOverlap1 = " ....... Overlap elements are found in the model.";
const std::string kOverlap2 = "         Check the model and run again .......";

std::string pad79(const std::string& text) { return " " + text + std::string(79 - text.size(), ' '); }

// Every shared edge is run in opposite directions by its two elements.
void expect_agreeing(const Mesh& m, const std::vector<int32_t>& nb) {
  for (int32_t e = 0; e < m.ne; ++e) {
    for (int k = 0; k < m.corners[e]; ++k) {
      const int32_t other = nb[k * m.ne + e];
      if (other == kNone) continue;
      const int32_t a = m.node(e, k), b = m.node(e, (k + 1) % m.corners[e]);
      bool opposite = false;
      for (int j = 0; j < m.corners[other]; ++j) {
        opposite |= m.node(other, j) == b && m.node(other, (j + 1) % m.corners[other]) == a;
      }
      EXPECT_TRUE(opposite) << "elements " << e << " and " << other << " disagree";
    }
  }
}

// Check 1 exactly as Part 3.2 words it: full sweeps over all elements in number order, the
// sweep counter, NE + 100 sweeps before a new seed, the overlap lines counted when the counter
// reaches NE + 100. Seeds by the largest nz, first on ties, whatever the sign (the
// implementer's choice for regions without nz > 0; the spec's rule wherever one exists).
int32_t literal_check_one(Mesh& m, std::span<int32_t> nb) {
  const int32_t ne = m.ne;
  for (int32_t e = 0; e < ne; ++e) {
    if (element_normal(m, e)[2] < 0.0) reverse_element(m, e, nb);
  }
  std::vector<double> nz(ne);
  for (int32_t e = 0; e < ne; ++e) nz[e] = element_normal(m, e)[2];
  enum { kUnreached, kQueued, kDone };
  std::vector<int> state(ne, kUnreached);
  auto seed = [&] {
    int32_t best = kNone;
    for (int32_t e = 0; e < ne; ++e) {
      if (state[e] == kUnreached && (best == kNone || nz[e] > nz[best])) best = e;
    }
    state[best] = kQueued;
  };
  seed();
  int32_t counter = 0, overlap_pairs = 0;
  while (true) {
    ++counter;
    for (int32_t e = 0; e < ne; ++e) {
      if (state[e] != kQueued) continue;
      state[e] = kDone;
      const int ce = m.corners[e];
      for (int k = 0; k < ce; ++k) {
        const int32_t mm = nb[k * ne + e];
        if (mm == kNone || state[mm] != kUnreached) continue;
        const int32_t a = m.node(e, k), b = m.node(e, (k + 1) % ce);
        for (int j = 0; j < m.corners[mm]; ++j) {
          if (m.node(mm, j) != b) continue;
          state[mm] = kQueued;
          if (m.node(mm, (j + 1) % m.corners[mm]) == a) break;
          reverse_element(m, mm, nb);
        }
      }
    }
    if (counter == ne + 100) ++overlap_pairs;
    if (std::none_of(state.begin(), state.end(), [](int st) { return st == kUnreached; })) break;
    if (counter < ne + 100) continue;
    seed();
    counter = 0;
  }
  return overlap_pairs;
}

// Part 3.2 check 1: the heap sweeps give exactly the literal sweeps' result (connectivity,
// neighbour table and overlap lines), also on tangled meshes (edges of 3 or 4 elements,
// folds) where the sweep order decides which reversal wins.
TEST(OrientationCheck, EqualsLiteralSweeps) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  int differing_orders = 0;
  for (int trial = 0; trial < 300; ++trial) {
    OwnedMesh o;
    const int32_t nn = 4 + static_cast<int32_t>(rng() % 6);
    for (int32_t i = 0; i < nn; ++i) o.add_node(u(rng), u(rng), 0.3 * u(rng));
    const int ne = 1 + static_cast<int>(rng() % 14);
    for (int e = 0; e < ne; ++e) {
      std::vector<int32_t> n(nn);
      for (int32_t i = 0; i < nn; ++i) n[i] = i;
      std::shuffle(n.begin(), n.end(), rng);
      if (rng() % 2 == 0) o.add_element(n[0], n[1], n[2], n[2]);
      else o.add_element(n[0], n[1], n[2], n[3]);
    }
    OwnedMesh copy = o;
    Mesh m = o.view(), lm = copy.view();
    std::vector<int32_t> nb = test::neighbour_table(m), lnb = nb;
    CapturedReporter out;
    orientation_check(m, nb, o.labels, RunSettings{}, out.reporter);
    const int32_t pairs = literal_check_one(lm, lnb);
    ASSERT_EQ(o.conn, copy.conn) << "trial " << trial;
    ASSERT_EQ(nb, lnb) << "trial " << trial;
    ASSERT_EQ(records(out.console).size(), 2u * pairs) << "trial " << trial;
    ASSERT_EQ(records(out.report).size(), 2u * pairs) << "trial " << trial;
    differing_orders += pairs > 0;
  }
  EXPECT_GT(differing_orders, 0);  // some trials have several regions
}

// Part 3.2 edge case: a flat mesh given partly clockwise comes out all +z, no message.
TEST(OrientationCheck, FlatMeshPartlyClockwiseComesOutUpwards) {
  OwnedMesh o;
  test::add_grid(o, 6, 5, 0, 0);
  for (int32_t e = 0; e < o.ne(); e += 3) reverse_row(o, e);
  Mesh m = o.view();
  std::vector<int32_t> nb = test::neighbour_table(m);
  CapturedReporter out;
  orientation_check(m, nb, o.labels, RunSettings{}, out.reporter);
  for (int32_t e = 0; e < m.ne; ++e) EXPECT_NEAR(element_normal(m, e)[2], 1.0, 1e-12) << "element " << e;
  expect_agreeing(m, nb);
  EXPECT_EQ(nb, test::neighbour_table(m));
  EXPECT_TRUE(out.console.str().empty()) << out.console.str();
  EXPECT_TRUE(out.report.str().empty()) << out.report.str();
}

// Part 3.2 edge case: two pieces sharing no edge: one pair of overlap lines; both oriented.
TEST(OrientationCheck, TwoPiecesGiveOneOverlapPair) {
  OwnedMesh o;
  test::add_grid(o, 4, 3, 0, 0);
  test::add_grid(o, 3, 3, 10, 0);
  for (int32_t e = 1; e < o.ne(); e += 2) reverse_row(o, e);
  Mesh m = o.view();
  std::vector<int32_t> nb = test::neighbour_table(m);
  CapturedReporter out;
  orientation_check(m, nb, o.labels, RunSettings{}, out.reporter);
  for (int32_t e = 0; e < m.ne; ++e) EXPECT_GT(element_normal(m, e)[2], 0.0) << "element " << e;
  expect_agreeing(m, nb);
  EXPECT_EQ(records(out.console), (Lines{kOverlap1, kOverlap2}));
  EXPECT_EQ(records(out.report), (Lines{kOverlap1, kOverlap2}));
}

// Part 3.2 edge case: two elements sharing only a node are separate regions; three pieces
// give two pairs of lines, each pair on the console, then on the report.
TEST(OrientationCheck, SharedNodeOnlyIsSeparateRegion) {
  OwnedMesh o;
  o.add_node(0, 0, 0), o.add_node(1, 0, 0), o.add_node(1, 1, 0), o.add_node(2, 1, 0), o.add_node(2, 2, 0);
  o.add_node(5, 5, 0), o.add_node(6, 5, 0), o.add_node(6, 6, 0);
  o.add_element(0, 1, 2, 2);
  o.add_element(2, 4, 3, 3);  // clockwise, shares node 2 only
  o.add_element(5, 6, 7, 7);
  Mesh m = o.view();
  std::vector<int32_t> nb = test::neighbour_table(m);
  CapturedReporter out;
  orientation_check(m, nb, o.labels, RunSettings{}, out.reporter);
  for (int32_t e = 0; e < m.ne; ++e) EXPECT_GT(element_normal(m, e)[2], 0.0) << "element " << e;
  EXPECT_EQ(records(out.console), (Lines{kOverlap1, kOverlap2, kOverlap1, kOverlap2}));
  EXPECT_EQ(records(out.report), (Lines{kOverlap1, kOverlap2, kOverlap1, kOverlap2}));
}

// Part 3.2 check 1 (performance): 5000 separate triangles are 5000 regions; the literal
// NE + 100 empty sweeps per region would take ~1e11 element visits, the check ends at once
// and writes one pair of overlap lines per further region.
TEST(OrientationCheck, ManyRegionsEndWithoutEmptySweeps) {
  OwnedMesh o;
  for (int e = 0; e < 5000; ++e) {
    const int32_t b = o.add_node(3 * e, 0, 0);
    o.add_node(3 * e + 1, 0, 0), o.add_node(3 * e, 1, 0.001 * (e % 7));
    if (e % 2 == 0) o.add_element(b, b + 1, b + 2, b + 2);
    else o.add_element(b, b + 2, b + 1, b + 1);
  }
  Mesh m = o.view();
  std::vector<int32_t> nb = test::neighbour_table(m);
  CapturedReporter out;
  orientation_check(m, nb, o.labels, RunSettings{}, out.reporter);
  const Lines console = records(out.console);
  ASSERT_EQ(console.size(), 2u * 4999);
  EXPECT_EQ(console[0], kOverlap1);
  EXPECT_EQ(console[1], kOverlap2);
  for (int32_t e = 0; e < m.ne; ++e) ASSERT_GT(element_normal(m, e)[2], 0.0) << "element " << e;
}

// A strip of three vertical quadrilaterals (nz = 0), the middle one given the other way.
void add_vertical_strip(OwnedMesh& o, double y0) {
  const int32_t b = static_cast<int32_t>(o.x.size());
  for (int i = 0; i < 4; ++i) o.add_node(i, y0, 0), o.add_node(i, y0, 1);
  for (int i = 0; i < 3; ++i) o.add_element(b + 2 * i, b + 2 * i + 2, b + 2 * i + 3, b + 2 * i + 1);
  reverse_row(o, o.ne() - 2);
}

// Part 3.2, Left to the implementer: a region with no element of nz > 0 is seeded with its
// largest nz whatever the sign; it is oriented consistently, the check ends, and the overlap
// lines still appear once per further region.
TEST(OrientationCheck, RegionWithoutUpwardElementEnds) {
  {
    OwnedMesh o;  // vertical strip alone: one region, no message
    add_vertical_strip(o, 0);
    Mesh m = o.view();
    std::vector<int32_t> nb = test::neighbour_table(m);
    CapturedReporter out;
    orientation_check(m, nb, o.labels, RunSettings{}, out.reporter);
    expect_agreeing(m, nb);
    EXPECT_TRUE(out.console.str().empty());
    EXPECT_EQ(m.node(0, 0), 0);  // seeded at element 0 (first on ties): its order stays
  }
  {
    OwnedMesh o;  // a flat piece and a vertical strip
    test::add_grid(o, 2, 2, 0, 0);
    add_vertical_strip(o, 10);
    Mesh m = o.view();
    std::vector<int32_t> nb = test::neighbour_table(m);
    CapturedReporter out;
    orientation_check(m, nb, o.labels, RunSettings{}, out.reporter);
    expect_agreeing(m, nb);
    EXPECT_EQ(records(out.console), (Lines{kOverlap1, kOverlap2}));
    EXPECT_EQ(records(out.report), (Lines{kOverlap1, kOverlap2}));
  }
}

// A flat bottom quadrilateral (label 11) with a wall (label 12) on its edge x = 1 leaning in
// over it; oriented consistently with the bottom the wall has nz = -0.5.
OwnedMesh leaning_wall() {
  OwnedMesh o;
  o.add_node(0, 0, 0), o.add_node(1, 0, 0), o.add_node(1, 1, 0), o.add_node(0, 1, 0);
  o.add_node(0, 0, std::sqrt(3.0)), o.add_node(0, 1, std::sqrt(3.0));
  o.add_element(0, 1, 2, 3);
  o.add_element(1, 4, 5, 2);  // runs 2 -> 1 along the shared edge: agrees with the bottom
  o.labels = {11, 12};
  return o;
}

Lines punch_block(const std::string& count_and_label_lines_first, const std::string& second, const Lines& list) {
  Lines block{count_and_label_lines_first, second,
              " ******** Due to error of the punch\"s direction, the model has negative",
              "          angle. Please check the direction and run again ********",
              " ******** Due to the multi-procedure stamping, TREVO will calculate the",
              "          blank shape with elastic approximate method ********"};
  block.insert(block.end(), list.begin(), list.end());
  return block;
}

const std::string kSituation = pad79("...... Undercut situation encountered.....");
const std::string kElastic = pad79("...... Blank shape will be calculated with elastic approximate method .....");

// Part 3.2 edge case: walls leaning in to nz = -0.5: check 1 keeps them consistent (nz -0.5),
// check 2 flags them, writes -0.5 as the largest negative value and sets method 3.
TEST(PunchDirectionCheck, WallsLeaningInSwitchToMethod3) {
  OwnedMesh o = leaning_wall();
  reverse_row(o, 1);  // given the other way round: check 1 must put it back
  Mesh m = o.view();
  std::vector<int32_t> nb = test::neighbour_table(m);
  RunSettings s;
  CapturedReporter out;
  orientation_check(m, nb, o.labels, s, out.reporter);
  ASSERT_NEAR(element_normal(m, 1)[2], -0.5, 1e-12);
  punch_direction_check(m, o.labels, s, out.reporter);
  EXPECT_EQ(s.method, 3);
  const Lines block = punch_block("    1 element normal vectors are in error. Possibly due to undercut ********",
                                  " The largest negative angle in element    12, values is  -0.50000    ",
                                  {"      12"});
  Lines console = block;
  console.insert(console.end(), {"", kSituation, kElastic, ""});
  Lines report{""};
  report.insert(report.end(), block.begin(), block.end());
  report.insert(report.end(), {"", kSituation, kElastic, ""});
  EXPECT_EQ(records(out.console), console);
  EXPECT_EQ(records(out.report), report);
}

// Part 3.2: the flagged labels are listed ten to a record (10I8), ascending by element.
TEST(PunchDirectionCheck, LabelsTenToARecord) {
  OwnedMesh o;
  for (int e = 0; e < 12; ++e) {
    const int32_t b = o.add_node(3 * e, 0, 0);
    o.add_node(3 * e, 1, 0), o.add_node(3 * e + 1, 0, 0);
    o.add_element(b, b + 1, b + 2, b + 2);  // clockwise: nz = -1
  }
  for (int e = 0; e < 12; ++e) o.labels[e] = 100 + e;
  Mesh m = o.view();
  RunSettings s;
  CapturedReporter out;
  punch_direction_check(m, o.labels, s, out.reporter);
  const Lines console = records(out.console);
  ASSERT_GE(console.size(), 8u);
  EXPECT_EQ(console[0], "   12 element normal vectors are in error. Possibly due to undercut ********");
  EXPECT_EQ(console[1], " The largest negative angle in element   111, values is   -1.0000    ");
  EXPECT_EQ(console[6], "     100     101     102     103     104     105     106     107     108     109");
  EXPECT_EQ(console[7], "     110     111");
}

// Part 3.2 edge case: with method 3 in the input and a clean mesh, only the
// "Undercut situation" lines are written.
TEST(PunchDirectionCheck, Method3CleanMeshWritesOnlySituationLines) {
  OwnedMesh o;
  test::add_grid(o, 2, 2, 0, 0);
  Mesh m = o.view();
  RunSettings s;
  s.method = 3;
  CapturedReporter out;
  punch_direction_check(m, o.labels, s, out.reporter);
  EXPECT_EQ(s.method, 3);
  EXPECT_EQ(records(out.console), (Lines{"", kSituation, kElastic, ""}));
  EXPECT_EQ(records(out.report), (Lines{"", kSituation, kElastic, ""}));
}

TEST(PunchDirectionCheck, CleanMeshIsSilent) {
  OwnedMesh o = leaning_wall();
  o.z[4] = o.z[5] = 0.0;  // the wall laid flat beside the bottom
  o.x[4] = o.x[5] = 2.0;
  Mesh m = o.view();
  RunSettings s;
  CapturedReporter out;
  punch_direction_check(m, o.labels, s, out.reporter);
  EXPECT_EQ(s.method, 1);
  EXPECT_TRUE(out.console.str().empty());
  EXPECT_TRUE(out.report.str().empty());
}

Lines undercut_block(const std::string& first, const std::string& second, const Lines& list) {
  Lines block{first, second,
              " ******* Due to error in punch direction. Die",
              "         has negative angle.",
              "         Check direction and try again",
              " ******* Due to multi-stage stamping, TREVO will",
              "         calculate blank shape with elastic",
              "         approximation method *******"};
  block.insert(block.end(), list.begin(), list.end());
  return block;
}

// Part 3.2 check 3: an element below the undercut tolerance sets method 0 and iteration limit 0,
// writes the block on the report, then on the console, then the "Undercut condition" lines
// (six leading dots on the report, seven on the console); returns the smallest nz.
TEST(UndercutCheck, UndercutSetsMethod0) {
  OwnedMesh o = leaning_wall();
  Mesh m = o.view();
  RunSettings s;
  CapturedReporter out;
  const double smallest = undercut_check(m, o.labels, s, out.reporter);
  EXPECT_NEAR(smallest, -0.5, 1e-12);
  EXPECT_EQ(s.method, 0);
  EXPECT_EQ(s.iteration_limit, 0);
  const Lines block = undercut_block("    1 Error in element normal. Possible undercut condition. *******",
                                     " Largest negative angle in element    12 value is   -0.50000    ", {"      12"});
  Lines report{""}, console{""};
  report.insert(report.end(), block.begin(), block.end());
  console.insert(console.end(), block.begin(), block.end());
  console.insert(console.end(), {"", " ....... Undercut condition encountered.....",
                                 " ....... Blank shape will be calculated with elastic approximation method......."});
  report.insert(report.end(), {"", " ....... Undercut condition encountered.....",
                               " ...... Blank shape will be calculated with elastic approximation method......."});
  EXPECT_EQ(records(out.console), console);
  EXPECT_EQ(records(out.report), report);
}

// Part 3.2 check 3: method 0 on entry with a clean mesh: limit 0 and only the condition lines.
TEST(UndercutCheck, Method0CleanMeshWritesOnlyConditionLines) {
  OwnedMesh o;
  test::add_grid(o, 2, 1, 0, 0);
  Mesh m = o.view();
  RunSettings s;
  s.method = 0;
  CapturedReporter out;
  EXPECT_NEAR(undercut_check(m, o.labels, s, out.reporter), 1.0, 1e-12);
  EXPECT_EQ(s.iteration_limit, 0);
  EXPECT_EQ(records(out.console), (Lines{"", " ....... Undercut condition encountered.....",
                                          " ....... Blank shape will be calculated with elastic approximation method......."}));
  EXPECT_EQ(records(out.report), (Lines{"", " ....... Undercut condition encountered.....",
                                         " ...... Blank shape will be calculated with elastic approximation method......."}));
}

TEST(UndercutCheck, CleanMeshIsSilentAndReturnsSmallestNz) {
  OwnedMesh o = leaning_wall();
  o.x[4] = o.x[5] = 1.5;  // the wall leaning outwards: nz = 1/sqrt(13)
  Mesh m = o.view();
  RunSettings s;
  CapturedReporter out;
  const double smallest = undercut_check(m, o.labels, s, out.reporter);
  EXPECT_GT(smallest, -0.3421);
  EXPECT_LT(smallest, 1.0);
  EXPECT_EQ(s.method, 1);
  EXPECT_EQ(s.iteration_limit, 300);
  EXPECT_TRUE(out.console.str().empty());
  EXPECT_TRUE(out.report.str().empty());
}

// A triangle with corner angles alpha at node 1 and beta at node 2 (degrees).
void add_triangle(OwnedMesh& o, double x0, double alpha, double beta) {
  const double a = alpha * M_PI / 180.0, b = beta * M_PI / 180.0;
  const double t = std::sin(b) / std::sin(a + b);  // distance from node 1 to node 3
  const int32_t n1 = o.add_node(x0, 0, 0), n2 = o.add_node(x0 + 1, 0, 0);
  const int32_t n3 = o.add_node(x0 + t * std::cos(a), t * std::sin(a), 0);
  o.add_element(n1, n2, n3, n3);
}

// Part 3.2 edge case: corners 4, 86, 90: bad and reported with its internal number;
// corners 8, 86, 86: bad but only in the summary list (labels).
TEST(ElementAngleCheck, AcuteTrianglesReportedAndListed) {
  OwnedMesh o;
  add_triangle(o, 0, 60, 60);   // internal 1: fine
  add_triangle(o, 10, 4, 86);   // internal 2: reported
  add_triangle(o, 20, 8, 86);   // internal 3: summary only
  o.labels = {501, 502, 503};
  Mesh m = o.view();
  CapturedReporter out;
  element_angle_check(m, o.labels, RunSettings{}, out.reporter);
  const std::string line = "    2- bad element that may affect accuracy.......";
  EXPECT_EQ(records(out.console),
            (Lines{line, "", "    2 bad elements that may affect accuracy.......",
                   " Repair these elements and try again .......", "     502     503", ""}));
  EXPECT_EQ(records(out.report),
            (Lines{line, "", "    2 bad elements that may affect accuracy.......",
                   " Repair these elements and try again .......", "     502     503", ""}));
}

// Part 3.2 check 4: corner 3 of a quadrilateral is written from 10/170 degrees on; its
// corner 4 is not examined; a mesh without bad elements writes nothing.
TEST(ElementAngleCheck, QuadrilateralCornersThreeAndFour) {
  OwnedMesh o;
  // corner 3 of 8 degrees: N3 at the tip of a long thin end.
  const double t = std::tan(4.0 * M_PI / 180.0);
  o.add_node(0, -1, 0), o.add_node(0, 1, 0), o.add_node(-1.0 / t, 0, 0), o.add_node(-1, -1, 0);
  o.add_element(0, 1, 2, 3);
  Mesh m = o.view();
  CapturedReporter out;
  element_angle_check(m, o.labels, RunSettings{}, out.reporter);
  ASSERT_FALSE(records(out.console).empty());
  EXPECT_EQ(records(out.console)[0], "    1- bad element that may affect accuracy.......");

  OwnedMesh clean;
  test::add_grid(clean, 2, 2, 0, 0);
  Mesh cm = clean.view();
  CapturedReporter quiet;
  element_angle_check(cm, clean.labels, RunSettings{}, quiet.reporter);
  EXPECT_TRUE(quiet.console.str().empty());
  EXPECT_TRUE(quiet.report.str().empty());
}

}  // namespace
}  // namespace trevo
