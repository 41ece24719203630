// Placing the part for the iteration: tipping, levelling, the geometry blend, and the tipping of a flanging
// job (its binder brought level, the part tipped on only out of an undercut).
#include "prepare/positioning.h"

#include <gtest/gtest.h>

#include <cmath>

#include "../test_mesh.h"
#include "core/frame_transform.h"
#include "fortran/edit.h"
#include "prepare/element_normal.h"
#include "prepare/flanging_tipping.h"
#include "prepare/geometry_blend.h"
#include "prepare/topology.h"

namespace trevo {
namespace {

// The part with its copy, tables and scratch, a blank-holder quadrilateral and one drawbead, positioned.
struct Positioned {
  test::OwnedMesh part, holder = test::make_mesh({{-50, -50, -3}, {60, -50, -2}, {60, 60, -1}, {-50, 60, -3}}, {});
  std::vector<double> xc, yc, zc, nx, ny, nz, bead[6] = {{2.5}, {3.5}, {1.0}, {7.5}, {6.5}, {1.0}};
  std::vector<int32_t> nb, edges;
  RunSettings s;
  test::Captured out;
  explicit Positioned(test::OwnedMesh m) : part(std::move(m)) { holder.conn = {0, 1, 2, 3}; }
  void run() {
    Mesh p = part.view(), h = holder.view(), none{};
    xc = part.x, yc = part.y, zc = part.z, nx.assign(p.nn, 0.0), ny = nx, nz = nx;
    nb.resize(4 * p.ne), edges.resize(8 * p.ne);
    edge_table(p, edges);
    edge_neighbours(edges, p.ne, p.nn, nb);
    const DrawbeadEnds ends{bead[0], bead[1], bead[2], bead[3], bead[4], bead[5]};
    PositioningInput in{p, nb, part.labels, xc, yc, zc, none, h, none, ends, nx, ny, nz};
    position_model(in, s, out.reporter);
  }
  std::vector<double> distances() const {  // from part node 0 to the holder's nodes and the bead ends
    std::vector<double> d;
    for (int i = 0; i < 6; ++i)
      d.push_back(i < 4 ? std::hypot(holder.x[i] - part.x[0], holder.y[i] - part.y[0], holder.z[i] - part.z[0])
                        : std::hypot(bead[i % 4 * 3][0] - part.x[0], bead[i % 4 * 3 + 1][0] - part.y[0],
                                     bead[i % 4 * 3 + 2][0] - part.z[0]));
    return d;
  }
};

// cup_tilted (15 deg about x, then 10 about y) and box_tilted (turned about z, then 20 about y): walls
// facing down to nz -0.3, vertical (nz 0) again afterwards.
TEST(Positioning, TiltedPartsAreTippedBackToTheirCanonicalPose) {
  for (const std::string name : {"cup_tilted", "box_tilted"})
    for (const bool automatic : {true, false}) {
      const std::string ref = std::string(TREVO_SHARED_DIR) + "/validation/generated/" + name;
      const double tilt_x = test::numbers_after(ref + ".ref.json", "\"tilt_x_deg\":").at(0), deg = 3.1415926535898 / 180.0;
      const double tilt_y = test::numbers_after(ref + ".ref.json", "\"tilt_y_deg\":").at(0);
      Positioned m(test::read_mesh(ref + ".dat", "SHETNODE", "SHETQUAD"));
      SCOPED_TRACE(name + (automatic ? " automatic" : " manual"));
      ASSERT_GT(m.part.ne(), 1000);
      EXPECT_LT(smallest_element_nz(m.part.view()), -0.3);
      const std::vector<double> before = m.distances();
      m.s.autonoml = automatic;
      m.s.manunoml = {automatic ? 0.0 : -tilt_x, automatic ? 0.0 : -tilt_y};
      m.run();
      EXPECT_GT(smallest_element_nz(m.part.view()), -1e-6);
      EXPECT_NEAR(std::hypot(m.s.tipping_alpha + tilt_x * deg, m.s.tipping_beta + tilt_y * deg), 0.0, 1e-12);
      EXPECT_EQ(m.s.method, 1);
      EXPECT_EQ(*std::min_element(m.part.z.begin(), m.part.z.end()), 0.0);
      EXPECT_NEAR(m.s.draw_depth, test::numbers_after(ref + ".ref.json", "\"depth\":").at(0), 1e-6);
      const std::vector<double> after = m.distances();
      for (size_t i = 0; i < after.size(); ++i) EXPECT_NEAR(after[i], before[i], 1e-9) << "tool or bead point " << i;
    }
}

// Each move takes every node the fraction f = 0.02 of the way to its blank position (here 10 along x,
// -5 along y) and flattens z by s = 1 - 0.382 f, until the smallest element nz exceeds 0.06 (at most 200
// passes after the first move). Three ramps (0,0,0) (1,0,0) (1,1,H) (0,1,H), H = h / 2, h, h: the smallest
// nz on the second (first of a tie). nz = 0.06 at H = limit, so h = limit / s^(m - 0.5) needs m moves.
// The lines carry the pass, f, that nz and its first element.
TEST(GeometryBlend, MovesTowardsTheBlankUntilEveryNormalRises) {
  const double limit = std::sqrt(1.0 / (0.06 * 0.06) - 1.0), s = 1.0 - 0.382 * 0.02;
  const double two = limit / std::pow(s, 1.5), four = limit / std::pow(s, 3.5);  // moves needed
  for (const auto& [h, moves, k, lines] :
       {std::tuple{0.9 * limit, 1, 1, size_t{1}}, {two, 2, 1, 2}, {four, 4, 3, 2}, {1e3, 201, 201, 1}}) {
    test::OwnedMesh o;
    for (int r = 0; r < 3; ++r) {
      o.add_node(2 * r, 0, 0), o.add_node(2 * r + 1, 0, 0), o.add_node(2 * r + 1, 1, r ? h : h / 2);
      o.add_node(2 * r, 1, r ? h : h / 2), o.add_element(4 * r, 4 * r + 1, 4 * r + 2, 4 * r + 3);
    }
    const test::OwnedMesh start = o;
    std::vector<double> X = o.x, Y = o.y, Zb(12, 7.0);
    for (int i = 0; i < 12; ++i) X[i] += 10.0, Y[i] -= 5.0;
    test::Captured out;
    Mesh m = o.view();
    const BlendResult r = blend_geometry(m, X, Y, Zb, moves == 4, 0.02, out.reporter);  // a binder keeps Zb
    EXPECT_TRUE(r.k == k && r.reached == (moves < 201) && r.element == 1) << r.k << " " << r.element;
    EXPECT_NEAR(r.q, element_normal(m, 1)[2], 1e-15);
    EXPECT_EQ(r.q > 0.06, moves < 201);
    const std::vector<std::string> written = test::lines(out.console);
    ASSERT_EQ(written.size(), lines) << out.console.str();
    EXPECT_EQ(written[0].substr(0, 25), "    1       0.2000000E-01");
    const std::string last = " " + fortran::edit_i(r.k, 4) + "    " + fortran::edit_g(0.02, 16, 7) +
                             fortran::edit_g(r.q, 16, 7) + fortran::edit_i(2, 8);
    EXPECT_TRUE(moves == 201 || written.back() == last) << written.back();
    EXPECT_EQ(out.report.str(), out.console.str());
    for (int i = 0; i < 12; ++i) {
      EXPECT_NEAR(o.x[i], start.x[i] + 10.0 * (1.0 - std::pow(0.98, moves)), 1e-9) << i;
      EXPECT_NEAR(o.y[i], start.y[i] - 5.0 * (1.0 - std::pow(0.98, moves)), 1e-9) << i;
      EXPECT_NEAR(o.z[i], start.z[i] * std::pow(s, moves), 1e-9 * h) << i;
      EXPECT_EQ(Zb[i], moves == 4 ? 7.0 : 0.0);
    }
  }
}

// A 3 x 3 part over a 5 x 4 binder (or none, or one folded back on itself: its cells twice, the first
// copy facing down), with or without a part cell turned 115 degrees from +z (nz -0.423, an undercut);
// the job turned about z, then tilted so that tipping by (tilt_x, tilt_y) undoes the tilt. Tipped, every
// binder normal is +z (1e-9) and, unturned, the angles are the tilt; a part that would undercut is
// tipped on just past the limit (within a step, nz 0.016); without a binder that gives a direction
// the nodal-normal search decides.
TEST(FlangingTipping, LevelsTheBinderAndTipsOnlyOutOfAnUndercut) {
  enum Binder { none, plane, folded };
  const double deg = 3.1415926535898 / 180.0, limit = -0.3421;
  using enum TippingSource;
  struct Row { Binder with; double turn_z, tilt_x, tilt_y; bool undercut; TippingSource source; };
  for (const Row& row : {Row{plane, 0, 12, -5, false, binder}, {plane, 0, 0, 0, false, binder},
                         {plane, 37, -40, 25, false, binder}, {plane, -70, 60, 10, false, binder},
                         {plane, 15, 8, -6, true, binder_and_part}, {none, 20, 60, -10, false, part},
                         {folded, 0, 50, 30, false, part}}) {
    SCOPED_TRACE(testing::Message() << row.with << " " << row.turn_z << " " << row.tilt_x << " " << row.tilt_y);
    test::OwnedMesh p = test::make_grid(3, 3), b;
    if (row.undercut) test::add_grid(p, 1, 1, 5.0, 0.0);
    for (int i = 16; i < p.nn(); ++i) rotate_about_x(115 * deg, p.y[i], p.z[i]);
    for (int copy = 0; copy < row.with; ++copy) test::add_grid(b, 5, 4, -1.0, -0.5);
    for (int e = 0; row.with == folded && e < 20; ++e) test::reverse_row(b, e);
    for (test::OwnedMesh* m : {&p, &b})
      for (size_t i = 0; i < m->x.size(); ++i) {
        const double x = m->x[i], y = m->y[i], c = std::cos(row.turn_z * deg), s = std::sin(row.turn_z * deg);
        m->x[i] = c * x - s * y, m->y[i] = s * x + c * y, m->z[i] -= m == &b;
        untip(std::span(&m->x[i], 1), std::span(&m->y[i], 1), std::span(&m->z[i], 1), row.tilt_x * deg,
              row.tilt_y * deg);
      }
    std::vector<double> nx(p.nn()), ny(p.nn()), nz(p.nn());
    const FlangingTipping t = flanging_tipping(p.view(), b.view(), limit, nx, ny, nz);
    EXPECT_EQ(t.source, row.source);
    if (row.source == part) {
      nodal_normals(p.view(), nx, ny, nz);
      const TippingAngles search = tipping_search(nx, ny, nz);
      EXPECT_TRUE(t.angles.alpha == search.alpha && t.angles.beta == search.beta) << t.angles.alpha;
      continue;
    }
    for (test::OwnedMesh* m : {&p, &b}) tip(m->x, m->y, m->z, t.angles.alpha, t.angles.beta);
    const Vec3 n = element_normal(b.view(), 0);  // the binder is one plane
    const double lowest = smallest_element_nz(p.view());
    EXPECT_TRUE(row.undercut || std::hypot(n[0], n[1], n[2] - 1.0) < 1e-9) << n[0] << " " << n[1];
    EXPECT_NEAR(lowest, row.undercut ? limit + 0.008 : 1.0, row.undercut ? 0.008 : 1e-9);
    const double off = std::hypot(t.angles.alpha - row.tilt_x * deg, t.angles.beta - row.tilt_y * deg);
    EXPECT_TRUE(row.turn_z != 0 || off < 1e-12) << off;
  }
}


}  // namespace
}  // namespace trevo
