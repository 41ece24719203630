// The state of one run as the driver's phases share it: settings, work array and
// its slices, run files, reporter, meshes and the solver's model and state.
// Spec: Part 1.3 (the driver owns the settings and the work array), Part 1.2 (stages).
// Indices are 0-based (see frame/mesh.h).
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "frame/command_line.h"
#include "frame/frame_transform.h"
#include "frame/index_table.h"
#include "frame/reporter.h"
#include "frame/run_files.h"
#include "frame/settings.h"
#include "frame/work_array.h"
#include "input/controls.h"
#include "input/keyword_file.h"
#include "input/mesh_readers.h"
#include "output/outline.h"
#include "output/post_frames.h"
#include "restraint/pre_unfolding.h"
#include "restraint/restraint_setup.h"
#include "solver/one_step.h"

namespace trevo {

// Stage 3 (equation numbering) and the matrix of stage 4 (Part 3.6, Part 1.2).
struct EquationSlices {
  std::span<int32_t> element_pointer, element_list;      // nn + 1, T
  std::span<int32_t> adjacency_pointer, adjacency, own;  // nn + 1, A, nn
  std::span<int32_t> marker;                             // nn
  int64_t adjacency_entries = 0;                         // A
};

// Stage 5: process data, positioning scratch, binder topology, element, node and
// restraint data, the solver's vectors.
struct SolverSlices {
  std::span<double> xc, yc, zc;               // copy of the part coordinates (Part 3.4)
  ProcessArrays process;                      // Part 2.3
  std::span<double> nx, ny, nz;               // nodal-normal scratch (Part 3.4)
  std::span<int32_t> binder_corners, binder_edges, binder_neighbours, binder_node_table, binder_boundary;  // Part 3.3
  std::span<ElementGeometry> geometry;        // ne
  std::span<double> h0;                       // ne: initial thickness (the element value)
  std::span<int32_t> scatter;                 // 64 ne
  std::span<int32_t> held_x, held_y;          // nn
  std::span<int32_t> bead_start, bead_end;    // 4 nb each
  std::span<double> holder_element_force, pad_element_force;  // eh, ep
};

// The copy of the blank lying on the binder (x = X, y = Y, z = Zb, working frame, nn
// each) that the driver keeps at Part 1.3 steps 22 and 27; empty until then.
struct BlankOnBinderCopy {
  std::vector<double> x, y, z;
  bool empty() const { return x.empty(); }
};

struct Job {
  explicit Job(const CommandLine& line);

  RunSettings settings;
  WorkArray work;
  RunFiles files;
  Reporter reporter;
  std::string title;  // the base path as given (post-file title record)

  std::optional<KeywordFile> input;
  InputSlices input_slices;
  FirstPass first_pass;
  ModelSlices model_slices;
  SecondPass second_pass;
  Mesh part, blank_holder, binder, pad;

  EquationSlices equations;
  SolverSlices slices;
  FeatureLines features;
  OneStepModel model;
  OneStepState state;
  RestraintTotals totals;
  LoopOutcome outcome;
  SerendipityTables tables;
  std::optional<PlanGrid> binder_grid, part_grid;
  int64_t next_free = 1;         // next free word of the index table
  int64_t stiffness_words = 0;   // 4 A: the stiffness-matrix storage (size line IVM)
  BlankOnBinderCopy blank_on_binder;  // Part 1.3 steps 22 and 27
};

// Phases, in the driver's order (Part 1.3).
void read_model(Job& job);                    // steps 4-9
void check_model(Job& job);                   // step 10
void build_matrix_pattern(Job& job);          // step 12
void read_process_data(Job& job);             // step 14
void position_and_record(Job& job);           // steps 15-16
void unfold_initial_blank(Job& job);          // step 17
void solve_one_step(Job& job);                // step 19
void evaluate_final_state(Job& job);          // step 20
void write_results(Job& job);                 // steps 21-29

// Pieces of steps 21-29 shared by driver_output.cpp (output_transform, write_post_frame)
// and driver_binder.cpp (the rest). Frames record their kind in settings.frame_number
// ("the kind left by the last frame", step 29).
FrameTransform output_transform(const RunSettings& s);  // tipping angles and levelling offset (Part 7.1)
void write_post_frame(Job& job, int32_t frame_kind, const ElementResults& results);
void run_on_binder_stage(Job& job, const ElementResults& results);  // step 22
void write_binder_outline(Job& job, const OutlineLoops& loops);     // step 25 with a binder
void write_blank_on_binder_last(Job& job, const ElementResults& results);  // step 27
// Step 29: 3 with a binder, then 2 when the flat-blank-only switch is 1 (the second
// rule wins), otherwise the kind of the last frame written.
int32_t final_frame_number(int32_t binder_flag, int32_t flat_blank_only, int32_t last_kind);

// Stage layouts of the solver (Part 1.2 stages 3 to 6).
void lay_out_equation_slices(Job& job);
void lay_out_solver_slices(Job& job);
void lay_out_drawbead_lists(Job& job, int64_t entries);
// Words of stage 6 for L drawbead entries (node, force and stiffness lists).
int64_t drawbead_list_words(int64_t entries);

}  // namespace trevo
