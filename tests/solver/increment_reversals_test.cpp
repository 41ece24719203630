// Tests of the nodes whose increments keep reversing (a departure recorded
// in docs/decisions.md). Spec: Part 4.2 (the metric G), Part 4.4 (element matrices)
#include "solver/increment_reversals.h"

#include <gtest/gtest.h>

#include <vector>

#include "../test_mesh.h"

namespace trevo {
namespace {

// A node counts when its increment turns by more than 120 degrees; a smaller turn, a node without a
// previous increment and one without a new increment do not count.
TEST(IncrementReversals, CountTurnsOfMoreThan120Degrees) {
  const std::vector<double> previous = {1.0, 0.0, 1.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0, 0.0};
  const std::vector<double> dU = {-2.0, 0.1, -0.4, 0.8, -0.6, 0.8, 1.0, 1.0, 0.0, 0.0};
  std::vector<int32_t> reversals = {0, 0, 4, 0, 0};
  count_increment_reversals(previous, dU, reversals);
  EXPECT_EQ(reversals[0], 1);  // nearly opposite
  EXPECT_EQ(reversals[1], 0);  // 117 degrees
  EXPECT_EQ(reversals[2], 5);  // 127 degrees, added to the count so far
  EXPECT_EQ(reversals[3], 0);  // no previous increment
  EXPECT_EQ(reversals[4], 0);  // no new increment
}

// An element keeps reversing once one of its corners has reversed kReversalsToStiffen times; a triangle
// looks at its three corners only.
TEST(IncrementReversals, ElementKeepsReversingOnceACornerDoes) {
  test::OwnedMesh m = test::make_mesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 1, 0}},
                                      {{0, 1, 2, 3}, {1, 4, 2, 2}});
  const Mesh part = m.view();
  std::vector<int32_t> reversals(5, kReversalsToStiffen - 1);
  EXPECT_FALSE(keeps_reversing(part, 0, 4, reversals));
  EXPECT_FALSE(keeps_reversing(part, 1, 3, reversals));
  reversals[3] = kReversalsToStiffen;  // a corner of the quadrilateral only
  EXPECT_TRUE(keeps_reversing(part, 0, 4, reversals));
  EXPECT_FALSE(keeps_reversing(part, 1, 3, reversals));
  reversals[4] = kReversalsToStiffen;
  EXPECT_TRUE(keeps_reversing(part, 1, 3, reversals));
}

}  // namespace
}  // namespace trevo
