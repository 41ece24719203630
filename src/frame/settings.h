// The run settings: the driver's block of named scalars, passed by reference.
// Spec: Part 1.3 (Data model), Part 2.3 (defaults), Part 3.2, Part 3.4, Part 4.1.
// Names follow the spec; counts are as read (Part 2.1), flags are 0/1 integers.
#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace trevo {

struct RunSettings {
  // Command line (Part 1.1) and run files (Part 1.4).
  std::string base_path;       // effective base path, no extension
  int64_t work_size = 20'000'000;  // words of 8 bytes (64-bit: Part 1.1, Left to the implementer)
  int32_t keep_input = 0;

  // Forming type and tool flags (Part 2.1).
  int32_t forming_type = 100;
  int32_t blank_holder_flag = 0;  // BINDQUAD/BINDNODE mesh present
  int32_t binder_flag = 0;        // FLANQUAD/FLANNODE mesh present
  int32_t pad_flag = 0;           // HOLDQUAD/HOLDNODE mesh present

  // Block counts of the keyword scan (Part 2.1).
  int32_t part_elements = 0, part_nodes = 0;
  int32_t drawbead_count = 0, contratx_count = 0, contraty_count = 0;
  int32_t blank_holder_elements = 0, blank_holder_nodes = 0;
  int32_t binder_elements = 0, binder_nodes = 0;
  int32_t pad_elements = 0, pad_nodes = 0;
  int32_t material_count = 0;

  // Fixed and driver settings (Part 1.3).
  int32_t method = 1;               // 0, 1 or 3
  int32_t flat_blank_only = 0;      // FLANGING switch (Part 2.2)
  int32_t nodes_per_element = 4;
  int32_t dofs_per_node = 2;
  int32_t frame_number = 1;
  int32_t message_level = 2;        // never changed (Overview)
  double element_value = 0.0;       // element value of the first stored SHETQUAD (Part 2.2)

  // Process controls (Part 2.3).
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
  double scale_factor = 6.18e-7;                     // times NN^0.7 once NN is known (Part 2.3, 4.4)

  // Model checks and positioning (Parts 3.2, 3.4, 3.5).
  double undercut_tolerance = -0.3421;
  double drawbead_step = 0.1, drawbead_min_length = 0.1;
  double blend_factor = 0.02;
  double tipping_alpha = 0.0, tipping_beta = 0.0;    // radians, last applied
  double smallest_nz = 2.0;                          // after positioning
  double lowest_z = 0.0;                             // levelling offset
  double draw_depth = 0.0;
  double binder_steepness = 1.0;
  int32_t restraint_category = 1;
  int32_t binder_fallback = 0;                       // binder fallback switch (Part 4.5)
};

}  // namespace trevo
