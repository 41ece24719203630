// Stages 3 to 6 of the index table, the solver's slices, each laid out from the next
// free word of the one before. Stage 3 holds the node-to-element index and the node
// adjacency, stage 4 the equation system (matrix pattern and values, the per-equation
// vectors of the iteration and of the conjugate-gradient solver), stage 5 the process,
// element, node and restraint data, stage 6 the drawbead lists. Their sizes follow from
// the node, element and drawbead counts and from the adjacency.
#include <algorithm>

#include "driver/driver_job.h"
#include "prepare/matrix_pattern.h"

namespace trevo {

namespace {

template <class Stage>
std::span<double> per_equation(Stage& stage, const Job& job) {
  return stage.reals(2 * int64_t{job.part.nn});
}

template <class Stage>
void lay_out_vectors(Stage& stage, Job& job) {
  OneStepState& s = job.state;
  s.U = per_equation(stage, job);
  s.dU = per_equation(stage, job);
  s.R = per_equation(stage, job);
  s.previous_increment = per_equation(stage, job);
  s.internal = per_equation(stage, job);
  s.external = per_equation(stage, job);
  s.cg = {per_equation(stage, job), per_equation(stage, job), per_equation(stage, job), per_equation(stage, job),
          per_equation(stage, job)};
}

// Stage 3 from the adjacency list on, and stage 4: their sizes follow from the adjacency's
// entries.
template <class Stage>
void lay_out_adjacency_and_system(Stage& stage, Job& job) {
  const int64_t nn = job.part.nn;
  EquationSlices& eq = job.equations;
  eq.adjacency = stage.ints(eq.adjacency_entries);
  eq.own = stage.ints(nn);
  CsrMatrix& k = job.state.k;
  k.row_start = stage.ints(2 * nn + 1);
  k.diagonal = stage.ints(2 * nn);
  job.stiffness_words = upper_matrix_values(nn, eq.adjacency_entries);
  k.value = stage.reals(job.stiffness_words);
  lay_out_vectors(stage, job);
}

template <class Stage>
void lay_out_solver_stage(Stage& stage, Job& job) {
  const RunSettings& s = job.settings;
  const int64_t nn = job.part.nn, ne = job.part.ne, nb = s.drawbead_count;
  SolverSlices& sl = job.slices;
  sl.xc = stage.reals(nn);
  sl.yc = stage.reals(nn);
  sl.zc = stage.reals(nn);
  for (auto& column : sl.process.drawbead) column = stage.reals(nb);
  sl.process.contratx_int = stage.ints(s.contratx_count);
  sl.process.contratx_real = stage.reals(s.contratx_count);
  sl.process.contraty_int = stage.ints(s.contraty_count);
  sl.process.contraty_real = stage.reals(s.contraty_count);
  sl.process.material = stage.reals(int64_t{kMaterialColumns} * s.material_count);
  sl.nx = stage.reals(nn);
  sl.ny = stage.reals(nn);
  sl.nz = stage.reals(nn);
  const int64_t eb = job.binder.ne, nbn = job.binder.nn;
  sl.binder_corners = stage.ints(eb);
  sl.binder_edges = stage.ints(8 * eb);
  sl.binder_neighbours = stage.ints(4 * eb);
  sl.binder_node_table = stage.ints(nbn);
  sl.binder_boundary = stage.ints(eb);
  sl.geometry = stage.template records<ElementGeometry>(geometry_record_count(job.part.ne));
  sl.h0 = stage.reals(ne);
  sl.scatter = stage.ints(scatter_map_size(job.part.ne));
  sl.held_x = stage.ints(nn);
  sl.held_y = stage.ints(nn);
  sl.bead_start = stage.ints(4 * nb);
  sl.bead_end = stage.ints(4 * nb);
  sl.holder_element_force = stage.reals(job.blank_holder.ne);
  sl.pad_element_force = stage.reals(job.pad.ne);

  OneStepState& st = job.state;
  // The stage-2 blank slices are sized by the node lines of the scan; the part keeps
  // nn of them once unused nodes are dropped, and so does every per-node array.
  st.X = job.model_slices.u.first(nn);
  st.Y = job.model_slices.v.first(nn);
  st.Zb = stage.reals(nn);
  st.Zh = stage.reals(nn);
  st.binder_slope = stage.reals(2 * nn);
  st.internal_z = stage.reals(nn);
  st.kx = stage.reals(nn);
  st.ky = stage.reals(nn);
  st.h = stage.reals(ne);
  st.epsbar = stage.reals(ne);
  st.stress = stage.reals(3 * ne);
  st.strain = stage.reals(3 * ne);
  st.last_binder_element = stage.ints(nn);
  st.last_part_element = stage.ints(nn);
  st.sticking = stage.ints(nn);
  st.law_branch = stage.ints(ne);
  st.law_crossings = stage.ints(ne);
  st.law_form = stage.ints(ne);
  st.increment_reversals = stage.ints(nn);
  st.tool.kf = stage.reals(nn);
  st.tool.kc = stage.reals(nn);
  st.tool.block = stage.reals(3 * nn);

  RestraintData& r = job.model.restraint;
  r.holding_force = stage.reals(nn);
  r.state = stage.ints(nn);
  r.element_count = stage.reals(nn);
  r.normals = stage.reals(3 * nn);
  r.bead_entries = stage.ints(nb);
  r.bead_offset = stage.ints(nb);
  r.node_force = stage.reals(2 * nn);
  r.contact_force = stage.reals(3 * nn);
}

// The words of stage 5, from a layout that hands out no slices (the empty spans it leaves in
// the job are replaced when the stage is laid out).
int64_t solver_stage_words(Job& job) {
  StageSizer sizer;
  lay_out_solver_stage(sizer, job);
  return sizer.words();
}

// Corner entries of all elements: the node-to-element list's length.
int64_t incidences(const Mesh& part) {
  int64_t count = 0;
  for (int32_t e = 0; e < part.ne; ++e) count += element_corners(part, e);
  return count;
}

}  // namespace

void lay_out_equation_slices(Job& job) {
  const int64_t nn = job.part.nn;
  StageLayout stage(job.work, job.reporter, job.next_free);
  stage.require(3 * nn + 2 + incidences(job.part));  // what finding the adjacency's size takes
  EquationSlices& eq = job.equations;
  eq.element_pointer = stage.ints(nn + 1);
  node_element_pointer(job.part, eq.element_pointer);
  eq.element_list = stage.ints(eq.element_pointer[nn]);
  node_element_list(job.part, eq.element_pointer, eq.element_list);
  eq.adjacency_pointer = stage.ints(nn + 1);
  eq.marker = stage.ints(nn);
  eq.adjacency_entries =
      node_adjacency_pointer(job.part, eq.element_pointer, eq.element_list, eq.adjacency_pointer, eq.marker);
  // From here on every size is known, through stage 5: a work size too small for them names
  // their whole end.
  StageSizer sizer;
  lay_out_adjacency_and_system(sizer, job);
  stage.require(sizer.words() + solver_stage_words(job));
  lay_out_adjacency_and_system(stage, job);
  node_adjacency(job.part, eq.element_pointer, eq.element_list, eq.adjacency_pointer, eq.adjacency, eq.own,
                 eq.marker);
  job.state.k.neq = static_cast<int32_t>(2 * nn);
  matrix_pattern(eq.adjacency_pointer, eq.adjacency, eq.own, job.state.k);
  // Only the adjacency and the own positions (the matrix's columns) are read again.
  for (std::span<int32_t> index : {eq.element_pointer, eq.element_list, eq.adjacency_pointer, eq.marker})
    WorkArray::release_pages(index);
  std::fill(job.state.cg.x.begin(), job.state.cg.x.end(), 0.0);  // the first warm start is zero
  job.next_free = stage.next_free();
}

void lay_out_solver_slices(Job& job) {
  StageLayout stage(job.work, job.reporter, job.next_free);
  stage.require(solver_stage_words(job));
  lay_out_solver_stage(stage, job);
  job.binder.corners = job.slices.binder_corners;  // filled by the binder-mesh preparation
  job.next_free = stage.next_free();
}

int64_t drawbead_list_words(int64_t entries) { return 3 * entries; }

void lay_out_drawbead_lists(Job& job, int64_t entries) {
  StageLayout stage(job.work, job.reporter, job.next_free);
  job.model.restraint.bead_node = stage.ints(entries);
  job.model.restraint.bead_force = stage.reals(entries);
  job.state.tool.kb = stage.reals(entries);
  job.next_free = stage.next_free();
}

}  // namespace trevo
