// The phases of the elastic approximation method and its scratch layout.
#include "elastic/elastic_method.h"

#include <string>
#include <vector>

#include "core/run_stop.h"
#include "elastic/elastic_checks.h"
#include "elastic/membrane_relaxation.h"
#include "elastic/progressive_unfolding.h"
#include "prepare/matrix_pattern.h"

namespace trevo {

namespace {

constexpr const char* kDataError = "******* Error in the following data *******";

// The method's scratch: the unfolding's per-element and per-node arrays, the node-to-element
// index and, for the final relaxation, its system over the whole part.
struct Scratch {
  UnfoldingScratch unfolding;
  std::span<int32_t> mark;  // ne: orientation propagation
  std::span<int32_t> held_x, held_y;
  ConstraintRows x_rows, y_rows;
  std::span<int32_t> scatter;           // 20 ne
  ElasticSystem system;
};

// The final relaxation's system: matrix pattern, scatter map and vectors over the whole part.
void lay_out_whole_part_system(StageLayout& stage, const Mesh& part, NodeElementIndex elements_of_node, Scratch& s) {
  const int64_t nn = part.nn;
  std::span<int32_t> adjacency_pointer = stage.ints(nn + 1), marker = stage.ints(nn);
  const int64_t entries = node_adjacency_pointer(part, elements_of_node.pointer, elements_of_node.list,
                                                 adjacency_pointer, marker);
  std::span<int32_t> adjacency = stage.ints(entries), own = stage.ints(nn);
  node_adjacency(part, elements_of_node.pointer, elements_of_node.list, adjacency_pointer, adjacency, own, marker);
  ElasticSystem& sys = s.system;
  sys.k.neq = static_cast<int32_t>(2 * nn);
  sys.k.row_start = stage.ints(2 * nn + 1);
  sys.k.diagonal = stage.ints(2 * nn);
  matrix_pattern(adjacency_pointer, adjacency, own, sys.k);
  sys.k.value = stage.reals(upper_matrix_values(nn, entries));
  s.scatter = stage.ints(scatter_map_size(part.ne));
  sys.scatter = s.scatter;
  sys.R = stage.reals(2 * nn);
  sys.dU = stage.reals(2 * nn);
  sys.cg = {stage.reals(2 * nn), stage.reals(2 * nn), stage.reals(2 * nn), stage.reals(2 * nn), stage.reals(2 * nn)};
}

Scratch lay_out(const ElasticMethodInput& in, WorkArray& work, int64_t first_free, Reporter& reporter,
                int32_t x_count, int32_t y_count) {
  const Mesh& part = in.part;
  const int64_t nn = part.nn, ne = part.ne;
  StageLayout stage(work, reporter, first_free);
  Scratch s;
  UnfoldingScratch& u = s.unfolding;
  u.nz = stage.reals(ne);
  u.distance = stage.reals(ne);
  u.state = stage.ints(ne);
  u.in_region = stage.ints(ne);
  u.candidates = stage.ints(ne);
  u.placed = stage.ints(nn);
  s.mark = stage.ints(ne);
  s.held_x = stage.ints(nn);
  s.held_y = stage.ints(nn);
  s.x_rows = {stage.ints(x_count), stage.reals(x_count)};
  s.y_rows = {stage.ints(y_count), stage.reals(y_count)};
  std::span<int32_t> element_pointer = stage.ints(nn + 1);
  std::span<int32_t> element_list = stage.ints(node_element_pointer(part, element_pointer));
  node_element_list(part, element_pointer, element_list);
  u.elements_of_node = {element_pointer, element_list};
  u.band_marks = {stage.ints(nn), stage.ints(ne)};
  s.system.part = part;
  // The stages build systems of their own; only the final relaxation needs one over the whole part.
  if (x_count + y_count > 0) lay_out_whole_part_system(stage, part, u.elements_of_node, s);
  return s;
}

void read_rows(const ElasticMethodInput& in, int axis, const ConstraintRows& rows, Reporter& reporter) {
  const int64_t bad = read_constraint_lines(in.constraint_lines, axis, rows);
  if (bad < 0) return;
  const ConstraintLine& line = in.constraint_lines[static_cast<size_t>(bad)];
  reporter.blank();
  reporter.message(kDataError);
  reporter.message(std::string(line.axis == 0 ? "CONTRATX  " : "CONTRATY  ") + std::string(line.values));
  reporter.blank();
  stop_run();
}

// The outstanding displacement of every constrained equation: the value
// plus the part coordinate minus the unfolded blank position, so that the constraint, once
// fully applied, puts the blank node at its part coordinate plus the value. A node number
// outside the part holds nothing.
std::vector<PrescribedDisplacement> prescribed_displacements(const Mesh& part, const Scratch& s,
                                                             std::span<const double> X, std::span<const double> Y) {
  std::vector<PrescribedDisplacement> out;
  const ConstraintRows* rows[2] = {&s.x_rows, &s.y_rows};
  for (int axis = 0; axis < 2; ++axis) {
    for (size_t i = 0; i < rows[axis]->node.size(); ++i) {
      const int32_t n = rows[axis]->node[i] - 1;
      if (n < 0 || n >= part.nn) continue;
      const double value = rows[axis]->value[i];
      const double outstanding = axis == 0 ? value + part.x[n] - X[n] : value + part.y[n] - Y[n];
      out.push_back({2 * n + axis, outstanding});
    }
  }
  return out;
}

}  // namespace

ElasticMethodResult elastic_approximation_method(const ElasticMethodInput& input, WorkArray& work, int64_t first_free,
                                                 int32_t message_level, Reporter& reporter, std::span<double> X,
                                                 std::span<double> Y) {
  ElasticMethodInput in = input;  // a view: the orientation check changes the part's arrays in place
  const StageControls controls;  // start relaxation 0.6, cap 1.0
  const int32_t x_count = count_constraint_lines(in.constraint_lines, 0);
  const int32_t y_count = count_constraint_lines(in.constraint_lines, 1);
  Scratch s = lay_out(in, work, first_free, reporter, x_count, y_count);
  read_rows(in, 0, s.x_rows, reporter);
  read_rows(in, 1, s.y_rows, reporter);
  element_angle_check(in.part, message_level, reporter);
  orientation_and_overlap_check(in.part, in.neighbours, s.unfolding.nz, s.mark, message_level, reporter);
  // The scatter map follows the orientation the check left.
  if (!s.scatter.empty()) scatter_map(in.part, s.system.k, s.scatter);
  std::fill(s.unfolding.band_marks.node.begin(), s.unfolding.band_marks.node.end(), 0);
  std::fill(s.unfolding.band_marks.element.begin(), s.unfolding.band_marks.element.end(), 0);
  std::fill(s.held_x.begin(), s.held_x.end(), 0);
  std::fill(s.held_y.begin(), s.held_y.end(), 0);
  s.system.held = {s.held_x, s.held_y};
  ElasticMethodResult result;
  const UnfoldingOutcome unfolded =
      progressive_unfolding(s.system, in.neighbours, s.unfolding, X, Y, controls, message_level, reporter);
  result.stages = unfolded.stages;
  result.complete = unfolded.complete;
  if (x_count + y_count > 0) {
    std::vector<PrescribedDisplacement> prescribed = prescribed_displacements(in.part, s, X, Y);
    final_relaxation(s.system, prescribed, X, Y, message_level, reporter);
    result.relaxed = true;
  }
  return result;
}

}  // namespace trevo
