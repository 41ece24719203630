// The LS-DYNA dynain file of the formed part and its strain scratch block.
#include "output/dynain.h"

#include <array>
#include <cstdio>
#include <istream>
#include <ostream>

#include "fortran/edit.h"
#include "output/finite_guard.h"
#include "output/input_frame.h"
#include "output/record_buffer.h"

namespace trevo {

namespace {

using fortran::edit_1pe;
using fortran::edit_e;
using fortran::edit_i;

// Record layouts of the dynain file.
constexpr int kNodeNumberWidth = 8, kCoordinateWidth = 16, kCoordinateDecimals = 9;  // I8, 3E16.9, 2I8
constexpr int kElementFieldWidth = 8;                                                 // 6I8
constexpr int kThicknessWidth = 16, kThicknessDecimals = 8;                           // 4E16.8
constexpr int kStateIntegerWidth = 10;                                                // I10
constexpr int kStateRealWidth = 10, kStateRealDecimals = 3;                           // 1PE10.3
constexpr size_t kCopiedRecordLength = 80;                                            // scratch records

std::string state_real(double v) { return edit_1pe(v, kStateRealWidth, kStateRealDecimals); }

std::string node_record(int32_t n, double x, double y, double z) {
  return edit_i(n + 1, kNodeNumberWidth) + edit_e(x, kCoordinateWidth, kCoordinateDecimals) +
         edit_e(y, kCoordinateWidth, kCoordinateDecimals) + edit_e(z, kCoordinateWidth, kCoordinateDecimals) +
         edit_i(0, kNodeNumberWidth) + edit_i(0, kNodeNumberWidth);
}

std::string element_record(const Mesh& mesh, int32_t e) {
  std::string r = edit_i(e + 1, kElementFieldWidth) + edit_i(1, kElementFieldWidth);  // part 1
  for (int k = 0; k < 4; ++k) {
    const int32_t n = (k == 3 && mesh.node(e, 3) == kNone) ? mesh.node(e, 2) : mesh.node(e, k);
    r += edit_i(n + 1, kElementFieldWidth);
  }
  return r;
}

std::string thickness_record(double h) {
  const std::string field = edit_e(h, kThicknessWidth, kThicknessDecimals);
  return field + field + field + field;
}

std::string tensor_fields(const GlobalTensor& c) {
  return state_real(c.c11) + state_real(c.c22) + state_real(c.c33) + state_real(c.c12) + state_real(c.c23) +
         state_real(c.c31);
}

}  // namespace

GlobalTensor global_tensor(const LocalTensors& t, int32_t e) {
  const auto i = static_cast<size_t>(e);
  const double r1[3] = {t.e1x[i], t.e1y[i], t.e1z[i]}, r2[3] = {t.e2x[i], t.e2y[i], t.e2z[i]};
  const double xx = t.xx[i], yy = t.yy[i], xy = t.xy[i];
  // C(i,j) = sum over k, l of R(k,i) A(k,l) R(l,j), with A non-zero only for k, l in {1, 2}.
  auto c = [&](int a, int b) { return xx * r1[a] * r1[b] + yy * r2[a] * r2[b] + xy * (r1[a] * r2[b] + r2[a] * r1[b]); };
  return {c(0, 0), c(1, 1), c(2, 2), c(0, 1), c(1, 2), c(2, 0)};
}

StrainScratch::StrainScratch(std::string path) : path_(std::move(path)) {
  file_.open(path_, std::ios::in | std::ios::out | std::ios::trunc);
}

StrainScratch::~StrainScratch() { close(); }

void StrainScratch::close() {
  if (file_.is_open()) file_.close();
  std::remove(path_.c_str());
}

void write_strain_heading(std::ostream& scratch) { scratch << "*INITIAL_STRAIN_SHELL\n"; }

void write_element_strain(std::ostream& scratch, const LocalTensors& strain, int32_t e) {
  const auto i = static_cast<size_t>(e);
  require_finite(scratch, "strain of element", std::array{strain.xx[i], strain.yy[i], strain.xy[i]}, kDoubleLimit, i);
  const std::string values = tensor_fields(global_tensor(strain, e)) + '\n';
  scratch << edit_i(e + 1, kStateIntegerWidth) + '\n' + values + values;
}

void write_dynain(std::ostream& out, const Mesh& mesh, std::span<const double> thickness,
                  std::span<const double> plastic_strain, const LocalTensors& stress,
                  const FrameTransform& transform, std::istream& scratch) {
  require_finite_points(out, mesh.x, mesh.y, mesh.z);
  require_finite(out, "thickness of element", thickness);
  require_finite(out, "effective plastic strain of element", plastic_strain);
  for (std::span<const double> column : {stress.xx, stress.yy, stress.xy})
    require_finite(out, "stress of element", column);
  RecordBuffer records(out);
  {
    const InputFrameCoordinates c = input_frame_copy(mesh.x, mesh.y, mesh.z, transform);
    records.record("*NODE");
    for (int32_t n = 0; n < mesh.nn; ++n) {
      const auto i = static_cast<size_t>(n);
      records.record(node_record(n, c.x[i], c.y[i], c.z[i]));
    }
  }
  records.record("*ELEMENT_SHELL_THICKNESS");
  for (int32_t e = 0; e < mesh.ne; ++e) {
    records.record(element_record(mesh, e));
    records.record(thickness_record(thickness[static_cast<size_t>(e)]));
  }
  records.record("*INITIAL_STRESS_SHELL");
  const std::string point_counts = edit_i(1, kStateIntegerWidth) + edit_i(1, kStateIntegerWidth);
  const std::string zero = state_real(0.0);
  for (int32_t e = 0; e < mesh.ne; ++e) {
    records << edit_i(e + 1, kStateIntegerWidth) << point_counts;
    records.end_record();
    records << zero << tensor_fields(global_tensor(stress, e)) << state_real(plastic_strain[static_cast<size_t>(e)]);
    records.end_record();
  }
  // Rewind unit 36 and copy it record by record (records of up to 80 characters).
  scratch.clear();
  scratch.seekg(0);
  for (std::string record; std::getline(scratch, record);)
    records.record(std::string_view(record).substr(0, kCopiedRecordLength));
  records.record("*END");
}

}  // namespace trevo
