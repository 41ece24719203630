// The restraint set-up (its messages, and every node of the validation jobs against their references),
// the pre-unfolding and its corotational membrane, the binder-surface calculation that lays the blank
// lying on a binder out flat, and its abandon message.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "../solver/solver_fixtures.h"
#include "restraint/binder_surface.h"
#include "restraint/corotational_membrane.h"
#include "restraint/pre_unfolding.h"
#include "restraint/restraint_setup.h"
#include "restraint/unfolding_schedule.h"
#include "solver/iteration_control.h"

namespace trevo {
namespace {

struct OwnedBeads {  // DRAWBEAD lines: one row per bead, viewed as the eight columns of DrawbeadLines
  std::vector<double> v[8];
  void add(double r, double raise, double x1, double y1, double z1, double x2, double y2, double z2) {
    const double row[8] = {r, raise, x1, y1, z1, x2, y2, z2};
    for (int k = 0; k < 8; ++k) v[k].push_back(row[k]);
  }
  DrawbeadLines view() const { return {v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]}; }
};

// One pre-count and set-up with every array owned here.
struct RestraintRun {
  test::OwnedMesh part, holder, pad;
  OwnedBeads beads;
  RunSettings settings;
  std::vector<int32_t> neighbours, state, bead_node, entries, offsets, start_rows, end_rows;
  std::vector<double> holding, count, normals, bead_force, node_force, contact, holder_force, pad_force;
  RestraintTotals totals;
  test::Captured out;

