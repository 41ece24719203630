// The largest magnitudes the result files can hold: an 8-byte real (the formatted files) and a
// 4-byte real (the post file). A value beyond them is no result, whatever produced it.
#pragma once
#include <limits>

namespace trevo {

inline constexpr double kDoubleLimit = std::numeric_limits<double>::max();
inline constexpr double kSingleLimit = std::numeric_limits<float>::max();

}  // namespace trevo
