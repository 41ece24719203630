// Test-only meshes behind a trevo::Mesh view (0-based; conn column-major, 4 x ne; a triangle repeats
// corner 3 as corner 4), their builders, a neighbour table and orientation test of their own, readers of a
// keyword file's mesh records and of a reference's numbers, a reporter whose two sides are captured.
#pragma once
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/mesh.h"
#include "core/reporter.h"

namespace trevo::test {

using Row = std::array<int32_t, 4>;

struct OwnedMesh {
  std::vector<double> x, y, z;
  std::vector<int32_t> conn, corners, labels;  // 4 x ne; ne (3 or 4, empty for tools); ne (1..ne)

  int32_t nn() const { return static_cast<int32_t>(x.size()); }
  int32_t ne() const { return static_cast<int32_t>(conn.size() / 4); }
  Mesh view() { return Mesh{nn(), ne(), x, y, z, conn, corners}; }
  int32_t& node(int32_t e, int k) { return conn[static_cast<size_t>(k) * ne() + e]; }
  int32_t add_node(double px, double py, double pz) {
    x.push_back(px), y.push_back(py), z.push_back(pz);
    return nn() - 1;
  }
  void add_elements(const std::vector<Row>& rows) {  // re-lays conn: give many rows at once
    const size_t old = conn.size() / 4, total = old + rows.size();
    std::vector<int32_t> laid(4 * total);
    for (size_t k = 0; k < 4; ++k) {
      for (size_t e = 0; e < old; ++e) laid[k * total + e] = conn[k * old + e];
      for (size_t r = 0; r < rows.size(); ++r) laid[k * total + old + r] = rows[r][k];
    }
    conn = std::move(laid);
    for (const Row& r : rows) corners.push_back(r[3] == r[2] ? 3 : 4), labels.push_back(int32_t(labels.size()) + 1);
  }
  void add_element(int32_t a, int32_t b, int32_t c, int32_t d) { add_elements({{a, b, c, d}}); }
};

// Element e given the other way round: corners 1 and 3 swap (a triangle keeps corner 4 = corner 3).
inline void reverse_row(OwnedMesh& o, int32_t e) {
  std::swap(o.node(e, 0), o.node(e, 2));
  if (o.corners[e] == 3) o.node(e, 3) = o.node(e, 2);
}

inline OwnedMesh make_mesh(const std::vector<std::array<double, 3>>& nodes, const std::vector<Row>& elements) {
  OwnedMesh m;
  for (const auto& p : nodes) m.add_node(p[0], p[1], p[2]);
  m.add_elements(elements);
  return m;
}

// nx x ny cells of sx x sy from (x0, y0) at z = 0, counter-clockwise, appended to o: node (i, j) =
// first + j (nx + 1) + i, cell j nx + i. A cell in `split` becomes the triangles (a, b, c), (a, c, d);
// one in `holes` is left out.
inline void add_grid(OwnedMesh& o, int nx, int ny, double x0, double y0, double sx = 1.0, double sy = 1.0,
                     const std::set<int32_t>& split = {}, const std::set<int32_t>& holes = {}) {
  const int32_t first = o.nn();
  for (int j = 0; j <= ny; ++j)
    for (int i = 0; i <= nx; ++i) o.add_node(x0 + i * sx, y0 + j * sy, 0.0);
  std::vector<Row> rows;
  for (int32_t cell = 0; cell < nx * ny; ++cell) {
    const int32_t a = first + cell / nx * (nx + 1) + cell % nx, b = a + 1, c = b + nx + 1, d = a + nx + 1;
    if (holes.count(cell)) continue;
    if (split.count(cell)) rows.push_back({a, b, c, c}), rows.push_back({a, c, d, d});
    else rows.push_back({a, b, c, d});
  }
  o.add_elements(rows);
}

inline OwnedMesh make_grid(int nx, int ny, double sx = 1, double sy = 1, const std::set<int32_t>& split = {},
                           const std::set<int32_t>& holes = {}) {
  OwnedMesh o;
  add_grid(o, nx, ny, 0.0, 0.0, sx, sy, split, holes);
  return o;
}

// Neighbour table ne x 4 (column-major, across edge k from corner k to k + 1) from a map of every edge
// to the elements using it: across lies the last other element using it. Needs the corners.
inline std::vector<int32_t> brute_force_neighbours(Mesh m) {
  std::map<std::pair<int32_t, int32_t>, std::vector<int32_t>> users;
  const auto key = [&](int32_t e, int k) {
    const int32_t a = m.node(e, k), b = m.node(e, (k + 1) % m.corners[e]);
    return std::pair{std::min(a, b), std::max(a, b)};
  };
  for (int32_t e = 0; e < m.ne; ++e)
    for (int k = 0; k < m.corners[e]; ++k) users[key(e, k)].push_back(e);
  std::vector<int32_t> nb(4 * static_cast<size_t>(m.ne), kNone);
  for (int32_t e = 0; e < m.ne; ++e)
    for (int k = 0; k < m.corners[e]; ++k)
      for (const int32_t f : users[key(e, k)]) nb[k * m.ne + e] = f != e ? f : nb[k * m.ne + e];
  return nb;
}

// Every edge shared (by the table nb) is run in opposite directions by its two elements.
inline bool agreeing(const Mesh& m, const std::vector<int32_t>& nb) {
  for (int32_t e = 0; e < m.ne; ++e)
    for (int k = 0; k < m.corners[e]; ++k) {
      const int32_t f = nb[k * m.ne + e], a = m.node(e, k), b = m.node(e, (k + 1) % m.corners[e]);
      bool opposite = f == kNone;
      for (int j = 0; f != kNone && j < m.corners[f]; ++j)
        opposite |= m.node(f, j) == b && m.node(f, (j + 1) % m.corners[f]) == a;
      if (!opposite) return false;
    }
  return true;
}

// The mesh of one node / element keyword pair (SHETNODE / SHETQUAD, BINDNODE / BINDQUAD ...) of a
// keyword file: node identifiers map to their line order (kept in `ids`), element ones become the
// labels. A missing file gives an empty mesh.
inline OwnedMesh read_mesh(const std::string& path, const std::string& node_key, const std::string& element_key,
                           std::map<int64_t, int32_t>* ids = nullptr) {
  OwnedMesh o;
  std::map<int64_t, int32_t> own, &index = ids ? *ids : own;
  std::vector<std::array<int64_t, 5>> elements;
  std::ifstream in(path);
  for (std::string line, key; std::getline(in, line);) {
    std::istringstream fields(line);
    std::array<int64_t, 5> e{};
    double p[3];
    fields >> key;
    if (key == node_key && fields >> e[0] >> p[0] >> p[1] >> p[2]) index[e[0]] = o.add_node(p[0], p[1], p[2]);
    if (key == element_key && fields >> e[0] >> e[1] >> e[2] >> e[3] >> e[4]) elements.push_back(e);
  }
  std::vector<Row> rows;
  for (const auto& e : elements) rows.push_back({index.at(e[1]), index.at(e[2]), index.at(e[3]), index.at(e[4])});
  o.add_elements(rows);
  for (size_t e = 0; e < elements.size(); ++e) o.labels[e] = static_cast<int32_t>(elements[e][0]);
  return o;
}

// The numbers after every `key` in a file (a reference's "name": value pairs), in order.
inline std::vector<double> numbers_after(const std::string& path, const std::string& key) {
  std::ifstream in(path);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<double> out;
  for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1))
    out.push_back(std::strtod(text.c_str() + at + key.size(), nullptr));
  return out;
}

struct Captured {
  std::ostringstream console, report;
  Reporter reporter{console, &report};
};
inline std::vector<std::string> lines(const std::ostringstream& stream) {  // one string per record
  std::vector<std::string> out;
  std::istringstream in(stream.str());
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

}  // namespace trevo::test
