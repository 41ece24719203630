// The blank outline as a minimal DXF R2000 drawing.
#include "output/dxf_file.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>

#include "output/finite_guard.h"
#include "output/record_buffer.h"

namespace trevo {

namespace {

constexpr std::string_view kVersion = "AC1015";  // DXF R2000
constexpr int kUnitsMillimetre = 4;              // $INSUNITS
constexpr int kMetric = 1;                       // $MEASUREMENT
constexpr std::string_view kLayer = "BLANK";
constexpr int kLayerColour = 1;                  // red in the standard colour index
constexpr int kPolylineClosed = 1;               // LWPOLYLINE flag bit
constexpr double kViewAspect = 1.5, kViewMargin = 1.1;

// Handles in upper-case hexadecimal, as CAD programs write them.
std::string hex(uint64_t v) {
  char text[20];
  std::string h(text, std::to_chars(text, text + sizeof text, v, 16).ptr);
  std::transform(h.begin(), h.end(), h.begin(), [](char c) { return c >= 'a' && c <= 'f' ? c - 'a' + 'A' : c; });
  return h;
}

// A DXF file is a sequence of tags: the group code on one line (right-aligned in three
// columns, as CAD programs write it), the value on the next. Every object has a
// hexadecimal handle, unique in the drawing; the header's $HANDSEED is the next free one,
// so the body is written first and the header after it, when the count is known.
class TagWriter {
 public:
  explicit TagWriter(std::ostream& out) : records_(out) {}
  void tag(int code, std::string_view value) {
    std::string c = std::to_string(code);
    if (c.size() < 3) c.insert(0, 3 - c.size(), ' ');
    records_.record(c);
    records_.record(value);
  }
  void tag(int code, int value) { tag(code, std::string_view(std::to_string(value))); }
  // The shortest decimal that reads back as the same double.
  void real(int code, double value) {
    char text[32];
    tag(code, std::string_view(text, std::to_chars(text, text + sizeof text, value).ptr));
  }
  void point(int code, double x, double y) { real(code, x), real(code + 10, y); }
  void point(int code, double x, double y, double z) { point(code, x, y), real(code + 20, z); }
  std::string new_handle() { return hex(next_handle_++); }
  uint64_t next_handle() const { return next_handle_; }

