// The picture of a complete run: trevo-picture <base> draws <base>.png from <base>.vtu and
// <base>.summary.json (src/tools/trevo_picture.py).
#pragma once
#include <string>

#include "core/reporter.h"

namespace trevo {

// The drawing tool: "trevo-picture" in the running binary's own folder (an installation
// puts both in one bin/, the build folder holds a copy), else the first executable one on
// PATH; empty when there is none.
std::string find_picture_tool(const std::string& own_folder);

// Runs the tool on the run's base path and waits for it, unless the environment variable
// TREVO_PICTURE is "0" or no tool is found. The drawing never changes the run's end: a
// tool that fails leaves one warning line on the console, with the last line the tool
// wrote to its error stream (its own output is not shown).
void draw_run_picture(const std::string& base, Reporter& reporter);

}  // namespace trevo
