// The physical ranges of the values a job gives, checked on the keyword file right after the
// readers have read it.
// The readers reject what cannot be read (a non-numeric field, Infinity, NaN, a real beyond the
// double range) with their own report; these checks reject what reads as a number but cannot be
// a sheet, a tool or a process: a thickness, strength, pre-strain or r-value that is not
// positive, a hardening exponent outside (0, 1), a negative friction coefficient or force, a
// coordinate beyond 1e6 mm either way. The first bad value, in file order, stops the run with
// one message on the console and in the run report naming the file, the line, the keyword, the
// quantity and the value, e.g.
//   " trevo: job.dat line 12: MATERIAL exponent n = -0.22 must be above 0 and below 1".
// Only the lines the readers read are checked (tool nodes only for the tools the forming type
// selects), and only the values they hold (a value missing at the end keeps its default).
#pragma once
#include <string>

#include "core/reporter.h"
#include "core/settings.h"
#include "input/keyword_file.h"

namespace trevo {

// The mesh lines: node coordinates of the part and of each tool the forming type selects, and
// the initial thickness of the part elements (their element value) unless a MATERIAL line of
// the second form gives the thickness per material. file_name is the keyword file's name as
// the run opened it.
void check_mesh_values(const KeywordFile& file, const std::string& file_name, const RunSettings& settings,
                       Reporter& reporter);

// The process controls: MATERIAL (pre-strain, strength, exponent, r-values, thickness),
// FRICTION, BHFORCE, HOLFORCE and DRAWBEAD (forces and end points).
void check_control_values(const KeywordFile& file, const std::string& file_name, Reporter& reporter);

}  // namespace trevo
