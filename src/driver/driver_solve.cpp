// The solution phases: drawbead lists and size check, the pre-unfolding into the
// initial flat blank, the geometry blend, the restraint set-up, the one-step iteration
// with its diagnosis and forces, and the final evaluation that writes the dynain file.
#include <algorithm>
#include <cmath>
#include <vector>

#include "driver/driver_job.h"
#include "output/dynain.h"
#include "output/finite_guard.h"
#include "prepare/geometry_blend.h"
#include "prepare/element_normal.h"
#include "solver/element_stabilisation.h"
#include "solver/iteration_control.h"
#include "solver/law_jumps.h"

namespace trevo {

namespace {

// The element geometry records, where the part keeps them, from the part's coordinates now.
void build_geometry(Job& job) { element_geometries(job.part, job.slices.geometry); }

Mesh part_copy(const Job& job) { return with_coordinates(job.part, job.slices.xc, job.slices.yc, job.slices.zc); }

DrawbeadLines drawbead_lines(const Job& job) {
  const auto& b = job.slices.process.drawbead;
  return {b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7]};
}

// CONTRATX / CONTRATY rows name 1-based internal node numbers of the part mesh, as the
// feature lines do; 0-based here.
std::vector<int32_t> constrained_nodes(std::span<const int32_t> rows) {
  std::vector<int32_t> nodes(rows.begin(), rows.end());
  for (int32_t& n : nodes) n -= 1;
  return nodes;
}

}  // namespace

void fill_element_model(Job& job) {
  SolverSlices& sl = job.slices;
  OneStepModel& m = job.model;
  std::copy(job.model_slices.element_value.begin(), job.model_slices.element_value.end(), sl.h0.begin());
  build_geometry(job);
  job.tables = serendipity_tables();
  m.part = job.part;
  m.material_table = sl.process.material;
  m.material_count = job.settings.material_count;
  m.material = job.model_slices.material;
  m.geometry = sl.geometry;
  m.h0 = sl.h0;
  m.tables = &job.tables;
}

namespace {

// The model that the membrane unfolding and the one-step iteration read.
void assemble_model(Job& job, std::span<const int32_t> x_nodes, std::span<const int32_t> y_nodes) {
  RunSettings& s = job.settings;
  SolverSlices& sl = job.slices;
  OneStepModel& m = job.model;
  fill_element_model(job);
  scatter_map(job.part, job.state.k, sl.scatter);
  node_constraints(x_nodes, y_nodes, sl.held_x, sl.held_y);
  m.scatter = sl.scatter;
  m.neighbours = job.model_slices.neighbours;
  m.held = {sl.held_x, sl.held_y};
  m.beads = drawbead_lines(job);
  if (s.binder_flag == 1) {
    job.binder_grid.emplace(job.binder, 1e-8);
    m.binder = job.binder;
    m.binder_grid = &*job.binder_grid;
    m.binder_neighbours = sl.binder_neighbours;
    m.binder_boundary = sl.binder_boundary;
    s.binder_fallback = 1;  // a blank node beyond the binder's edge still finds a binder height
  }
  if (s.blank_holder_flag == 1 || s.pad_flag == 1) {
    job.part_grid.emplace(job.part, 1e-8);
    m.part_grid = &*job.part_grid;
  }
  std::fill(job.state.last_binder_element.begin(), job.state.last_binder_element.end(), kNone);
  std::fill(job.state.last_part_element.begin(), job.state.last_part_element.end(), kNone);
  std::fill(job.state.Zb.begin(), job.state.Zb.end(), 0.0);
}

// Counts the drawbead list entries (locating the bead ends on the way), checks the run's
// total size against the work array and lays out the drawbead lists, the last stage of
// the index table.
void size_drawbead_lists(Job& job) {
  SolverSlices& sl = job.slices;
  std::fill(sl.bead_start.begin(), sl.bead_start.end(), kNone);
  std::fill(sl.bead_end.begin(), sl.bead_end.end(), kNone);
  RestraintData& r = job.model.restraint;
  const int64_t entries = count_drawbead_entries(part_copy(job), drawbead_lines(job), {sl.bead_start, sl.bead_end},
                                                 r.bead_entries, r.bead_offset);
  // The size line must come before the stop, so the total is checked before stage 6 is
  // laid out (the layout would stop on its own, without the line).
  check_size(job.next_free - 1 + drawbead_list_words(entries), job.stiffness_words, job.work.size(), job.reporter,
             job.work.run_base());
  lay_out_drawbead_lists(job, entries);
}

}  // namespace

