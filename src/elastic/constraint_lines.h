// The CONTRATX / CONTRATY lines as the elastic approximation method reads them: counted
// over the keyword file's records, then read again into rows (index, node, value). The node
// is the part's 1-based internal node number; the value is the blank position's offset
// from the part coordinate (mm).
#pragma once
#include <cstdint>
#include <span>
#include <string_view>

namespace trevo {

// One constraint record: its direction and its value field (columns 10 to 200).
struct ConstraintLine {
  int axis = 0;                 // 0: CONTRATX (X), 1: CONTRATY (Y)
  std::string_view values;      // "index node value", free form
};

// Rows of one direction; count sized by count_constraint_lines. A row no line names keeps
// node 0 (no node) and value 0.
struct ConstraintRows {
  std::span<int32_t> node;      // 1-based internal node number
  std::span<double> value;
};

int32_t count_constraint_lines(std::span<const ConstraintLine> lines, int axis);

// Reads the lines of one direction into rows (row = index). Returns the position in lines of
// the first line that cannot be read (index outside 1..count, or not a number), or -1.
int64_t read_constraint_lines(std::span<const ConstraintLine> lines, int axis, const ConstraintRows& rows);

}  // namespace trevo
