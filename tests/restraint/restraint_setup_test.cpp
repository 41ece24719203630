// Spec: Part 5.1 (Blank-holder force and drawbead restraint).
#include "restraint/restraint_setup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <numeric>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "../test_drawbeads.h"
#include "../test_mesh.h"

namespace trevo {
namespace {

using test::make_grid;
using test::OwnedBeads;
using test::OwnedMesh;

// Neighbour across edge k (corner k to k+1) by the shared node pair (Part 3.1), kNone = free.
std::vector<int32_t> neighbours_of(const Mesh& m) {
  std::unordered_map<int64_t, std::vector<std::pair<int32_t, int>>> edges;
  auto key = [&](int32_t a, int32_t b) { return int64_t{std::min(a, b)} * m.nn + std::max(a, b); };
  for (int32_t e = 0; e < m.ne; ++e) {
    const int c = corner_count(m, e);
    for (int k = 0; k < c; ++k) edges[key(m.node(e, k), m.node(e, (k + 1) % c))].push_back({e, k});
  }
  std::vector<int32_t> n(4 * static_cast<size_t>(m.ne), kNone);
  for (const auto& [k, uses] : edges)
    if (uses.size() == 2) {
      n[static_cast<size_t>(uses[0].second) * m.ne + uses[0].first] = uses[1].first;
      n[static_cast<size_t>(uses[1].second) * m.ne + uses[1].first] = uses[0].first;
    }
  return n;
}

// One run of the pre-count and the set-up with every array owned here.
struct RestraintRun {
  OwnedMesh part, holder, pad;
  OwnedBeads beads;
  RunSettings settings;
  std::vector<int32_t> neighbours, state, bead_node, entries, offsets, start_rows, end_rows;
  std::vector<double> holding_force, element_count, normals, bead_force, node_force, contact_force;
  std::vector<double> holder_force, pad_force;
  int64_t list_length = 0;
  RestraintTotals totals;
  std::ostringstream console, report;

