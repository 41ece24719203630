// The formed part as a VTK XML unstructured grid.
#include "output/vtu_file.h"

#include <charconv>
#include <string>
#include <string_view>

#include "output/finite_guard.h"
#include "output/input_frame.h"
#include "output/record_buffer.h"

namespace trevo {

namespace {

// VTK cell types of the two shell elements.
constexpr int kVtkTriangle = 5, kVtkQuad = 9;
constexpr int kValuesPerLine = 6;  // numbers per line inside a data array
constexpr int kTensorComponents = 6;
constexpr std::string_view kTensorNames[kTensorComponents] = {"XX", "YY", "ZZ", "XY", "YZ", "XZ"};

// The shortest decimal that reads back as the same double.
std::string number(double v) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, v).ptr;
  return {text, end};
}

std::string attribute(std::string_view name, std::string_view value) {
  return " " + std::string(name) + "=\"" + std::string(value) + "\"";
}

// One DataArray: its opening tag, the values a few to a line, its closing tag.
class DataArray {
 public:
  DataArray(RecordBuffer& records, std::string_view type, std::string_view name, int components,
            std::string_view extra = "")
      : records_(records) {
    std::string tag = "<DataArray" + attribute("type", type);
    if (!name.empty()) tag += attribute("Name", name);
    if (components > 1) tag += attribute("NumberOfComponents", std::to_string(components));
    records_ << "        " << tag << extra << attribute("format", "ascii") << ">";
    records_.end_record();
  }
  ~DataArray() {
    if (count_ % kValuesPerLine != 0) records_.end_record();
    records_.record("        </DataArray>");
  }
  DataArray(const DataArray&) = delete;
  DataArray& operator=(const DataArray&) = delete;

  void add(std::string_view value) {
    records_ << (count_ % kValuesPerLine == 0 ? "          " : " ") << value;
    if (++count_ % kValuesPerLine == 0) records_.end_record();
  }
  void add(double v) { add(number(v)); }
  void add(int64_t v) { add(std::string_view(std::to_string(v))); }

 private:
  RecordBuffer& records_;
  int64_t count_ = 0;
};

void scalar_cells(RecordBuffer& records, std::string_view name, std::span<const double> values) {
  DataArray a(records, "Float64", name, 1);
  for (const double v : values) a.add(v);
}

std::string tensor_component_names() {
  std::string names;
  for (int c = 0; c < kTensorComponents; ++c)
    names += attribute("ComponentName" + std::to_string(c), kTensorNames[c]);
  return names;
}

}  // namespace

std::vector<double> input_frame_tensors(const LocalTensors& local, int32_t ne, const FrameTransform& transform) {
  const auto n = static_cast<size_t>(ne);
  std::vector<double> e1x(local.e1x.begin(), local.e1x.begin() + n), e1y(local.e1y.begin(), local.e1y.begin() + n),
      e1z(local.e1z.begin(), local.e1z.begin() + n), e2x(local.e2x.begin(), local.e2x.begin() + n),
      e2y(local.e2y.begin(), local.e2y.begin() + n), e2z(local.e2z.begin(), local.e2z.begin() + n);
  untip(e1x, e1y, e1z, transform.alpha, transform.beta);
  untip(e2x, e2y, e2z, transform.alpha, transform.beta);
  const LocalTensors turned{local.xx, local.yy, local.xy, e1x, e1y, e1z, e2x, e2y, e2z};
  std::vector<double> tensors(kTensorComponents * n);
  for (int32_t e = 0; e < ne; ++e) {
    const GlobalTensor c = global_tensor(turned, e);  // LS-DYNA's order: 11, 22, 33, 12, 23, 31
    double* t = &tensors[kTensorComponents * static_cast<size_t>(e)];
    t[0] = c.c11, t[1] = c.c22, t[2] = c.c33, t[3] = c.c12, t[4] = c.c23, t[5] = c.c31;
  }
  return tensors;
}

