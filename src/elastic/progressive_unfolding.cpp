// Seed, front selection, node placement and stages of the progressive unfolding.
#include "elastic/progressive_unfolding.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "elastic/circle_placement.h"
#include "elastic/elastic_checks.h"
#include "fortran/edit.h"

namespace trevo {

namespace {

enum : int32_t { kOutside = 0, kCandidate = 1, kUnfolded = 2 };

// The whole region is relaxed each time its placed nodes have grown by this factor since it
// last was, and once complete; between those stages only the band around each front. The
// band relaxations keep every front's new elements in shape; the whole-region ones spread
// what the bands leave at their held edges over the region before it builds up. The
// whole-region work then stays a fixed multiple of the part's size: 1 / (factor - 1) + 1.
constexpr double kWholeRegionGrowth = 1.1;

constexpr const char* kCompleteLine = "&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&  NN0=";

double space_length(const Mesh& m, int32_t a, int32_t b) {
  const double dx = m.x[a] - m.x[b], dy = m.y[a] - m.y[b], dz = m.z[a] - m.z[b];
  return std::sqrt(dx * dx + dy * dy + dz * dz + 1e-80);
}

double plan_distance(double x, double y, double cx, double cy) {
  return std::sqrt((x - cx) * (x - cx) + (y - cy) * (y - cy) + 1e-80);
}

struct Centre {
  double x = 0.0, y = 0.0;
};

Centre element_centre(const Mesh& m, int32_t e) {
  Centre c;
  for (int k = 0; k < 3; ++k) c.x += m.x[m.node(e, k)] / 3.0, c.y += m.y[m.node(e, k)] / 3.0;
  return c;
}

// D = 0.25 (|c - C0| + 3 max_k |P_k - C0|) in the plan of the part: the centre's distance
// and, weighted three times, how far the element reaches, so that a large element joins
// when all of it lies within the radius.
double distance_measure(const Mesh& m, int32_t e, Centre c0) {
  const Centre c = element_centre(m, e);
  double reach = 0.0;
  for (int k = 0; k < 3; ++k) reach = std::max(reach, plan_distance(m.x[m.node(e, k)], m.y[m.node(e, k)], c0.x, c0.y));
  return 0.25 * (plan_distance(c.x, c.y, c0.x, c0.y) + 3.0 * reach);
}

class Unfolding {
 public:
  Unfolding(ElasticSystem& system, std::span<const int32_t> neighbours, const UnfoldingScratch& s, std::span<double> X,
            std::span<double> Y, Reporter& reporter)
      : part_(system.part), neighbours_(neighbours), s_(s), X_(X), Y_(Y), reporter_(reporter) {}

  // The seed keeps its plan position; its neighbours become candidates.
  void start(int32_t seed) {
    std::fill(s_.state.begin(), s_.state.end(), kOutside);
    std::fill(s_.in_region.begin(), s_.in_region.end(), 0);
    std::fill(s_.placed.begin(), s_.placed.end(), 0);
    std::copy(part_.x.begin(), part_.x.end(), X_.begin());
    std::copy(part_.y.begin(), part_.y.end(), Y_.begin());
    c0_ = element_centre(part_, seed);
    for (int k = 0; k < corner_count(part_, seed); ++k) mark_placed(part_.node(seed, k));
    join(seed);
  }

  // The candidates with D <= radius, by increasing D (the earlier element on equal D),
  // taken off the candidate list.
  std::vector<int32_t> select_front(double radius) {
    std::vector<int32_t> front;
    int32_t kept = 0;
    for (int32_t i = 0; i < candidate_count_; ++i) {
      const int32_t e = s_.candidates[i];
      if (s_.distance[e] <= radius) front.push_back(e);
      else s_.candidates[kept++] = e;
    }
    candidate_count_ = kept;
    std::sort(front.begin(), front.end(), [&](int32_t a, int32_t b) {
      return s_.distance[a] != s_.distance[b] ? s_.distance[a] < s_.distance[b] : a < b;
    });
    return front;
  }