void unfold_initial_blank(Job& job) {
  RunSettings& s = job.settings;
  SolverSlices& sl = job.slices;
  size_drawbead_lists(job);
  const std::vector<int32_t> x_nodes = constrained_nodes(sl.process.contratx_int);
  const std::vector<int32_t> y_nodes = constrained_nodes(sl.process.contraty_int);
  assemble_model(job, x_nodes, y_nodes);
  const PrescribedMotion prescribed{x_nodes, y_nodes, sl.process.contratx_real, sl.process.contraty_real};
  pre_unfold(job.model, job.state, prescribed, s, job.reporter);
}

namespace {

// Puts the finished part back in place of the blended one (see solve_one_step).
void restore_finished_part(Job& job) {
  std::copy(job.slices.xc.begin(), job.slices.xc.end(), job.part.x.begin());
  std::copy(job.slices.yc.begin(), job.slices.yc.end(), job.part.y.begin());
  std::copy(job.slices.zc.begin(), job.slices.zc.end(), job.part.z.begin());
  build_geometry(job);
  std::span<double> normals = job.model.restraint.normals;
  const std::size_t nn = static_cast<std::size_t>(job.part.nn);
  nodal_normals(job.part, normals.subspan(0, nn), normals.subspan(nn, nn), normals.subspan(2 * nn, nn));
}

bool blend_moved_part(const Job& job) {
  return !std::equal(job.part.x.begin(), job.part.x.end(), job.slices.xc.begin()) ||
         !std::equal(job.part.y.begin(), job.part.y.end(), job.slices.yc.begin()) ||
         !std::equal(job.part.z.begin(), job.part.z.end(), job.slices.zc.begin());
}

// The blank-holder and drawbead restraint, then one evaluation of the state from the
// initial flat blank (final marker 0: nothing written) and the drawbead report line.
void set_up_restraint(Job& job) {
  RunSettings& s = job.settings;
  OneStepState& st = job.state;
  RestraintMeshes meshes{job.part, part_copy(job), job.model_slices.neighbours, job.blank_holder, job.pad};
  job.totals = restraint_setup(meshes, job.model.beads, s, job.model.restraint, {job.slices.bead_start, job.slices.bead_end},
                               job.slices.holder_element_force, job.slices.pad_element_force, job.reporter);
  displacement_vector(job.part, st.X, st.Y, st.U);
  evaluate_state(job.model, st, st.U);
  drawbead_report_line(s, job.totals, job.reporter);
}

// The one-step iteration up to the iteration limit. Its reference geometry: the blend
// gives the iteration a start shape in which no element faces too far from +z, but the
// equilibrium sought is that of the finished part, whose x, y, z the element formulation
// takes as the formed shape. The blend moves the part 2 % towards the blank and scales z
// by 0.99236; kept as the reference it shifts the blank by up to 1 %. So the first
// iteration runs on the blended part and the loop goes on, with the same counter and the
// blank it reached, on the finished part. A longer blended leg only costs iterations and
// convergence (measured in docs/convergence.md).
void iterate(Job& job, bool blended) {
  RunSettings& s = job.settings;
  OneStepState& st = job.state;
  LoopState loop;
  RunSettings first_leg = s;
  if (blended) first_leg.iteration_limit = std::min(s.iteration_limit, 1);
  const int stopped = run_one_step(job.model, st, first_leg, job.reporter, job.outcome, loop);
  if (blended && job.outcome.nn0 < s.iteration_limit) {
    restore_finished_part(job);
    if (stopped != 0) ++job.outcome.nn0;
    // The convergence verdict reads the least ADP; a least ADP reached on the blended part
    // would report a converged finished part whose own leg diverged.
    job.outcome.least_adp = LoopOutcome{}.least_adp;
    run_one_step(job.model, st, s, job.reporter, job.outcome, loop);
  }
}

}  // namespace

