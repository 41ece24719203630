// Test-only helpers for the preparation tests: the neighbour table by Part 3.1, captured Reporter
// records, and a tiny reader of the SHETNODE/SHETQUAD lines of the generated validation parts.
// The owning mesh and its builders are the shared ones of ../test_mesh.h.
#pragma once
#include <array>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "../test_mesh.h"
#include "frame/mesh.h"
#include "frame/reporter.h"
#include "prepare/topology.h"

namespace trevo::test {

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
  std::vector<Row> rows;
  for (const auto& e : elements) rows.push_back({node_of.at(e[1]), node_of.at(e[2]), node_of.at(e[3]), node_of.at(e[4])});
  o.add_elements(rows);
  for (size_t e = 0; e < elements.size(); ++e) o.labels[e] = static_cast<int32_t>(elements[e][0]);
  return o;
}

}  // namespace trevo::test
