// Tests of Part 7.4 (Blank summary): area, weight, least rectangle and the printout.
#include "output/blank_summary.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "../test_mesh.h"

namespace trevo {
namespace {

using test::make_grid;

// Part 7.4 Edge cases: one 100 mm x 50 mm rectangle of thickness 1 gives A = 5000, W = 0.0395,
// rectangle area 5000 and angle 0.
TEST(BlankSummary, Rectangle100By50) {
  auto g = make_grid(1, 1, 100.0, 50.0);
  const BlankSummary s = blank_summary(g.view(), std::vector<double>{1.0});
  EXPECT_DOUBLE_EQ(s.area, 5000.0);
  EXPECT_DOUBLE_EQ(s.weight, 0.0395);
  EXPECT_DOUBLE_EQ(s.rectangle_area, 5000.0);
  EXPECT_EQ(s.rectangle_angle, 0);
  EXPECT_DOUBLE_EQ(s.rectangle_weight, 0.0395);
}

// Part 7.4 Edge cases: the rectangle turned by 30 degrees counter-clockwise gives the
// rectangle area 5000 at 60 degrees, the turn that brings it back to the axes.
TEST(BlankSummary, RectangleRotated30DegreesGivesAngle60) {
  auto g = make_grid(4, 2, 25.0, 25.0);  // the same rectangle in 8 elements
  const double a = 30.0 * 0.0174532925199433;
  for (size_t n = 0; n < g.x.size(); ++n) {
    const double u = g.x[n] - 50.0, v = g.y[n] - 25.0;
    g.x[n] = std::cos(a) * u - std::sin(a) * v + 7.0;
    g.y[n] = std::sin(a) * u + std::cos(a) * v - 3.0;
  }
  const BlankSummary s = blank_summary(g.view(), std::vector<double>(8, 1.0));
  EXPECT_NEAR(s.area, 5000.0, 1e-9);
  EXPECT_NEAR(s.weight, 0.0395, 1e-12);
  EXPECT_NEAR(s.rectangle_area, 5000.0, 1e-8);
  EXPECT_EQ(s.rectangle_angle, 60);
}

// Part 7.4 steps 1-2: a triangle (fourth corner = third) uses the same formula; the
// weight weighs each element by its own thickness, the rectangle by element 1's.
TEST(BlankSummary, TriangleAreaAndThicknessWeights) {
  auto m = test::make_mesh({{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}}, {{0, 1, 2, 2}, {0, 2, 3, 3}});
  const BlankSummary s = blank_summary(m.view(), std::vector<double>{1.0, 3.0});
  EXPECT_DOUBLE_EQ(s.area, 100.0);
  EXPECT_DOUBLE_EQ(s.weight, (50.0 * 1.0 + 50.0 * 3.0) * 0.0079 / 1000.0);
  EXPECT_DOUBLE_EQ(s.rectangle_weight, 100.0 * 1.0 * 0.0079 / 1000.0);
}

// Part 7.4 step 4: G14.8 layout, console first framed by blank lines, then the report framed the same way.
TEST(BlankSummary, PrintoutLayout) {
  BlankSummary s;
  s.area = 5000.0;
  s.weight = 0.0395;
  s.rectangle_area = 5000.0;
  s.rectangle_angle = 60;
  std::ostringstream console, report;
  Reporter reporter(console, &report);
  print_blank_summary(s, reporter);
  const std::string expected =
      "\n"
      " Area of the blank is 5000.0000    sq.mm.\n"
      " Weight of the blank is0.39500000E-01 kilogram\n"
      " Area of the blank least rectangle is 5000.0000    sq.mm.\n"
      "counter-rotate 60 degree\n"
      "\n";
  EXPECT_EQ(console.str(), expected);
  EXPECT_EQ(report.str(), expected);
}

}  // namespace
}  // namespace trevo