  void run() {
    const Mesh p = part.view();
    const size_t nn = static_cast<size_t>(p.nn);
    const int32_t nb = beads.view().count();
    neighbours = neighbours_of(p);
    start_rows.assign(4 * static_cast<size_t>(nb), kNone);
    end_rows.assign(4 * static_cast<size_t>(nb), kNone);
    entries.assign(nb, -1);
    offsets.assign(nb, -1);
    const BeadEndRows rows{start_rows, end_rows};
    list_length = count_drawbead_entries(p, beads.view(), rows, entries, offsets);
    bead_node.assign(list_length, 12345);
    bead_force.assign(list_length, -1.0);
    holding_force.assign(nn, -1.0), element_count.assign(nn, -1.0), normals.assign(3 * nn, -1.0);
    state.assign(nn, -1), node_force.assign(2 * nn, -1.0), contact_force.assign(3 * nn, -1.0);
    holder_force.assign(holder.corners.size(), -1.0), pad_force.assign(pad.corners.size(), -1.0);
    const RestraintData data{holding_force, state, element_count, normals, bead_node, bead_force,
                             entries, offsets, node_force, contact_force};
    Reporter reporter(console, &report);
    const RestraintMeshes meshes{p, p, neighbours, holder.view(), pad.view()};
    totals = restraint_setup(meshes, beads.view(), settings, data, rows, holder_force, pad_force, reporter);
  }
  double bead_force_of(int32_t node) const {
    double sum = 0.0;
    for (size_t k = 0; k < bead_node.size(); ++k)
      if (bead_node[k] == node) sum += bead_force[k];
    return sum;
  }
  double total_bead_force() const { return std::accumulate(bead_force.begin(), bead_force.end(), 0.0); }
};

// Part 5.1 edge case: BHFORCE 1000 over the first free edges of a 2 x 2 square.
TEST(FreeEdgeSpreading, SquareOfFourQuadsGivesCornerSideAndCentreShares) {
  RestraintRun s;
  s.part = make_grid(2, 2, 1.0, 1.0);
  s.settings.bhforce = 1000.0;
  s.run();
  const double expected[9] = {62.5, 125, 62.5, 125, 250, 125, 62.5, 125, 62.5};
  for (int i = 0; i < 9; ++i) {
    EXPECT_DOUBLE_EQ(s.holding_force[i], expected[i]) << "node " << i;
    EXPECT_EQ(s.state[i], 3) << "node " << i;
  }
  EXPECT_EQ(s.console.str(), "");
  EXPECT_DOUBLE_EQ(s.totals.blank_holder_force, 1000.0);
}

TEST(FreeEdgeSpreading, OnlyTheFirstFreeEdgeOfAnElementCounts) {
  // A 3 x 1 strip: the end elements have three free edges, the middle one two; the first
  // free edge is edge 1 (bottom) for all, length 1 each: 300 over three elements.
  RestraintRun s;
  s.part = make_grid(3, 1, 1.0, 1.0);
  s.part.x[3] = 4.0, s.part.x[7] = 4.0;  // stretch the last element: its bottom edge is 2 long
  s.settings.bhforce = 400.0;
  s.run();
  // Lengths 1, 1, 2 of 4: element forces 100, 100, 200.
  EXPECT_DOUBLE_EQ(s.holding_force[0], 25.0);
  EXPECT_DOUBLE_EQ(s.holding_force[1], 50.0);
  EXPECT_DOUBLE_EQ(s.holding_force[2], 75.0);
  EXPECT_DOUBLE_EQ(s.holding_force[3], 50.0);
}

TEST(FreeEdgeSpreading, SmallForceWithoutHolderMeshHoldsNothing) {
  RestraintRun s;
  s.part = make_grid(2, 2, 1.0, 1.0);
  s.settings.bhforce = 10.0;
  s.run();
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(s.holding_force[i], 0.0) << i;
    EXPECT_EQ(s.state[i], 2) << i;
  }
  EXPECT_EQ(s.console.str(), "");
}

// Part 5.1 edge case: RAISE above BHFORCE: the message once, forces 0, codes still set.
TEST(FreeEdgeSpreading, RaiseAboveBlankHolderForceWritesTheMessageOnce) {
  RestraintRun s;
  s.part = make_grid(4, 4, 5.0, 5.0);
  s.settings.bhforce = 100.0;
  s.beads.add(1.0, 20.0, 2.1, 3.3, 0.0, 12.1, 3.3, 0.0);  // length 10
  s.run();
  EXPECT_DOUBLE_EQ(s.totals.raise, 200.0);
  EXPECT_DOUBLE_EQ(s.totals.bdforce, 10.0);
  EXPECT_EQ(s.console.str(), " ERROR: The blank-holder force is unreasonable.\n");
  EXPECT_EQ(s.report.str(), " ERROR: The blank-holder force is unreasonable.\n");
  for (size_t i = 0; i < s.holding_force.size(); ++i) EXPECT_EQ(s.holding_force[i], 0.0) << i;
  EXPECT_EQ(s.state[24], 3);  // a corner node away from the bead still gets its code
  EXPECT_EQ(s.totals.blank_holder_force, 0.0);
}

TEST(SetUp, ClearsAccumulatorsAndCountsElementsAndNormals) {
  RestraintRun s;
  s.part = make_grid(2, 1, 1.0, 1.0);
  s.part.set_elements({{0, 1, 4, 3}, {1, 2, 5, 5}});  // a quad and a triangle
  s.run();
  const double count[6] = {1, 2, 1, 1, 1, 1};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(s.element_count[i], count[i]) << i;
  for (double f : s.node_force) EXPECT_EQ(f, 0.0);
  for (double f : s.contact_force) EXPECT_EQ(f, 0.0);
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(s.normals[12 + i], 1.0, 1e-12) << i;  // nz of a flat part
  for (int i = 0; i < 6; ++i) EXPECT_EQ(s.state[i], 2) << i;
  EXPECT_EQ(s.list_length, 0);
}

TEST(ToolTransfer, HolderForceGoesByAreaToThePartElementUnderEachCentre) {
  RestraintRun s;
  s.part = make_grid(2, 2, 1.0, 1.0);
  s.settings.blank_holder_flag = 1;
  s.settings.bhforce = 400.0;
  // Holder: a 1 x 0.5 quad over part element 0, a triangle (4th node kNone) of area 0.75,
  // and a quad whose centre lies outside the part (its share is lost).
  s.holder.x = {0.0, 1.0, 1.0, 0.0, 2.0, 2.0, 5.0, 6.0, 6.0, 5.0};
  s.holder.y = {0.0, 0.0, 0.5, 0.5, 0.5, 2.0, 5.0, 5.0, 6.0, 6.0};
  s.holder.z.assign(10, 0.0);
  s.holder.set_elements({{0, 1, 2, 3}, {2, 4, 5, kNone}, {6, 7, 8, 9}});
  s.run();
  // Areas 0.5, 0.75, 1: forces 400 x (0.5, 0.75, 1) / 2.25.
  EXPECT_NEAR(s.holder_force[0], 400.0 * 0.5 / 2.25, 1e-9);
  EXPECT_NEAR(s.holder_force[1], 400.0 * 0.75 / 2.25, 1e-9);
  EXPECT_NEAR(s.holder_force[2], 400.0 * 1.0 / 2.25, 1e-9);
  // Centre (0.5, 0.25) over element 0 (nodes 0 1 4 3); the triangle's centre (1.667, 1)
  // over element 1 (nodes 1 2 5 4) on its edge with element 3: the first one wins.
  const double q0 = s.holder_force[0] / 4, q1 = s.holder_force[1] / 4;
  EXPECT_NEAR(s.holding_force[0], q0, 1e-12);
  EXPECT_NEAR(s.holding_force[1], q0 + q1, 1e-12);
  EXPECT_NEAR(s.holding_force[4], q0 + q1, 1e-12);
  EXPECT_NEAR(s.holding_force[5], q1, 1e-12);
  EXPECT_EQ(s.holding_force[8], 0.0);
  EXPECT_EQ(s.state[0], 3);
  EXPECT_EQ(s.state[8], 2);
  double total = 0.0;
  for (double f : s.holding_force) total += f;
  EXPECT_NEAR(total, 400.0 * 1.25 / 2.25, 1e-9);  // the third share is lost
}

TEST(ToolTransfer, PadForceGivesCodeFiveAndNonPositivePadForceTheSecondMessage) {
  RestraintRun s;
  s.part = make_grid(1, 1, 2.0, 2.0);
  s.settings.pad_flag = 1;
  s.settings.holforce = 100.0;
  s.pad.x = {0.5, 1.5, 1.5, 0.5}, s.pad.y = {0.5, 0.5, 1.5, 1.5}, s.pad.z = {0, 0, 0, 0};
  s.pad.set_elements({{0, 1, 2, 3}});
  s.run();
  for (int i = 0; i < 4; ++i) {
    EXPECT_DOUBLE_EQ(s.holding_force[i], 25.0) << i;
    EXPECT_EQ(s.state[i], 5) << i;
  }
  RestraintRun t;
  t.part = make_grid(1, 1, 2.0, 2.0);
  t.pad = s.pad;
  t.settings.pad_flag = 1;
  t.settings.holforce = 0.0;
  t.run();
  EXPECT_EQ(t.console.str(), " ERROR: Blank Holder force is unreasonable.\n");
  EXPECT_EQ(t.state[0], 5);
  EXPECT_EQ(t.holding_force[0], 0.0);
}

// Part 5.1 edge case: a bead of length 8 inside one quad, 5 per length: four entries of 10.
TEST(DrawbeadWalk, BeadInsideOneQuadGivesFourEntriesOfTen) {
  RestraintRun s;
  s.part = make_grid(1, 1, 10.0, 10.0);
  s.beads.add(5.0, 0.0, 1.0, 5.0, 0.0, 9.0, 5.0, 0.0);
  s.run();
  ASSERT_EQ(s.entries[0], 4);
  ASSERT_EQ(s.list_length, 4);
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(s.bead_node[k], s.part.conn[k]) << k;
    EXPECT_DOUBLE_EQ(s.bead_force[k], 10.0) << k;
    EXPECT_EQ(s.state[k], 5) << k;
  }
  EXPECT_DOUBLE_EQ(s.totals.bdforce, 40.0);
}

