// The band around the newest front, its own membrane system, and its relaxation.
#include "elastic/band_relaxation.h"

#include <algorithm>
#include <array>

#include "prepare/matrix_pattern.h"

namespace trevo {

namespace {

// The band as a mesh of its own with its matrix pattern: local node i is part node nodes[i].
struct BandSystem {
  std::vector<int32_t> nodes;
  std::vector<double> x, y, z;
  std::vector<int32_t> conn, corners;
  std::vector<int32_t> row_start, diagonal, column, own, scatter, free_flags;
  std::vector<double> value, R, dU;
  std::array<std::vector<double>, 5> cg;
  ElasticSystem system;
};

// Gives every band node its local number + 1 in marks.node (cleared by release_numbers).
void number_band_nodes(const Mesh& part, std::span<const int32_t> band, const BandMarks& marks, BandSystem& b) {
  for (int32_t e : band) {
    for (int k = 0; k < corner_count(part, e); ++k) {
      const int32_t n = part.node(e, k);
      if (marks.node[n] != 0) continue;
      b.nodes.push_back(n);
      marks.node[n] = static_cast<int32_t>(b.nodes.size());
    }
  }
}

void release_numbers(const BandSystem& b, const BandMarks& marks) {
  for (int32_t n : b.nodes) marks.node[n] = 0;
}

Mesh band_mesh(const Mesh& part, std::span<const int32_t> band, const BandMarks& marks, BandSystem& b) {
  const auto nn = static_cast<int32_t>(b.nodes.size()), ne = static_cast<int32_t>(band.size());
  for (int32_t n : b.nodes) b.x.push_back(part.x[n]), b.y.push_back(part.y[n]), b.z.push_back(part.z[n]);
  b.conn.resize(4 * static_cast<size_t>(ne));
  for (int32_t le = 0; le < ne; ++le) {
    for (int k = 0; k < 4; ++k) b.conn[static_cast<size_t>(k) * ne + le] = marks.node[part.node(band[le], k)] - 1;
    b.corners.push_back(corner_count(part, band[le]));
  }
  return Mesh{nn, ne, b.x, b.y, b.z, b.conn, b.corners};
}

void build_pattern(BandSystem& b) {
  const Mesh& m = b.system.part;
  std::vector<int32_t> element_pointer(m.nn + 1), marker(m.nn), adjacency_pointer(m.nn + 1);
  std::vector<int32_t>& own = b.own;  // the matrix's first upper places
  own.resize(m.nn);
  std::vector<int32_t> element_list(node_element_pointer(m, element_pointer));
  node_element_list(m, element_pointer, element_list);
  std::vector<int32_t>& adjacency = b.column;  // the matrix's column list is the adjacency
  adjacency.resize(node_adjacency_pointer(m, element_pointer, element_list, adjacency_pointer, marker));
  node_adjacency(m, element_pointer, element_list, adjacency_pointer, adjacency, own, marker);
  CsrMatrix& k = b.system.k;
  k.neq = 2 * m.nn;
  b.row_start.resize(2 * m.nn + 1), b.diagonal.resize(2 * m.nn);
  b.value.resize(upper_matrix_values(m.nn, static_cast<int64_t>(adjacency.size())));
  k.row_start = b.row_start, k.diagonal = b.diagonal, k.value = b.value;
  matrix_pattern(adjacency_pointer, adjacency, own, k);
  b.scatter.resize(scatter_map_size(m.ne));
  scatter_map(m, k, b.scatter);
  b.system.scatter = b.scatter;
}

void build_band_system(const ElasticSystem& whole, std::span<const int32_t> band, const BandMarks& marks,
                       BandSystem& b) {
  number_band_nodes(whole.part, band, marks, b);
  b.system.part = band_mesh(whole.part, band, marks, b);
  build_pattern(b);
  const size_t equations = 2 * b.nodes.size();
  b.free_flags.assign(b.nodes.size(), 0);  // no CONTRATX / CONTRATY hold during the unfolding
  b.system.held = {b.free_flags, b.free_flags};
  b.R.resize(equations), b.dU.resize(equations);
  for (std::vector<double>& v : b.cg) v.resize(equations);
  b.system.R = b.R, b.system.dU = b.dU;
  b.system.cg = {b.cg[0], b.cg[1], b.cg[2], b.cg[3], b.cg[4]};
}

}  // namespace

std::vector<int32_t> band_elements(const Mesh& part, NodeElementIndex index, std::span<const int32_t> in_region,
                                   std::span<const int32_t> front, int rings, const BandMarks& marks) {
  std::vector<int32_t> band, ring_nodes, touched_nodes;
  auto reach_node = [&](int32_t n) {
    if (marks.node[n] != 0) return;
    marks.node[n] = 1;
    ring_nodes.push_back(n);
    touched_nodes.push_back(n);
  };
  for (int32_t e : front)
    for (int k = 0; k < corner_count(part, e); ++k) reach_node(part.node(e, k));
  for (int ring = 0; ring < rings && !ring_nodes.empty(); ++ring) {
    std::vector<int32_t> nodes;
    nodes.swap(ring_nodes);
    for (int32_t n : nodes) {
      for (int32_t q = index.pointer[n]; q < index.pointer[n + 1]; ++q) {
        const int32_t e = index.list[q];
        if (in_region[e] == 0 || marks.element[e] != 0) continue;
        marks.element[e] = 1;
        band.push_back(e);
        for (int k = 0; k < corner_count(part, e); ++k) reach_node(part.node(e, k));
      }
    }
  }
  for (int32_t n : touched_nodes) marks.node[n] = 0;
  for (int32_t e : band) marks.element[e] = 0;
  std::sort(band.begin(), band.end());
  return band;
}

std::vector<int32_t> band_boundary(const Mesh& part, NodeElementIndex index, std::span<const int32_t> in_region,
                                   std::span<const int32_t> band, const BandMarks& marks) {
  for (int32_t e : band) marks.element[e] = 1;
  std::vector<int32_t> boundary;
  for (int32_t e : band) {
    for (int k = 0; k < corner_count(part, e); ++k) {
      const int32_t n = part.node(e, k);
      if (marks.node[n] != 0) continue;
      marks.node[n] = 1;
      for (int32_t q = index.pointer[n]; q < index.pointer[n + 1]; ++q) {
        const int32_t other = index.list[q];
        if (in_region[other] != 0 && marks.element[other] == 0) {
          boundary.push_back(n);
          break;
        }
      }
    }
  }
  for (int32_t e : band) {
    marks.element[e] = 0;
    for (int k = 0; k < 4; ++k) marks.node[part.node(e, k)] = 0;
  }
  return boundary;
}

RelaxationOutcome subregion_relaxation(const ElasticSystem& whole, std::span<const int32_t> elements,
                                       std::span<const PrescribedDisplacement> held, const BandMarks& marks,
                                       std::span<double> X, std::span<double> Y, const StageControls& controls,
                                       int32_t message_level, Reporter& reporter) {
  BandSystem b;
  build_band_system(whole, elements, marks, b);
  std::vector<PrescribedDisplacement> local_held;
  for (const PrescribedDisplacement& h : held)
    local_held.push_back({2 * (marks.node[h.equation / 2] - 1) + h.equation % 2, h.outstanding});
  release_numbers(b, marks);
  std::vector<double> bx, by;
  for (int32_t n : b.nodes) bx.push_back(X[n]), by.push_back(Y[n]);
  const std::vector<int32_t> placed(b.nodes.size(), 1);
  const RelaxationOutcome out =
      stage_relaxation(b.system, {}, placed, local_held, bx, by, controls, message_level, reporter);
  for (size_t i = 0; i < b.nodes.size(); ++i) X[b.nodes[i]] = bx[i], Y[b.nodes[i]] = by[i];
  return out;
}

}  // namespace trevo
