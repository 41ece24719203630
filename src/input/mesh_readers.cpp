// The mesh readers: node identifiers, element and node lines, the triangle rule, the
// dropping of unused nodes, and the two passes over the part mesh.
#include "input/mesh_readers.h"

#include <algorithm>
#include <array>
#include <cassert>

#include "fortran/edit.h"
#include "input/duplicate_elements.h"

namespace trevo {

namespace {

struct MeshKeywords {
  Keyword node;
  Keyword element;
};

const MeshKeywords kPartKeywords{Keyword("SHETNODE"), Keyword("SHETQUAD")};
const Keyword kFlanging("FLANGING");

// A part mesh in a file without MATERIAL lines cannot be stored: whether a SHETQUAD line
// carries a material number depends on the number of MATERIAL lines, and with none it is
// not defined. Such a file is rejected with the read-error report of the first SHETQUAD
// line under this message.
constexpr std::string_view kNoMaterialError =
    "******* Error in the following data: the input file has no MATERIAL line *******";

MeshKeywords tool_keywords(ToolMesh tool) {
  switch (tool) {
    case ToolMesh::blank_holder: return {Keyword("BINDNODE"), Keyword("BINDQUAD")};
    case ToolMesh::binder: return {Keyword("FLANNODE"), Keyword("FLANQUAD")};
    case ToolMesh::pad: break;
  }
  return {Keyword("HOLDNODE"), Keyword("HOLDQUAD")};
}

// Node identifier -> 0-based position of the first node line with it.
// A direct table when the identifiers are dense, sorted pairs otherwise.
class NodeIdIndex {
 public:
  explicit NodeIdIndex(std::span<const int32_t> ids) {
    has_zero_ = std::find(ids.begin(), ids.end(), 0) != ids.end();
    if (ids.empty()) return;
    auto [low, high] = std::minmax_element(ids.begin(), ids.end());
    first_id_ = *low;
    const int64_t range = int64_t{*high} - *low + 1;
    if (range <= 4 * static_cast<int64_t>(ids.size()) + 64) {
      dense_.assign(static_cast<std::size_t>(range), kNone);
      for (std::size_t p = ids.size(); p-- > 0;) dense_[static_cast<std::size_t>(ids[p] - first_id_)] = int32_t(p);
      return;
    }
    sorted_.reserve(ids.size());
    for (std::size_t p = 0; p < ids.size(); ++p) sorted_.push_back({ids[p], static_cast<int32_t>(p)});
    std::sort(sorted_.begin(), sorted_.end());  // by identifier, then position: the first line first
  }
  bool has_zero() const { return has_zero_; }
  int32_t position(int32_t id) const {
    if (!dense_.empty()) {
      const int64_t offset = int64_t{id} - first_id_;
      return offset < 0 || offset >= static_cast<int64_t>(dense_.size()) ? kNone
                                                                           : dense_[static_cast<std::size_t>(offset)];
    }
    auto it = std::lower_bound(sorted_.begin(), sorted_.end(), std::pair<int32_t, int32_t>{id, INT32_MIN});
    return it != sorted_.end() && it->first == id ? it->second : kNone;
  }

 private:
  bool has_zero_ = false;
  int64_t first_id_ = 0;
  std::vector<int32_t> dense_;
  std::vector<std::pair<int32_t, int32_t>> sorted_;
};

// The node-identifier pass: the node identifiers in file order.
void read_node_ids(const KeywordFile& file, const Keyword& node, std::span<int32_t> ids, const ReadErrorReport& error) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < file.size(); ++i) {
    Record record = file[i];
    if (!record.is(node)) continue;
    assert(count < ids.size());
    ids[count++] = RecordValues(record, kValueColumn, error).required_int();
  }
}

// Where one mesh goes. conn has leading dimension conn.size() / 4; the optional spans are
// empty for meshes that do not keep them.
struct MeshTarget {
  std::span<double> x, y, z;
  std::span<int32_t> conn;
  std::span<int32_t> corners;
  std::span<int32_t> labels;
  std::span<double> values;
  std::span<int32_t> materials;
  int64_t leading() const { return static_cast<int64_t>(conn.size()) / kCorners; }
};

