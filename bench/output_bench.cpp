// Times writing every result file of a 200,000-element part into files
// in a temporary directory: outlines (.lin, _3D.lin), dynain with its scratch unit,
// blank meshes (_Blank.nas, _Blank_Onbinder.nas), feature lines, the post file's
// process records, one frame, the outline records, and the blank summary.
// Target: all of it in under 2 s.
#include <benchmark/benchmark.h>

#include <cmath>
#include <ctime>
#include <map>
#include <string>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "../tests/test_mesh.h"
#include "output/blank_mesh.h"
#include "output/blank_summary.h"
#include "output/dynain.h"
#include "output/outline.h"
#include "output/post_file.h"
#include "output/post_frames.h"

namespace trevo {
namespace {

constexpr int kNx = 500, kNy = 400;  // 200,000 quadrilaterals, 200,901 nodes

// Neighbours of the structured grid: edges 0..3 = bottom, right, top, left.
std::vector<int32_t> grid_neighbours() {
  const int32_t ne = kNx * kNy;
  std::vector<int32_t> nb(4 * static_cast<size_t>(ne), kNone);
  for (int j = 0; j < kNy; ++j)
    for (int i = 0; i < kNx; ++i) {
      const int32_t e = j * kNx + i;
      if (j > 0) nb[0 * static_cast<size_t>(ne) + e] = e - kNx;
      if (i + 1 < kNx) nb[1 * static_cast<size_t>(ne) + e] = e + 1;
      if (j + 1 < kNy) nb[2 * static_cast<size_t>(ne) + e] = e + kNx;
      if (i > 0) nb[3 * static_cast<size_t>(ne) + e] = e - 1;
    }
  return nb;
}

struct Part {
  test::OwnedMesh mesh = test::make_grid(kNx, kNy, 1.0, 1.0);
  std::vector<int32_t> neighbours = grid_neighbours();
  std::vector<double> thickness, plastic, h0;
  std::vector<double> xx, yy, xy, e1x, e1y, e1z, e2x, e2y, e2z;
  std::vector<int32_t> feature_counts{kNx + 1}, feature_nodes;
  FrameTransform transform{0.1, -0.05, -3.0};

  Part() {
    for (size_t n = 0; n < mesh.x.size(); ++n) mesh.z[n] = 5.0 * std::sin(mesh.x[n] / 50.0);
    const size_t ne = static_cast<size_t>(mesh.ne());
    thickness.assign(ne, 0.9);
    h0.assign(ne, 1.0);
    plastic.assign(ne, 0.12);
    for (size_t e = 0; e < ne; ++e) {
      xx.push_back(0.05 + 1e-7 * static_cast<double>(e));
      yy.push_back(-0.02);
      xy.push_back(0.01);
      e1x.push_back(0.8), e1y.push_back(0.0), e1z.push_back(0.6);
      e2x.push_back(0.0), e2y.push_back(1.0), e2z.push_back(0.0);
    }
    for (int32_t i = 0; i <= kNx; ++i) feature_nodes.push_back(i);
  }
  LocalTensors tensors() const { return {xx, yy, xy, e1x, e1y, e1z, e2x, e2y, e2z}; }
};

// CPU seconds spent per writer, summed over the iterations (reported as counters):
// on a shared machine the wall time mostly measures the other jobs.
double cpu_seconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}
struct Stopwatch {
  std::map<std::string, double>& seconds;
  std::string what;
  double start = cpu_seconds();
  ~Stopwatch() { seconds[what] += cpu_seconds() - start; }
};

void write_all(const Part& p, const std::filesystem::path& base, std::map<std::string, double>& seconds) {
  auto name = [&](const char* suffix) { return base.string() + suffix; };
  Mesh m = const_cast<Part&>(p).mesh.view();
  // The strain block of the final evaluation into the scratch file, then the dynain file.
  {
    Stopwatch w{seconds, "dynain_s"};
    StrainScratch scratch(name(".fort36"));
    write_strain_heading(scratch.stream());
    for (int32_t e = 0; e < m.ne; ++e) write_element_strain(scratch.stream(), p.tensors(), e);
    std::ofstream out(name(".dynain"));
    write_dynain(out, m, p.thickness, p.plastic, p.tensors(), p.transform, scratch.stream());
  }
  // The post file: process records (no tools), then a frame, the summary and the outline records.
  std::ofstream post(name(".QLT"), std::ios::binary);
  {
    Stopwatch w{seconds, "post_process_s"};
    RunSettings s;
    s.draw_depth = 10.0;
    const std::vector<double> material{0.001, 600, 0.22, 0, 1, 1, 1, 1};
    Mesh none;
    write_process_records(post, base.string(), s, material, 1, {}, none, none, none);
  }
  const ElementResultColumns results = element_results(p.thickness, p.h0, p.xx, p.yy, p.xy, p.plastic, p.plastic);
  {
    Stopwatch w{seconds, "frames_s"};
    write_frame(post, 1, m, results.view(), {}, {});
  }
  // Blank meshes, then outlines and feature lines.
  const LocalTime time{2026, 3, 4, 9, 5, 3};
  {
    Stopwatch w{seconds, "nastran_s"};
    std::ofstream nas(name("_Blank_Onbinder.nas"));
    write_blank_mesh(nas, m, p.transform, time);
  }
  {
    Stopwatch w{seconds, "nastran_s"};
    std::ofstream nas(name("_Blank.nas"));
    write_blank_mesh(nas, m, p.transform, time);
  }
  Stopwatch outline_watch{seconds, "outlines_summary_s"};
  const OutlineLoops loops = chain_outline(extract_boundary_edges(m, p.neighbours));
  {
    std::ofstream lin(name("_3D.lin"));
    write_outline(lin, kBinderOutlineTitle, loops, m.x, m.y, m.z, p.transform);
  }
  {
    std::ofstream lin(name(".lin"));
    write_outline(lin, kFlatOutlineTitle, loops, m.x, m.y, m.z, p.transform);
    std::ofstream fl(name("_fl.lin"));
    write_feature_lines(fl, m.x, m.y, m.z, p.transform, p.feature_counts, p.feature_nodes);
  }
  std::ostringstream console, report;
  Reporter reporter(console, &report);
  RunResults run;
  run.summary = blank_summary(m, p.thickness);
  print_blank_summary(run.summary, reporter);
  Stopwatch w{seconds, "frames_s"};
  write_frame(post, 1, m, results.view(), {}, {});
  write_outline_records(post, run, loops, m.x, m.y, m.z, p.transform);
}

void BM_AllResultFiles200kElements(benchmark::State& state) {
  const Part part;
  const auto dir = std::filesystem::temp_directory_path() / "trevo_output_bench";
  std::filesystem::create_directories(dir);
  std::map<std::string, double> seconds;
  for (auto _ : state) write_all(part, dir / "part", seconds);
  for (const auto& [what, s] : seconds) state.counters[what] = s / static_cast<double>(state.iterations());
  std::uintmax_t bytes = 0;
  for (const auto& f : std::filesystem::directory_iterator(dir)) bytes += f.file_size();
  state.counters["MB_written"] = static_cast<double>(bytes) / 1e6;
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_AllResultFiles200kElements)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace trevo

BENCHMARK_MAIN();
