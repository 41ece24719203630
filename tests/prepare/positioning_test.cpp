// Placing the part for the iteration: tipping, levelling and the geometry blend.
#include "prepare/positioning.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>

#include "../test_mesh.h"
#include "fortran/edit.h"
#include "prepare/element_normal.h"
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

double number_after(const std::string& path, const std::string& key) {
  std::ifstream file(path);
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const size_t at = text.find("\"" + key + "\":");
  EXPECT_NE(at, std::string::npos) << key << " in " << path;
  return at == std::string::npos ? 0.0 : std::stod(text.substr(at + key.size() + 3));
}

// cup_tilted (15 deg about x, then 10 about y) and box_tilted (turned about z, then 20 about y): walls
// facing down to nz -0.3, vertical (nz 0) again afterwards.
TEST(Positioning, TiltedPartsAreTippedBackToTheirCanonicalPose) {
  for (const std::string name : {"cup_tilted", "box_tilted"})
    for (const bool automatic : {true, false}) {
      const std::string ref = std::string(TREVO_SHARED_DIR) + "/validation/generated/" + name;
      const double tilt_x = number_after(ref + ".ref.json", "tilt_x_deg"), deg = 3.1415926535898 / 180.0;
      const double tilt_y = number_after(ref + ".ref.json", "tilt_y_deg");
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
      EXPECT_NEAR(m.s.draw_depth, number_after(ref + ".ref.json", "depth"), 1e-6);
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

}  // namespace
}  // namespace trevo
