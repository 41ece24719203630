// Boundary edges, outline loops and the line-data outline file.
#include "output/outline.h"

#include <algorithm>

#include "fortran/edit.h"
#include "output/finite_guard.h"
#include "output/input_frame.h"
#include "output/record_buffer.h"

namespace trevo {

namespace {

// Edges bucketed by first node, each bucket in list order (counting sort), with a
// cursor per node: the first unused edge from a node is found in amortised O(1).
class EdgesByFirstNode {
 public:
  explicit EdgesByFirstNode(const BoundaryEdges& edges) {
    const int32_t largest = edges.first.empty() ? -1 : *std::max_element(edges.first.begin(), edges.first.end());
    offset_.assign(static_cast<size_t>(largest) + 2, 0);
    for (int32_t n : edges.first) ++offset_[static_cast<size_t>(n) + 1];
    for (size_t i = 1; i < offset_.size(); ++i) offset_[i] += offset_[i - 1];
    cursor_.assign(offset_.begin(), offset_.end() - 1);
    edge_.resize(edges.first.size());
    std::vector<int32_t> fill(cursor_);
    for (size_t i = 0; i < edges.first.size(); ++i)
      edge_[static_cast<size_t>(fill[static_cast<size_t>(edges.first[i])]++)] = static_cast<int32_t>(i);
  }

  // First edge not yet used whose first node is `node`, or kNone.
  int32_t first_unused(int32_t node, const std::vector<char>& used) {
    if (node < 0 || static_cast<size_t>(node) + 1 >= offset_.size()) return kNone;
    int32_t& c = cursor_[static_cast<size_t>(node)];
    while (c < offset_[static_cast<size_t>(node) + 1] && used[static_cast<size_t>(edge_[static_cast<size_t>(c)])]) ++c;
    return c < offset_[static_cast<size_t>(node) + 1] ? edge_[static_cast<size_t>(c)] : kNone;
  }

 private:
  std::vector<int32_t> offset_, cursor_, edge_;
};

}  // namespace

BoundaryEdges extract_boundary_edges(const Mesh& mesh, std::span<const int32_t> neighbours) {
  BoundaryEdges edges;
  for (int32_t e = 0; e < mesh.ne; ++e) {
    const int k = element_corners(mesh, e);
    for (int j = 0; j < k; ++j) {
      if (neighbours[static_cast<size_t>(j) * static_cast<size_t>(mesh.ne) + static_cast<size_t>(e)] != kNone) continue;
      edges.first.push_back(mesh.node(e, j));
      edges.second.push_back(mesh.node(e, (j + 1) % k));
    }
  }
  return edges;
}

OutlineLoops chain_outline(const BoundaryEdges& edges) {
  OutlineLoops loops;
  const size_t m = edges.first.size();
  std::vector<char> used(m, 0);
  EdgesByFirstNode by_first(edges);
  size_t next = 0;  // first edge of the list not yet used: where the next loop starts
  for (;;) {
    while (next < m && used[next]) ++next;
    if (next == m) break;
    used[next] = 1;  // the loop's first edge
    const int32_t start = edges.first[next];
    int32_t current = edges.second[next];
    loops.points.push_back(start);
    bool closed = false;
    do {  // chain until the loop closes, or stop at an open end
      const int32_t e = by_first.first_unused(current, used);
      if (e == kNone) break;
      loops.points.push_back(current);
      used[static_cast<size_t>(e)] = 1;
      current = edges.second[static_cast<size_t>(e)];
      closed = current == start;
    } while (!closed);
    loops.points.push_back(closed ? start : current);  // closing repeat, or the open end
    loops.begin.push_back(static_cast<int32_t>(loops.points.size()));
  }
  return loops;
}

std::string line_header_record(int32_t line_number) { return "LINE" + fortran::edit_i(line_number, 7); }

std::string point_record(double x, double y, double z) {
  using fortran::edit_e;
  using fortran::edit_x;
  return edit_x(4) + edit_e(x, 16, 9) + edit_x(4) + edit_e(y, 16, 9) + edit_x(4) + edit_e(z, 16, 9);
}

void write_outline(std::ostream& out, std::string_view title, const OutlineLoops& loops,
                   std::span<const double> x, std::span<const double> y, std::span<const double> z,
                   const FrameTransform& transform) {
  require_finite_points(out, x, y, z);
  const InputFrameCoordinates c = input_frame_copy(x, y, z, transform);
  RecordBuffer records(out);
  auto point = [&](int32_t n) {
    const auto i = static_cast<size_t>(n);
    records.record(point_record(c.x[i], c.y[i], c.z[i]));
  };
  records.record(kLineDataHeader);
  records.record(title);
  int32_t line_number = 1;
  if (loops.loop_count() == 0) records.record(line_header_record(line_number));
  for (int32_t i = 0; i < loops.loop_count(); ++i) {
    if (i > 0) ++line_number;  // every loop is a new line
    records.record(line_header_record(line_number));
    const std::span<const int32_t> loop = loops.loop(i);
    int counter = 0;  // restarts per loop (see the header)
    for (size_t p = 0; p < loop.size(); ++p) {
      point(loop[p]);
      if (p + 1 == loop.size() || ++counter < kPointsPerLine) continue;
      records.record(line_header_record(++line_number));  // continuation line
      point(loop[p]);
      counter = 0;
    }
  }
}

}  // namespace trevo