  void run() {
    const Mesh p = part.view();
    const size_t nn = p.nn, nb = beads.view().count();
    neighbours = test::brute_force_neighbours(p);
    start_rows.assign(4 * nb, kNone), end_rows.assign(4 * nb, kNone), entries.assign(nb, -1), offsets.assign(nb, -1);
    const BeadEndRows rows{start_rows, end_rows};
    const int64_t length = count_drawbead_entries(p, beads.view(), rows, entries, offsets);
    bead_node.assign(length, 12345), bead_force.assign(length, -1.0), state.assign(nn, -1), count.assign(nn, -1.0);
    holding.assign(nn, -1.0), normals.assign(3 * nn, -1.0), node_force.assign(2 * nn, -1.0);
    contact.assign(3 * nn, -1.0), holder_force.assign(holder.ne(), -1.0), pad_force.assign(pad.ne(), -1.0);
    const RestraintData data{holding,    state,   count,      normals, bead_node,
                             bead_force, entries, offsets,    node_force, contact};
    totals = restraint_setup({p, p, neighbours, holder.view(), pad.view()}, beads.view(), settings, data, rows,
                             holder_force, pad_force, out.reporter);
  }
};

// RAISE 20 x 10 above BHFORCE 100 leaves no holding force; the report line with the defaults and with
// other totals (gfortran's text).
TEST(RestraintSetup, MessageAndReportLine) {
  RestraintRun raise;
  raise.part = test::make_grid(4, 4, 5.0, 5.0);
  raise.settings.bhforce = 100.0;
  raise.beads.add(1.0, 20.0, 2.1, 3.3, 0.0, 12.1, 3.3, 0.0);
  raise.run();
  EXPECT_EQ(raise.out.console.str(), " ERROR: The blank-holder force is unreasonable.\n");
  EXPECT_EQ(raise.out.report.str(), raise.out.console.str());
  EXPECT_EQ(*std::max_element(raise.holding.begin(), raise.holding.end()), 0.0);
  test::Captured line;
  RunSettings s;
  drawbead_report_line(s, RestraintTotals{}, line.reporter);
  s.iteration_limit = 250, s.displacement_tolerance = 0.0002;
  drawbead_report_line(s, RestraintTotals{36771.728272, 11031.5184816, 0.0}, line.reporter);
  const std::string first = " NNL=  300  DEPS=.1000000E-03  BDFORCE=   0.000000      RAISE=   0.000000    ",
                    second = " NNL=  250  DEPS=.2000000E-03  BDFORCE=   36771.73      RAISE=   11031.52    ";
  EXPECT_EQ(line.console.str(), first + "\n" + second + "\n");
  EXPECT_EQ(line.report.str(), first + "\n\n" + second + "\n\n");
}

// Every node's state, holding force and drawbead force of a validation job against its restraint.csv
// (unlisted nodes free), E(b) per bead and BDFORCE / RAISE against its ref.json. The parts lie in the
// canonical pose, so positioning would move them in z only and the plan positions are those read.
class ValidationRestraint : public ::testing::TestWithParam<const char*> {};

TEST_P(ValidationRestraint, EveryNodeMatchesItsReference) {
  const std::string base = std::string(TREVO_SHARED_DIR) + "/validation/tools/" + GetParam();
  RestraintRun s;
  std::map<int64_t, int32_t> id;
  s.part = test::read_mesh(base + ".dat", "SHETNODE", "SHETQUAD", &id);
  s.holder = test::read_mesh(base + ".dat", "BINDNODE", "BINDQUAD");
  s.pad = test::read_mesh(base + ".dat", "HOLDNODE", "HOLDQUAD");
  ASSERT_GT(s.part.ne(), 0) << "no validation part at " << base;
  std::ifstream dat(base + ".dat"), csv(base + ".restraint.csv");
  for (std::string line, key; std::getline(dat, line);) {
    std::istringstream v(line);
    int32_t type, index;
    double b[8];
    v >> key;
    if (key == "FORMTYPE" && v >> type)
      s.settings.blank_holder_flag = type % 2, s.settings.binder_flag = type % 10 / 2, s.settings.pad_flag = type / 10;
    if (key == "BHFORCE") v >> s.settings.bhforce;
    if (key == "HOLFORCE") v >> s.settings.holforce >> s.settings.pad_coefficient;
    if (key == "DRAWBEAD" && v >> index >> b[0] >> b[1] >> b[2] >> b[3] >> b[4] >> b[5] >> b[6] >> b[7])
      s.beads.add(b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7]);
  }
  s.run();
  const size_t nn = s.part.nn();
  std::vector<int32_t> state(nn, 2);
  std::vector<double> holding(nn, 0.0), bead(nn, 0.0), mine(nn, 0.0);
  for (size_t k = 0; k < s.bead_node.size(); ++k)
    if (s.bead_node[k] != kNone) mine[s.bead_node[k]] += s.bead_force[k];
  std::string line;
  ASSERT_TRUE(std::getline(csv, line)) << "no reference table at " << base;
  for (char comma; std::getline(csv, line);) {
    std::istringstream row(line);
    int64_t node;
    int32_t code;
    double h, f;
    row >> node >> comma >> code >> comma >> h >> comma >> f;
    state[id.at(node)] = code, holding[id.at(node)] = h, bead[id.at(node)] = f;
  }
  for (size_t i = 0, failures = 0; i < nn && failures < 5; ++i)
    if (s.state[i] != state[i] || std::abs(s.holding[i] - holding[i]) > 1e-6 * std::max(1.0, holding[i]) ||
        std::abs(mine[i] - bead[i]) > 1e-6 * std::max(1.0, bead[i]))
      ++failures, ADD_FAILURE() << "node " << i + 1 << ": state " << s.state[i] << " (" << state[i] << ") holding "
                                << s.holding[i] << " (" << holding[i] << ") bead " << mine[i] << " (" << bead[i] << ")";
  const std::string ref = base + ".ref.json";
  const std::vector<double> bdforce = test::numbers_after(ref, "\"BDFORCE\":"), raise = test::numbers_after(ref, "\"RAISE\":");
  ASSERT_FALSE(bdforce.empty() || raise.empty()) << base << ".ref.json";
  EXPECT_NEAR(s.totals.bdforce, bdforce[0], 1e-5);
  EXPECT_NEAR(s.totals.raise, raise[0], 1e-5);
  const std::vector<double> entries = test::numbers_after(ref, "\"entries_E\":");
  EXPECT_EQ(s.entries, std::vector<int32_t>(entries.begin(), entries.end()));
}

INSTANTIATE_TEST_SUITE_P(Tools, ValidationRestraint,
                         ::testing::Values("cup_freeedge_bhf", "plate_controls", "cup_holder", "cup_holder_beads",
                                           "box_pad_holder", "cup_all_tools", "panel_cylbinder", "srail_holder_beads"));

using Points = std::array<std::array<double, 3>, 4>;

double largest_force(const CorotationalMembrane& m) {
  double largest = 0.0;
  for (double f : m.restoring) largest = std::max(largest, std::fabs(f));
  return largest;
}