struct MeshOptions {
  MeshKeywords keywords;
  bool part = false;                  // SHETQUAD lines carry the element value (and material)
  int32_t material_count = 0;         // the material number is read when above 1
  std::span<const int32_t> skip;      // increasing element ordinals to leave out
  int32_t* flanging = nullptr;        // the FLANGING target, when this pass reads it
};

struct ElementLine {
  int32_t label = 0;
  std::array<int32_t, 4> ids{};
  double value = 0.0;
  int32_t material = 1;
};

ElementLine read_element_line(const Record& record, const MeshOptions& options, const ReadErrorReport& error) {
  RecordValues values(record, kValueColumn, error);
  ElementLine line;
  line.label = values.required_int();
  for (int32_t& id : line.ids) id = values.required_int();
  if (options.part) {
    line.value = values.required_real();
    if (options.material_count > 1) line.material = values.required_int();
    // The material number indexes the material table: one without a MATERIAL row is a
    // read error.
    if (line.material < 1 || line.material > options.material_count) values.fail();
  }
  return line;
}

// Triangle rule and translation of the node identifiers into element e of the target. A
// fourth identifier equal to the third, or 0 when no node has identifier 0, marks a triangle.
void store_element(const Record& record, const ElementLine& line, const NodeIdIndex& index, int64_t e,
                   MeshTarget& target, const ReadErrorReport& error) {
  const bool triangle = line.ids[3] == line.ids[2] || (line.ids[3] == 0 && !index.has_zero());
  const int corners = triangle ? 3 : 4;
  const int64_t ld = target.leading();
  for (int k = 0; k < corners; ++k) {
    const int32_t node = index.position(line.ids[static_cast<std::size_t>(k)]);
    // An identifier without a node line is a read error: it cannot be used as a node number.
    if (node == kNone) stop_read_error(record, error);
    target.conn[static_cast<std::size_t>(k * ld + e)] = node;
  }
  if (triangle) target.conn[static_cast<std::size_t>(3 * ld + e)] = target.conn[static_cast<std::size_t>(2 * ld + e)];
  if (!target.corners.empty()) target.corners[static_cast<std::size_t>(e)] = corners;
  if (!target.labels.empty()) target.labels[static_cast<std::size_t>(e)] = line.label;
  if (!target.values.empty()) target.values[static_cast<std::size_t>(e)] = line.value;
  if (!target.materials.empty()) target.materials[static_cast<std::size_t>(e)] = line.material - 1;
}

struct MeshCounts {
  int32_t elements = 0;
  int32_t nodes = 0;
};

// Every element and node line of the mesh, in file order.
MeshCounts read_mesh_lines(const KeywordFile& file, const MeshOptions& options, const NodeIdIndex& index,
                           MeshTarget& target, const ReadErrorReport& error) {
  MeshCounts counts;
  std::size_t ordinal = 0, next_skip = 0;
  for (std::size_t i = 0; i < file.size(); ++i) {
    Record record = file[i];
    if (record.is(options.keywords.element)) {
      const bool skipped = next_skip < options.skip.size() &&
                           static_cast<std::size_t>(options.skip[next_skip]) == ordinal;
      ++ordinal;
      if (skipped) {
        ++next_skip;
        continue;
      }
      assert(counts.elements < target.leading());
      store_element(record, read_element_line(record, options, error), index, counts.elements, target, error);
      ++counts.elements;
    } else if (record.is(options.keywords.node)) {
      RecordValues values(record, kValueColumn, error);
      values.required_int();  // the identifier, kept by the node-identifier pass
      const auto p = static_cast<std::size_t>(counts.nodes);
      assert(p < target.x.size());
      target.x[p] = values.required_real();
      target.y[p] = values.required_real();
      target.z[p] = values.required_real();
      ++counts.nodes;
    } else if (options.flanging != nullptr && record.is(kFlanging)) {
      RecordValues values(record, kValueColumn, error);
      if (values.read(*options.flanging) == fortran::ListStatus::end) values.fail();
    }
  }
  return counts;
}