TEST(DrawbeadWalk, BeadInsideOneTriangleLeavesNoFourthEntry) {
  RestraintRun s;
  s.part = make_grid(1, 1, 10.0, 10.0);
  s.part.set_elements({{0, 1, 3, 3}, {0, 3, 2, 2}});
  s.beads.add(3.0, 0.0, 5.0, 1.0, 0.0, 8.0, 2.0, 0.0);  // inside triangle 0
  s.run();
  ASSERT_EQ(s.entries[0], 3);
  const double f = 3.0 * std::sqrt(10.0) / 3.0;
  for (int k = 0; k < 3; ++k) EXPECT_DOUBLE_EQ(s.bead_force[k], f) << k;
  EXPECT_EQ(s.state[2], 2);
}

// Part 5.1 edge case: a bead across two adjacent quads: six nodes, shared ones sum both.
TEST(DrawbeadWalk, BeadAcrossTwoAdjacentQuadsGivesSixNodesWithSharedSums) {
  RestraintRun s;
  s.part = make_grid(2, 1, 10.0, 10.0);  // nodes 0 1 2 (bottom), 3 4 5 (top); shared edge 1-4
  s.beads.add(5.0, 0.0, 5.0, 3.0, 0.0, 15.0, 7.0, 0.0);
  s.run();
  ASSERT_EQ(s.entries[0], 6);
  ASSERT_EQ(s.list_length, 6);
  const double w = 5.0 * std::sqrt(29.0) * 0.25;  // each half of the bead, a quarter per node
  const double expected[6] = {w, 2 * w, w, w, 2 * w, w};
  for (int32_t i = 0; i < 6; ++i) {
    EXPECT_NEAR(s.bead_force_of(i), expected[i], 1e-12) << "node " << i;
    EXPECT_EQ(s.state[i], 5) << "node " << i;
  }
  // Start element's nodes first, then the end element's new nodes appended.
  const std::vector<int32_t> order(s.bead_node.begin(), s.bead_node.end());
  EXPECT_EQ(order, (std::vector<int32_t>{0, 1, 4, 3, 2, 5}));
}