// Triangles (a slender one, a wall in the plane x = 2 that the projection collapses onto a line) and
// quadrilaterals (one a wall).
TEST(CorotationalMembrane, RigidMotionGivesNoForceAndAnyDistortionNoNetForceOrTorque) {
  for (const Points& p : {Points{{{0, 0, 0}, {4, 0.5, 0}, {1, 3, 0}, {1, 3, 0}}},
                          {{{0, 0, 0}, {9, 0.2, 0}, {3, 1, 0}, {3, 1, 0}}},
                          {{{2, 0, 0}, {2, 4, 0.5}, {2, 1, 3}, {2, 1, 3}}},
                          {{{0, 0, 0}, {4, 0, 0}, {4.5, 3, 0}, {-0.5, 2.5, 0}}},
                          {{{2, 0, 0}, {2, 4, 0}, {2, 4, 3}, {2, 0, 3}}}}) {
    const ElementGeometry g = element_geometry(p, p[2] == p[3] ? 3 : 4);
    for (const double angle : {0.0, 0.3, 1.7, 3.1, -2.4}) {
      BlankCorners moved;
      for (int k = 0; k < g.corners; ++k)
        moved.X[k] = 5.0 + std::cos(angle) * g.x[k] - std::sin(angle) * g.y[k],
        moved.Y[k] = -7.0 + std::sin(angle) * g.x[k] + std::cos(angle) * g.y[k];
      EXPECT_LT(largest_force(corotational_membrane(g, 10000.0, 1.3, moved)), 1e-8) << "angle " << angle;
    }
    const BlankCorners distorted[] = {{{0.3, 5.0, 1.5, -0.5}, {0.0, 1.0, 2.5, 2.0}},    // stretched and sheared
                                      {{0.0, 2.0, 1.0, 0.2}, {0.0, 0.1, 3.0, 2.0}},     // squashed
                                      {{1.0, 3.0, 2.0, 1.5}, {1.0, 1.0, 1.0, 1.0}},     // on a line
                                      {{0.0, 4.0, 1.0, 0.5}, {0.0, 0.5, -3.0, -2.0}}};  // inverted
    for (const BlankCorners& b : distorted) {
      const CorotationalMembrane m = corotational_membrane(g, 10000.0, 1.0, b);
      double fx = 0.0, fy = 0.0, torque = 0.0;
      for (int k = 0; k < g.corners; ++k) {
        fx += m.restoring[2 * k], fy += m.restoring[2 * k + 1];
        torque += b.X[k] * m.restoring[2 * k + 1] - b.Y[k] * m.restoring[2 * k];
      }
      const double scale = 10.0 * largest_force(m);
      EXPECT_GT(scale, 1.0);
      EXPECT_LT(std::hypot(fx, fy, torque), 1e-10 * scale) << g.corners << " corners at " << b.X[0] << ", " << b.Y[0];
      for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 8; ++j) EXPECT_NEAR(m.stiffness[i * 8 + j], m.stiffness[j * 8 + i], 1e-9 * m.stiffness[0]);
    }
  }
}

struct Unfolding : test::OneStepRun {
  explicit Unfolding(test::OwnedMesh m) : OneStepRun(std::move(m)) { settings.method = 1, settings.smallest_nz = 0.0; }
  test::Captured out;
  double unfold() { return pre_unfold(model, state, {}, settings, out.reporter); }
};

// The projection spans 16; every row of the blank spans the developed 24 (to 2 %: the pass stops at
// ADP < 0.5, a little short of the balance), without inverted elements, keeping the projection's
// centroid and the direction of the part's x axis, with or without a turn of 0.05 in the warm start.
TEST(PreUnfolding, CollapsedWallsAreLaidOutWithoutTurningTheBlank) {
  for (const double turn : {0.0, 0.05}) {
    std::set<int32_t> all;  // every cell as two triangles
    for (int32_t cell = 0; cell < 24 * 8; ++cell) all.insert(cell);
    Unfolding r(test::hat_section(test::make_grid(24, 8, 1.0, 1.0, all)));
    for (size_t i = 0; i < r.nn; ++i)
      r.cg[0][2 * i] = -turn * (r.part.y[i] - 4.0), r.cg[0][2 * i + 1] = turn * (r.part.x[i] - 8.0);
    EXPECT_LT(r.unfold(), 0.5) << r.out.console.str();
    EXPECT_EQ(inverted_element_count(r.part, r.X, r.Y), 0);
    EXPECT_EQ(r.out.console.str().find("new iteration"), std::string::npos) << r.out.console.str();
    double dx = 0.0, dy = 0.0;
    for (size_t i = 0; i < r.nn; ++i) dx += r.X[i] - r.part.x[i], dy += r.Y[i] - r.part.y[i];
    EXPECT_NEAR(dx / r.nn, 0.0, 1e-9);
    EXPECT_NEAR(dy / r.nn, 0.0, 1e-9);
    for (int32_t row = 0; row < 9; ++row) {
      const int32_t a = row * 25, b = a + 24;
      EXPECT_NEAR(std::hypot(r.X[b] - r.X[a], r.Y[b] - r.Y[a]), 24.0, 0.4) << "row " << row;
      EXPECT_NEAR(std::atan2(r.Y[b] - r.Y[a], r.X[b] - r.X[a]), 0.0, 3e-3) << "row " << row;
    }
  }
}

