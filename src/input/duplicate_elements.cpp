// Marks and lists the duplicate elements of the part mesh in one backward sweep.
#include "input/duplicate_elements.h"

#include <algorithm>
#include <array>
#include <bit>
#include <unordered_set>

#include "core/mesh.h"

namespace trevo {

namespace {

// A corner-number set of the duplicate rule with the element's corner count k and
// corner-number sum: up to 3 distinct numbers, sorted, padded with kNone.
struct CornerSet {
  int32_t corners = 0;
  int64_t sum = 0;
  std::array<int32_t, 3> nodes{kNone, kNone, kNone};
  bool operator==(const CornerSet& other) const = default;
};

struct CornerSetHash {
  std::size_t operator()(const CornerSet& s) const {
    uint64_t h = static_cast<uint64_t>(s.sum) * 0x9E3779B97F4A7C15ULL + static_cast<uint64_t>(s.corners);
    for (int32_t n : s.nodes) h = (h ^ static_cast<uint32_t>(n)) * 0xBF58476D1CE4E5B9ULL;
    return static_cast<std::size_t>(h ^ (h >> 31));
  }
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
// A scan over every later element is quadratic; a backward sweep with a hash set of the
// later elements' corner subsets (with k and sum) gives the same marks: i's distinct
// first k-1 numbers S must be a subset of j's distinct corners T. Subsets of T of size k-1 are
// enough unless some element has a repeated number among its first k-1 corners.
void mark_duplicates(std::span<const int32_t> conn, int64_t ld, std::span<const int32_t> corners, int32_t elements,
                     std::span<int32_t> marks) {
  bool repeated = false;
  for (int64_t e = 0; e < elements && !repeated; ++e) {
    const int k = corners[static_cast<std::size_t>(e)];
    repeated = distinct_corners(conn, ld, e, k - 1).size < k - 1;
  }
  std::unordered_set<CornerSet, CornerSetHash> later;
  later.reserve(static_cast<std::size_t>(elements) * (repeated ? 14 : 4));
  for (int64_t e = elements - 1; e >= 0; --e) {
    const int k = corners[static_cast<std::size_t>(e)];
    const int64_t sum = corner_sum(conn, ld, e, k);
    const DistinctCorners first = distinct_corners(conn, ld, e, k - 1);
    CornerSet key{k, sum};
    std::copy_n(first.nodes.begin(), first.size, key.nodes.begin());
    marks[static_cast<std::size_t>(e)] = later.contains(key) ? 1 : 0;

    const DistinctCorners all = distinct_corners(conn, ld, e, k);
    for (unsigned mask = 1; mask < (1u << all.size); ++mask) {
      const int size = std::popcount(mask);
      if (size > k - 1 || (!repeated && size != k - 1)) continue;
      CornerSet subset{k, sum};
      int next = 0;
      for (int b = 0; b < all.size; ++b) {
        if (mask & (1u << b)) subset.nodes[static_cast<std::size_t>(next++)] = all.nodes[static_cast<std::size_t>(b)];
      }
      later.insert(subset);
    }
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