// A perturbed mesh without gaps, of quads or split into triangles.
OwnedMesh perturbed_mesh(bool triangles) {
  OwnedMesh m = make_grid(5, 5, 2.0, 2.0);
  for (int j = 1; j < 5; ++j)
    for (int i = 1; i < 5; ++i) {
      m.x[j * 6 + i] += 0.3 * std::sin(1.7 * i + 2.3 * j);
      m.y[j * 6 + i] += 0.3 * std::cos(2.9 * i + 1.1 * j);
    }
  if (triangles) {
    std::vector<std::array<int32_t, 4>> rows;
    for (int j = 0; j < 5; ++j)
      for (int i = 0; i < 5; ++i) {
        const int32_t n1 = j * 6 + i;
        rows.push_back({n1, n1 + 1, n1 + 7, n1 + 7});
        rows.push_back({n1, n1 + 7, n1 + 6, n1 + 6});
      }
    m.set_elements(rows);
  }
  return m;
}

// Part 5.1 edge case: a vertical bead's pieces add up to its XY length.
TEST(DrawbeadWalk, VerticalBeadPiecesAddUpToItsPlanLength) {
  for (const bool triangles : {false, true}) {
    RestraintRun s;
    s.part = perturbed_mesh(triangles);
    s.beads.add(2.0, 0.0, 4.1, 0.7, 0.0, 4.1, 8.9, 0.0);
    s.run();
    // Every piece puts R x s on its element's corners, so the list sums to R x (sum of s).
    EXPECT_NEAR(s.total_bead_force(), 2.0 * 8.2, 1e-9) << (triangles ? "triangles" : "quads");
    EXPECT_EQ(static_cast<int64_t>(s.entries[0]), s.list_length);
    for (size_t k = 0; k < s.bead_node.size(); ++k) EXPECT_NE(s.bead_node[k], kNone) << k;
  }
}

