// Scans the keyword file: signature, forming type and tool flags, block counts, completeness.
// Called once by the driver after the defaults are set and before anything is laid out:
// the counts size every array. Sets in the settings: forming_type, blank_holder_flag,
// binder_flag, pad_flag and every block count (part_elements, part_nodes, drawbead_count,
// contratx_count, contraty_count, the six tool counts, material_count). Tool counts stay 0
// when their flag is 0. Every failure writes its message (console and report) and stops.
// The derived sizes (4 x elements, 2 x nodes, 8 equations per element) follow from these
// counts and the fixed nodes_per_element and dofs_per_node; no separate setting holds them.
#pragma once
#include "core/reporter.h"
#include "core/settings.h"
#include "input/keyword_file.h"

namespace trevo {

void scan_keyword_file(const KeywordFile& file, RunSettings& settings, Reporter& reporter);

}  // namespace trevo
