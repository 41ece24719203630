// The model phases: read the keyword file, prepare and check the model, build the
// matrix pattern, read the process data, position the model and write the post
// file's process records.
#include <algorithm>

#include "driver/driver_job.h"
#include "input/keyword_scan.h"
#include "input/value_checks.h"
#include "output/post_file.h"
#include "prepare/binder_preparation.h"
#include "prepare/model_checks.h"
#include "prepare/positioning.h"
#include "prepare/topology.h"

namespace trevo {

namespace {

// The part's edge table (2 x 4 E integers) is needed only while the neighbours are
// found, so it lives in the seventh stage-2 scratch slice (K x E words), packed two
// integers to a word.
std::span<int32_t> part_edge_table(Job& job) {
  const WordRange& range = job.model_slices.scratch[6];
  return job.work.packed_ints(range.first_word, range.words);
}

Mesh read_tool(Job& job, ToolMesh which, ToolSlices& slices) {
  Mesh tool = read_tool_mesh(*job.input, which, slices, job.reporter);
  orient_tool_upwards(tool);
  return tool;
}

}  // namespace

void read_model(Job& job) {
  RunSettings& s = job.settings;
  job.input.emplace(KeywordFile::load(job.files.names.input));
  scan_keyword_file(*job.input, s, job.reporter);
  job.input_slices = lay_out_input_slices(job.work, job.reporter, s.part_elements, s.part_nodes);
  // The first read finds the duplicates and the quadrilaterals that will be split, which
  // together size stage 2; the second read stores the mesh there.
  job.first_pass = read_part_mesh_first_pass(*job.input, s, job.input_slices, job.reporter);
  const int32_t capacity = job.first_pass.mesh.ne + count_bad_quadrilaterals(job.first_pass.mesh);
  job.model_slices = lay_out_model_slices(job.work, job.reporter, model_counts(s, capacity),
                                          job.first_pass.duplicate_count + 1);
  job.next_free = job.model_slices.next_free;
  job.second_pass =
      read_part_mesh_second_pass(*job.input, job.first_pass.duplicates, job.model_slices, s, job.reporter);
  job.part = job.second_pass.mesh;
  split_bad_quadrilaterals(job.part, job.second_pass.elements_stored, job.model_slices.element_value,
                           job.model_slices.material, job.model_slices.labels);
  if (s.blank_holder_flag == 1) job.blank_holder = read_tool(job, ToolMesh::blank_holder, job.model_slices.blank_holder);
  if (s.binder_flag == 1) job.binder = read_tool(job, ToolMesh::binder, job.model_slices.binder);
  if (s.pad_flag == 1) job.pad = read_tool(job, ToolMesh::pad, job.model_slices.pad);
  check_mesh_values(*job.input, job.files.names.input, s, job.reporter);
  // The meshes are stored and checked; the rest of the run reads only the control lines.
  const std::array<Keyword, 8> mesh_lines = mesh_line_keywords();
  job.input->release_values(mesh_lines);
}

void check_model(Job& job) {
  std::span<int32_t> edges = part_edge_table(job);
  edge_table(job.part, edges);
  edge_neighbours(edges, job.part.ne, job.part.nn, job.model_slices.neighbours);
  orientation_check(job.part, job.model_slices.neighbours, job.model_slices.labels, job.settings, job.reporter);
  punch_direction_check(job.part, job.model_slices.labels, job.settings, job.reporter);
}

void build_matrix_pattern(Job& job) { lay_out_equation_slices(job); }

void read_process_data(Job& job) {
  lay_out_solver_slices(job);
  SolverSlices& sl = job.slices;
  // The copy moves with the part in the positioning but not in the geometry blend, so it
  // keeps the part as the user gave it, in the drawing attitude.
  std::copy(job.part.x.begin(), job.part.x.end(), sl.xc.begin());
  std::copy(job.part.y.begin(), job.part.y.end(), sl.yc.begin());
  std::copy(job.part.z.begin(), job.part.z.end(), sl.zc.begin());
  read_controls(*job.input, job.settings, sl.process, job.model_slices.material, job.model_slices.element_value,
                job.reporter);
  job.features = read_feature_lines(*job.input, job.second_pass.renumbering, job.part.nn, job.reporter);
  check_control_values(*job.input, job.files.names.input, job.reporter);
}

namespace {

// The binder-mesh preparation, then the tipping, offset and levelling of the part with
// its copy, the tools and the drawbead ends.
void prepare_and_position_model(Job& job) {
  RunSettings& s = job.settings;
  SolverSlices& sl = job.slices;
  if (s.method != 3 && s.binder_flag == 1) {
    prepare_binder(job.binder, sl.binder_edges, sl.binder_neighbours, sl.binder_node_table, sl.binder_boundary);
  }
  const auto& bead = sl.process.drawbead;
  PositioningInput positioning{job.part, job.model_slices.neighbours, job.model_slices.labels, sl.xc, sl.yc, sl.zc,
                               job.binder, job.blank_holder, job.pad,
                               DrawbeadEnds{bead[2], bead[3], bead[4], bead[5], bead[6], bead[7]},
                               sl.nx, sl.ny, sl.nz};
  if (s.method != 3) position_model(positioning, s, job.reporter);
}

// The post file's process records, once the tipping and levelling are known.
void record_process_data(Job& job) {
  const RunSettings& s = job.settings;
  const SolverSlices& sl = job.slices;
  // The eight drawbead columns are laid out one after another: one NB x 8 column-major block.
  std::span<const double> drawbeads(sl.process.drawbead[0].data(), 8 * static_cast<std::size_t>(s.drawbead_count));
  write_process_records(job.files.post, job.title, s, sl.process.material, s.material_count, drawbeads,
                        job.blank_holder, job.pad, job.binder);
  job.files.post.flush();
  check_written(job.files.post, job.files.names.post);
}

}  // namespace

void position_and_record(Job& job) {
  prepare_and_position_model(job);
  record_process_data(job);
}

}  // namespace trevo