  // Places the new corners of e and joins it to the region.
  void unfold(int32_t e) {
    const int n = corner_count(part_, e);
    for (bool progress = true; progress;) {
      progress = false;
      for (int j = 0; j < n; ++j) {
        if (s_.placed[part_.node(e, j)] != 0) continue;
        int a = 0, b = 0;
        if (!placed_pair(e, j, n, a, b)) continue;
        place(part_.node(e, a), part_.node(e, b), part_.node(e, j));
        progress = true;
      }
    }
    for (int j = 0; j < n; ++j)
      if (s_.placed[part_.node(e, j)] == 0) return;  // cannot happen for an element sharing an edge with the region
    join(e);
  }

  // Every element not yet in the region joins it (all its nodes are placed).
  void join_rest() {
    for (int32_t e = 0; e < part_.ne; ++e)
      if (s_.state[e] != kUnfolded) join(e);
    candidate_count_ = 0;
  }

  int32_t placed_count() const { return placed_count_; }
  int32_t candidate_count() const { return candidate_count_; }
  double farthest_candidate_reach() const {
    double d = 0.0;
    for (int32_t e = 0; e < part_.ne; ++e) d = std::max(d, distance_measure(part_, e, c0_));
    return d;
  }

 private:
  // The two placed corners a, b from which corner j is placed, with j, a, b in the
  // element's own (counter-clockwise) order so that Q lies to the left of A->B. A
  // quadrilateral prefers its two edges at j (the side across is then its diagonal), then
  // the edge after j with the diagonal, then the opposite edge with the diagonal.
  bool placed_pair(int32_t e, int j, int n, int& a, int& b) const {
    auto ok = [&](int p, int q) { return s_.placed[part_.node(e, p % n)] != 0 && s_.placed[part_.node(e, q % n)] != 0; };
    const int options[3][2] = {{j + 1, j + n - 1}, {j + 1, j + 2}, {j + 2, j + 3}};
    for (int o = 0; o < (n == 4 ? 3 : 1); ++o) {
      if (ok(options[o][0], options[o][1])) {
        a = options[o][0] % n, b = options[o][1] % n;
        return true;
      }
    }
    return false;
  }

  void place(int32_t a, int32_t b, int32_t q) {
    const PlacedNode p = place_new_node({X_[a], Y_[a]}, {X_[b], Y_[b]}, space_length(part_, a, b),
                                        space_length(part_, a, q), space_length(part_, b, q));
    if (p.warning != PlacementWarning::none) reporter_.console(std::string(" ") + placement_warning_text(p.warning));
    X_[q] = p.q.X, Y_[q] = p.q.Y;
    mark_placed(q);
  }

  void mark_placed(int32_t node) {
    if (s_.placed[node] == 0) s_.placed[node] = 1, ++placed_count_;
  }

  void join(int32_t e) {
    s_.state[e] = kUnfolded;
    s_.in_region[e] = 1;
    for (int k = 0; k < corner_count(part_, e); ++k) {
      const int32_t m = neighbours_[static_cast<size_t>(k) * part_.ne + e];
      if (m == kNone || s_.state[m] != kOutside) continue;
      s_.state[m] = kCandidate;
      s_.distance[m] = distance_measure(part_, m, c0_);
      s_.candidates[candidate_count_++] = m;
    }
  }

