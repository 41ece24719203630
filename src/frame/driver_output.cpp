// Spec: Part 1.3 steps 21-29: the post-file frames, the blank mesh, the outlines, the
// feature lines and the blank summary (Parts 7.1, 7.3, 7.4).
#include <vector>

#include "frame/driver_job.h"
#include "frame/not_implemented.h"
#include "output/blank_mesh.h"
#include "output/blank_summary.h"
#include "output/outline.h"
#include "output/post_frames.h"
#include "solver/material.h"

namespace trevo {

namespace {

FrameTransform frame_transform(const RunSettings& s) { return {s.tipping_alpha, s.tipping_beta, s.lowest_z}; }

// The blank as a mesh: plane coordinates X, Y and the blank height Zb.
Mesh blank_mesh(const Job& job) { return with_coordinates(job.part, job.state.X, job.state.Y, job.state.Zb); }

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

void write_post_frame(Job& job, int32_t frame_number, const ElementResults& results) {
  const ProcessArrays& p = job.slices.process;
  write_frame(job.files.post, frame_number, blank_mesh(job), results, {p.contratx_int, p.contratx_real},
              {p.contraty_int, p.contraty_real});
}

}  // namespace

void write_results(Job& job) {
  RunSettings& s = job.settings;
  const ElementResultColumns results = final_element_results(job);
  if (s.binder_flag == 0) write_post_frame(job, 1, results.view());  // step 21
  if (s.binder_flag == 1) {
    stop_not_implemented("on-binder stage and binder-surface calculation (Parts 5.2 and 7.3)", job.reporter);
  }
  const FrameTransform transform = frame_transform(s);
  const Mesh blank = blank_mesh(job);
  write_blank_mesh(job.files.blank_mesh, blank, transform, local_time_now());  // step 23
  job.files.blank_mesh.close();
  const OutlineLoops loops = chain_outline(extract_boundary_edges(blank, job.model_slices.neighbours));  // step 24
  close_and_delete(job.files.outline_3d, job.files.names.outline_3d);                                   // step 25
  write_outline(job.files.outline, kFlatOutlineTitle, loops, blank.x, blank.y, blank.z, transform);      // step 26
  job.files.outline.close();
  write_feature_lines(job.files.feature_lines, blank.x, blank.y, blank.z, transform, job.features.node_counts,
                      job.features.nodes);
  job.files.feature_lines.close();
  const BlankSummary summary = blank_summary(blank, job.slices.h0);  // step 28
  print_blank_summary(summary, job.reporter);
  write_post_frame(job, s.frame_number, results.view());  // step 29
  const RunResults run{job.outcome.nn0, punch_force(job.model.restraint.state, job.state.internal_z),
                       job.totals.blank_holder_force, summary};
  write_outline_records(job.files.post, run, loops, blank.x, blank.y, blank.z, transform);
}

}  // namespace trevo