// The membrane is assembled on threads, each adding the rows of the nodes it owns: the pre-unfolded
// blank and its console lines are the same byte for byte on one, two and three threads.
TEST(PreUnfolding, SameBlankOnAnyNumberOfThreads) {
  std::vector<std::vector<double>> blanks;
  std::vector<std::string> lines;
  for (const int32_t threads : {1, 2, 3}) {
    Unfolding r(test::hat_section(test::make_grid(24, 8, 1.0, 1.0, {3, 50, 51, 100, 150})));
    r.model.threads = threads;
    r.unfold();
    blanks.push_back(r.X);
    blanks.back().insert(blanks.back().end(), r.Y.begin(), r.Y.end());
    lines.push_back(r.out.console.str());
  }
  for (size_t t = 1; t < blanks.size(); ++t) {
    EXPECT_EQ(lines[t], lines[0]);
    ASSERT_EQ(std::memcmp(blanks[t].data(), blanks[0].data(), blanks[0].size() * sizeof(double)), 0) << t + 1 << " threads";
  }
}

// Every element given clockwise (its projection inverted) and every node held: neither pass can turn
// it, so the restart line is followed by the orientation message, and the iteration is stopped.
TEST(PreUnfolding, InvertedTwiceWithoutBinderStopsTheIteration) {
  test::OwnedMesh m = test::make_grid(10, 6, 2.0, 1.0, {3, 8, 20, 41});
  for (double& z : m.z) z = 5.0;
  for (int32_t e = 0; e < m.ne(); ++e) test::reverse_row(m, e);
  Unfolding r(std::move(m));
  std::fill(r.held_x.begin(), r.held_x.end(), 1);
  std::fill(r.held_y.begin(), r.held_y.end(), 1);
  r.settings.smallest_nz = 1.0;
  r.unfold();
  EXPECT_GT(inverted_element_count(r.part, r.X, r.Y), 0);
  const std::string text = r.out.console.str();
  const size_t restart = text.find("....... Start a new iteration .......");
  ASSERT_NE(restart, std::string::npos) << text;
  const std::string failed = " ******* TREVO failed due to model orientation.\n          Tip the part and try again";
  EXPECT_NE(text.find(failed + " *******.\n", restart), std::string::npos) << text;
  EXPECT_EQ(r.settings.iteration_limit, 0);
  EXPECT_EQ(r.settings.method, 0);
}

// A strip of 5 x 2 unit cells (one as two triangles), wrapped round a cylinder of radius 4 about y, or
// flat at z = 3; the blank starts on it (Zb 7 to be cleared), DEPS 1e-10: it converges, with its progress
// lines. That the blank is the development of the blank on the binder, the validation jobs with a binder
// check end to end (tests/e2e/validation_e2e_test.cpp).
TEST(BinderSurface, DevelopableBlankConvergesWithItsProgressLines) {
  for (const bool wrapped : {true, false}) {
    test::OwnedMesh m = test::make_grid(5, 2, 1.0, 1.0, {3});
    for (int32_t i = 0; i < m.nn(); ++i) {
      const double u = m.x[i];
      m.x[i] = wrapped ? 4.0 * std::sin(u / 4.0) : u, m.z[i] = wrapped ? 4.0 - 4.0 * std::cos(u / 4.0) : 3.0;
    }
    test::OneStepRun s(m);
    s.settings.displacement_tolerance = 1e-10;
    std::fill(s.Zb.begin(), s.Zb.end(), 7.0);
    test::Captured out;
    const BinderSurfaceResult r = binder_surface(s.model, s.state, PrescribedMotion{}, s.settings, out.reporter);
    EXPECT_LT(r.adp, 10.0 * s.settings.displacement_tolerance) << "not converged:\n" << out.console.str();
    EXPECT_EQ(r.iterations > 1, wrapped);
    EXPECT_EQ(s.Zb, std::vector<double>(s.nn, 0.0));
    const std::vector<std::string> lines = test::lines(out.console);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.back(), unfolding_progress_line(r.iterations, r.adp, 1.0));
    EXPECT_EQ(lines[0].substr(0, 9), unfolding_progress_line(1, 0.0, 1.0).substr(0, 9));
    EXPECT_EQ(out.report.str(), out.console.str());
  }
}

TEST(BinderSurface, AbandonMessageOnConsoleAndReportOnlyAtLevelTwo) {
  test::Captured out, quiet;
  RunSettings settings;
  report_binder_surface_abandoned(settings, out.reporter);
  settings.message_level = 1;
  report_binder_surface_abandoned(settings, quiet.reporter);
  const std::string first = " ******* Due to lack of convergency, binder surface\n";
  EXPECT_EQ(out.console.str(), "\n" + first + "        calculation is not continued *******\n\n");
  EXPECT_EQ(out.report.str(), first + "         calculation is not continued *******\n\n");
  EXPECT_EQ(quiet.console.str() + quiet.report.str(), "");
}

}  // namespace
}  // namespace trevo
