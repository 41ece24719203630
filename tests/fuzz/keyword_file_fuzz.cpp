// libFuzzer target: the keyword readers on one fuzzed <base>.dat held in memory, in the driver's
// order: scan, first mesh pass, split of the badly shaped quadrilaterals, second pass, tool
// meshes, process controls, feature lines. A stop with its message is a normal outcome; a crash,
// a hang, a sanitizer report, a stop without a message or a node number out of range is a bug.
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <span>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "core/index_table.h"
#include "core/run_stop.h"
#include "input/controls.h"
#include "input/keyword_scan.h"
#include "input/mesh_readers.h"
#include "prepare/topology.h"

namespace {

using namespace trevo;

// Room for the largest job libFuzzer makes from -max_len bytes; a larger one stops on its size.
constexpr int64_t kWorkWords = 200'000;

[[noreturn]] void breach(const char* what, int64_t value) {
  std::fprintf(stderr, "keyword reader breach: %s (%lld)\n", what, static_cast<long long>(value));
  std::abort();
}

void check_nodes(const Mesh& mesh, int32_t elements) {
  for (int32_t e = 0; e < elements; ++e)
    for (int k = 0; k < kCorners; ++k)
      if (static_cast<uint32_t>(mesh.node(e, k)) >= static_cast<uint32_t>(mesh.nn)) breach("element node out of range", e);
}

void read_job(const KeywordFile& file, Reporter& reporter) {
  // One work array for every input: a fresh one of this size costs more than the read (page
  // faults on fresh memory). Its bytes are set to 0xFF first (a NaN as a real, -1 as an
  // integer), so that no input sees the words of the one before and a finding reproduces alone.
  static WorkArray work(kWorkWords);
  const std::span<double> words = work.reals(1, kWorkWords);
  std::memset(words.data(), 0xFF, words.size_bytes());
  RunSettings s;
  scan_keyword_file(file, s, reporter);
  InputSlices input = lay_out_input_slices(work, reporter, s.part_elements, s.part_nodes);
  const FirstPass first = read_part_mesh_first_pass(file, s, input, reporter);
  const int32_t capacity = first.mesh.ne + count_bad_quadrilaterals(first.mesh);
  ModelSlices model = lay_out_model_slices(work, reporter, model_counts(s, capacity), first.duplicate_count + 1);
  SecondPass second = read_part_mesh_second_pass(file, first.duplicates, model, s, reporter);
  Mesh part = second.mesh;
  const int32_t added = split_bad_quadrilaterals(part, second.elements_stored, model.element_value, model.material,
                                                 model.labels);
  check_nodes(part, second.elements_stored + added);
  for (auto [flag, tool, slices] : {std::tuple{s.blank_holder_flag, ToolMesh::blank_holder, &model.blank_holder},
                                    std::tuple{s.binder_flag, ToolMesh::binder, &model.binder},
                                    std::tuple{s.pad_flag, ToolMesh::pad, &model.pad}})
    if (flag == 1) {
      const Mesh mesh = read_tool_mesh(file, tool, *slices, reporter);
      check_nodes(mesh, mesh.ne);
    }
  StageLayout stage(work, reporter, model.scratch.back().first_word + model.scratch.back().words);
  ProcessArrays arrays;
  for (auto& column : arrays.drawbead) column = stage.reals(s.drawbead_count);
  arrays.contratx_int = stage.ints(s.contratx_count);
  arrays.contratx_real = stage.reals(s.contratx_count);
  arrays.contraty_int = stage.ints(s.contraty_count);
  arrays.contraty_real = stage.reals(s.contraty_count);
  arrays.material = stage.reals(int64_t{kMaterialColumns} * s.material_count);
  read_controls(file, s, arrays, model.material.first(static_cast<size_t>(capacity)),
                model.element_value.first(static_cast<size_t>(capacity)), reporter);
  for (int32_t e = 0; e < capacity; ++e)
    if (model.material[e] < 0 || model.material[e] >= s.material_count) breach("material row out of range", e);
  const FeatureLines features = read_feature_lines(file, second.renumbering, part.nn, reporter);
  for (int32_t node : features.nodes)
    if (node < 0 || node >= part.nn) breach("feature line node out of range", node);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::ostringstream console, report;
  Reporter reporter(console, &report);
  try {
    read_job(KeywordFile::from_text(std::string(reinterpret_cast<const char*>(data), size)), reporter);
  } catch (const RunStopped&) {
    if (console.str().empty()) breach("a stop without a message", static_cast<int64_t>(size));
  }
  return 0;
}
