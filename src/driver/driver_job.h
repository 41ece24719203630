// The state of one run as the driver's phases share it: settings, work array and
// its slices, run files, reporter, meshes and the solver's model and state.
// The driver owns the settings and the work array; each subsystem is handed only the
// slices and settings it needs. Indices are 0-based (see core/mesh.h).
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "driver/command_line.h"
#include "core/frame_transform.h"
#include "core/index_table.h"
#include "core/reporter.h"
#include "driver/run_files.h"
#include "driver/run_record.h"
#include "core/settings.h"
#include "core/work_array.h"
#include "input/controls.h"
#include "input/keyword_file.h"
#include "input/mesh_readers.h"
#include "output/dynain.h"
#include "output/outline.h"
#include "output/post_frames.h"
#include "restraint/pre_unfolding.h"
#include "restraint/restraint_setup.h"
#include "solver/one_step.h"

namespace trevo {

// Stage 3 of the index table: the node-to-element index and the node adjacency from
// which the matrix pattern of stage 4 is built (two equations per node).
struct EquationSlices {
  std::span<int32_t> element_pointer, element_list;      // nn + 1, T
  std::span<int32_t> adjacency_pointer, adjacency, own;  // nn + 1, A, nn
  std::span<int32_t> marker;                             // nn
  int64_t adjacency_entries = 0;                         // A
};

// Stage 5: process data, positioning scratch, binder topology, element, node and
// restraint data, the solver's vectors.
struct SolverSlices {
  std::span<double> xc, yc, zc;               // copy of the part coordinates: positioned, never blended
  ProcessArrays process;                      // tables of the process controls
  std::span<double> nx, ny, nz;               // nodal-normal scratch of the positioning
  std::span<int32_t> binder_corners, binder_edges, binder_neighbours, binder_node_table, binder_boundary;  // binder-mesh preparation
  std::span<ElementGeometry> geometry;        // ne, or none for a large part (geometry_record_count)
  std::span<double> h0;                       // ne: initial thickness (the element value)
  std::span<int32_t> scatter;                 // 20 ne
  std::span<int32_t> held_x, held_y;          // nn
  std::span<int32_t> bead_start, bead_end;    // 4 nb each
  std::span<double> holder_element_force, pad_element_force;  // eh, ep
};

// The copy of the blank lying on the binder (x = X, y = Y, z = Zb, working frame, nn
// each) that the driver keeps when it writes <base>_Blank_Onbinder.nas, in the on-binder
// stage or, with the flat-blank-only switch, after the outlines; empty until then.
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
  int64_t stiffness_words = 0;   // 2 (A + nn): the stiffness matrix's values (size line IVM)
  BlankOnBinderCopy blank_on_binder;
  RunRecord record;  // phase times, iteration history and input fingerprint for the run summary
};

// The phases, in the driver's order.

// Scans the keyword file, reads the part mesh twice (duplicates left out, badly shaped
// quadrilaterals split) and each tool mesh the forming type selects, laying out stages 1
// and 2 of the index table on the way.
void read_model(Job& job);
// Builds the part's edge and neighbour tables, then the orientation-and-overlap and the
// punch-direction checks; the latter switches the method to 3 for a part facing the punch.
void check_model(Job& job);
// Node adjacency and the sparse pattern of the stiffness matrix (stages 3 and 4).
void build_matrix_pattern(Job& job);
// Lays out stage 5, copies the part coordinates and reads the process controls and
// the feature lines.
void read_process_data(Job& job);
// Prepares the binder mesh, puts the model into its drawing attitude (tipping, offset,
// levelling) and writes the post file's process records.
void position_and_record(Job& job);
// Counts the drawbead entries, checks the run's total size, lays out the drawbead lists,
// assembles the one-step model and unfolds the projected part into the initial flat blank.
void unfold_initial_blank(Job& job);
// The geometry blend (method 1), the restraint set-up, the one-step iteration, its
// diagnosis and the punch and blank-holder forces.
void solve_one_step(Job& job);
// The final geometric update and evaluation of strains, thickness and stresses, and the
// formed part written to <base>.dynain.
void evaluate_final_state(Job& job);
// Post-file frames, the on-binder stage, the blank meshes, outlines and feature lines,
// and the blank summary, in the order the files are written.
void write_results(Job& job);

// The elastic approximation method (driver_elastic.cpp): the blank X, Y of a part that
// faces too far from the punch, with the tool flags cleared so that the results are
// written as for a part without tools; then the model the final evaluation and the
// writers read, filled without the one-step solution.
void run_elastic_method(Job& job);
void fill_elastic_model(Job& job);

// The element part of the model (part, geometry, material, initial thickness, shape tables) that
// the writers and every solution read.
void fill_element_model(Job& job);

// Pieces of the result output shared by driver_output.cpp (output_transform, write_post_frame)
// and driver_binder.cpp (the rest). Each frame records its kind in settings.frame_number,
// which the final frame takes when no other rule sets it.
FrameTransform output_transform(const RunSettings& s);  // tipping angles and levelling offset
void write_post_frame(Job& job, int32_t frame_kind, const ElementResults& results);
// The on-binder stage: the blank lying on the binder into <base>_Blank_Onbinder.nas and
// a frame of kind 2; unless the blank has inverted elements, the binder-surface
// calculation unfolds it into the final flat blank, followed by a frame of kind 1.
void run_on_binder_stage(Job& job, const ElementResults& results);
// The outline of the blank lying on the binder into <base>_3D.lin.
void write_binder_outline(Job& job, const OutlineLoops& loops);
// With the flat-blank-only switch: the blank on the binder into <base>_Blank_Onbinder.nas
// after the flat outlines, and a frame of kind 1.
void write_blank_on_binder_last(Job& job, const ElementResults& results);
// Kind of the final frame: 3 with a binder, then 2 when the flat-blank-only switch is 1
// (the second rule wins), otherwise the kind of the last frame written.
int32_t final_frame_number(int32_t binder_flag, int32_t flat_blank_only, int32_t last_kind);

// Each element's local axes e1, e2 (x, y, z of each: six columns of ne), laid into the
// per-element work slice of stage 2.
std::span<const double> element_axes(Job& job);
// A per-element tensor (components xx, yy, xy: ne each, one after another) with those axes.
LocalTensors with_axes(std::span<const double> components, std::span<const double> axes);

// Layouts of the solver's stages 3 to 6 of the index table.
void lay_out_equation_slices(Job& job);
void lay_out_solver_slices(Job& job);
void lay_out_drawbead_lists(Job& job, int64_t entries);
// Words of stage 6 for L drawbead entries (node, force and stiffness lists).
int64_t drawbead_list_words(int64_t entries);

}  // namespace trevo