std::span<const double> element_axes(Job& job) {
  const std::size_t ne = static_cast<std::size_t>(job.part.ne);
  // The per-element work slice (8 E words), which no phase holds by now.
  std::span<double> axes = job.model_slices.element_work.first(6 * ne);
  for (std::size_t e = 0; e < ne; ++e) {
    const ElementGeometry g = element_geometry(job.slices.geometry, job.part, static_cast<int32_t>(e));
    for (std::size_t c = 0; c < 3; ++c) {
      axes[c * ne + e] = g.e1[c];
      axes[(3 + c) * ne + e] = g.e2[c];
    }
  }
  return axes;
}

LocalTensors with_axes(std::span<const double> components, std::span<const double> axes) {
  const std::size_t ne = axes.size() / 6;
  const auto column = [ne](std::span<const double> v, std::size_t c) { return v.subspan(c * ne, ne); };
  return {column(components, 0), column(components, 1), column(components, 2), column(axes, 0), column(axes, 1),
          column(axes, 2),       column(axes, 3),       column(axes, 4),       column(axes, 5)};
}

namespace {

// The formed part into <base>.dynain: nodes, shell thickness, stresses and, through the
// scratch unit 36, the strains, each in global components from the element's local axes.
void write_formed_part(Job& job) {
  OneStepState& st = job.state;
  const std::span<const double> axes = element_axes(job);
  const LocalTensors strain = with_axes(st.strain, axes);
  const LocalTensors stress = with_axes(st.stress, axes);
  StrainScratch scratch(job.files.names.strain_scratch);  // unit 36
  write_strain_heading(scratch.stream());
  try {
    for (int32_t e = 0; e < job.part.ne; ++e) write_element_strain(scratch.stream(), strain, e);
  } catch (NonFiniteResult& bad) {
    bad.name = job.files.names.dynain;  // the strain block is part of the dynain file
    throw;
  }
  check_written(scratch.stream(), job.files.names.strain_scratch);
  const RunSettings& s = job.settings;
  // The geometry blend moved the part's own coordinates for the iteration; the copy taken
  // before it is the part as the user gave it, positioned, which is what the dynain file
  // must carry.
  write_dynain(job.files.dynain, part_copy(job), st.h, st.epsbar, stress, {s.tipping_alpha, s.tipping_beta, s.lowest_z},
               scratch.stream());
  scratch.close();
  close_checked(job.files.dynain, job.files.names.dynain);
}

// The matrix values and the solver's vectors, which a later solution (the blank on the binder)
// assembles and starts afresh: the result writers' buffers take their memory.
void release_solution_arrays(Job& job) {
  const CgVectors& cg = job.state.cg;
  for (std::span<double> values : {job.state.k.value, cg.x, cg.z, cg.p, cg.w, cg.s})
    WorkArray::release_pages(values);
}

}  // namespace

void solve_one_step(Job& job) {
  RunSettings& s = job.settings;
  OneStepState& st = job.state;
  if (s.method == 1) {
    blend_geometry(job.part, st.X, st.Y, st.Zb, s.binder_flag, s.blend_factor, job.reporter);
    build_geometry(job);
  }
  const bool blended = blend_moved_part(job);
  set_up_restraint(job);
  iterate(job, blended);
  release_solution_arrays(job);
  diagnosis(job.outcome, job.slices.h0.empty() ? 0.0 : job.slices.h0[0], s, job.reporter);
  // METHOD 0 only forms U once more from the final blank here; the loop itself does not
  // read the method.
  if (s.method == 0) displacement_vector(job.part, st.X, st.Y, st.U);
  // A blank that diverged far enough overflows the sum of the contact nodes' forces.
  const double force = punch_force(job.model.restraint.state, st.internal_z);
  stop_unless_finite(std::isfinite(force) && std::isfinite(job.totals.blank_holder_force), s.message_level,
                     job.reporter);
  forces_line(force, job.totals.blank_holder_force, job.reporter);
}

void evaluate_final_state(Job& job) {
  OneStepState& st = job.state;
  displacement_vector(job.part, st.X, st.Y, st.U);  // geometric update
  law_forms(st.law_crossings, {}, st.law_form);     // the stresses the equilibrium was found with
  evaluate_state(job.model, st, st.U, st.law_form);
  // A blank that a failed pre-unfolding spread by 1e50 mm is finite, but its strains are not.
  stop_unless_finite(all_finite(st.strain) && all_finite(st.stress) && all_finite(st.h), job.settings.message_level,
                     job.reporter);
  write_formed_part(job);
}

}  // namespace trevo
