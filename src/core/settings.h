// The run settings: the driver's block of named scalars, passed by reference.
// Controls are named after their input keywords and the quantities the run prints;
// counts are as the keyword scan found them; flags are 0/1 integers.
#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace trevo {

struct RunSettings {
  // Command line and run files.
  std::string base_path;       // effective base path, no extension
  int64_t work_size = 20'000'000;  // words of 8 bytes; 64-bit so that a large request cannot overflow
  int32_t keep_input = 0;

  // Forming type (FORMTYPE) and the tool flags it sets.
  int32_t forming_type = 100;
  int32_t blank_holder_flag = 0;  // BINDQUAD/BINDNODE mesh present
  int32_t binder_flag = 0;        // FLANQUAD/FLANNODE mesh present
  int32_t pad_flag = 0;           // HOLDQUAD/HOLDNODE mesh present

  // Block counts of the keyword scan.
  int32_t part_elements = 0, part_nodes = 0;
  int32_t drawbead_count = 0, contratx_count = 0, contraty_count = 0;
  int32_t blank_holder_elements = 0, blank_holder_nodes = 0;
  int32_t binder_elements = 0, binder_nodes = 0;
  int32_t pad_elements = 0, pad_nodes = 0;
  int32_t material_count = 0;

  // Fixed and driver settings.
  int32_t method = 1;               // 0, 1 or 3 (3: elastic approximation method)
  int32_t flat_blank_only = 0;      // FLANGING switch: 1 = no on-binder stage
  int32_t nodes_per_element = 4;
  int32_t dofs_per_node = 2;
  int32_t frame_number = 1;         // kind of the last post-file frame (1, 2 or 3)
  int32_t message_level = 2;        // never changed: level-2 messages are always written, level-1 never
  double element_value = 0.0;       // element value of the first stored SHETQUAD

  // Process controls: defaults until a keyword line sets them.
  double friction1 = 0.2, friction2 = 0.13;          // FRICTION: mu1, mu2
  double bhforce = 0.0;                              // BHFORCE
  double holforce = 0.0, pad_coefficient = 0.2;      // HOLFORCE
  int32_t iteration_limit = 300;                     // CORTROL 1
  double displacement_tolerance = 0.0001;            // CORTROL 2 (DEPS)
  double min_relax = 0.1, max_relax = 1.0;           // CORTROL 3, 4
  double force_tolerance = 2.0;                      // CORTROL 5
  double offset = 0.0;                               // OFFSET
  int32_t autonoml = 0;                              // AUTONOML
  std::array<double, 2> manunoml{0.0, 0.0};          // MANUNOML (second stored with reversed sign)
  std::array<double, 2> stabiliz{1.0, 1.0};          // STABILIZ S1, S2
  double scale_factor = 6.18e-7;                     // times NN^0.7 once NN is known

  // Model checks, positioning and geometry blend.
  double undercut_tolerance = -0.3421;
  double drawbead_step = 0.1, drawbead_min_length = 0.1;
  double blend_factor = 0.02;
  double tipping_alpha = 0.0, tipping_beta = 0.0;    // radians, last applied
  double smallest_nz = 2.0;                          // after positioning
  double lowest_z = 0.0;                             // levelling offset
  double draw_depth = 0.0;
  double binder_steepness = 1.0;
  int32_t restraint_category = 1;
  int32_t binder_fallback = 0;                       // 1: the binder surface extends beyond its edge
};

}  // namespace trevo
