// Finds the duplicate elements of the part mesh and lists them; of each duplicate pair
// the earlier element is the one listed (and deleted). Element numbers, corner numbers and
// the listed ordinals are 0-based. conn is column-major with leading dimension `leading`
// (corner k of element e at conn[k * leading + e]); corners holds 3 or 4 per element.
// list (at least `elements` entries) first takes the marks, then the increasing ordinals of
// the duplicates at its start; returns their number. The last element is never a duplicate.
#pragma once
#include <cstdint>
#include <span>

namespace trevo {

int32_t find_duplicate_elements(std::span<const int32_t> conn, int64_t leading, std::span<const int32_t> corners,
                                int32_t elements, std::span<int32_t> list);

}  // namespace trevo
