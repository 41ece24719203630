// Tests of the geometry blend before the one-step iteration.
// Spec: Part 3.5.
#include "prepare/geometry_blend.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "fortran/edit.h"
#include "prepare/element_normal.h"

namespace trevo {
namespace {

// One quadrilateral (0,0,0) (1,0,0) (1,1,h) (0,1,h): normal (0, -h, 1) / sqrt(1 + h^2).
struct RampPart {
  std::vector<double> x{0, 1, 1, 0}, y{0, 0, 1, 1}, z;
  std::vector<int32_t> conn{0, 1, 2, 3}, corners{4};
  Mesh mesh;
  explicit RampPart(double h) : z{0, 0, h, h} { mesh = Mesh{4, 1, x, y, z, conn, corners}; }
};

// The height at which nz = 1/sqrt(1 + h^2) equals the limit 0.06.
const double kLimitHeight = std::sqrt(1.0 / (0.06 * 0.06) - 1.0);
const double kPassScale = 1.0 - 0.382 * 0.02;  // z factor of one pass with f = 0.02

std::vector<std::string> lines_of(const std::ostringstream& out) {
  std::vector<std::string> lines;
  std::istringstream in(out.str());
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string blend_line(int k, double f, double q, int element) {
  return " " + fortran::edit_i(k, 4) + "    " + fortran::edit_g(f, 16, 7) + fortran::edit_g(q, 16, 7) +
         fortran::edit_i(element, 8);
}

// Part 3.5 edge case: every normal z above 0.06 after the first move -> only the final line, k = 1.
TEST(GeometryBlend, GoodAfterFirstMoveWritesOnlyFinalLineWithK1) {
  RampPart part(0.9 * kLimitHeight);
  std::vector<double> X = part.x, Y = part.y, Zb(4, 7.0);
  std::ostringstream console, report;
  Reporter r(console, &report);
  const BlendResult result = blend_geometry(part.mesh, X, Y, Zb, 0, 0.02, r);
  EXPECT_EQ(result.k, 1);
  EXPECT_TRUE(result.reached);
  EXPECT_EQ(part.z[2], 0.99236 * (0.9 * kLimitHeight));
  const auto lines = lines_of(console);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], blend_line(1, 0.02, result.q, 1));
  EXPECT_EQ(lines[0].substr(0, 25), "    1       0.2000000E-01");
  EXPECT_EQ(report.str(), console.str());
}

// Part 3.5 edge case: quality first above 0.06 in pass 3 -> progress line (k = 1), final line k = 3.
TEST(GeometryBlend, QualityReachedInPassThreeWritesProgressThenFinal) {
  const double h = kLimitHeight / std::pow(kPassScale, 3.5);
  RampPart part(h);
  std::vector<double> X = part.x, Y = part.y, Zb(4, 0.0);
  std::ostringstream console, report;
  Reporter r(console, &report);
  const double q_after_first_move = 1.0 / std::sqrt(1.0 + std::pow(0.99236 * h, 2));
  const BlendResult result = blend_geometry(part.mesh, X, Y, Zb, 0, 0.02, r);
  EXPECT_EQ(result.k, 3);
  EXPECT_GT(result.q, 0.06);
  const auto lines = lines_of(console);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(0, 5), "    1");
  EXPECT_EQ(lines[0], blend_line(1, 0.02, element_normal(RampPart(0.99236 * h).mesh, 0)[2], 1))
      << "progress line shows q before the pass, about " << q_after_first_move;
  EXPECT_EQ(lines[1], blend_line(3, 0.02, result.q, 1));
  EXPECT_EQ(report.str(), console.str());
}