TEST(DrawbeadWalk, SlopedBeadPiecesAddUpToItsThreeDimensionalForce) {
  for (const bool triangles : {false, true}) {
    RestraintRun s;
    s.part = perturbed_mesh(triangles);
    s.beads.add(3.0, 1.0, 0.9, 1.3, 0.0, 8.7, 6.1, 2.0);
    s.beads.add(1.0, 1.0, 9.1, 0.5, 1.0, 1.2, 9.3, 1.0);
    s.run();
    const double l1 = std::sqrt(7.8 * 7.8 + 4.8 * 4.8 + 4.0), l2 = std::hypot(7.9, 8.8);
    EXPECT_NEAR(s.total_bead_force(), 3.0 * l1 + l2, 1e-9) << (triangles ? "triangles" : "quads");
    EXPECT_NEAR(s.totals.bdforce, 3.0 * l1 + l2, 1e-9);
    EXPECT_NEAR(s.totals.raise, l1 + l2, 1e-9);
    EXPECT_EQ(s.offsets[1], s.entries[0]);
    EXPECT_EQ(s.list_length, int64_t{s.entries[0]} + s.entries[1]);
  }
}

TEST(DrawbeadWalk, BeadOverHeldNodesRaisesTheirCodeToFour) {
  RestraintRun s;
  s.part = make_grid(2, 1, 10.0, 10.0);
  s.settings.bhforce = 1000.0;
  s.beads.add(5.0, 1.0, 5.0, 3.0, 0.0, 15.0, 7.0, 0.0);
  s.run();
  for (int i = 0; i < 6; ++i) EXPECT_EQ(s.state[i], 4) << i;
  EXPECT_DOUBLE_EQ(s.totals.blank_holder_force, 1000.0 - s.totals.raise);
}

// Left to the implementer: a bead end on an edge (or outside) is not located; its row
// stays kNone and the walk adds no piece for it.
TEST(DrawbeadWalk, BeadEndOnAnEdgeIsNotLocated) {
  RestraintRun s;
  s.part = make_grid(2, 1, 10.0, 10.0);
  s.beads.add(5.0, 0.0, 10.0, 5.0, 0.0, 15.0, 5.0, 0.0);  // starts on the shared edge
  s.run();
  EXPECT_EQ(s.start_rows[0], kNone);
  EXPECT_EQ(s.end_rows[0], 1);
  // Only the end piece, 5 long in element 1: its 4 nodes.
  ASSERT_EQ(s.entries[0], 4);
  EXPECT_NEAR(s.total_bead_force(), 5.0 * 5.0, 1e-12);
}

TEST(DrawbeadWalk, DegenerateElementIsSkippedWhenLocating) {
  RestraintRun s;
  s.part = make_grid(1, 1, 10.0, 10.0);
  for (const auto& [x, y] : {std::pair{2.0, 3.0}, {2.001, 3.0}, {2.0, 3.001}})  // nodes 4, 5, 6
    s.part.x.push_back(x), s.part.y.push_back(y), s.part.z.push_back(0.0);
  // Element 0: a tiny triangle (doubled area 1e-6) that strictly holds the start point,
  // listed first; element 1: the square.
  s.part.set_elements({{4, 5, 6, 6}, {0, 1, 3, 2}});
  s.beads.add(1.0, 0.0, 2.0002, 3.0002, 0.0, 3.0, 2.0, 0.0);
  s.run();
  for (int k = 0; k < 4; ++k) EXPECT_EQ(s.start_rows[k], s.part.conn[k * 2 + 1]) << k;
}

TEST(DrawbeadWalk, NoBeadsClearTheTotals) {
  RestraintRun s;
  s.part = make_grid(1, 1, 1.0, 1.0);
  s.run();
  EXPECT_EQ(s.totals.bdforce, 0.0);
  EXPECT_EQ(s.totals.raise, 0.0);
  EXPECT_EQ(s.list_length, 0);
}