void write_vtu(std::ostream& out, const Mesh& part, const FrameTransform& transform, const FormedPartFields& fields,
               std::span<const double> blank_x, std::span<const double> blank_y) {
  require_finite_points(out, part.x, part.y, part.z);
  require_finite(out, "blank X of node", blank_x);
  require_finite(out, "blank Y of node", blank_y);
  require_finite(out, "thickness of element", fields.thickness);
  require_finite(out, "major strain of element", fields.major_strain);
  require_finite(out, "minor strain of element", fields.minor_strain);
  require_finite(out, "stress component", fields.stress);
  require_finite(out, "equivalent stress of element", fields.equivalent_stress);
  RecordBuffer records(out);
  records.record("<?xml version=\"1.0\"?>");
  records.record("<VTKFile type=\"UnstructuredGrid\" version=\"1.0\" byte_order=\"LittleEndian\" "
                 "header_type=\"UInt64\">");
  records.record("  <UnstructuredGrid>");
  records << "    <Piece" << attribute("NumberOfPoints", std::to_string(part.nn))
          << attribute("NumberOfCells", std::to_string(part.ne)) << ">";
  records.end_record();

  records.record("      <PointData Vectors=\"blank\">");
  {
    DataArray a(records, "Float64", "blank", 3);
    for (int32_t n = 0; n < part.nn; ++n) {
      const auto i = static_cast<size_t>(n);
      a.add(blank_x[i]), a.add(blank_y[i]), a.add(0.0);
    }
  }
  records.record("      </PointData>");

  records.record("      <CellData Scalars=\"thinning\" Tensors=\"stress\">");
  scalar_cells(records, "thickness", fields.thickness);
  {
    DataArray a(records, "Float64", "thinning", 1);
    for (int32_t e = 0; e < part.ne; ++e) {
      const auto i = static_cast<size_t>(e);
      a.add(1.0 - fields.thickness[i] / fields.initial_thickness[i]);
    }
  }
  scalar_cells(records, "major_strain", fields.major_strain);
  scalar_cells(records, "minor_strain", fields.minor_strain);
  {
    DataArray a(records, "Float64", "stress", kTensorComponents, tensor_component_names());
    for (const double v : fields.stress) a.add(v);
  }
  scalar_cells(records, "equivalent_stress", fields.equivalent_stress);
  records.record("      </CellData>");

  records.record("      <Points>");
  {
    const InputFrameCoordinates c = input_frame_copy(part.x, part.y, part.z, transform);
    DataArray a(records, "Float64", "", 3);
    for (int32_t n = 0; n < part.nn; ++n) {
      const auto i = static_cast<size_t>(n);
      a.add(c.x[i]), a.add(c.y[i]), a.add(c.z[i]);
    }
  }
  records.record("      </Points>");

  records.record("      <Cells>");
  std::vector<int64_t> offsets;
  std::vector<int> types;
  {
    DataArray a(records, "Int64", "connectivity", 1);
    int64_t offset = 0;
    for (int32_t e = 0; e < part.ne; ++e) {
      const bool triangle = part.node(e, 3) == kNone || part.node(e, 3) == part.node(e, 2);
      const int corners = triangle ? 3 : 4;
      for (int k = 0; k < corners; ++k) a.add(static_cast<int64_t>(part.node(e, k)));
      offsets.push_back(offset += corners);
      types.push_back(triangle ? kVtkTriangle : kVtkQuad);
    }
  }
  {
    DataArray a(records, "Int64", "offsets", 1);
    for (const int64_t o : offsets) a.add(o);
  }
  {
    DataArray a(records, "UInt8", "types", 1);
    for (const int t : types) a.add(static_cast<int64_t>(t));
  }
  records.record("      </Cells>");
  records.record("    </Piece>");
  records.record("  </UnstructuredGrid>");
  records.record("</VTKFile>");
}

}  // namespace trevo
