// Lays out stage 1 (input slices) and stage 2 (model slices) of the index table.
#include "core/index_table.h"

#include <algorithm>

namespace trevo {

namespace {

// The sizes of the scratch slices (27 on), in the table's order.
std::array<int64_t, 8> scratch_sizes(const ModelCounts& c) {
  const int64_t n = c.nodes, e = c.elements;
  const int64_t largest = std::max({c.pad_nodes, c.blank_holder_nodes, c.nodes, c.binder_nodes});
  return {n, n, e, n, n, n, kCorners * e, largest};
}

ToolSlices lay_out_tool(StageLayout& stage, int32_t elements, int32_t nodes) {
  ToolSlices tool;
  tool.x = stage.reals(nodes);
  tool.y = stage.reals(nodes);
  tool.z = stage.reals(nodes);
  tool.conn = stage.ints(int64_t{kCorners} * elements);
  return tool;
}

}  // namespace

int64_t input_slice_words(int32_t elements, int32_t nodes) {
  const int64_t e = elements, n = nodes;
  return e + kCorners * e + e + 3 * n + n;
}

InputSlices lay_out_input_slices(WorkArray& work, Reporter& reporter, int32_t elements, int32_t nodes) {
  StageLayout stage(work, reporter, 1);
  stage.require(input_slice_words(elements, nodes));
  InputSlices s;
  s.duplicates = stage.ints(elements);
  s.conn = stage.ints(int64_t{kCorners} * elements);
  s.corners = stage.ints(elements);
  s.x = stage.reals(nodes);
  s.y = stage.reals(nodes);
  s.z = stage.reals(nodes);
  s.node_ids = stage.ints(nodes);
  s.next_free = stage.next_free();
  return s;
}

ModelCounts model_counts(const RunSettings& settings, int32_t element_capacity) {
  ModelCounts c;
  c.elements = element_capacity;
  c.nodes = settings.part_nodes;
  c.binder_elements = settings.binder_flag == 1 ? settings.binder_elements : 0;
  c.binder_nodes = settings.binder_flag == 1 ? settings.binder_nodes : 0;
  c.blank_holder_elements = settings.blank_holder_flag == 1 ? settings.blank_holder_elements : 0;
  c.blank_holder_nodes = settings.blank_holder_flag == 1 ? settings.blank_holder_nodes : 0;
  c.pad_elements = settings.pad_flag == 1 ? settings.pad_elements : 0;
  c.pad_nodes = settings.pad_flag == 1 ? settings.pad_nodes : 0;
  return c;
}

int64_t model_slice_words(const ModelCounts& c) {
  const int64_t e = c.elements, n = c.nodes, k = kCorners;
  auto tool = [k](int64_t elements, int64_t nodes) { return 3 * nodes + k * elements; };
  int64_t words = k * e + n + e + k * e + e + 2 * k * e + 3 * n + 2 * n + e;  // slices 1-12
  words += tool(c.binder_elements, c.binder_nodes) + tool(c.blank_holder_elements, c.blank_holder_nodes) +
           tool(c.pad_elements, c.pad_nodes) + c.pad_elements;  // 13-25
  words += n + e;                                               // 26 and the labels
  for (int64_t size : scratch_sizes(c)) words += size;
  return words;
}

ModelSlices lay_out_model_slices(WorkArray& work, Reporter& reporter, const ModelCounts& c, int64_t first_free) {
  StageLayout stage(work, reporter, first_free);
  stage.require(model_slice_words(c));
  const int64_t e = c.elements, n = c.nodes, k = kCorners;
  ModelSlices s;
  s.conn = stage.ints(k * e);
  s.boundary_first_node = stage.ints(n);
  s.corners = stage.ints(e);
  s.neighbours = stage.ints(k * e);
  s.material = stage.ints(e);
  s.element_work = stage.reals(2 * k * e);
  s.x = stage.reals(n);
  s.y = stage.reals(n);
  s.z = stage.reals(n);
  s.u = stage.reals(n);
  s.v = stage.reals(n);
  s.element_value = stage.reals(e);
  s.binder = lay_out_tool(stage, c.binder_elements, c.binder_nodes);
  s.blank_holder = lay_out_tool(stage, c.blank_holder_elements, c.blank_holder_nodes);
  s.pad = lay_out_tool(stage, c.pad_elements, c.pad_nodes);
  s.pad_element_data = stage.ints(c.pad_elements);
  s.node_data = stage.reals(n);
  s.labels = stage.ints(e);
  s.next_free = stage.next_free();
  const std::array<int64_t, 8> sizes = scratch_sizes(c);
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    s.scratch[i] = {stage.next_free(), sizes[i]};
    stage.reserve(sizes[i]);
  }
  return s;
}

}  // namespace trevo
