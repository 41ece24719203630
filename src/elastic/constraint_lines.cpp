// Counting and reading the constraint lines.
#include "elastic/constraint_lines.h"

#include <algorithm>

#include "fortran/list_input.h"

namespace trevo {

int32_t count_constraint_lines(std::span<const ConstraintLine> lines, int axis) {
  return static_cast<int32_t>(
      std::count_if(lines.begin(), lines.end(), [axis](const ConstraintLine& l) { return l.axis == axis; }));
}

int64_t read_constraint_lines(std::span<const ConstraintLine> lines, int axis, const ConstraintRows& rows) {
  std::fill(rows.node.begin(), rows.node.end(), 0);
  std::fill(rows.value.begin(), rows.value.end(), 0.0);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].axis != axis) continue;
    fortran::ListInput input(lines[i].values);
    int32_t index = 0;
    if (input.next_int(index) != fortran::ListStatus::value || index < 1 ||
        index > static_cast<int64_t>(rows.node.size()))
      return static_cast<int64_t>(i);
    const auto row = static_cast<std::size_t>(index - 1);
    // Missing values at the end leave the row as it is, as in the process-control reader.
    const fortran::ListStatus node = input.next_int(rows.node[row]);
    const fortran::ListStatus value = node == fortran::ListStatus::error ? node : input.next_real(rows.value[row]);
    if (value == fortran::ListStatus::error) return static_cast<int64_t>(i);
  }
  return -1;
}

}  // namespace trevo
