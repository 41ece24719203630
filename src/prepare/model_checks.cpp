// The model checks of the part mesh and the orientation sweep shared with the binder.
#include "prepare/model_checks.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <queue>
#include <string>
#include <vector>

#include "fortran/edit.h"
#include "prepare/element_normal.h"
#include "prepare/topology.h"

namespace trevo {

namespace {

using fortran::edit_g;
using fortran::edit_i;

enum State : uint8_t { kUnreached, kQueued, kDone };

using MinHeap = std::priority_queue<int32_t, std::vector<int32_t>, std::greater<>>;

// One sweep step of the orientation for local edge k of the done element e whose neighbour
// m is unreached: returns true when m is queued (reversed first if it runs the same way as
// e, since two consistently oriented elements run along a shared edge in opposite directions).
bool align_neighbour(Mesh& mesh, std::span<int32_t> neighbours, int32_t e, int k, int32_t m) {
  const int corners_e = element_corners(mesh, e);
  const int32_t a = mesh.node(e, k), b = mesh.node(e, (k + 1) % corners_e);
  const int corners_m = element_corners(mesh, m);
  bool queued = false;
  for (int j = 0; j < corners_m; ++j) {
    if (mesh.node(m, j) != b) continue;
    queued = true;
    if (mesh.node(m, (j + 1) % corners_m) == a) break;  // opposite directions: they agree
    reverse_element(mesh, m, neighbours);               // the search goes on after a reversal
  }
  return queued;
}

// Elements by falling nz, ties by number: the seed order of every region after the first.
std::vector<int32_t> seed_order(const std::vector<double>& nz) {
  std::vector<int32_t> order(nz.size());
  for (size_t e = 0; e < order.size(); ++e) order[e] = static_cast<int32_t>(e);
  std::sort(order.begin(), order.end(), [&](int32_t a, int32_t b) { return nz[a] > nz[b] || (nz[a] == nz[b] && a < b); });
  return order;
}

int32_t first_highest(const std::vector<double>& nz) {
  int32_t seed = 0;
  for (size_t e = 1; e < nz.size(); ++e) {
    if (nz[e] > nz[seed]) seed = static_cast<int32_t>(e);
  }
  return seed;
}

// Elements with nz <= threshold in ascending order, and the smallest nz (last on ties).
struct Downward {
  std::vector<int32_t> flagged;
  double smallest_nz = 2.0;
  int32_t smallest_at = kNone;
};
Downward downward_elements(const Mesh& part, double threshold) {
  Downward d;
  for (int32_t e = 0; e < part.ne; ++e) {
    const double nz = element_normal(part, e)[2];
    if (nz <= threshold) d.flagged.push_back(e);
    if (nz <= d.smallest_nz) {
      d.smallest_nz = nz;
      d.smallest_at = e;
    }
  }
  return d;
}

// Built by appending: GCC 12's -Wrestrict misfires on " " + std::string (a false positive).
std::string plain(std::string_view text) {
  std::string record(1, ' ');
  record.append(text);
  return record;
}

// (10I8): the labels of the listed elements, ten to a record.
std::vector<std::string> label_records(const std::vector<int32_t>& elements, std::span<const int32_t> labels) {
  std::vector<std::string> records;
  for (size_t i = 0; i < elements.size(); i += 10) {
    std::string record;
    for (size_t j = i; j < std::min(i + 10, elements.size()); ++j) record += edit_i(labels[elements[j]], 8);
    records.push_back(record);
  }
  return records;
}

void write_console(Reporter& r, const std::vector<std::string>& records) {
  for (const std::string& record : records) r.console(record);
}
void write_report(Reporter& r, const std::vector<std::string>& records) {
  for (const std::string& record : records) r.report(record);
}

// A plain message whose text is padded with blanks to 79 characters (punch-direction check).
std::string plain79(std::string_view text) {
  std::string padded(text);
  padded.resize(std::max<size_t>(79, padded.size()), ' ');
  return plain(padded);
}

// |cos| of the corner at node `at` between the edges to nodes to1 and to2 (element-angle check).
double corner_cosine(const Mesh& m, int32_t at, int32_t to1, int32_t to2) {
  auto length = [](double vx, double vy, double vz) { return std::sqrt(vx * vx + vy * vy + vz * vz + 1e-80); };
  const double ax = m.x[to1] - m.x[at], ay = m.y[to1] - m.y[at], az = m.z[to1] - m.z[at];
  const double bx = m.x[to2] - m.x[at], by = m.y[to2] - m.y[at], bz = m.z[to2] - m.z[at];
  return std::abs(ax * bx + ay * by + az * bz) / length(ax, ay, az) / length(bx, by, bz);
}

}  // namespace

int32_t orient_regions(Mesh& m, std::span<int32_t> neighbours) {
  const int32_t ne = m.ne;
  for (int32_t e = 0; e < ne; ++e) {
    if (element_normal(m, e)[2] < 0.0) reverse_element(m, e, neighbours);
  }
  if (ne == 0) return 0;
  std::vector<double> nz(ne);
  for (int32_t e = 0; e < ne; ++e) nz[e] = element_normal(m, e)[2];

  std::vector<State> state(ne, kUnreached);
  std::vector<int32_t> order;  // built only when a second region needs a seed
  size_t next_in_order = 0;
  int32_t reached = 0, regions = 0;
  MinHeap current, next;
  while (reached < ne) {
    int32_t seed;
    if (regions == 0) {
      seed = first_highest(nz);
    } else {
      if (order.empty()) order = seed_order(nz);
      while (state[order[next_in_order]] != kUnreached) ++next_in_order;
      seed = order[next_in_order];
    }
    ++regions;
    state[seed] = kQueued;
    ++reached;
    current.push(seed);
    while (!current.empty()) {  // one sweep per pass of this loop
      while (!current.empty()) {
        const int32_t e = current.top();
        current.pop();
        state[e] = kDone;
        for (int k = 0; k < element_corners(m, e); ++k) {
          const int32_t neighbour = neighbours[static_cast<size_t>(k) * ne + e];
          if (neighbour == kNone || state[neighbour] != kUnreached) continue;
          if (!align_neighbour(m, neighbours, e, k, neighbour)) continue;
          state[neighbour] = kQueued;
          ++reached;
          (neighbour > e ? current : next).push(neighbour);
        }
      }
      std::swap(current, next);
    }
  }
  return regions;
}

void orientation_check(Mesh& part, std::span<int32_t> neighbours, std::span<const int32_t> labels,
                       const RunSettings& s, Reporter& r) {
  const int32_t regions = orient_regions(part, neighbours);
  if (s.message_level != 2) return;
  const std::vector<std::string> lines{plain("....... Overlap elements are found in the model."),
                                       plain("        Check the model and run again .......")};
  for (int32_t region = 1; region < regions; ++region) {
    write_console(r, lines);
    write_report(r, lines);
  }
}

void punch_direction_check(const Mesh& part, std::span<const int32_t> labels, RunSettings& s, Reporter& r) {
  const Downward d = downward_elements(part, -0.45);
  if (!d.flagged.empty()) {
    r.report("");
    if (s.message_level == 2) {
      std::vector<std::string> block{
          edit_i(static_cast<int64_t>(d.flagged.size()), 5) +
              " element normal vectors are in error. Possibly due to undercut ********",
          " The largest negative angle in element" + edit_i(labels[d.smallest_at], 6) + ", values is" +
              edit_g(d.smallest_nz, 14, 5),
          plain("******** Due to error of the punch\"s direction, the model has negative"),
          plain("         angle. Please check the direction and run again ********"),
          plain("******** Due to the multi-procedure stamping, TREVO will calculate the"),
          plain("         blank shape with elastic approximate method ********")};
      for (std::string& record : label_records(d.flagged, labels)) block.push_back(std::move(record));
      write_console(r, block);
      write_report(r, block);
    }
    s.method = 3;
  }
  if (s.method != 3 || s.message_level != 2) return;
  const std::string situation = plain79("...... Undercut situation encountered.....");
  const std::string elastic = plain79("...... Blank shape will be calculated with elastic approximate method .....");
  write_console(r, {"", situation, elastic});
  write_report(r, {"", situation, elastic, ""});
  r.console("");
}

double undercut_check(const Mesh& part, std::span<const int32_t> labels, RunSettings& s, Reporter& r) {
  if (s.method == 0) s.iteration_limit = 0;
  const Downward d = downward_elements(part, s.undercut_tolerance);
  if (!d.flagged.empty()) {
    std::vector<std::string> block{
        edit_i(static_cast<int64_t>(d.flagged.size()), 5) +
            " Error in element normal. Possible undercut condition. *******",
        " Largest negative angle in element" + edit_i(labels[d.smallest_at], 6) + " value is " +
            edit_g(d.smallest_nz, 14, 5),
        plain("******* Due to error in punch direction. Die"),
        plain("        has negative angle."),
        plain("        Check direction and try again"),
        plain("******* Due to multi-stage stamping, TREVO will"),
        plain("        calculate blank shape with elastic"),
        plain("        approximation method *******")};
    for (std::string& record : label_records(d.flagged, labels)) block.push_back(std::move(record));
    r.report("");
    if (s.message_level == 2) write_report(r, block);
    r.console("");
    if (s.message_level == 2) write_console(r, block);
    s.iteration_limit = 0;
    s.method = 0;
  }
  if (s.method == 0 && s.message_level == 2) {
    write_console(r, {"", plain("....... Undercut condition encountered....."),
                      plain("....... Blank shape will be calculated with elastic approximation method.......")});
    write_report(r, {"", plain("....... Undercut condition encountered....."),
                     plain("...... Blank shape will be calculated with elastic approximation method.......")});
  }
  return d.smallest_nz;
}

void element_angle_check(const Mesh& part, std::span<const int32_t> labels, const RunSettings& s, Reporter& r) {
  const double c10 = std::cos(0.174532925199433), c5 = std::cos(0.0872664625997165);
  std::vector<int32_t> bad;
  for (int32_t e = 0; e < part.ne; ++e) {
    const int32_t n1 = part.node(e, 0), n2 = part.node(e, 1), n3 = part.node(e, 2), n4 = part.node(e, 3);
    const bool quadrilateral = element_corners(part, e) == 4;
    // Corners 1 and 2 are written only beyond 5/175 degrees, corner 3 of a quadrilateral
    // from 10/170 degrees on; the last corner is not examined.
    bool written = false;
    if (const double g1 = corner_cosine(part, n1, n2, quadrilateral ? n4 : n3); g1 >= c10) {
      bad.push_back(e);
      written = g1 >= c5;
    } else if (const double g2 = corner_cosine(part, n2, n1, n3); g2 >= c10) {
      bad.push_back(e);
      written = g2 >= c5;
    } else if (quadrilateral && corner_cosine(part, n3, n2, n4) >= c10) {
      bad.push_back(e);
      written = true;
    }
    if (written) r.both(edit_i(e + 1, 5) + "- bad element that may affect accuracy.......");
  }
  if (bad.empty()) return;
  r.console("");
  r.report("");
  if (s.message_level == 2) {
    const std::vector<std::string> summary{
        edit_i(static_cast<int64_t>(bad.size()), 5) + " bad elements that may affect accuracy.......",
        plain("Repair these elements and try again .......")};
    write_console(r, summary);
    write_report(r, summary);
  }
  std::vector<std::string> list = label_records(bad, labels);
  list.push_back("");
  write_console(r, list);
  write_report(r, list);
}

}  // namespace trevo
