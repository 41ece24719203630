// Reading the process controls (defaults, one pass over the file, element values from the
// material table) and the feature lines.
#include "input/controls.h"

#include <algorithm>

namespace trevo {

namespace {

const Keyword kDrawbead("DRAWBEAD"), kContratx("CONTRATX"), kContraty("CONTRATY"), kFriction("FRICTION"),
    kBhforce("BHFORCE"), kHolforce("HOLFORCE"), kCortrol("CORTROL"), kMethod("METHOD"), kOffset("OFFSET"),
    kAutonoml("AUTONOML"), kManunoml("MANUNOML"), kStabiliz("STABILIZ"), kMaterial("MATERIAL"),
    kFeatline("FEATLINE"), kFtlnnode("FTLNNODE");

constexpr std::array<double, kMaterialColumns> kMaterialPreset{0.001, 600.0, 0.22, 0.0, 1.0, 1.0, 1.0, 1.0};
constexpr int kMaterialValueColumn = 11;
constexpr int kFeatureNodesPerLine = 7;

// The defaults of every control; drawbead and contour rows not given stay 0 and the
// material rows start from the preset.
void set_defaults(RunSettings& s, ProcessArrays& arrays) {
  s.friction1 = 0.2;
  s.friction2 = 0.13;
  s.bhforce = 0.0;
  s.holforce = 0.0;
  s.pad_coefficient = 0.2;
  s.iteration_limit = 300;
  s.displacement_tolerance = 0.0001;
  s.min_relax = 0.1;
  s.max_relax = 1.0;
  s.force_tolerance = 2.0;
  if (s.method != 3) s.method = 1;
  s.offset = 0.0;
  s.autonoml = 0;
  s.stabiliz = {1.0, 1.0};
  for (std::span<double> column : arrays.drawbead) std::fill(column.begin(), column.end(), 0.0);
  std::fill(arrays.contratx_int.begin(), arrays.contratx_int.end(), 0);
  std::fill(arrays.contratx_real.begin(), arrays.contratx_real.end(), 0.0);
  std::fill(arrays.contraty_int.begin(), arrays.contraty_int.end(), 0);
  std::fill(arrays.contraty_real.begin(), arrays.contraty_real.end(), 0.0);
  const std::size_t rows = arrays.material.size() / kMaterialColumns;
  for (std::size_t c = 0; c < kMaterialColumns; ++c) {
    std::fill_n(arrays.material.begin() + static_cast<std::ptrdiff_t>(c * rows), rows, kMaterialPreset[c]);
  }
}

// The 0-based row named by the index that opens DRAWBEAD and CONTRATX/Y lines.
std::size_t read_row_index(RecordValues& values, int32_t rows) {
  const int32_t index = values.required_int();
  if (index < 1 || index > rows) values.fail();
  return static_cast<std::size_t>(index - 1);
}

void read_contour_row(RecordValues& values, int32_t rows, std::span<int32_t> integers, std::span<double> reals) {
  const std::size_t row = read_row_index(values, rows);
  values.update(integers[row]);
  values.update(reals[row]);
}

// One MATERIAL line into the next row; returns whether it is of the second form.
bool read_material_row(const Record& record, std::size_t row, std::span<double> table, const ReadErrorReport& error) {
  const std::size_t rows = table.size() / kMaterialColumns;
  const bool first_form = record.column(9) == ' ' && record.column(10) == ' ';
  if (!first_form) RecordValues(record, 9, error, 10).required_int();  // the form's integer, not used further
  RecordValues values(record, kMaterialValueColumn, error);
  const std::size_t columns = first_form ? 7 : kMaterialColumns;
  for (std::size_t c = 0; c < columns; ++c) values.update(table[c * rows + row]);
  return !first_form;
}

// One line: the values of the first control keyword that matches, tested in a fixed order.
// Returns true for a MATERIAL line of the second form.
bool read_control_line(const Record& record, RunSettings& s, ProcessArrays& arrays, std::size_t& material_row,
                       const ReadErrorReport& error) {
  RecordValues values(record, kValueColumn, error);
  if (record.is(kDrawbead)) {
    const std::size_t row = read_row_index(values, s.drawbead_count);
    for (std::span<double> column : arrays.drawbead) values.update(column[row]);
  } else if (record.is(kContratx)) {
    read_contour_row(values, s.contratx_count, arrays.contratx_int, arrays.contratx_real);
  } else if (record.is(kContraty)) {
    read_contour_row(values, s.contraty_count, arrays.contraty_int, arrays.contraty_real);
  } else if (record.is(kFriction)) {
    values.update(s.friction1);
    values.update(s.friction2);
  } else if (record.is(kBhforce)) {
    values.update(s.bhforce);
  } else if (record.is(kHolforce)) {
    values.update(s.holforce);
    values.update(s.pad_coefficient);
  } else if (record.is(kCortrol)) {
    values.update(s.iteration_limit);
    values.update(s.displacement_tolerance);
    values.update(s.min_relax);
    values.update(s.max_relax);
    values.update(s.force_tolerance);
  } else if (record.is(kMethod)) {
    if (s.method != 3) values.update(s.method);  // a method of 3 chosen before is kept
  } else if (record.is(kOffset)) {
    values.update(s.offset);
  } else if (record.is(kAutonoml)) {
    values.update(s.autonoml);
  } else if (record.is(kManunoml)) {
    double second = -s.manunoml[1];
    values.update(s.manunoml[0]);
    if (values.update(second)) s.manunoml[1] = -second;  // stored with its sign reversed
  } else if (record.is(kStabiliz)) {
    values.update(s.stabiliz[0]);
    values.update(s.stabiliz[1]);
  } else if (record.is(kMaterial) && material_row < arrays.material.size() / kMaterialColumns) {
    return read_material_row(record, material_row++, arrays.material, error);
  }
  return false;
}

}  // namespace

void read_controls(const KeywordFile& file, RunSettings& settings, ProcessArrays& arrays,
                   std::span<const int32_t> element_material, std::span<double> element_value, Reporter& reporter) {
  set_defaults(settings, arrays);
  const ReadErrorReport error{reporter};
  std::size_t material_row = 0;
  bool second_form = false;
  for (std::size_t i = 0; i < file.size(); ++i) {
    if (read_control_line(file[i], settings, arrays, material_row, error)) second_form = true;
  }
  if (!second_form) return;
  // A material table of the second form carries the sheet thickness in column 8: it
  // replaces the element value of every element, by the element's material row.
  const std::size_t rows = arrays.material.size() / kMaterialColumns;
  for (std::size_t e = 0; e < element_value.size(); ++e) {
    element_value[e] = arrays.material[(kMaterialColumns - 1) * rows + static_cast<std::size_t>(element_material[e])];
  }
}

namespace {

// The node numbers of one FTLNNODE line (count of them) appended to the buffer, renumbered.
void read_feature_nodes(const Record& record, int32_t count, const NodeRenumbering& renumbering, int32_t node_count,
                        std::vector<int32_t>& buffer, const ReadErrorReport& error) {
  RecordValues values(record, kValueColumn, error);
  for (int32_t j = 0; j < count; ++j) {
    const int32_t number = values.required_int();
    if (number < 1 || number > renumbering.nodes_read) values.fail();
    const int32_t node = renumbering.renumbered(number - 1);
    if (node >= node_count) values.fail();
    buffer.push_back(node);
  }
}

}  // namespace

FeatureLines read_feature_lines(const KeywordFile& file, const NodeRenumbering& renumbering, int32_t node_count,
                                Reporter& reporter) {
  const ReadErrorReport error{reporter};
  FeatureLines lines;
  std::vector<int32_t> buffer;
  buffer.reserve(kFeatureLineBuffer);
  for (std::size_t i = 0; i < file.size(); ++i) {
    const Record header = file[i];
    if (!header.is(kFeatline)) continue;
    RecordValues values(header, kValueColumn, error);
    values.required_int();  // the identifier, not used
    const int32_t n = values.required_int();
    if (n > kFeatureLineBuffer) values.fail();
    if (n < 2) continue;
    // floor((n - 1) / 7) lines of seven, then one line with the rest (1 to 7).
    const int32_t full_lines = (n - 1) / kFeatureNodesPerLine;
    const int32_t rest = n - kFeatureNodesPerLine * full_lines;
    buffer.clear();
    for (int32_t line = 0; line <= full_lines && i + 1 < file.size(); ++line) {
      const Record next = file[++i];
      if (!next.is(kFtlnnode)) continue;
      read_feature_nodes(next, line < full_lines ? kFeatureNodesPerLine : rest, renumbering, node_count, buffer, error);
    }
    if (buffer.size() < 2) continue;
    lines.node_counts.push_back(static_cast<int32_t>(buffer.size()));
    lines.nodes.insert(lines.nodes.end(), buffer.begin(), buffer.end());
  }
  return lines;
}

}  // namespace trevo
