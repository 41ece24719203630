// Outline and dynain files read back by the independent readers of readers.h, the dynain's
// tensor invariants, the blank summary against closed-form values and its printout, the forming-limit
// curve of the run summary against the published formula.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <sstream>

#include "../test_mesh.h"
#include "output/blank_summary.h"
#include "output/dynain.h"
#include "output/forming_limit.h"
#include "output/outline.h"
#include "output/post_frames.h"
#include "readers.h"

namespace trevo {
namespace {

// Every loop closes on its first point; a loop of more than 500 counted points goes on over
// further lines, each repeating the previous line's last point.
TEST(Outline, LoopsChainedAndContinuedEvery500Points) {
  test::OwnedMesh circle;  // 1200 distinct points
  for (int i = 0; i < 1200; ++i) circle.add_node(std::cos(i * 0.005), std::sin(i * 0.005), 0.001 * i);
  auto rings = [](std::vector<int32_t> sizes) {  // rings of nodes 0.., each edge i -> i+1
    BoundaryEdges b;
    for (int32_t first = 0; int32_t n : sizes) {
      for (int32_t i = 0; i < n; ++i) b.first.push_back(first + i), b.second.push_back(first + (i + 1) % n);
      first += n;
    }
    return b;
  };
  auto hole = test::make_grid(3, 3, 10.0, 10.0, {}, {4});  // 8 quadrilaterals around a hole
  // Per case the points of each line and the first line of each closed loop.
  const struct { BoundaryEdges edges; std::vector<size_t> points, loops; std::vector<int32_t> chain; } cases[] = {
      {rings({1200}), {500, 501, 202}, {0}, {}},
      {rings({500}), {500, 2}, {0}, {}},  // the count is reached at the last edge: the closing point continues
      {rings({300, 300}), {301, 301}, {0, 1}, {}},  // the count restarts with every loop
      {{{0, 1}, {1, 2}}, {3}, {}, {0, 1, 2}},  // an open chain ends at its open end
      {{{0, 0, 1, 2}, {1, 2, 0, 0}}, {3, 3}, {0, 1}, {0, 1, 0, 0, 2, 0}},  // first unused edge from the node
      {extract_boundary_edges(hole.view(), test::brute_force_neighbours(hole.view())), {13, 5}, {0, 1}, {}}};
  for (const auto& c : cases) {
    const OutlineLoops loops = chain_outline(c.edges);
    EXPECT_TRUE(c.chain.empty() || loops.points == c.chain);
    std::stringstream file;
    write_outline(file, kFlatOutlineTitle, loops, circle.x, circle.y, circle.z, {});
    const test_readers::LinFile f = test_readers::read_lin(file);
    ASSERT_EQ(f.error, "");
    std::vector<size_t> points;
    for (size_t l = 0; l < f.lines.size(); ++l) points.push_back(f.lines[l].points.size());
    ASSERT_EQ(points, c.points) << c.edges.first.size() << " edges";
    for (size_t k = 0; k < c.loops.size(); ++k) {
      const size_t first = c.loops[k], last = k + 1 < c.loops.size() ? c.loops[k + 1] - 1 : f.lines.size() - 1;
      for (size_t l = first + 1; l <= last; ++l) EXPECT_EQ(f.lines[l].points.front(), f.lines[l - 1].points.back());
      EXPECT_EQ(f.lines[last].points.back(), f.lines[first].points.front()) << "loop " << k;
    }
  }
}

struct Tensors {  // xx, yy, xy, e1, e2 per element
  std::vector<double> c[9];
  void add(std::array<double, 9> v) { for (int k = 0; k < 9; ++k) c[k].push_back(v[k]); }
  LocalTensors view() const { return {c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], c[8]}; }
};

// A quadrilateral and a triangle whose fourth corner is none, tipped and levelled: nodes in the
// input frame, the triangle's third node repeated, stress and strain components in LS-DYNA's order.
TEST(Dynain, QuadAndTriangleReadBack) {
  auto m = test::make_mesh({{0, 0, 0}, {10, 0, 0}, {10, 5, 1}, {0, 5, 2}, {20, 0, 0}}, {{0, 1, 2, 3}, {1, 4, 2, 2}});
  m.node(1, 3) = kNone;
  const test::OwnedMesh input = m;
  const FrameTransform t{-0.25, 0.4, 3.5};
  to_working_frame(m.x, m.y, m.z, t);
  Tensors strain, stress;
  for (Tensors* s : {&strain, &stress}) s->add({0.1, -0.05, 0.02, 1, 0, 0, 0, 1, 0}), s->add({300, -120, 45.5, 1, 0, 0, 0, 1, 0});
  StrainScratch scratch(testing::TempDir() + "trevo_dynain_scratch");
  write_strain_heading(scratch.stream());
  for (int32_t e = 0; e < 2; ++e) write_element_strain(scratch.stream(), strain.view(), e);
  std::stringstream out;
  write_dynain(out, m.view(), std::vector<double>{0.85, 1.25}, std::vector<double>{0.5, 0.123}, stress.view(), t,
               scratch.stream());
  const test_readers::DynainFile f = test_readers::read_dynain(out);
  ASSERT_EQ(f.error, "") << out.str();
  ASSERT_TRUE(f.nodes.size() == 5 && f.shells.size() == 2 && f.stresses.size() == 2 && f.strains.size() == 2);
  for (int n = 0; n < 5; ++n) {
    EXPECT_TRUE(f.nodes[n].number == n + 1 && f.nodes[n].tc == 0 && f.nodes[n].rc == 0);
    EXPECT_NEAR(std::hypot(f.nodes[n].x - input.x[n], f.nodes[n].y - input.y[n], f.nodes[n].z - input.z[n]), 0, 1e-8);
  }
  EXPECT_EQ(f.shells[1].nodes, (std::array<long long, 4>{2, 5, 3, 3}));
  EXPECT_EQ(f.shells[1].thickness, (std::array<double, 4>{1.25, 1.25, 1.25, 1.25}));
  EXPECT_TRUE(f.stresses[1].element == 2 && f.stresses[1].in_plane_points == 1 && f.stresses[1].through_points == 1);
  EXPECT_EQ(f.stresses[1].values, (std::array<double, 8>{0, 300, -120, 0, 45.5, 0, 0, 0.123}));
  EXPECT_EQ(f.strains[0].first, (std::array<double, 6>{0.1, -0.05, 0, 0.02, 0, 0}));
  EXPECT_EQ(f.strains[0].second, f.strains[0].first);
}

// C = R^T A R keeps the trace and the sum of squares of A and sends the element normal e3 to 0 (with
// e1 = x, e2 = y it is A itself: the records of QuadAndTriangleReadBack).
TEST(Dynain, GlobalTensorKeepsTheInvariants) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> u(-1, 1);
  for (int trial = 0; trial < 100; ++trial) {
    const double a = 3 * u(random), b = 3 * u(random), xx = u(random), yy = u(random), xy = u(random);
    const std::array<double, 3> e1{std::cos(a) * std::cos(b), std::sin(a) * std::cos(b), std::sin(b)},
        e2{-std::sin(a), std::cos(a), 0},
        e3{e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
    Tensors t;
    t.add({xx, yy, xy, e1[0], e1[1], e1[2], e2[0], e2[1], e2[2]});
    const GlobalTensor g = global_tensor(t.view(), 0);
    EXPECT_NEAR(g.c11 + g.c22 + g.c33, xx + yy, 1e-14);
    EXPECT_NEAR(g.c11 * g.c11 + g.c22 * g.c22 + g.c33 * g.c33 + 2 * (g.c12 * g.c12 + g.c23 * g.c23 + g.c31 * g.c31),
                xx * xx + yy * yy + 2 * xy * xy, 1e-14);
    for (const auto& row : {std::array{g.c11, g.c12, g.c31}, {g.c12, g.c22, g.c23}, {g.c31, g.c23, g.c33}})
      EXPECT_NEAR(row[0] * e3[0] + row[1] * e3[1] + row[2] * e3[2], 0, 1e-14);
  }
}

// A 100 mm x 50 mm rectangle turned by 30 degrees: area 5000, weight 0.0395 kg at 1 mm, least
// rectangle 5000 at the turn of 60 degrees that brings it back to the axes.
TEST(BlankSummary, TurnedRectangle) {
  auto g = test::make_grid(4, 2, 25.0, 25.0);
  const double a = std::numbers::pi / 6;
  for (int32_t n = 0; n < g.nn(); ++n) {
    const double u = g.x[n] - 50.0, v = g.y[n] - 25.0;
    g.x[n] = std::cos(a) * u - std::sin(a) * v + 7.0, g.y[n] = std::sin(a) * u + std::cos(a) * v - 3.0;
  }
  const BlankSummary s = blank_summary(g.view(), std::vector<double>{1, 1, 1, 1, 1, 1, 1, 3});  // one of 625 mm^2 thicker
  EXPECT_NEAR(s.area, 5000.0, 1e-9);
  EXPECT_NEAR(s.weight, 0.0395 + 625 * 2 * 0.0079e-3, 1e-12);
  EXPECT_NEAR(s.rectangle_area, 5000.0, 1e-8);
  EXPECT_EQ(s.rectangle_angle, 60);
  test::Captured out;
  print_blank_summary(s, out.reporter);
  const std::string expected = "\n Area of the blank is 5000.0000    sq.mm.\n Weight of the blank is0.49375000E-01 kilogram\n"
                               " Area of the blank least rectangle is 5000.0000    sq.mm.\ncounter-rotate 60 degree\n\n";
  EXPECT_EQ(out.console.str(), expected);
  EXPECT_EQ(out.report.str(), expected);
}

// The principal strains of the post file keep the trace and the determinant of the strain tensor.
TEST(PostFrames, PrincipalStrainsAndThinning) {
  const std::vector<double> h{0.8}, h0{1.0}, exx{0.1}, eyy{0.02}, exy{0.03}, eqs{0.15}, eqv{400.0};
  const ElementResultColumns c = element_results(h, h0, exx, eyy, exy, eqs, eqv);
  EXPECT_GT(c.major_strain[0], c.minor_strain[0]);
  EXPECT_NEAR(c.major_strain[0] + c.minor_strain[0], 0.12, 1e-15);
  EXPECT_NEAR(c.major_strain[0] * c.minor_strain[0], 0.1 * 0.02 - 0.03 * 0.03, 1e-15);
  EXPECT_NEAR(c.thinning[0], 20.0, 1e-12);
}

TEST(FormingLimit, PlaneStrainLevelFromThePublishedFormula) {
  // (n, t mm, FLC0 in % engineering major strain as the formula gives it, by hand)
  const struct {
    double n, t, percent;
  } rows[] = {{0.21, 1.0, 37.43}, {0.105, 1.0, 18.715}, {0.21, 2.0, 51.56}, {0.30, 1.0, 37.43}, {0.14, 0.8, 23.0693333}};
  for (const auto& r : rows) {
    const FormingLimit limit = forming_limit(r.n, r.t);
    EXPECT_NEAR(std::expm1(limit.flc0) * 100.0, r.percent, 1e-6) << "n=" << r.n << " t=" << r.t;
    EXPECT_DOUBLE_EQ(limit_major_strain(limit, 0.0), limit.flc0);
  }
}

TEST(FormingLimit, CurveShapeAndPrincipalStrains) {
  const FormingLimit limit = forming_limit(0.22, 1.0);
  const auto curve = limit_curve(limit);
  ASSERT_EQ(curve.size(), 17u);
  for (std::size_t i = 1; i < curve.size(); ++i) {
    const double minor = curve[i][0], major = curve[i][1];
    if (minor <= 0.0)  // the drawing side: constant thickness strain, major + minor = FLC0
      EXPECT_NEAR(major + minor, limit.flc0, 1e-12) << i;
    else               // the stretching side rises, and less steeply than the drawing side falls
      EXPECT_GT(major, curve[i - 1][1]) << i;
  }
  // Principal strains, the major first, keep the trace and the determinant of a tensor turned by any angle.
  const double exx = 0.3, eyy = -0.1, exy = 0.05;
  for (const double a : {0.0, 0.3, 1.0, 2.5}) {
    const double c = std::cos(a), s = std::sin(a);
    const auto q = principal_strains(c * c * exx + s * s * eyy + 2 * s * c * exy,
                                     s * s * exx + c * c * eyy - 2 * s * c * exy, (c * c - s * s) * exy + s * c * (eyy - exx));
    EXPECT_GT(q[0], q[1]) << a;
    EXPECT_NEAR(q[0] + q[1], exx + eyy, 1e-14) << a;
    EXPECT_NEAR(q[0] * q[1], exx * eyy - exy * exy, 1e-14) << a;
  }
}


}  // namespace
}  // namespace trevo
