// The result output: the post-file frames, the flat blank mesh, the outlines, the
// feature lines, the blank summary and the files for viewers and CAD; the pieces that
// concern the blank lying on the binder are in driver_binder.cpp.
#include <cmath>
#include <vector>

#include "driver/driver_job.h"
#include "driver/viewer_files.h"
#include "output/blank_mesh.h"
#include "output/blank_summary.h"
#include "output/outline.h"
#include "output/post_frames.h"
#include "solver/iteration_control.h"
#include "solver/material.h"

namespace trevo {

namespace {

// The blank as a mesh: plane coordinates X, Y and the blank height Zb.
Mesh blank_mesh(const Job& job) { return with_coordinates(job.part, job.state.X, job.state.Y, job.state.Zb); }

// The flat blank as the blank mesh, the outlines, the feature lines and the summary take
// it: X, Y and z = 0. Zb is 0 for a flat blank only; with a binder it still holds the
// binder heights when the on-binder stage was skipped (flat-blank-only switch) or
// abandoned (inverted elements), and the blank lying on the binder has its own files
// (<base>_Blank_Onbinder.nas, <base>_3D.lin).
Mesh flat_blank_mesh(const Job& job, std::span<double> zeros) {
  return with_coordinates(job.part, job.state.X, job.state.Y, zeros);
}

ElementResultColumns final_element_results(const Job& job) {
  const OneStepState& st = job.state;
  const std::size_t ne = static_cast<std::size_t>(job.part.ne);
  std::vector<double> equivalent_stress(ne);
  for (std::size_t e = 0; e < ne; ++e) {
    const MaterialRow row = material_row(job.model.material_table, job.model.material_count, job.model.material[e]);
    equivalent_stress[e] = flow_stress(st.epsbar[e], row.eps0, row.K, row.n);
  }
  std::span<const double> strain = st.strain;
  return element_results(st.h, job.slices.h0, strain.subspan(0, ne), strain.subspan(ne, ne),
                         strain.subspan(2 * ne, ne), st.epsbar, equivalent_stress);
}

}  // namespace

FrameTransform output_transform(const RunSettings& s) { return {s.tipping_alpha, s.tipping_beta, s.lowest_z}; }

void write_post_frame(Job& job, int32_t frame_kind, const ElementResults& results) {
  const ProcessArrays& p = job.slices.process;
  write_frame(job.files.post, frame_kind, blank_mesh(job), results, {p.contratx_int, p.contratx_real},
              {p.contraty_int, p.contraty_real});
  check_written(job.files.post, job.files.names.post);
  job.settings.frame_number = frame_kind;
}

// The order of the files is part of the result: with the on-binder stage
// <base>_Blank_Onbinder.nas comes before <base>_Blank.nas, with the flat-blank-only
// switch after the outlines; the final frame and the outline records close the post file.
void write_results(Job& job) {
  RunSettings& s = job.settings;
  const ElementResultColumns results = final_element_results(job);
  const std::vector<double> stress = formed_part_stress(job);  // before the on-binder stage
  if (s.binder_flag == 0) write_post_frame(job, 1, results.view());
  if (s.binder_flag == 1 && s.flat_blank_only != 1) run_on_binder_stage(job, results.view());
  const FrameTransform transform = output_transform(s);
  std::vector<double> zeros(static_cast<std::size_t>(job.part.nn), 0.0);
  const Mesh blank = flat_blank_mesh(job, zeros);
  write_blank_mesh(job.files.blank_mesh, blank, transform, local_time_now());
  close_checked(job.files.blank_mesh, job.files.names.blank_mesh);
  const OutlineLoops loops = chain_outline(extract_boundary_edges(blank, job.model_slices.neighbours));
  if (s.binder_flag == 1) {
    write_binder_outline(job, loops);
  } else {
    close_and_delete(job.files.outline_3d, job.files.names.outline_3d);  // no binder surface, no 3-D outline
  }
  write_outline(job.files.outline, kFlatOutlineTitle, loops, blank.x, blank.y, blank.z, transform);
  close_checked(job.files.outline, job.files.names.outline);
  write_feature_lines(job.files.feature_lines, blank.x, blank.y, blank.z, transform, job.features.node_counts,
                      job.features.nodes);
  close_checked(job.files.feature_lines, job.files.names.feature_lines);
  if (s.binder_flag == 1 && s.flat_blank_only == 1) write_blank_on_binder_last(job, results.view());
  const BlankSummary summary = blank_summary(blank, job.slices.h0);
  // A blank spread far enough by a diverged iteration has no finite area; its lines would print Infinity.
  stop_unless_finite(std::isfinite(summary.area) && std::isfinite(summary.weight) &&
                         std::isfinite(summary.rectangle_area) && std::isfinite(summary.rectangle_weight),
                     s.message_level, job.reporter);
  print_blank_summary(summary, job.reporter);
  write_post_frame(job, final_frame_number(s.binder_flag, s.flat_blank_only, s.frame_number), results.view());
  const RunResults run{job.outcome.nn0, punch_force(job.model.restraint.state, job.state.internal_z),
                       job.totals.blank_holder_force, summary};
  write_outline_records(job.files.post, run, loops, blank.x, blank.y, blank.z, transform);
  check_written(job.files.post, job.files.names.post);
  write_viewer_files(job, stress, results.view(), loops);
}

}  // namespace trevo
