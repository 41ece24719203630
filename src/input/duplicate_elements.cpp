// Marks and lists the duplicate elements of the part mesh from one sorted list of corner subsets.
#include "input/duplicate_elements.h"

#include <algorithm>
#include <array>
#include <bit>
#include <limits>
#include <tuple>
#include <utility>
#include <vector>

#include "core/mesh.h"

namespace trevo {

namespace {

// A corner-number set of the duplicate rule with the element's corner count k and
// corner-number sum: up to 3 distinct numbers, sorted, padded with kNone; with the element
// it was taken from.
struct CornerSet {
  int64_t sum = 0;
  std::array<int32_t, 3> nodes{kNone, kNone, kNone};
  int32_t corners = 0;
  int32_t element = 0;
  auto key() const { return std::tie(sum, nodes, corners); }
};

// The distinct numbers among the first `count` corners of element e, sorted.
struct DistinctCorners {
  std::array<int32_t, 4> nodes{};
  int size = 0;
};

DistinctCorners distinct_corners(std::span<const int32_t> conn, int64_t ld, int64_t e, int count) {
  std::array<int32_t, 4> c{};
  for (int k = 0; k < count; ++k) c[static_cast<std::size_t>(k)] = conn[static_cast<std::size_t>(k * ld + e)];
  // Insertion sort of at most 4 numbers, then each distinct one once.
  for (int a = 1; a < count; ++a) {
    for (int b = a; b > 0 && c[static_cast<std::size_t>(b)] < c[static_cast<std::size_t>(b - 1)]; --b) {
      std::swap(c[static_cast<std::size_t>(b)], c[static_cast<std::size_t>(b - 1)]);
    }
  }
  DistinctCorners d;
  for (int k = 0; k < count; ++k) {
    const int32_t node = c[static_cast<std::size_t>(k)];
    if (d.size == 0 || d.nodes[static_cast<std::size_t>(d.size - 1)] != node) d.nodes[static_cast<std::size_t>(d.size++)] = node;
  }
  return d;
}

int64_t corner_sum(std::span<const int32_t> conn, int64_t ld, int64_t e, int corners) {
  int64_t sum = 0;
  for (int k = 0; k < corners; ++k) sum += conn[static_cast<std::size_t>(k * ld + e)];
  return sum;
}

// The duplicate rule: element i is a duplicate when a later element j has the same corner
// count k, the same sum of its k corner numbers, and each of the first k-1 corners of i is
// among the k corners of j. For elements without repeated corners that is "the same corners
// in any order", so the triangles (5,6,7) and (7,5,6) are a pair; comparing only the first
// k-1 corners of both elements position by position would miss that pair.
// A scan over every later element is quadratic; one sorted list of every element's corner
// subsets (with k and sum) gives the same marks: i's distinct first k-1 numbers S must be a
// subset of the distinct corners T of an element after i, so i is marked when the last element
// listing S comes after i. Subsets of T of size k-1 are enough unless some element has a
// repeated number among its first k-1 corners. A flat list, not a hash set: it is one block
// that goes back to the system once the marks are made, where a hash set's many small nodes
// stayed in the heap for the rest of the run.
void mark_duplicates(std::span<const int32_t> conn, int64_t ld, std::span<const int32_t> corners, int32_t elements,
                     std::span<int32_t> marks) {
  bool repeated = false;
  for (int64_t e = 0; e < elements && !repeated; ++e) {
    const int k = corners[static_cast<std::size_t>(e)];
    repeated = distinct_corners(conn, ld, e, k - 1).size < k - 1;
  }
  std::vector<CornerSet> subsets;
  subsets.reserve(static_cast<std::size_t>(elements) * (repeated ? 14 : 4));
  for (int32_t e = 0; e < elements; ++e) {
    const int k = corners[static_cast<std::size_t>(e)];
    const int64_t sum = corner_sum(conn, ld, e, k);
    const DistinctCorners all = distinct_corners(conn, ld, e, k);
    for (unsigned mask = 1; mask < (1u << all.size); ++mask) {
      const int size = std::popcount(mask);
      if (size > k - 1 || (!repeated && size != k - 1)) continue;
      CornerSet subset{sum, {kNone, kNone, kNone}, k, e};
      int next = 0;
      for (int b = 0; b < all.size; ++b) {
        if (mask & (1u << b)) subset.nodes[static_cast<std::size_t>(next++)] = all.nodes[static_cast<std::size_t>(b)];
      }
      subsets.push_back(subset);
    }
  }
  const auto by_key_then_element = [](const CornerSet& a, const CornerSet& b) {
    return std::pair(a.key(), a.element) < std::pair(b.key(), b.element);
  };
  std::sort(subsets.begin(), subsets.end(), by_key_then_element);
  for (int32_t e = 0; e < elements; ++e) {
    const int k = corners[static_cast<std::size_t>(e)];
    const DistinctCorners first = distinct_corners(conn, ld, e, k - 1);
    CornerSet key{corner_sum(conn, ld, e, k), {kNone, kNone, kNone}, k, std::numeric_limits<int32_t>::max()};
    std::copy_n(first.nodes.begin(), first.size, key.nodes.begin());
    // The entry before the first one past (S, any element) is the last element listing S.
    const auto past = std::upper_bound(subsets.begin(), subsets.end(), key, by_key_then_element);
    const bool later = past != subsets.begin() && std::prev(past)->key() == key.key() && std::prev(past)->element > e;
    marks[static_cast<std::size_t>(e)] = later ? 1 : 0;
  }
}

}  // namespace

int32_t find_duplicate_elements(std::span<const int32_t> conn, int64_t leading, std::span<const int32_t> corners,
                                int32_t elements, std::span<int32_t> list) {
  mark_duplicates(conn, leading, corners, elements, list);
  int32_t count = 0;
  for (int32_t e = 0; e < elements; ++e) {
    if (list[static_cast<std::size_t>(e)] == 1) list[static_cast<std::size_t>(count++)] = e;
  }
  return count;
}

}  // namespace trevo