// Part 5.1 edge case: the report line with the defaults and no drawbeads (gfortran 12 text).
TEST(DrawbeadReportLine, DefaultsWithoutDrawbeads) {
  std::ostringstream console, report;
  Reporter reporter(console, &report);
  RunSettings settings;
  drawbead_report_line(settings, RestraintTotals{}, reporter);
  const std::string line = " NNL=  300  DEPS=.1000000E-03  BDFORCE=   0.000000      RAISE=   0.000000    \n";
  EXPECT_EQ(console.str(), line);
  EXPECT_EQ(report.str(), line + "\n");
}

TEST(DrawbeadReportLine, NonZeroTotals) {
  std::ostringstream console, report;
  Reporter reporter(console, &report);
  RunSettings settings;
  settings.iteration_limit = 250;
  settings.displacement_tolerance = 0.0002;
  drawbead_report_line(settings, RestraintTotals{36771.728272, 11031.5184816, 0.0}, reporter);
  EXPECT_EQ(console.str(), " NNL=  250  DEPS=.2000000E-03  BDFORCE=   36771.73      RAISE=   11031.52    \n");
}

// ---- Validation jobs (shared/validation/tools), read by a small test-only parser ----

struct Job {
  RestraintRun setup;
  std::map<int64_t, int32_t> node_index;  // file node id -> internal node
};

