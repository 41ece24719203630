// Nodes whose Newton increments keep reversing (see increment_reversals.h).
#include "solver/increment_reversals.h"

#include <cmath>

namespace trevo {

void count_increment_reversals(std::span<const double> previous, std::span<const double> dU,
                               std::span<int32_t> reversals) {
  for (std::size_t i = 0; i < reversals.size(); ++i) {
    const double px = previous[2 * i], py = previous[2 * i + 1], x = dU[2 * i], y = dU[2 * i + 1];
    if (px * x + py * y < -0.5 * std::hypot(px, py) * std::hypot(x, y)) ++reversals[i];
  }
}

bool keeps_reversing(const Mesh& part, int32_t e, int32_t corners, std::span<const int32_t> reversals) {
  for (int32_t k = 0; k < corners; ++k) {
    if (reversals[part.node(e, k)] >= kReversalsToStiffen) return true;
  }
  return false;
}

}  // namespace trevo
