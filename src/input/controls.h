// Reads the process controls and the feature lines of the keyword file.
// Every control has a default; the last line of a keyword wins; values are read in free form
// from column 10 (MATERIAL: from column 11, columns 9-10 deciding the form); a value that
// cannot be read stops the run with "******* Error in the following data *******".
#pragma once
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "core/reporter.h"
#include "core/settings.h"
#include "input/keyword_file.h"
#include "input/mesh_readers.h"

namespace trevo {

inline constexpr int kMaterialColumns = 8;
inline constexpr int kDrawbeadValues = 8;

// The tables of the process controls, laid out by the driver; rows are 0-based.
struct ProcessArrays {
  std::array<std::span<double>, kDrawbeadValues> drawbead;  // value v of DRAWBEAD row r at drawbead[v][r]; drawbead_count rows
  std::span<int32_t> contratx_int;    // contratx_count rows: the integer column of the X table
  std::span<double> contratx_real;    // contratx_count rows: the real column
  std::span<int32_t> contraty_int;    // contraty_count rows (Y table)
  std::span<double> contraty_real;
  std::span<double> material;         // 8 x material_count, column-major: column c of row r at [c * count + r]
};

// Sets the defaults (drawbead and contour rows not given stay 0), resets the method to 1
// unless the punch-direction check chose 3, presets the material rows, reads every control
// line, then replaces the element values (initial thickness) by the sheet thickness in
// column 8 of the material table when a MATERIAL line of the second form was read.
// element_material (0-based rows) and element_value hold the part elements (after the split
// of the badly shaped quadrilaterals: every element of the capacity E). Counts come from the
// settings (keyword scan). A DRAWBEAD, CONTRATX or CONTRATY line without an index, or with an
// index outside 1..count, is a read error: the row it names does not exist.
void read_controls(const KeywordFile& file, RunSettings& settings, ProcessArrays& arrays,
                   std::span<const int32_t> element_material, std::span<double> element_value, Reporter& reporter);

// Accepted feature lines: node counts and one running list of 0-based internal node numbers.
struct FeatureLines {
  std::vector<int32_t> node_counts;
  std::vector<int32_t> nodes;
};

// A feature line is read through a buffer of this many node numbers.
inline constexpr int32_t kFeatureLineBuffer = 500;

// Feature lines (FEATLINE / FTLNNODE). Node numbers in the file are the 1-based positions
// of the SHETNODE lines; they are renumbered by the nodes the second pass dropped as unused
// and must then name one of the node_count kept nodes. A FEATLINE announcing more than 500
// nodes (the buffer), a node number outside
// 1..(node lines) or one that names no kept node is a read error; a FEATLINE announcing fewer
// than 2 nodes is dropped at once without taking the lines after it; lines beyond the end of
// the file contribute nothing; the tables grow with the file (no fixed capacity).
FeatureLines read_feature_lines(const KeywordFile& file, const NodeRenumbering& renumbering, int32_t node_count,
                                Reporter& reporter);

}  // namespace trevo
