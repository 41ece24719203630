// The post file's process records 1-21: set-up, controls, drawbeads and tool meshes in the input's attitude.
// They hand the process set-up to the post-processor. Unformatted records through
// fortran/records.h (text, I4, R4). Element and node indices are 0-based in memory and
// written +1 (internal numbers 1..count, not the input labels).
#pragma once
#include <cstdint>
#include <ostream>
#include <span>
#include <string_view>

#include "core/mesh.h"
#include "core/settings.h"

namespace trevo {

inline constexpr std::size_t kTitleLength = 1024;  // record 2, text 1024

// h = max(draw depth / 40, 0.05) mm: the tools are written shifted by h (binder down, the
// others up, drawbead ends up by 2h) so that they stand clear of the part in the post-processor.
double tool_clearance(double draw_depth);

// title: the base path of the command line, written blank-padded to 1024
// characters (cut if longer). settings: forming_type, method, element_value, friction1,
// friction2, pad_coefficient, bhforce, holforce, drawbead_count, draw_depth and the frame
// transform tipping_alpha, tipping_beta, lowest_z of the positioning. material_table: 8 columns
// of material_count >= 1 rows, column-major (column j, 0-based, of row 0 at j * count).
// drawbeads: drawbead_count x 8 column-major (value j of bead i at j * count + i),
// ends in the working frame. blank_holder, pad, binder: tool meshes in the working
// frame; an empty Mesh (nn = ne = 0) for a tool whose flag is 0.
// Tools and drawbead ends are written in the input attitude, computed on copies, so the
// model in memory is unchanged to the last bit, as the rest of the run needs it; then
// shifted by h.
void write_process_records(std::ostream& out, std::string_view title, const RunSettings& settings,
                           std::span<const double> material_table, int32_t material_count,
                           std::span<const double> drawbeads, const Mesh& blank_holder, const Mesh& pad,
                           const Mesh& binder);

}  // namespace trevo
