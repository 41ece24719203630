// Helpers of the input tests: a reporter over two string streams, and the whole read
// sequence of Part 1.3 steps 4-14 as far as subsystem 2 takes part in it.
#pragma once
#include <sstream>
#include <string>
#include <vector>

#include "frame/index_table.h"
#include "frame/reporter.h"
#include "frame/run_stop.h"
#include "frame/settings.h"
#include "frame/work_array.h"
#include "input/controls.h"
#include "input/keyword_file.h"
#include "input/keyword_scan.h"
#include "input/mesh_readers.h"

namespace trevo::test {

// Console and run report captured separately.
struct Capture {
  std::ostringstream console, report;
  Reporter reporter{console, &report};
};

// The process arrays laid out after stage 2 (the driver lays them out in a later stage).
inline ProcessArrays lay_out_process_arrays(WorkArray& work, Reporter& reporter, const RunSettings& s, int64_t first_free) {
  StageLayout stage(work, reporter, first_free);
  ProcessArrays arrays;
  for (auto& column : arrays.drawbead) column = stage.reals(s.drawbead_count);
  arrays.contratx_int = stage.ints(s.contratx_count);
  arrays.contratx_real = stage.reals(s.contratx_count);
  arrays.contraty_int = stage.ints(s.contraty_count);
  arrays.contraty_real = stage.reals(s.contraty_count);
  arrays.material = stage.reals(int64_t{kMaterialColumns} * s.material_count);
  return arrays;
}

// Everything the read sequence produced.
struct JobRead {
  RunSettings settings;
  FirstPass first;  // its mesh view is overwritten by stage 2; the duplicate list survives
  SecondPass second;
  std::vector<Mesh> tools;  // in the order blank-holder, binder, pad, those present
  ProcessArrays arrays;
  FeatureLines features;
};

// Scan, stage 1, first pass, stage 2 (capacity = elements kept + extra_capacity), second pass,
// tool readers, process arrays, controls, feature lines. Throws RunStopped on a stop.
inline void read_job(const KeywordFile& file, WorkArray& work, Reporter& reporter, JobRead& job,
                     int32_t extra_capacity = 0) {
  RunSettings& s = job.settings;
  scan_keyword_file(file, s, reporter);
  InputSlices input = lay_out_input_slices(work, reporter, s.part_elements, s.part_nodes);
  job.first = read_part_mesh_first_pass(file, s, input, reporter);
  const int32_t capacity = job.first.mesh.ne + extra_capacity;
  ModelSlices model = lay_out_model_slices(work, reporter, model_counts(s, capacity), job.first.duplicate_count + 1);
  job.second = read_part_mesh_second_pass(file, job.first.duplicates, model, s, reporter);
  if (s.blank_holder_flag == 1) job.tools.push_back(read_tool_mesh(file, ToolMesh::blank_holder, model.blank_holder, reporter));
  if (s.binder_flag == 1) job.tools.push_back(read_tool_mesh(file, ToolMesh::binder, model.binder, reporter));
  if (s.pad_flag == 1) job.tools.push_back(read_tool_mesh(file, ToolMesh::pad, model.pad, reporter));
  job.arrays = lay_out_process_arrays(work, reporter, s, model.scratch.back().first_word + model.scratch.back().words);
  read_controls(file, s, job.arrays, model.material.first(static_cast<size_t>(capacity)),
                model.element_value.first(static_cast<size_t>(capacity)), reporter);
  job.features = read_feature_lines(file, job.second.renumbering, job.second.mesh.nn, reporter);
}

// The 200-character record of a line, as the error reports print it.
inline std::string record200(std::string line) {
  line.resize(kRecordLength, ' ');
  return line;
}

// The read-error report as console and report each show it.
inline std::string read_error_text(std::string_view message, const std::string& line, std::string_view preamble = {}) {
  std::string text;
  if (!preamble.empty()) text.append(" ").append(preamble).append("\n");
  text.append("\n ").append(message).append("\n").append(record200(line)).append("\n\n");
  return text;
}

}  // namespace trevo::test