  const Mesh& part_;
  std::span<const int32_t> neighbours_;
  const UnfoldingScratch& s_;
  std::span<double> X_, Y_;
  Reporter& reporter_;
  Centre c0_;
  int32_t placed_count_ = 0, candidate_count_ = 0;
};

// The equations that hold the region in the plane while it grows: both of the seed's first
// node and, of its second node, the one across the edge between them (Y when the edge runs
// more along x). Held, not taken out of each increment afterwards: the turn of the blank
// about a point is free of strain only for an unstrained blank, so an increment made free
// of turn after the solution would strain every element the unfolding left strained, and
// the next increment would turn it back.
std::array<PrescribedDisplacement, 3> seed_support(const Mesh& m, int32_t seed) {
  const int32_t a = m.node(seed, 0), b = m.node(seed, 1);
  const int32_t across = std::fabs(m.x[b] - m.x[a]) >= std::fabs(m.y[b] - m.y[a]) ? 1 : 0;
  return {{{2 * a, 0.0}, {2 * a + 1, 0.0}, {2 * b + across, 0.0}}};
}

// The stage's relaxation: the band around the front, held by the rest of the region; the
// whole region, held by the seed, when asked for, while the band is all of it, or where the
// band meets the rest at a single node, about which it could turn.
void relax_stage(ElasticSystem& system, const UnfoldingScratch& scratch, std::span<const int32_t> front, bool whole,
                 std::span<const PrescribedDisplacement> support, std::span<double> X, std::span<double> Y,
                 const StageControls& controls, int32_t message_level, Reporter& reporter) {
  const Mesh& part = system.part;
  std::vector<int32_t> elements;
  std::vector<PrescribedDisplacement> held;
  if (!whole) {
    elements = band_elements(part, scratch.elements_of_node, scratch.in_region, front, kBandRings, scratch.band_marks);
    const std::vector<int32_t> boundary =
        band_boundary(part, scratch.elements_of_node, scratch.in_region, elements, scratch.band_marks);
    if (boundary.size() >= 2)
      for (int32_t n : boundary) held.push_back({2 * n, 0.0}), held.push_back({2 * n + 1, 0.0});
  }
  if (held.empty()) {
    elements.clear();
    for (int32_t e = 0; e < part.ne; ++e)
      if (scratch.in_region[e] != 0) elements.push_back(e);
    held.assign(support.begin(), support.end());
  }
  subregion_relaxation(system, elements, held, scratch.band_marks, X, Y, controls, message_level, reporter);
}

}  // namespace

double radius_step(const Mesh& part) {
  double sum = 0.0;
  for (int32_t e = 0; e < part.ne; ++e) {
    const int32_t a = part.node(e, 0), b = part.node(e, 1), c = part.node(e, 2);
    sum += (space_length(part, a, b) + space_length(part, b, c) + space_length(part, c, a)) / 3.0;
  }
  return 0.618 * sum / (part.ne + 1e-10);
}

UnfoldingOutcome progressive_unfolding(ElasticSystem& system, std::span<const int32_t> neighbours,
                                       const UnfoldingScratch& scratch, std::span<double> X, std::span<double> Y,
                                       const StageControls& controls, int32_t message_level, Reporter& reporter) {
  const Mesh& part = system.part;
  Unfolding unfolding(system, neighbours, scratch, X, Y, reporter);
  const int32_t seed = unfolding_seed(part, scratch.nz);
  unfolding.start(seed);
  const std::array<PrescribedDisplacement, 3> support = seed_support(part, seed);
  const double step = radius_step(part);
  // The stage limit: enough radius steps for the radius to pass every element, plus one
  // front per element. A part connected across its edges is always complete before it.
  const int64_t stage_limit = static_cast<int64_t>(unfolding.farthest_candidate_reach() / step) + part.ne + 2;
  UnfoldingOutcome out;
  double radius = step;
  // The completion flag: set while nodes are still to be placed; the placement loop ends
  // when it clears.
  bool incomplete = unfolding.placed_count() < part.nn;
  int32_t placed_at_whole_relaxation = unfolding.placed_count();
  while (incomplete && unfolding.candidate_count() > 0 && out.stages < stage_limit) {
    std::vector<int32_t> front = unfolding.select_front(radius);
    if (front.empty()) {
      radius += step;
      ++out.stages;
      continue;
    }
    ++out.stages;
    for (int32_t e : front) {
      unfolding.unfold(e);
      if (unfolding.placed_count() == part.nn) {
        incomplete = false;
        reporter.both(fortran::ListRecord().text(kCompleteLine).integer(out.stages).str());
        break;
      }
    }
    // The front elements the loop left out have every node placed; with the rest of the
    // part they join the region, so the last relaxation covers the whole blank.
    if (!incomplete) unfolding.join_rest();
    const bool whole = !incomplete || unfolding.placed_count() >= kWholeRegionGrowth * placed_at_whole_relaxation;
    if (whole) placed_at_whole_relaxation = unfolding.placed_count();
    relax_stage(system, scratch, front, whole, support, X, Y, controls, message_level, reporter);
  }
  out.placed_nodes = unfolding.placed_count();
  out.complete = !incomplete;
  return out;
}

}  // namespace trevo
