// Spec: Part 5.2 (Membrane unfolding): relaxation schedule and exit tests.
#include "restraint/unfolding_schedule.h"

#include <gtest/gtest.h>

namespace trevo {
namespace {

TEST(PreUnfolding, StartRelaxationBands) {
  EXPECT_EQ(pre_unfolding_start_relaxation(-0.8), 0.1);
  EXPECT_EQ(pre_unfolding_start_relaxation(-0.7), 0.1);
  EXPECT_EQ(pre_unfolding_start_relaxation(-0.6), 0.15);
  EXPECT_EQ(pre_unfolding_start_relaxation(-0.4), 0.2);
  EXPECT_EQ(pre_unfolding_start_relaxation(0.1), 0.25);
  EXPECT_EQ(pre_unfolding_start_relaxation(1.0), 0.3);  // Part 5.2 edge case: a flat part gives r0 = 0.3
}

TEST(PreUnfolding, RelaxationFollowsAdpCappedByMaximum) {
  EXPECT_EQ(pre_unfolding_relaxation(150.0, 0.25, 1.0), 0.25);  // ADP >= 100 keeps the previous
  EXPECT_EQ(pre_unfolding_relaxation(80.0, 0.25, 1.0), 0.15);
  EXPECT_EQ(pre_unfolding_relaxation(30.0, 0.25, 1.0), 0.2);
  EXPECT_EQ(pre_unfolding_relaxation(5.0, 0.25, 1.0), 0.4);
  EXPECT_EQ(pre_unfolding_relaxation(5.0, 0.25, 0.35), 0.35);
}

TEST(PreUnfolding, ExitTestsInOrder) {
  const double tol = 0.5;
  EXPECT_TRUE(pre_unfolding_pass_ends(1, 0.4, 1e5, tol));     // ADP < tol at the first iteration
  EXPECT_FALSE(pre_unfolding_pass_ends(29, 9.0, 10.0, tol));  // < 20 tol but k < 30
  EXPECT_TRUE(pre_unfolding_pass_ends(30, 9.0, 10.0, tol));
  EXPECT_FALSE(pre_unfolding_pass_ends(47, 49.0, 50.0, tol));
  EXPECT_TRUE(pre_unfolding_pass_ends(48, 49.0, 50.0, tol));
  EXPECT_TRUE(pre_unfolding_pass_ends(2, 260.0, 100.0, tol));  // growth above 2.5 times
  EXPECT_FALSE(pre_unfolding_pass_ends(1, 260.0, 100.0, tol));
  EXPECT_TRUE(pre_unfolding_pass_ends(60, 1e4, 1e4, tol));
}

// Part 5.2 edge case: an ADP above the previous one ends the binder-surface loop.
TEST(BinderSurface, GrowingAdpEndsTheLoop) {
  EXPECT_TRUE(binder_surface_ends(2.0, 1.0, 1e-4));
  EXPECT_FALSE(binder_surface_ends(0.5, 1.0, 1e-4));
  EXPECT_TRUE(binder_surface_ends(0.0009, 1.0, 1e-4));
}

}  // namespace
}  // namespace trevo