// Part 3.5 edge case: with f = 0.02 each pass moves every node 2 % of the way to its blank
// position and multiplies its z by 0.99236 (after the fixed first move).
TEST(GeometryBlend, EachPassMovesTwoPercentAndScalesZ) {
  const double h = kLimitHeight / std::pow(kPassScale, 1.5);  // needs exactly one pass
  RampPart part(h);
  std::vector<double> X{10, 11, 11, 10}, Y{-5, -5, -4, -4}, Zb(4, 0.0);  // the element shifted: same shape
  std::vector<double> x = part.x, y = part.y, z = part.z;
  for (int i = 0; i < 4; ++i) {  // first move, then one pass with f = 0.02
    x[i] += 0.02 * (X[i] - x[i]);
    y[i] += 0.02 * (Y[i] - y[i]);
    z[i] = 0.99236 * z[i];
    x[i] += 0.02 * (X[i] - x[i]);
    y[i] += 0.02 * (Y[i] - y[i]);
    z[i] = (1.0 - 0.382 * 0.02) * z[i];
  }
  std::ostringstream console;
  Reporter r(console, nullptr);
  const BlendResult result = blend_geometry(part.mesh, X, Y, Zb, 0, 0.02, r);
  EXPECT_EQ(result.k, 1);
  EXPECT_EQ(lines_of(console).size(), 2u);
  EXPECT_NEAR(1.0 - 0.382 * 0.02, 0.99236, 1e-15);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(part.x[i], x[i]) << "node " << i;
    EXPECT_EQ(part.y[i], y[i]) << "node " << i;
    EXPECT_EQ(part.z[i], z[i]) << "node " << i;
  }
}

// Part 3.5 Failure handling: after 200 passes without q > 0.06 the step ends without the final line.
TEST(GeometryBlend, StopsSilentlyAfter200Passes) {
  const double h = 1000.0;
  RampPart part(h);
  std::vector<double> X = part.x, Y = part.y, Zb(4, 0.0);
  std::ostringstream console;
  Reporter r(console, nullptr);
  const BlendResult result = blend_geometry(part.mesh, X, Y, Zb, 0, 0.02, r);
  EXPECT_FALSE(result.reached);
  EXPECT_EQ(result.k, 201);
  EXPECT_EQ(lines_of(console).size(), 1u) << "only the progress line";
  double z = 0.99236 * h;
  for (int pass = 0; pass < 200; ++pass) z = kPassScale * z;
  EXPECT_EQ(part.z[2], z);
}

// Part 3.5 step 1: Zb is cleared without a binder and kept with one.
TEST(GeometryBlend, BlankHeightClearedOnlyWithoutBinder) {
  for (int32_t binder_flag : {0, 1}) {
    RampPart part(1.0);
    std::vector<double> X = part.x, Y = part.y, Zb(4, 3.5);
    std::ostringstream console;
    Reporter r(console, nullptr);
    blend_geometry(part.mesh, X, Y, Zb, binder_flag, 0.02, r);
    for (double zb : Zb) EXPECT_EQ(zb, binder_flag == 0 ? 0.0 : 3.5) << "binder flag " << binder_flag;
  }
}

// Part 3.5: q is the smallest element nz, the first element on ties, printed +1.
TEST(GeometryBlend, ReportsFirstElementOfSmallestNormalZ) {
  // Three identical ramps side by side in x; the second and third are equally steep and steeper.
  std::vector<double> x{0, 1, 1, 0, 2, 3, 3, 2, 4, 5, 5, 4};
  std::vector<double> y{0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1};
  std::vector<double> z{0, 0, 1, 1, 0, 0, 2, 2, 0, 0, 2, 2};
  std::vector<int32_t> conn{0, 4, 8, 1, 5, 9, 2, 6, 10, 3, 7, 11}, corners{4, 4, 4};
  Mesh mesh{12, 3, x, y, z, conn, corners};
  std::vector<double> X = x, Y = y, Zb(12, 0.0);
  std::ostringstream console;
  Reporter r(console, nullptr);
  const BlendResult result = blend_geometry(mesh, X, Y, Zb, 0, 0.02, r);
  EXPECT_EQ(result.element, 1);
  EXPECT_EQ(lines_of(console).back().substr(lines_of(console).back().size() - 8), "       2");
}

}  // namespace
}  // namespace trevo
