// The result files of a validation run read back with the spec-table readers of
// tests/output/readers.h, and the blank as points and elements for the geometry checks.
// Spec: Part 7.1 (.lin), Part 7.2 (.dynain), Part 7.3 (_Blank.nas, _fl.lin).
#pragma once
#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "../output/readers.h"
#include "blank_geometry.h"
#include "job_runner.h"

namespace trevo::e2e {

inline test_readers::NasFile read_blank_file(const JobRun& run) {
  std::istringstream in(run.file("_Blank.nas"));
  return test_readers::read_nastran(in);
}
inline test_readers::DynainFile read_dynain_file(const JobRun& run) {
  std::istringstream in(run.file(".dynain"));
  return test_readers::read_dynain(in);
}
inline test_readers::LinFile read_lin_file(const JobRun& run, const std::string& suffix) {
  std::istringstream in(run.file(suffix));
  return test_readers::read_lin(in);
}

// The blank of the Nastran file: node k (internal number k + 1) at grids[k].
struct Blank {
  std::vector<Point> nodes;
  std::vector<std::array<int, 4>> elements;  // 0-based, a triangle repeats corner 3
  std::vector<int> corners;                  // 3 (CTRIA3) or 4 (CQUAD4)
  std::string error;
};
inline Blank blank_of(const test_readers::NasFile& f) {
  Blank b;
  b.error = f.error;
  for (size_t k = 0; k < f.grids.size(); ++k) {
    if (f.grids[k].number != static_cast<long long>(k + 1) && b.error.empty())
      b.error = "GRID " + std::to_string(k + 1) + " is numbered " + std::to_string(f.grids[k].number);
    b.nodes.push_back({f.grids[k].x, f.grids[k].y, f.grids[k].z});
  }
  for (const auto& e : f.elements) {
    std::array<int, 4> c{};
    for (size_t k = 0; k < 4; ++k) c[k] = static_cast<int>(e.nodes[std::min(k, e.nodes.size() - 1)] - 1);
    b.elements.push_back(c);
    b.corners.push_back(static_cast<int>(e.nodes.size()));
  }
  return b;
}

// Part 3.1 splitting: the solved model holds the input elements in their order (a split
// quadrilateral keeps three of its corners as a triangle) followed by one new triangle per split,
// in the order of the split quadrilaterals, with the quadrilateral's element value. Returns the
// element value h0 of every solved element, or the first inconsistency.
struct SolvedElements {
  std::vector<double> h0;
  size_t splits = 0;
  std::string error;
};
inline SolvedElements solved_elements(const InputMesh& mesh, const Blank& blank) {
  SolvedElements s;
  auto corner_set = [](const std::array<int, 4>& c, int n) { return std::multiset<int>(c.begin(), c.begin() + n); };
  const size_t ne0 = mesh.elements.size();
  if (blank.elements.size() < ne0) {
    s.error = std::to_string(blank.elements.size()) + " solved elements for " + std::to_string(ne0) + " input elements";
    return s;
  }
  std::vector<size_t> split;
  for (size_t e = 0; e < ne0 && s.error.empty(); ++e) {
    const auto in = corner_set(mesh.elements[e], mesh.corners[e]), out = corner_set(blank.elements[e], blank.corners[e]);
    const bool is_split = mesh.corners[e] == 4 && blank.corners[e] == 3 &&
                          std::includes(in.begin(), in.end(), out.begin(), out.end());
    if (is_split) split.push_back(e);
    else if (in != out) s.error = "element " + std::to_string(e + 1) + " is not on the corners of the input element";
    s.h0.push_back(mesh.h0[e]);
  }
  if (s.error.empty() && blank.elements.size() != ne0 + split.size())
    s.error = std::to_string(split.size()) + " split quadrilaterals but " + std::to_string(blank.elements.size() - ne0) +
              " new elements";
  for (size_t j = 0; j < split.size() && s.error.empty(); ++j) {
    const size_t q = split[j], n = ne0 + j;
    std::multiset<int> both = corner_set(blank.elements[q], 3);
    for (int k = 0; k < blank.corners[n]; ++k) both.insert(blank.elements[n][k]);
    const auto quad = corner_set(mesh.elements[q], 4);
    // The two triangles share the diagonal: together they name the four corners, two of them twice.
    bool covers = blank.corners[n] == 3;
    for (int c : quad) covers = covers && both.count(c) >= 1;
    if (!covers) s.error = "new element " + std::to_string(n + 1) + " does not complete split element " + std::to_string(q + 1);
    s.h0.push_back(mesh.h0[q]);
  }
  s.splits = split.size();
  return s;
}

// The input part mesh of a run (its kept copy of <base>.dat).
inline InputMesh input_mesh_of(const JobRun& run) { return read_input_mesh(run.base + ".dat"); }

}  // namespace trevo::e2e