// Drops the nodes no element uses. Removing the lowest unused node and shifting every later
// node and corner number down by one, repeatedly, is quadratic; numbering the used nodes in
// one sweep gives the same numbers, order and count.
NodeRenumbering drop_unused_nodes(MeshCounts& counts, MeshTarget& target) {
  const int64_t ld = target.leading();
  std::vector<int32_t> number(static_cast<std::size_t>(counts.nodes), kNone);
  for (int64_t k = 0; k < kCorners; ++k) {
    for (int64_t e = 0; e < counts.elements; ++e) number[static_cast<std::size_t>(target.conn[k * ld + e])] = 0;
  }
  NodeRenumbering renumbering;
  renumbering.nodes_read = counts.nodes;
  int32_t kept = 0;
  for (int32_t p = 0; p < counts.nodes; ++p) {
    const auto from = static_cast<std::size_t>(p);
    if (number[from] == kNone) {
      renumbering.dropped.push_back(p);
      continue;
    }
    const auto to = static_cast<std::size_t>(kept);
    target.x[to] = target.x[from];
    target.y[to] = target.y[from];
    target.z[to] = target.z[from];
    number[from] = kept++;
  }
  for (int64_t k = 0; k < kCorners; ++k) {
    for (int64_t e = 0; e < counts.elements; ++e) {
      int32_t& node = target.conn[static_cast<std::size_t>(k * ld + e)];
      node = number[static_cast<std::size_t>(node)];
    }
  }
  counts.nodes = kept;
  return renumbering;
}

// One node, element or mesh reader run: node-identifier pass, lines, unused nodes.
NodeRenumbering read_mesh(const KeywordFile& file, const MeshOptions& options, std::span<int32_t> id_storage,
                          MeshTarget& target, MeshCounts& counts, const ReadErrorReport& id_error,
                          const ReadErrorReport& error) {
  read_node_ids(file, options.keywords.node, id_storage, id_error);
  const NodeIdIndex index(id_storage);
  counts = read_mesh_lines(file, options, index, target, error);
  return drop_unused_nodes(counts, target);
}

void require_material_line(const KeywordFile& file, const RunSettings& settings, Reporter& reporter) {
  if (settings.material_count > 0) return;
  for (std::size_t i = 0; i < file.size(); ++i) {
    if (file[i].is(kPartKeywords.element)) stop_read_error(file[i], {reporter, kNoMaterialError});
  }
}

// The message when any element was deleted.
void report_duplicates(int32_t count, Reporter& reporter) {
  if (count > 0) reporter.both(fortran::edit_i(count, 5) + " Duplicate elements deleted .......");
}

// The kept elements of stage 1 moved to the front, leading dimension = kept count (every
// entry moves to a lower or equal index, so one forward sweep is safe).
int32_t compact_kept_elements(InputSlices& input, int64_t ld, int32_t elements, std::span<const int32_t> duplicates) {
  const int32_t kept = elements - static_cast<int32_t>(duplicates.size());
  for (int64_t k = 0; k < kCorners; ++k) {
    std::size_t next_duplicate = 0;
    int64_t to = 0;
    for (int64_t e = 0; e < elements; ++e) {
      if (next_duplicate < duplicates.size() && duplicates[next_duplicate] == e) {
        ++next_duplicate;
        continue;
      }
      input.conn[static_cast<std::size_t>(k * kept + to)] = input.conn[static_cast<std::size_t>(k * ld + e)];
      if (k == 0) input.corners[static_cast<std::size_t>(to)] = input.corners[static_cast<std::size_t>(e)];
      ++to;
    }
  }
  return kept;
}

Mesh mesh_view(const MeshTarget& target, const MeshCounts& counts, int32_t leading, std::span<int32_t> corners) {
  Mesh mesh;
  mesh.nn = counts.nodes;
  mesh.ne = leading;
  const auto nn = static_cast<std::size_t>(counts.nodes);
  mesh.x = target.x.first(nn);
  mesh.y = target.y.first(nn);
  mesh.z = target.z.first(nn);
  mesh.conn = target.conn.first(static_cast<std::size_t>(kCorners) * static_cast<std::size_t>(leading));
  mesh.corners = corners;
  return mesh;
}

}  // namespace

