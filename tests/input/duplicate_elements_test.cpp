// Part 2.2, Duplicate elements: marks and list of find_duplicate_elements.
#include "input/duplicate_elements.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace trevo {
namespace {

// Elements given row by row (4 corners, a triangle repeats corner 3), stored column-major.
std::vector<int32_t> duplicates_of(const std::vector<std::array<int32_t, 4>>& elements, std::vector<int32_t> corners) {
  const auto ne = static_cast<int32_t>(elements.size());
  std::vector<int32_t> conn(4 * elements.size());
  for (size_t e = 0; e < elements.size(); ++e) {
    for (size_t k = 0; k < 4; ++k) conn[k * elements.size() + e] = elements[e][k];
  }
  std::vector<int32_t> list(elements.size(), -5);
  const int32_t count = find_duplicate_elements(conn, ne, corners, ne, list);
  list.resize(static_cast<size_t>(count));
  return list;
}

// Part 2.2 edge case: the same three corners in any order; the first of the pair goes.
TEST(DuplicateElements, TrianglesWithTheSameCornersInAnyOrder) {
  EXPECT_EQ(duplicates_of({{4, 5, 6, 6}, {6, 4, 5, 5}}, {3, 3}), std::vector<int32_t>{0});
  EXPECT_EQ(duplicates_of({{4, 5, 6, 6}, {5, 6, 4, 4}, {6, 5, 4, 4}}, {3, 3, 3}), (std::vector<int32_t>{0, 1}));
}

TEST(DuplicateElements, QuadrilateralsWithTheSameCornersInAnyOrder) {
  EXPECT_EQ(duplicates_of({{0, 1, 2, 3}, {3, 2, 1, 0}, {2, 3, 0, 1}}, {4, 4, 4}), (std::vector<int32_t>{0, 1}));
}

TEST(DuplicateElements, DifferentCornerCountSumOrCornerIsNoPair) {
  EXPECT_TRUE(duplicates_of({{0, 1, 2, 2}, {0, 1, 2, 3}}, {3, 4}).empty());   // k differs
  EXPECT_TRUE(duplicates_of({{0, 1, 2, 3}, {0, 1, 2, 4}}, {4, 4}).empty());   // sum differs
  EXPECT_TRUE(duplicates_of({{0, 1, 2, 2}, {0, 1, 3, 3}}, {3, 3}).empty());
  EXPECT_TRUE(duplicates_of({{0, 1, 2, 2}}, {3}).empty());  // the last element is never a duplicate
}

// Elements with a repeated corner: i's distinct first k-1 numbers must lie among j's corners,
// with the same k and sum: (1,1,2,4) and (1,2,5,0) pair up ({1,2}, sums 8); so do (1,2,4,1)
// and (2,1,4,1) ({1,2,4}, sums 8).
TEST(DuplicateElements, RepeatedCornersFollowTheSubsetRule) {
  EXPECT_EQ(duplicates_of({{1, 1, 2, 4}, {1, 2, 5, 0}}, {4, 4}), std::vector<int32_t>{0});
  EXPECT_EQ(duplicates_of({{1, 2, 4, 1}, {2, 1, 4, 1}}, {4, 4}), std::vector<int32_t>{0});
  EXPECT_TRUE(duplicates_of({{1, 1, 2, 4}, {1, 3, 5, 0}}, {4, 4}).empty());  // 2 is not a corner of j
}

}  // namespace
}  // namespace trevo
