// Preparation of a 200k-element part in the driver's order: topology, the orientation and
// punch-direction checks, the matrix pattern, then the positioning phase (orientation check
// again, the automatic tipping search, undercut and element-angle checks, levelling,
// restraint category). Every step must stay free of quadratic loops. Meshes: a 500 x 400
// quad grid on a shallow dome (the orientation check's seed in the middle, every third
// element clockwise), and the same element count as two separate pieces (the orientation
// check seeds twice, one overlap pair).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "core/mesh.h"
#include "core/reporter.h"
#include "core/settings.h"
#include "prepare/matrix_pattern.h"
#include "prepare/model_checks.h"
#include "prepare/positioning.h"
#include "prepare/topology.h"

namespace {

using namespace trevo;

struct Grid {
  std::vector<double> x, y, z;
  std::vector<int32_t> conn, corners, labels;
  int32_t ne = 0;
};

// pieces grids of nx x ny quads side by side, 10 units apart.
Grid make_grid(int nx, int ny, int pieces) {
  Grid g;
  std::vector<std::array<int32_t, 4>> rows;
  for (int p = 0; p < pieces; ++p) {
    const int32_t base = static_cast<int32_t>(g.x.size());
    const double x0 = p * (nx + 10.0);
    for (int j = 0; j <= ny; ++j) {
      for (int i = 0; i <= nx; ++i) {
        const double dx = i - nx / 2.0, dy = j - ny / 2.0;
        g.x.push_back(x0 + i);
        g.y.push_back(j);
        g.z.push_back(-1e-4 * (dx * dx + dy * dy));
      }
    }
    auto id = [&](int i, int j) { return base + j * (nx + 1) + i; };
    for (int j = 0; j < ny; ++j) {
      for (int i = 0; i < nx; ++i) {
        std::array<int32_t, 4> r{id(i, j), id(i + 1, j), id(i + 1, j + 1), id(i, j + 1)};
        if (rows.size() % 3 == 0) std::swap(r[0], r[2]);  // clockwise
        rows.push_back(r);
      }
    }
  }
  g.ne = static_cast<int32_t>(rows.size());
  g.conn.resize(4 * rows.size());
  for (size_t e = 0; e < rows.size(); ++e) {
    for (size_t k = 0; k < 4; ++k) g.conn[k * rows.size() + e] = rows[e][k];
  }
  g.corners.assign(rows.size(), 4);
  g.labels.resize(rows.size());
  for (size_t e = 0; e < rows.size(); ++e) g.labels[e] = static_cast<int32_t>(e + 1);
  return g;
}

Mesh view(Grid& g) {
  Mesh m;
  m.nn = static_cast<int32_t>(g.x.size());
  m.ne = g.ne;
  m.x = g.x;
  m.y = g.y;
  m.z = g.z;
  m.conn = g.conn;
  m.corners = g.corners;
  return m;
}

void prepare_part(benchmark::State& state, int pieces) {
  const Grid original = make_grid(pieces == 1 ? 500 : 250, 400, pieces);
  for (auto _ : state) {
    state.PauseTiming();
    Grid g = original;
    Mesh m = view(g);
    std::ostringstream console, report;
    Reporter r(console, &report);
    RunSettings s;
    std::vector<int32_t> edges(8 * static_cast<size_t>(m.ne)), nb(4 * static_cast<size_t>(m.ne));
    state.ResumeTiming();

    benchmark::DoNotOptimize(count_bad_quadrilaterals(m));
    edge_table(m, edges);
    edge_neighbours(edges, m.ne, m.nn, nb);
    orientation_check(m, nb, g.labels, s, r);
    punch_direction_check(m, g.labels, s, r);

    std::vector<int32_t> pointer(m.nn + 1), marker(m.nn), adjacency_pointer(m.nn + 1), own(m.nn);
    const int64_t t = node_element_pointer(m, pointer);
    std::vector<int32_t> list(t);
    node_element_list(m, pointer, list);
    const int64_t a = node_adjacency_pointer(m, pointer, list, adjacency_pointer, marker);
    std::vector<int32_t> adjacency(a), row_start(2 * m.nn + 1), diagonal(2 * m.nn);
    node_adjacency(m, pointer, list, adjacency_pointer, adjacency, own, marker);
    CsrMatrix matrix;
    matrix.neq = 2 * m.nn;
    matrix.row_start = row_start;
    matrix.diagonal = diagonal;
    matrix_pattern(adjacency_pointer, adjacency, own, matrix);
    benchmark::DoNotOptimize(diagonal.data());

    s.autonoml = 1;  // the automatic tipping search runs over every nodal normal
    std::vector<double> xc = g.x, yc = g.y, zc = g.z, nx(m.nn), ny(m.nn), nz(m.nn);
    Mesh no_tool;
    PositioningInput positioning{m, nb, g.labels, xc, yc, zc, no_tool, no_tool, no_tool, DrawbeadEnds{}, nx, ny, nz};
    position_model(positioning, s, r);
    state.counters["elements"] = m.ne;
    const std::string messages = console.str();
    state.counters["console_lines"] = static_cast<double>(std::count(messages.begin(), messages.end(), '\n'));
  }
}

void BM_PrepareOnePiece(benchmark::State& state) { prepare_part(state, 1); }
void BM_PrepareTwoPieces(benchmark::State& state) { prepare_part(state, 2); }

BENCHMARK(BM_PrepareOnePiece)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrepareTwoPieces)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
