// The binder-mesh preparation: the part mesh's topology tools applied to the binder, silently.
#include "prepare/binder_preparation.h"

#include <algorithm>
#include <cmath>

#include "prepare/model_checks.h"
#include "prepare/topology.h"

namespace trevo {

double characteristic_length(const Mesh& binder) {
  double sum = 0.0;
  for (int32_t e = 0; e < binder.ne; ++e) {
    const int corners = element_corners(binder, e);
    double perimeter = 0.0;
    for (int k = 0; k < corners; ++k) {
      const int32_t a = binder.node(e, k), b = binder.node(e, (k + 1) % corners);
      const double dx = binder.x[b] - binder.x[a], dy = binder.y[b] - binder.y[a], dz = binder.z[b] - binder.z[a];
      perimeter += std::sqrt(dx * dx + dy * dy + dz * dz + 1e-80);
    }
    sum += corners == 3 ? perimeter / 3.0 : perimeter * 0.25;
  }
  return 0.2 * sum / (binder.ne + 1e-10);
}

double prepare_binder(Mesh& binder, std::span<int32_t> edges, std::span<int32_t> neighbours,
                      std::span<int32_t> node_table, std::span<int32_t> boundary_flag) {
  tool_corner_counts(binder, binder.corners);
  edge_table(binder, edges);
  edge_neighbours(edges, binder.ne, binder.nn, neighbours);
  // The orientation of the part's orientation check, without messages. Its seed rule
  // (largest nz, first on ties, whatever the sign) lets any binder element seed a region,
  // also a vertical or downward one; a region whose sweeps end takes its new seed at once
  // instead of after NEb + 100 empty sweeps, with the same result.
  orient_regions(binder, neighbours);
  const double c = characteristic_length(binder);
  // The free-edge pass: its per-node table would serve a flanging procedure that follows the
  // binder's free edges; trevo's flanging tipping uses the binder's mean normal instead
  // (prepare/flanging_tipping.h), so the table stays cleared.
  std::fill(node_table.begin(), node_table.begin() + binder.nn, 0);
  const size_t ne = static_cast<size_t>(binder.ne);
  for (int32_t e = 0; e < binder.ne; ++e) {
    boundary_flag[e] = kNone;
    for (int k = 0; k < binder.corners[e]; ++k) {
      if (neighbours[k * ne + e] == kNone) boundary_flag[e] = e;
    }
  }
  return c;
}

}  // namespace trevo