std::array<Keyword, 8> mesh_line_keywords() {
  const MeshKeywords tools[3] = {tool_keywords(ToolMesh::blank_holder), tool_keywords(ToolMesh::binder),
                                 tool_keywords(ToolMesh::pad)};
  return {kPartKeywords.node, kPartKeywords.element, tools[0].node, tools[0].element,
          tools[1].node,      tools[1].element,      tools[2].node, tools[2].element};
}

int32_t NodeRenumbering::renumbered(int32_t position) const {
  auto below = std::lower_bound(dropped.begin(), dropped.end(), position) - dropped.begin();
  return position - static_cast<int32_t>(below);
}

FirstPass read_part_mesh_first_pass(const KeywordFile& file, const RunSettings& settings, InputSlices& input,
                                    Reporter& reporter) {
  require_material_line(file, settings, reporter);
  const ReadErrorReport error{reporter};
  MeshOptions options{kPartKeywords, true, settings.material_count, {}, nullptr};
  MeshTarget target{input.x, input.y, input.z, input.conn, input.corners, {}, {}, {}};
  MeshCounts counts;
  read_mesh(file, options, input.node_ids, target, counts, error, error);

  const int64_t ld = target.leading();
  FirstPass pass;
  pass.duplicate_count = find_duplicate_elements(input.conn, ld, input.corners, counts.elements, input.duplicates);
  report_duplicates(pass.duplicate_count, reporter);
  pass.duplicates = input.duplicates.first(static_cast<std::size_t>(pass.duplicate_count));
  const int32_t kept = compact_kept_elements(input, ld, counts.elements, pass.duplicates);
  pass.mesh = mesh_view(target, counts, kept, input.corners.first(static_cast<std::size_t>(kept)));
  return pass;
}

SecondPass read_part_mesh_second_pass(const KeywordFile& file, std::span<const int32_t> duplicates, ModelSlices& model,
                                      RunSettings& settings, Reporter& reporter) {
  require_material_line(file, settings, reporter);
  const ReadErrorReport error{reporter};
  MeshOptions options{kPartKeywords, true, settings.material_count, duplicates, &settings.flat_blank_only};
  MeshTarget target{model.x, model.y, model.z, model.conn, model.corners, model.labels, model.element_value,
                    model.material};
  SecondPass pass;
  pass.node_ids.resize(static_cast<std::size_t>(settings.part_nodes));
  MeshCounts counts;
  pass.renumbering = read_mesh(file, options, pass.node_ids, target, counts, error, error);
  pass.elements_stored = counts.elements;

  const int64_t capacity = target.leading();
  for (int64_t e = counts.elements; e < capacity; ++e) {
    for (int64_t k = 0; k < kCorners; ++k) model.conn[static_cast<std::size_t>(k * capacity + e)] = kNone;
    const auto i = static_cast<std::size_t>(e);
    model.corners[i] = 0;
    model.material[i] = 0;
    model.element_value[i] = 0.0;
    model.labels[i] = 0;
  }
  if (counts.elements > 0) settings.element_value = model.element_value[0];
  pass.mesh = mesh_view(target, counts, static_cast<int32_t>(capacity), model.corners);
  return pass;
}

Mesh read_tool_mesh(const KeywordFile& file, ToolMesh tool, ToolSlices& slices, Reporter& reporter) {
  const ReadErrorReport id_error{reporter, kDataError, kToolRowError};
  const ReadErrorReport error{reporter};
  MeshOptions options{tool_keywords(tool), false, 0, {}, nullptr};
  MeshTarget target{slices.x, slices.y, slices.z, slices.conn, {}, {}, {}, {}};
  std::vector<int32_t> ids(slices.x.size());
  MeshCounts counts;
  read_mesh(file, options, ids, target, counts, id_error, error);
  return mesh_view(target, counts, static_cast<int32_t>(target.leading()), {});
}

}  // namespace trevo
