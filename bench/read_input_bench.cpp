// Times the whole keyword input of a 200,000-element, 200,901-node part, with the work
// array's slice layouts: load, scan, first pass, model slices, second pass, controls and
// feature lines. The job is a structured quadrilateral grid written once into a temp dir.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/index_table.h"
#include "core/reporter.h"
#include "core/settings.h"
#include "core/work_array.h"
#include "input/controls.h"
#include "input/keyword_file.h"
#include "input/keyword_scan.h"
#include "input/mesh_readers.h"

namespace {

constexpr int kCellsX = 400, kCellsY = 500;  // 200,000 quadrilaterals

std::string write_grid_job() {
  const auto path = std::filesystem::temp_directory_path() / "trevo_read_input_bench.dat";
  std::ofstream out(path, std::ios::binary);
  out << "$$KVO/TREVO  read_input_bench grid\nFORMTYPE 0\nMATERIAL  0.001 600.0 0.22 0 1.0 1.0 1.0\n";
  char line[160];
  for (int j = 0; j <= kCellsY; ++j) {
    for (int i = 0; i <= kCellsX; ++i) {
      std::snprintf(line, sizeof line, "SHETNODE %d %.8f %.8f %.8f\n", j * (kCellsX + 1) + i + 1, 2.0 * i, 2.0 * j,
                    0.001 * i * j);
      out << line;
    }
  }
  for (int j = 0; j < kCellsY; ++j) {
    for (int i = 0; i < kCellsX; ++i) {
      const int n = j * (kCellsX + 1) + i + 1;
      std::snprintf(line, sizeof line, "SHETQUAD %d %d %d %d %d 1.0\n", j * kCellsX + i + 1, n, n + 1, n + kCellsX + 2,
                    n + kCellsX + 1);
      out << line;
    }
  }
  return path.string();
}

void BM_ReadInput(benchmark::State& state) {
  static const std::string path = write_grid_job();
  trevo::WorkArray work(20'000'000);
  for (auto _ : state) {
    std::ostringstream console, report;
    trevo::Reporter reporter(console, &report);
    trevo::RunSettings s;
    const trevo::KeywordFile file = trevo::KeywordFile::load(path);
    trevo::scan_keyword_file(file, s, reporter);
    trevo::InputSlices input = trevo::lay_out_input_slices(work, reporter, s.part_elements, s.part_nodes);
    trevo::FirstPass first = trevo::read_part_mesh_first_pass(file, s, input, reporter);
    trevo::ModelSlices model =
        trevo::lay_out_model_slices(work, reporter, trevo::model_counts(s, first.mesh.ne), first.duplicate_count + 1);
    trevo::SecondPass second = trevo::read_part_mesh_second_pass(file, first.duplicates, model, s, reporter);
    trevo::StageLayout stage(work, reporter, model.scratch.back().first_word + model.scratch.back().words);
    trevo::ProcessArrays arrays;
    arrays.material = stage.reals(int64_t{trevo::kMaterialColumns} * s.material_count);
    trevo::read_controls(file, s, arrays, model.material, model.element_value, reporter);
    trevo::FeatureLines features = trevo::read_feature_lines(file, second.renumbering, second.mesh.nn, reporter);
    benchmark::DoNotOptimize(features);
    if (second.elements_stored != kCellsX * kCellsY) state.SkipWithError("wrong element count");
  }
  state.counters["elements"] = kCellsX * kCellsY;
  state.counters["nodes"] = (kCellsX + 1) * (kCellsY + 1);
}
BENCHMARK(BM_ReadInput)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
