// No result file carries a number that is not finite: no NaN, no Infinity.
// Each result writer hands the reals it is about to write to require_finite() before it
// writes anything of its file; the first one that is not finite (or, for the 4-byte reals
// of the post file, beyond the single-precision range) throws NonFiniteResult naming the
// stream, and the driver stops the run with a message naming the file.
#pragma once
#include <cmath>
#include <cstddef>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "core/real_limits.h"

namespace trevo {

struct NonFiniteResult {
  const std::ostream* file = nullptr;  // the stream the writer was given
  std::string quantity;                // what the value is, e.g. "thickness of element"
  std::size_t index = 0;               // 0-based entry of the value
  double value = 0.0;
  std::string name;                    // the file's name, where the writer's caller knows it
};

// Throws NonFiniteResult for the first value that is not finite or exceeds limit in magnitude;
// first_index numbers the entries (a writer checking one element's values passes its number).
inline void require_finite(const std::ostream& out, std::string_view quantity, std::span<const double> values,
                           double limit = kDoubleLimit, std::size_t first_index = 0) {
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (!(std::fabs(values[i]) <= limit))
      throw NonFiniteResult{&out, std::string(quantity), first_index + i, values[i], {}};
  }
}

// The three coordinates of a set of points ("x of node" and so on).
inline void require_finite_points(const std::ostream& out, std::span<const double> x, std::span<const double> y,
                                  std::span<const double> z, double limit = kDoubleLimit) {
  require_finite(out, "x of node", x, limit);
  require_finite(out, "y of node", y, limit);
  require_finite(out, "z of node", z, limit);
}

}  // namespace trevo