// Reads the meshes, DRAWBEAD, BHFORCE, HOLFORCE and FORMTYPE lines of a job. The parts
// are in the canonical pose (README: no tilt; levelling and offsets move z only), so
// positioning does not change what the set-up reads in the plan.
bool read_job(const std::string& path, Job& job) {
  std::ifstream in(path);
  if (!in) return false;
  RestraintRun& s = job.setup;
  std::map<int64_t, int32_t> holder_nodes, pad_nodes;
  std::vector<std::array<int64_t, 4>> part_rows, holder_rows, pad_rows;
  std::string line;
  while (std::getline(in, line)) {
    if (line.size() < 9 || line[0] == '$') continue;
    std::string keyword = line.substr(0, 8);
    keyword.erase(keyword.find_last_not_of(' ') + 1);
    std::istringstream values(line.substr(9));
    auto read_node = [&](OwnedMesh& m, std::map<int64_t, int32_t>& index) {
      int64_t id;
      double x, y, z;
      values >> id >> x >> y >> z;
      index[id] = static_cast<int32_t>(m.x.size());
      m.x.push_back(x), m.y.push_back(y), m.z.push_back(z);
    };
    auto read_element = [&](std::vector<std::array<int64_t, 4>>& rows) {
      int64_t id;
      std::array<int64_t, 4> n;
      values >> id >> n[0] >> n[1] >> n[2] >> n[3];
      rows.push_back(n);
    };
    if (keyword == "FORMTYPE") {
      int ft;
      values >> ft;
      s.settings.blank_holder_flag = ft % 2;
      s.settings.binder_flag = (ft % 10) / 2;
      s.settings.pad_flag = ft / 10;
    } else if (keyword == "BHFORCE") {
      values >> s.settings.bhforce;
    } else if (keyword == "HOLFORCE") {
      values >> s.settings.holforce >> s.settings.pad_coefficient;
    } else if (keyword == "DRAWBEAD") {
      int index;
      double v[8];
      values >> index;
      for (double& d : v) values >> d;
      s.beads.add(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
    } else if (keyword == "SHETNODE") {
      read_node(s.part, job.node_index);
    } else if (keyword == "SHETQUAD") {
      read_element(part_rows);
    } else if (keyword == "BINDNODE") {
      read_node(s.holder, holder_nodes);
    } else if (keyword == "BINDQUAD") {
      read_element(holder_rows);
    } else if (keyword == "HOLDNODE") {
      read_node(s.pad, pad_nodes);
    } else if (keyword == "HOLDQUAD") {
      read_element(pad_rows);
    }
  }
  auto internal = [](const std::vector<std::array<int64_t, 4>>& rows, std::map<int64_t, int32_t>& index) {
    std::vector<std::array<int32_t, 4>> out;
    for (const auto& r : rows) out.push_back({index.at(r[0]), index.at(r[1]), index.at(r[2]), index.at(r[3])});
    return out;
  };
  s.part.set_elements(internal(part_rows, job.node_index));
  s.holder.set_elements(internal(holder_rows, holder_nodes));
  s.pad.set_elements(internal(pad_rows, pad_nodes));
  return true;
}

std::string slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Every number stored under "key": in a JSON text, in order.
std::vector<double> json_numbers(const std::string& text, const std::string& key) {
  std::vector<double> out;
  const std::string pattern = "\"" + key + "\": ";
  for (size_t at = text.find(pattern); at != std::string::npos; at = text.find(pattern, at + 1)) {
    const char* start = text.c_str() + at + pattern.size();
    char* end = nullptr;
    const double v = std::strtod(start, &end);
    if (end != start) out.push_back(v);
  }
  return out;
}

class ValidationRestraint : public ::testing::TestWithParam<const char*> {};

// The per-node reference of NAME.restraint.csv (state, holding force, drawbead force;
// unlisted nodes free), E(b) per bead and BDFORCE / RAISE of NAME.ref.json.
TEST_P(ValidationRestraint, MatchesTheReferenceOfEveryNode) {
  const std::string base = std::string(TREVO_SHARED_DIR) + "/validation/tools/" + GetParam();
  Job job;
  if (!read_job(base + ".dat", job)) GTEST_SKIP() << "no validation data at " << base;
  RestraintRun& s = job.setup;
  s.run();
  const Mesh part = s.part.view();
  std::vector<int32_t> ref_state(part.nn, 2);
  std::vector<double> ref_holding(part.nn, 0.0), ref_bead(part.nn, 0.0);
  std::ifstream csv(base + ".restraint.csv");
  std::string line;
  std::getline(csv, line);  // header
  while (std::getline(csv, line)) {
    std::replace(line.begin(), line.end(), ',', ' ');
    std::istringstream row(line);
    int64_t id;
    int32_t code;
    double holding, bead;
    row >> id >> code >> holding >> bead;
    const int32_t i = job.node_index.at(id);
    ref_state[i] = code, ref_holding[i] = holding, ref_bead[i] = bead;
  }
  int state_mismatches = 0, force_mismatches = 0;
  for (int32_t i = 0; i < part.nn; ++i) {
    if (s.state[i] != ref_state[i] && ++state_mismatches <= 5)
      ADD_FAILURE() << "node " << i + 1 << " state " << s.state[i] << " reference " << ref_state[i];
    const double bead = s.bead_force_of(i);
    if ((std::abs(s.holding_force[i] - ref_holding[i]) > 1e-6 * std::max(1.0, std::abs(ref_holding[i])) ||
         std::abs(bead - ref_bead[i]) > 1e-6 * std::max(1.0, std::abs(ref_bead[i]))) &&
        ++force_mismatches <= 5)
      ADD_FAILURE() << "node " << i + 1 << " holding " << s.holding_force[i] << " (" << ref_holding[i] << ") bead "
                    << bead << " (" << ref_bead[i] << ")";
  }
  EXPECT_EQ(state_mismatches, 0);
  EXPECT_EQ(force_mismatches, 0);
  const std::string ref = slurp(base + ".ref.json");
  const std::vector<double> bdforce = json_numbers(ref, "BDFORCE"), raise = json_numbers(ref, "RAISE");
  ASSERT_FALSE(bdforce.empty() || raise.empty());
  EXPECT_NEAR(s.totals.bdforce, bdforce[0], 1e-5);
  EXPECT_NEAR(s.totals.raise, raise[0], 1e-5);
  std::vector<int32_t> ref_entries;
  for (const double e : json_numbers(ref, "entries_E")) ref_entries.push_back(static_cast<int32_t>(e));
  EXPECT_EQ(s.entries, ref_entries);
}

INSTANTIATE_TEST_SUITE_P(Tools, ValidationRestraint,
                         ::testing::Values("cup_freeedge_bhf", "plate_controls", "cup_holder", "cup_holder_beads",
                                           "box_pad_holder", "cup_all_tools", "panel_cylbinder",
                                           "srail_holder_beads"));

}  // namespace
}  // namespace trevo
