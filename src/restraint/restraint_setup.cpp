// Restraint set-up: blank-holder, pad and drawbead forces turned into nodal quantities.
// Forces act in the plan (the punch moves along z): free-edge lengths and the search
// for the element under a tool element or a bead point use x and y only.
#include "restraint/restraint_setup.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fortran/edit.h"
#include "prepare/element_normal.h"

namespace trevo {
namespace {

constexpr std::string_view kFreeEdgeForceMessage = "ERROR: The blank-holder force is unreasonable.";
constexpr std::string_view kToolForceMessage = "ERROR: Blank Holder force is unreasonable.";
constexpr int32_t kHeld = 3, kHeldOnBead = 4, kBeadOrPad = 5;

struct Point {
  double x, y;
};

// z component of (a - p) x (b - p).
double plan_cross(double ax, double ay, double bx, double by, double px, double py) {
  return (ax - px) * (by - py) - (ay - py) * (bx - px);
}

// The four connectivity entries of element e; a tool element's missing 4th node
// (kNone) repeats the 3rd, so an element is a quadrilateral exactly when its 4th node
// differs from its 3rd.
std::array<int32_t, 4> element_nodes(const Mesh& m, int32_t e) {
  std::array<int32_t, 4> n{m.node(e, 0), m.node(e, 1), m.node(e, 2), m.node(e, 3)};
  if (n[3] == kNone) n[3] = n[2];
  return n;
}
bool is_quad(const std::array<int32_t, 4>& n) { return n[3] != n[2]; }
int corner_total(const std::array<int32_t, 4>& n) { return is_quad(n) ? 4 : 3; }

// Shares of a node for an element force: 1/4 for a quadrilateral, 1/3 for a triangle.
double corner_share(double force, bool quad) { return quad ? force * 0.25 : force / 3.0; }

void raise_state_for_bead(int32_t& state) {
  if (state == 1 || state == 2) state = kBeadOrPad;
  else if (state == kHeld) state = kHeldOnBead;
}

// A list-directed message (one blank, then the text) on the console, then the report.
void write_message(std::string_view text, const RunSettings& settings, Reporter& reporter) {
  if (settings.message_level != 2) return;
  std::string record(1, ' ');
  record.append(text);
  reporter.both(record);
}

// Net holding force: F <= 0 writes the message and counts as 0.
double net_force(double f, std::string_view message, const RunSettings& settings, Reporter& reporter) {
  if (f > 0.0) return f;
  write_message(message, settings, reporter);
  return 0.0;
}

// Spreading over the first free edge of every part element (no blank-holder mesh).
void spread_over_free_edges(const Mesh& part, std::span<const int32_t> neighbours, double force,
                            const RestraintData& data) {
  std::vector<double> edge_length(static_cast<size_t>(part.ne), -1.0);  // -1: no free edge
  double total = 0.0;
  for (int32_t e = 0; e < part.ne; ++e) {
    const auto n = element_nodes(part, e);
    const int corners = corner_total(n);
    for (int k = 0; k < corners; ++k) {
      if (neighbours[static_cast<size_t>(k) * part.ne + e] != kNone) continue;
      const int32_t a = n[k], b = n[(k + 1) % corners];
      const double dx = part.x[b] - part.x[a], dy = part.y[b] - part.y[a];
      edge_length[e] = std::sqrt(dx * dx + dy * dy + 1.0e-80);
      total += edge_length[e];
      break;
    }
  }
  for (int32_t e = 0; e < part.ne; ++e) {
    if (edge_length[e] < 0.0) continue;
    const auto n = element_nodes(part, e);
    const double share = corner_share(edge_length[e] * force / total, is_quad(n));
    for (int k = 0; k < corner_total(n); ++k) {
      data.holding_force[n[k]] += share;
      data.state[n[k]] = kHeld;
    }
  }
}

double triangle_area(const Mesh& m, int32_t a, int32_t b, int32_t c) {
  const double ux = m.x[b] - m.x[a], uy = m.y[b] - m.y[a], uz = m.z[b] - m.z[a];
  const double vx = m.x[c] - m.x[a], vy = m.y[c] - m.y[a], vz = m.z[c] - m.z[a];
  const double cx = uy * vz - uz * vy, cy = uz * vx - ux * vz, cz = ux * vy - uy * vx;
  return 0.5 * std::sqrt(cx * cx + cy * cy + cz * cz + 1.0e-80);
}

// The part element that holds the plan point c (a tool element's centre), or kNone.
// The grid lists, in element order, every element whose box +-1e-6 may hold c, so the
// first hit is the one a scan over all elements in order would find. A part triangle is
// tested as its one triangle (n1 n2 n3); the second test (n1 n3 n4) is for quads.
int32_t element_under(const Mesh& part, const PlanGrid& grid, Point c) {
  for (const int32_t e : grid.candidates(c.x, c.y)) {
    const auto n = element_nodes(part, e);
    double xmin = part.x[n[0]], xmax = xmin, ymin = part.y[n[0]], ymax = ymin;
    for (int k = 1; k < 4; ++k) {
      xmin = std::min(xmin, part.x[n[k]]), xmax = std::max(xmax, part.x[n[k]]);
      ymin = std::min(ymin, part.y[n[k]]), ymax = std::max(ymax, part.y[n[k]]);
    }
    if (c.x >= xmax + 1.0e-6 || c.x <= xmin - 1.0e-6 || c.y >= ymax + 1.0e-6 || c.y <= ymin - 1.0e-6) continue;
    auto cross = [&](int i, int j) {
      return plan_cross(part.x[n[i]], part.y[n[i]], part.x[n[j]], part.y[n[j]], c.x, c.y);
    };
    if (cross(0, 1) >= -1.0e-10 && cross(1, 2) >= -1.0e-10 && cross(2, 0) >= -1.0e-10) return e;
    if (is_quad(n) && cross(0, 2) >= -1.0e-10 && cross(2, 3) >= -1.0e-10 && cross(3, 0) >= -1.0e-10) return e;
  }
  return kNone;
}

// Spreading over tool elements by area and transfer to the part element under each
// element's centre; state_code 3 (blank-holder) or 5 (pad).
void spread_over_tool(const Mesh& tool, const Mesh& part, const PlanGrid& grid, double force, int32_t state_code,
                      const RestraintData& data, std::span<double> element_force) {
  double total_area = 0.0;
  for (int32_t j = 0; j < tool.ne; ++j) {
    const auto n = element_nodes(tool, j);
    element_force[j] = triangle_area(tool, n[0], n[1], n[2]) + (is_quad(n) ? triangle_area(tool, n[0], n[2], n[3]) : 0.0);
    total_area += element_force[j];
  }
  for (int32_t j = 0; j < tool.ne; ++j) {
    element_force[j] = element_force[j] * force / total_area;
    const auto n = element_nodes(tool, j);
    const int corners = corner_total(n);
    Point centre{0.0, 0.0};
    for (int k = 0; k < corners; ++k) centre.x += tool.x[n[k]], centre.y += tool.y[n[k]];
    centre = {centre.x / corners, centre.y / corners};
    const int32_t e = element_under(part, grid, centre);
    if (e == kNone) continue;  // over no part element: its share is lost
    const auto pn = element_nodes(part, e);
    const double share = corner_share(element_force[j], is_quad(pn));
    for (int k = 0; k < corner_total(pn); ++k) {
      data.holding_force[pn[k]] += share;
      data.state[pn[k]] = state_code;
    }
  }
}

double bead_length(const DrawbeadLines& beads, int32_t b) {
  const double dx = beads.x2[b] - beads.x1[b], dy = beads.y2[b] - beads.y1[b], dz = beads.z2[b] - beads.z1[b];
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// ---- Drawbead ends and walk (on the copy of the part coordinates) ----

// The first element that strictly holds p (all cross products >= 1e-10), degenerate
// elements (doubled area <= 1e-5) skipped; kNone when none does (on an edge or outside).
int32_t element_strictly_holding(const Mesh& copy, Point p) {
  for (int32_t e = 0; e < copy.ne; ++e) {
    const auto n = element_nodes(copy, e);
    const double* x = copy.x.data();
    const double* y = copy.y.data();
    const double doubled_area = (x[n[0]] - x[n[2]]) * (y[n[1]] - y[n[3]]) - (x[n[1]] - x[n[3]]) * (y[n[0]] - y[n[2]]);
    if (std::abs(doubled_area) <= 1.0e-5) continue;
    auto cross = [&](int i, int j) { return plan_cross(x[n[i]], y[n[i]], x[n[j]], y[n[j]], p.x, p.y); };
    if (cross(0, 1) < 1.0e-10 || cross(1, 2) < 1.0e-10) continue;
    if (is_quad(n) && cross(2, 3) < 1.0e-10) continue;
    if (cross(3, 0) < 1.0e-10) continue;
    return e;
  }
  return kNone;
}

// Locating the bead ends: start rows for k < NB, end rows after them.
void locate_bead_ends(const Mesh& copy, const DrawbeadLines& beads, const BeadEndRows& rows) {
  const int32_t nb = beads.count();
  for (int32_t k = 0; k < 2 * nb; ++k) {
    const bool start = k < nb;
    const int32_t b = start ? k : k - nb;
    const Point p = start ? Point{beads.x1[b], beads.y1[b]} : Point{beads.x2[b], beads.y2[b]};
    const int32_t e = element_strictly_holding(copy, p);
    if (e == kNone) continue;
    std::span<int32_t> row = start ? rows.start : rows.end;
    for (int c = 0; c < 4; ++c) row[static_cast<size_t>(c) * nb + b] = copy.node(e, c);
  }
}

std::array<int32_t, 4> row_of(std::span<const int32_t> row, int32_t nb, int32_t b) {
  return {row[b], row[static_cast<size_t>(nb) + b], row[2 * static_cast<size_t>(nb) + b],
          row[3 * static_cast<size_t>(nb) + b]};
}

// The bead as a plan line: y = m x + c, or vertical (x = x1).
struct BeadLine {
  double x1, y1, x2, y2;
  bool vertical;
  double m, c;
  double force_per_length;  // restraining force per length x 3-D factor g
};

BeadLine bead_line(const DrawbeadLines& beads, int32_t b) {
  BeadLine l{beads.x1[b], beads.y1[b], beads.x2[b], beads.y2[b], false, 0.0, 0.0, 0.0};
  l.vertical = std::abs(l.x2 - l.x1) < 1.0e-6;
  if (!l.vertical) {
    l.m = (l.y2 - l.y1) / (l.x2 - l.x1);
    l.c = l.y1 - l.m * l.x1;
  }
  const double plan = std::sqrt((l.x2 - l.x1) * (l.x2 - l.x1) + (l.y2 - l.y1) * (l.y2 - l.y1));
  const double dz = beads.z2[b] - beads.z1[b];
  const double g = std::sqrt(dz * dz / ((plan + 1.0e-50) * (plan + 1.0e-50)) + 1.0);
  l.force_per_length = beads.restraining[b] * g;
  return l;
}

// Intersection of the bead with the edge (a, b). Each case tests the extents in the
// coordinate it computed from a line: the general case x against edge and bead, a
// vertical edge y against the edge and x against the bead, a vertical bead x against
// the edge and y against the bead (closed extents: products <= 0). A product on a
// coordinate copied from the other line would only add round-off rejections.
std::optional<Point> bead_edge_intersection(const BeadLine& l, double xa, double ya, double xb, double yb) {
  const bool edge_vertical = std::abs(xb - xa) < 1.0e-6;
  if (edge_vertical && l.vertical) return std::nullopt;
  Point q{};
  bool accepted = false;
  if (!edge_vertical && !l.vertical) {
    const double s = (yb - ya) / (xb - xa);
    if (std::abs(s - l.m) < 1.0e-6) return std::nullopt;  // parallel
    q.x = (l.c - (ya - s * xa)) / (s - l.m);
    q.y = l.m * q.x + l.c;
    accepted = (q.x - xa) * (q.x - xb) <= 0.0 && (q.x - l.x1) * (q.x - l.x2) <= 0.0;
  } else if (edge_vertical) {
    q = {xa, l.m * xa + l.c};
    accepted = (q.y - ya) * (q.y - yb) <= 0.0 && (q.x - l.x1) * (q.x - l.x2) <= 0.0;
  } else {
    q = {l.x1, ya + (yb - ya) / (xb - xa) * (l.x1 - xa)};
    accepted = (q.x - xa) * (q.x - xb) <= 0.0 && (q.y - l.y1) * (q.y - l.y2) <= 0.0;
  }
  return accepted ? std::optional<Point>(q) : std::nullopt;
}

std::optional<Point> edge_intersection(const Mesh& copy, const BeadLine& l, const std::array<int32_t, 4>& n, int k) {
  const int32_t a = n[k], b = n[(k + 1) % corner_total(n)];
  return bead_edge_intersection(l, copy.x[a], copy.y[a], copy.x[b], copy.y[b]);
}

double distance(Point p, Point q) { return std::sqrt((p.x - q.x) * (p.x - q.x) + (p.y - q.y) * (p.y - q.y)); }

// A bead's run as the walk builds it: entries in list order.
struct BeadRun {
  std::vector<int32_t> node;
  std::vector<double> force;
  // Start element and bead within one element: the element's nodes become the entries.
  void place(const std::array<int32_t, 4>& n, double w) {
    for (int k = 0; k < corner_total(n); ++k) node.push_back(n[k]), force.push_back(w);
  }
  // End and intermediate elements: add w to every entry of a node, append new nodes.
  void merge(const std::array<int32_t, 4>& n, double w) {
    const size_t before = node.size();
    for (int k = 0; k < corner_total(n); ++k) {
      bool found = false;
      for (size_t i = 0; i < before; ++i)
        if (node[i] == n[k]) force[i] += w, found = true;
      if (!found) node.push_back(n[k]), force.push_back(w);
    }
  }
};

// The piece of the bead in the start (or end) element: from the bead end p to the
// last accepted edge intersection in edge order (none: the piece has length 0).
double end_piece_length(const Mesh& copy, const BeadLine& l, const std::array<int32_t, 4>& n, Point p) {
  std::optional<Point> q;
  for (int k = 0; k < corner_total(n); ++k)
    if (auto hit = edge_intersection(copy, l, n, k)) q = hit;
  return q ? distance(p, *q) : 0.0;
}

// An intermediate element's crossing: the first two distinct accepted points, decided
// after the 2nd edge, the 3rd (quadrilaterals) and the last; identical points count
// as one, and make the element be passed over after the last edge.
std::optional<double> crossing_length(const Mesh& copy, const BeadLine& l, const std::array<int32_t, 4>& n) {
  const int corners = corner_total(n);
  Point held[2];
  int count = 0;
  for (int k = 0; k < corners; ++k) {
    if (auto hit = edge_intersection(copy, l, n, k)) held[count++] = *hit;
    if (k == 0 || count < 2) continue;
    if (held[0].x != held[1].x || held[0].y != held[1].y) return distance(held[0], held[1]);
    count = 1;
  }
  return std::nullopt;
}

// The walk of bead b over the copy of the part (bead within one element, or start,
// end and intermediate elements). An end on an element edge or outside the mesh is in
// no element under the strict test; its row is not located (kNone) and adds no piece.
BeadRun walk_bead(const Mesh& copy, const DrawbeadLines& beads, const BeadEndRows& rows, int32_t b) {
  const int32_t nb = beads.count();
  const auto start = row_of(rows.start, nb, b), end = row_of(rows.end, nb, b);
  const bool start_found = start[0] != kNone, end_found = end[0] != kNone;
  BeadRun run;
  if (start_found && end_found && start == end) {
    run.place(start, corner_share(beads.restraining[b] * bead_length(beads, b), is_quad(start)));
    return run;
  }
  const BeadLine l = bead_line(beads, b);
  auto piece_force = [&](double s, const std::array<int32_t, 4>& n) {
    return corner_share(l.force_per_length * s, is_quad(n));
  };
  if (start_found) run.place(start, piece_force(end_piece_length(copy, l, start, {l.x1, l.y1}), start));
  if (end_found) run.merge(end, piece_force(end_piece_length(copy, l, end, {l.x2, l.y2}), end));
  for (int32_t e = 0; e < copy.ne; ++e) {
    const auto n = element_nodes(copy, e);
    if (auto s = crossing_length(copy, l, n)) run.merge(n, piece_force(*s, n));
  }
  return run;
}

// Drawbeads: clear the lists, locate the ends, walk each bead into its run (at most E(b)
// entries: the pre-count ran the same walk), raise the state codes of its nodes.
void lay_drawbeads(const Mesh& copy, const DrawbeadLines& beads, const BeadEndRows& rows, const RestraintData& data) {
  std::fill(data.bead_node.begin(), data.bead_node.end(), kNone);
  std::fill(data.bead_force.begin(), data.bead_force.end(), 0.0);
  locate_bead_ends(copy, beads, rows);
  for (int32_t b = 0; b < beads.count(); ++b) {
    const BeadRun run = walk_bead(copy, beads, rows, b);
    const size_t kept = std::min(run.node.size(), static_cast<size_t>(data.bead_entries[b]));
    for (size_t i = 0; i < kept; ++i) {
      data.bead_node[data.bead_offset[b] + i] = run.node[i];
      data.bead_force[data.bead_offset[b] + i] = run.force[i];
      raise_state_for_bead(data.state[run.node[i]]);
    }
  }
}

}  // namespace

int64_t count_drawbead_entries(const Mesh& part_copy, const DrawbeadLines& beads, const BeadEndRows& rows,
                               std::span<int32_t> entries, std::span<int32_t> offsets) {
  locate_bead_ends(part_copy, beads, rows);
  int64_t total = 0;
  for (int32_t b = 0; b < beads.count(); ++b) {
    offsets[b] = static_cast<int32_t>(total);
    entries[b] = static_cast<int32_t>(walk_bead(part_copy, beads, rows, b).node.size());
    total += entries[b];
  }
  return total;
}

RestraintTotals restraint_setup(const RestraintMeshes& meshes, const DrawbeadLines& beads,
                                const RunSettings& settings, const RestraintData& data, const BeadEndRows& rows,
                                std::span<double> holder_element_force, std::span<double> pad_element_force,
                                Reporter& reporter) {
  const Mesh& part = meshes.part;
  const size_t nn = static_cast<size_t>(part.nn);
  // Clear the holding force and the two accumulators the iteration fills.
  std::fill(data.holding_force.begin(), data.holding_force.end(), 0.0);
  std::fill(data.node_force.begin(), data.node_force.end(), 0.0);
  std::fill(data.contact_force.begin(), data.contact_force.end(), 0.0);
  // Unit nodal normals and elements per node.
  nodal_normals(part, data.normals.subspan(0, nn), data.normals.subspan(nn, nn), data.normals.subspan(2 * nn, nn));
  std::fill(data.element_count.begin(), data.element_count.end(), 0.0);
  for (int32_t e = 0; e < part.ne; ++e) {
    const int corners = element_corners(part, e);
    for (int k = 0; k < corners; ++k) data.element_count[part.node(e, k)] += 1.0;
  }
  // Every node free.
  std::fill(data.state.begin(), data.state.end(), 2);
  // Drawbead totals (3-D bead lengths).
  RestraintTotals totals;
  for (int32_t b = 0; b < beads.count(); ++b) {
    totals.bdforce += beads.restraining[b] * bead_length(beads, b);
    totals.raise += beads.raising[b] * bead_length(beads, b);
  }
  totals.blank_holder_force = settings.bhforce;
  // Blank-holder force: over the free edges without a holder mesh (only above 10),
  // else over the holder elements whatever its value; then the pad force.
  const bool holder = settings.blank_holder_flag == 1, pad = settings.pad_flag == 1;
  if (!holder && settings.bhforce > 10.0) {
    totals.blank_holder_force = net_force(settings.bhforce - totals.raise, kFreeEdgeForceMessage, settings, reporter);
    spread_over_free_edges(part, meshes.neighbours, totals.blank_holder_force, data);
  }
  if (holder || pad) {
    const PlanGrid grid(part, 1.0e-6);
    if (holder) {
      totals.blank_holder_force = net_force(settings.bhforce - totals.raise, kToolForceMessage, settings, reporter);
      spread_over_tool(meshes.holder, part, grid, totals.blank_holder_force, kHeld, data, holder_element_force);
    }
    if (pad) {
      const double force = net_force(settings.holforce, kToolForceMessage, settings, reporter);
      spread_over_tool(meshes.pad, part, grid, force, kBeadOrPad, data, pad_element_force);
    }
  }
  // Drawbeads (also with no bead: the lists are cleared).
  lay_drawbeads(meshes.part_copy, beads, rows, data);
  return totals;
}

void drawbead_report_line(const RunSettings& settings, const RestraintTotals& totals, Reporter& reporter) {
  using fortran::edit_g;
  reporter.both(" NNL=" + fortran::edit_i(settings.iteration_limit, 5) + "  DEPS=" +
                edit_g(settings.displacement_tolerance, 12, 7) + "  BDFORCE=" + edit_g(totals.bdforce, 15, 7) +
                "  RAISE=" + edit_g(totals.raise, 15, 7));
  reporter.report("");
}

}  // namespace trevo