 private:
  RecordBuffer records_;
  uint64_t next_handle_ = 1;
};

struct Extents {
  double min_x = 0.0, min_y = 0.0, max_x = 0.0, max_y = 0.0;
};

Extents outline_extents(const OutlineLoops& loops, std::span<const double> x, std::span<const double> y) {
  if (loops.points.empty()) return {};
  Extents e{1.0e300, 1.0e300, -1.0e300, -1.0e300};
  for (const int32_t n : loops.points) {
    const auto i = static_cast<size_t>(n);
    e.min_x = std::min(e.min_x, x[i]), e.max_x = std::max(e.max_x, x[i]);
    e.min_y = std::min(e.min_y, y[i]), e.max_y = std::max(e.max_y, y[i]);
  }
  return e;
}

// A symbol table's opening; returns its handle, the owner of its entries.
std::string begin_table(TagWriter& w, std::string_view name, int entries) {
  const std::string handle = w.new_handle();
  w.tag(0, "TABLE"), w.tag(2, name), w.tag(5, handle), w.tag(330, "0"), w.tag(100, "AcDbSymbolTable");
  w.tag(70, entries);
  return handle;
}

// A table entry's common part; returns its handle.
std::string begin_entry(TagWriter& w, std::string_view type, std::string_view table, std::string_view record_class,
                        int handle_code = 5) {
  const std::string handle = w.new_handle();
  w.tag(0, type), w.tag(handle_code, handle), w.tag(330, table);
  w.tag(100, "AcDbSymbolTableRecord"), w.tag(100, record_class);
  return handle;
}

// The active viewport looks at the whole outline with a margin.
void viewport_table(TagWriter& w, const Extents& e) {
  const std::string table = begin_table(w, "VPORT", 1);
  begin_entry(w, "VPORT", table, "AcDbViewportTableRecord");
  w.tag(2, "*ACTIVE"), w.tag(70, 0);
  w.point(10, 0.0, 0.0), w.point(11, 1.0, 1.0);
  w.point(12, 0.5 * (e.min_x + e.max_x), 0.5 * (e.min_y + e.max_y));  // view centre
  w.point(13, 0.0, 0.0), w.point(14, 10.0, 10.0), w.point(15, 10.0, 10.0);
  w.point(16, 0.0, 0.0, 1.0), w.point(17, 0.0, 0.0, 0.0);
  const double height = std::max({e.max_y - e.min_y, (e.max_x - e.min_x) / kViewAspect, 1.0}) * kViewMargin;
  w.real(40, height), w.real(41, kViewAspect), w.real(42, 50.0), w.real(43, 0.0), w.real(44, 0.0);
  w.real(50, 0.0), w.real(51, 0.0);
  w.tag(71, 0), w.tag(72, 100), w.tag(73, 1), w.tag(74, 3), w.tag(75, 0), w.tag(76, 0), w.tag(77, 0), w.tag(78, 0);
  w.tag(0, "ENDTAB");
}

struct BlockRecords {
  std::string model, paper;
};

BlockRecords tables(TagWriter& w, const Extents& e) {
  w.tag(0, "SECTION"), w.tag(2, "TABLES");
  viewport_table(w, e);

  std::string table = begin_table(w, "LTYPE", 3);
  for (const std::string_view name : {"ByBlock", "ByLayer", "Continuous"}) {
    begin_entry(w, "LTYPE", table, "AcDbLinetypeTableRecord");
    w.tag(2, name), w.tag(70, 0), w.tag(3, name == "Continuous" ? "Solid line" : ""), w.tag(72, 65), w.tag(73, 0);
    w.real(40, 0.0);
  }
  w.tag(0, "ENDTAB");

  table = begin_table(w, "LAYER", 2);
  for (const auto& [name, colour] : {std::pair<std::string_view, int>{"0", 7}, {kLayer, kLayerColour}}) {
    begin_entry(w, "LAYER", table, "AcDbLayerTableRecord");
    w.tag(2, name), w.tag(70, 0), w.tag(62, colour), w.tag(6, "Continuous"), w.tag(370, -3);
  }
  w.tag(0, "ENDTAB");

  table = begin_table(w, "STYLE", 1);
  begin_entry(w, "STYLE", table, "AcDbTextStyleTableRecord");
  w.tag(2, "Standard"), w.tag(70, 0), w.real(40, 0.0), w.real(41, 1.0), w.real(50, 0.0), w.tag(71, 0);
  w.real(42, 2.5), w.tag(3, "txt"), w.tag(4, "");
  w.tag(0, "ENDTAB");

  for (const std::string_view empty : {"VIEW", "UCS"}) {
    begin_table(w, empty, 0);
    w.tag(0, "ENDTAB");
  }

  table = begin_table(w, "APPID", 1);
  begin_entry(w, "APPID", table, "AcDbRegAppTableRecord");
  w.tag(2, "ACAD"), w.tag(70, 0);
  w.tag(0, "ENDTAB");

  table = begin_table(w, "DIMSTYLE", 1);
  w.tag(100, "AcDbDimStyleTable");
  begin_entry(w, "DIMSTYLE", table, "AcDbDimStyleTableRecord", 105);  // a dimension style's handle is code 105
  w.tag(2, "Standard"), w.tag(70, 0);
  w.tag(0, "ENDTAB");

  BlockRecords records;
  table = begin_table(w, "BLOCK_RECORD", 2);
  records.model = begin_entry(w, "BLOCK_RECORD", table, "AcDbBlockTableRecord");
  w.tag(2, "*Model_Space");
  records.paper = begin_entry(w, "BLOCK_RECORD", table, "AcDbBlockTableRecord");
  w.tag(2, "*Paper_Space");
  w.tag(0, "ENDTAB");
  w.tag(0, "ENDSEC");
  return records;
}

// The model-space and paper-space blocks stay empty: their entities live in ENTITIES.
void blocks(TagWriter& w, const BlockRecords& records) {
  w.tag(0, "SECTION"), w.tag(2, "BLOCKS");
  for (const auto& [name, owner] : {std::pair<std::string_view, std::string_view>{"*Model_Space", records.model},
                                    {"*Paper_Space", records.paper}}) {
    w.tag(0, "BLOCK"), w.tag(5, w.new_handle()), w.tag(330, owner), w.tag(100, "AcDbEntity");
    if (name == "*Paper_Space") w.tag(67, 1);
    w.tag(8, "0"), w.tag(100, "AcDbBlockBegin"), w.tag(2, name), w.tag(70, 0), w.point(10, 0.0, 0.0, 0.0);
    w.tag(3, name), w.tag(1, "");
    w.tag(0, "ENDBLK"), w.tag(5, w.new_handle()), w.tag(330, owner), w.tag(100, "AcDbEntity");
    if (name == "*Paper_Space") w.tag(67, 1);
    w.tag(8, "0"), w.tag(100, "AcDbBlockEnd");
  }
  w.tag(0, "ENDSEC");
}

void entities(TagWriter& w, std::string_view model, const OutlineLoops& loops, std::span<const double> x,
              std::span<const double> y) {
  w.tag(0, "SECTION"), w.tag(2, "ENTITIES");
  for (int32_t l = 0; l < loops.loop_count(); ++l) {
    std::span<const int32_t> points = loops.loop(l);
    const bool closed = points.size() > 1 && points.front() == points.back();
    if (closed) points = points.first(points.size() - 1);
    w.tag(0, "LWPOLYLINE"), w.tag(5, w.new_handle()), w.tag(330, model), w.tag(100, "AcDbEntity");
    w.tag(8, kLayer), w.tag(100, "AcDbPolyline");
    w.tag(90, static_cast<int>(points.size())), w.tag(70, closed ? kPolylineClosed : 0), w.real(43, 0.0);
    for (const int32_t n : points) w.point(10, x[static_cast<size_t>(n)], y[static_cast<size_t>(n)]);
  }
  w.tag(0, "ENDSEC");
}

// The root dictionary opens the OBJECTS section and owns the (empty) group dictionary.
void objects(TagWriter& w) {
  const std::string root = w.new_handle(), groups = w.new_handle();
  w.tag(0, "SECTION"), w.tag(2, "OBJECTS");
  w.tag(0, "DICTIONARY"), w.tag(5, root), w.tag(330, "0"), w.tag(100, "AcDbDictionary"), w.tag(281, 1);
  w.tag(3, "ACAD_GROUP"), w.tag(350, groups);
  w.tag(0, "DICTIONARY"), w.tag(5, groups), w.tag(330, root), w.tag(100, "AcDbDictionary"), w.tag(281, 1);
  w.tag(0, "ENDSEC");
}

}  // namespace

void write_dxf(std::ostream& out, const OutlineLoops& loops, std::span<const double> x, std::span<const double> y) {
  require_finite(out, "blank X of node", x);
  require_finite(out, "blank Y of node", y);
  const Extents e = outline_extents(loops, x, y);
  std::ostringstream body_text;
  uint64_t handle_seed = 0;
  {
    TagWriter body(body_text);
    const BlockRecords records = tables(body, e);
    blocks(body, records);
    entities(body, records.model, loops, x, y);
    objects(body);
    body.tag(0, "EOF");
    handle_seed = body.next_handle();
  }
  {
    TagWriter w(out);
    w.tag(0, "SECTION"), w.tag(2, "HEADER");
    w.tag(9, "$ACADVER"), w.tag(1, kVersion);
    w.tag(9, "$DWGCODEPAGE"), w.tag(3, "ANSI_1252");
    w.tag(9, "$HANDSEED"), w.tag(5, hex(handle_seed));
    w.tag(9, "$INSUNITS"), w.tag(70, kUnitsMillimetre);
    w.tag(9, "$MEASUREMENT"), w.tag(70, kMetric);
    w.tag(9, "$EXTMIN"), w.point(10, e.min_x, e.min_y, 0.0);
    w.tag(9, "$EXTMAX"), w.point(10, e.max_x, e.max_y, 0.0);
    w.tag(0, "ENDSEC");
    w.tag(0, "SECTION"), w.tag(2, "CLASSES"), w.tag(0, "ENDSEC");
  }
  out << body_text.view();
}

}  // namespace trevo
