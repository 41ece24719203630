// The blank lying on the binder: the on-binder stage with its inversion gate and the
// binder-surface calculation, the blank mesh on the binder on unit 98, the outline on
// the binder and the kind of the post file's final frame.
#include <span>
#include <vector>

#include "driver/driver_job.h"
#include "output/blank_mesh.h"
#include "restraint/binder_surface.h"
#include "solver/element_geometry.h"
#include "solver/iteration_control.h"

namespace trevo {

namespace {

// The blank on the binder as the state holds it: x = X, y = Y, z = Zb.
Mesh state_blank(const Job& job) { return with_coordinates(job.part, job.state.X, job.state.Y, job.state.Zb); }

// <base>_Blank_Onbinder.nas on unit 98 (created or overwritten like every run file), the
// kept copy of the blank coordinates, then a post-file frame of the given kind.
void write_and_keep_blank_on_binder(Job& job, int32_t frame_kind, const ElementResults& results) {
  RunFiles& f = job.files;
  f.blank_on_binder.open(f.names.blank_on_binder, std::ios::out | std::ios::trunc);
  write_blank_mesh(f.blank_on_binder, state_blank(job), output_transform(job.settings), local_time_now());
  close_checked(f.blank_on_binder, f.names.blank_on_binder);
  const OneStepState& st = job.state;
  job.blank_on_binder = {{st.X.begin(), st.X.end()}, {st.Y.begin(), st.Y.end()}, {st.Zb.begin(), st.Zb.end()}};
  write_post_frame(job, frame_kind, results);
}

// CONTRATX / CONTRATY rows as the membrane takes them: 1-based node numbers made
// 0-based (the same reading as the pre-unfolding's, driver_solve.cpp).
std::vector<int32_t> zero_based_nodes(std::span<const int32_t> rows) {
  std::vector<int32_t> nodes(rows.begin(), rows.end());
  for (int32_t& n : nodes) n -= 1;
  return nodes;
}

// The binder-surface calculation: the blank on the binder becomes the part, its element
// geometry is rebuilt, and the membrane unfolds it into the final flat blank X, Y (Zb = 0).
void unfold_blank_on_binder(Job& job) {
  OneStepState& st = job.state;
  blank_on_binder_as_part(st.X, st.Y, st.Zb, job.part.x, job.part.y, job.part.z);
  element_geometries(job.part, job.slices.geometry);
  const ProcessArrays& p = job.slices.process;
  const std::vector<int32_t> x_nodes = zero_based_nodes(p.contratx_int);
  const std::vector<int32_t> y_nodes = zero_based_nodes(p.contraty_int);
  const PrescribedMotion prescribed{x_nodes, y_nodes, p.contratx_real, p.contraty_real};
  binder_surface(job.model, st, prescribed, job.settings, job.reporter);
}

}  // namespace

void run_on_binder_stage(Job& job, const ElementResults& results) {
  write_and_keep_blank_on_binder(job, 2, results);
  // Inverted elements mean the one-step solution did not converge: the binder-surface
  // calculation is skipped and the flat blank of the one-step solution stays the result.
  if (inverted_element_count(job.part, job.state.X, job.state.Y) > 0) {
    report_binder_surface_abandoned(job.settings, job.reporter);
    return;
  }
  unfold_blank_on_binder(job);
  write_post_frame(job, 1, results);
}

void write_binder_outline(Job& job, const OutlineLoops& loops) {
  // With the on-binder stage the kept copy is the blank on the binder; otherwise (the
  // flat-blank-only switch, whose copy is only taken after the outlines) the state still
  // holds it.
  const OneStepState& st = job.state;
  const BlankOnBinderCopy& kept = job.blank_on_binder;
  using Column = std::span<const double>;
  const Column x = kept.empty() ? Column(st.X) : Column(kept.x);
  const Column y = kept.empty() ? Column(st.Y) : Column(kept.y);
  const Column z = kept.empty() ? Column(st.Zb) : Column(kept.z);
  write_outline(job.files.outline_3d, kBinderOutlineTitle, loops, x, y, z, output_transform(job.settings));
  close_checked(job.files.outline_3d, job.files.names.outline_3d);
}

void write_blank_on_binder_last(Job& job, const ElementResults& results) {
  write_and_keep_blank_on_binder(job, 1, results);
}

int32_t final_frame_number(int32_t binder_flag, int32_t flat_blank_only, int32_t last_kind) {
  if (flat_blank_only == 1) return 2;
  if (binder_flag == 1) return 3;
  return last_kind;
}

}  // namespace trevo
