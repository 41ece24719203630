// Test-only meshes for the preparation tests: owned arrays behind a Mesh view, grids, and a
// tiny reader of the SHETNODE/SHETQUAD lines of the generated validation parts.
#pragma once
#include <array>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "frame/mesh.h"
#include "frame/reporter.h"
#include "prepare/topology.h"

namespace trevo::test {

struct OwnedMesh {
  std::vector<double> x, y, z;
  std::vector<int32_t> conn, corners, labels;  // conn column-major, 0-based nodes

  int32_t add_node(double px, double py, double pz) {
    x.push_back(px);
    y.push_back(py);
    z.push_back(pz);
    return static_cast<int32_t>(x.size()) - 1;
  }
  // Elements are collected row-wise and transposed by view() (call it once: it rebuilds
  // conn from the rows); a triangle passes n4 = n3.
  void add_element(int32_t n1, int32_t n2, int32_t n3, int32_t n4) {
    rows.push_back({n1, n2, n3, n4});
    corners.push_back(n4 == n3 ? 3 : 4);
    labels.push_back(static_cast<int32_t>(rows.size()));
  }
  Mesh view() {
    const size_t ne = rows.size();
    conn.assign(4 * ne, 0);
    for (size_t e = 0; e < ne; ++e) {
      for (size_t k = 0; k < 4; ++k) conn[k * ne + e] = rows[e][k];
    }
    Mesh m;
    m.nn = static_cast<int32_t>(x.size());
    m.ne = static_cast<int32_t>(ne);
    m.x = x;
    m.y = y;
    m.z = z;
    m.conn = conn;
    m.corners = corners;
    return m;
  }
  std::vector<std::array<int32_t, 4>> rows;
};

// nx x ny quads in the plane z = 0 from (x0, y0), unit spacing, counter-clockwise seen from +z.
inline void add_grid(OwnedMesh& o, int nx, int ny, double x0, double y0) {
  const int32_t base = static_cast<int32_t>(o.x.size());
  for (int j = 0; j <= ny; ++j) {
    for (int i = 0; i <= nx; ++i) o.add_node(x0 + i, y0 + j, 0.0);
  }
  auto id = [&](int i, int j) { return base + j * (nx + 1) + i; };
  for (int j = 0; j < ny; ++j) {
    for (int i = 0; i < nx; ++i) o.add_element(id(i, j), id(i + 1, j), id(i + 1, j + 1), id(i, j + 1));
  }
}

// The neighbour table of a mesh (Part 3.1) with freshly built edge slots.
inline std::vector<int32_t> neighbour_table(const Mesh& m) {
  std::vector<int32_t> edges(8 * static_cast<size_t>(m.ne)), neighbours(4 * static_cast<size_t>(m.ne));
  edge_table(m, edges);
  edge_neighbours(edges, m.ne, m.nn, neighbours);
  return neighbours;
}

// Records written to one side of a Reporter, one string per record.
inline std::vector<std::string> records(const std::ostringstream& stream) {
  std::vector<std::string> lines;
  std::istringstream in(stream.str());
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

struct CapturedReporter {
  std::ostringstream console, report;
  Reporter reporter{console, &report};
};

// Reads SHETNODE and SHETQUAD lines; node identifiers are mapped to their line order,
// element identifiers become the labels; a quadrilateral with n4 = n3 is a triangle.
inline OwnedMesh read_part(const std::string& path) {
  OwnedMesh o;
  std::ifstream in(path);
  std::unordered_map<int64_t, int32_t> node_of;
  std::vector<std::array<int64_t, 5>> elements;
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line.size() > 9 ? line.substr(9) : std::string());
    if (line.rfind("SHETNODE", 0) == 0) {
      int64_t id;
      double px, py, pz;
      fields >> id >> px >> py >> pz;
      node_of[id] = o.add_node(px, py, pz);
    } else if (line.rfind("SHETQUAD", 0) == 0) {
      std::array<int64_t, 5> e{};
      for (auto& v : e) fields >> v;
      elements.push_back(e);
    }
  }
  for (const auto& e : elements) {
    o.add_element(node_of.at(e[1]), node_of.at(e[2]), node_of.at(e[3]), node_of.at(e[4]));
    o.labels.back() = static_cast<int32_t>(e[0]);
  }
  return o;
}

}  // namespace trevo::test
