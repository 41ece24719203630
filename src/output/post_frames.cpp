// The post file's frames, element results, and closing result and outline records.
#include "output/post_frames.h"

#include <array>
#include <cmath>

#include "fortran/records.h"
#include "output/finite_guard.h"
#include "output/input_frame.h"

namespace trevo {

namespace {

using fortran::RecordPayload;
using fortran::write_record;

constexpr size_t kKeywordLength = 9;
constexpr int32_t kCornersPerElement = 4;

RecordPayload keyword(std::string_view word) {
  RecordPayload p;
  p.text(word, kKeywordLength);
  return p;
}

void write_contour_rows(std::ostream& out, std::string_view word, int32_t frame_number, const ContourTable& t) {
  for (size_t r = 0; r < t.integers.size(); ++r)
    write_record(out, keyword(word).i4(frame_number).i4(t.integers[r]).r4(t.reals[r]));
}

}  // namespace

ElementResultColumns element_results(std::span<const double> thickness, std::span<const double> initial_thickness,
                                     std::span<const double> exx, std::span<const double> eyy,
                                     std::span<const double> exy, std::span<const double> equivalent_strain,
                                     std::span<const double> equivalent_stress) {
  const size_t ne = thickness.size();
  ElementResultColumns c;
  c.thickness.assign(thickness.begin(), thickness.end());
  c.equivalent_strain.assign(equivalent_strain.begin(), equivalent_strain.end());
  c.equivalent_stress.assign(equivalent_stress.begin(), equivalent_stress.end());
  c.thinning.resize(ne);
  c.major_strain.resize(ne);
  c.minor_strain.resize(ne);
  c.thickness_strain.resize(ne);
  for (size_t e = 0; e < ne; ++e) {
    c.thinning[e] = (initial_thickness[e] - thickness[e]) / initial_thickness[e] * 100.0;
    const double mean = 0.5 * (exx[e] + eyy[e]), half = 0.5 * (exx[e] - eyy[e]);
    const double radius = std::sqrt(half * half + exy[e] * exy[e]);
    c.major_strain[e] = mean + radius;
    c.minor_strain[e] = mean - radius;
    c.thickness_strain[e] = -(c.major_strain[e] + c.minor_strain[e]);
  }
  return c;
}

void write_frame(std::ostream& out, int32_t frame_number, const Mesh& blank, const ElementResults& results,
                 const ContourTable& x_table, const ContourTable& y_table) {
  require_finite_points(out, blank.x, blank.y, blank.z, kSingleLimit);
  for (std::span<const double> column :
       {results.thickness, results.thinning, results.major_strain, results.minor_strain, results.thickness_strain,
        results.equivalent_strain, results.equivalent_stress})
    require_finite(out, "result of element", column, kSingleLimit);
  write_record(out, keyword("FRAMENUM").i4(frame_number));
  write_record(out, keyword("FRAMECOL")
                        .i4(frame_number)
                        .i4(blank.nn)
                        .i4(blank.ne)
                        .i4(kCornersPerElement)
                        .i4(static_cast<int32_t>(x_table.integers.size()))
                        .i4(static_cast<int32_t>(y_table.integers.size())));
  write_record(out, keyword("STROKE").i4(frame_number).r4(0.0).r4(0.0).r4(0.0).r4(0.0));
  write_contour_rows(out, "CONTRATX", frame_number, x_table);
  write_contour_rows(out, "CONTRATY", frame_number, y_table);
  for (int32_t e = 0; e < blank.ne; ++e) {
    RecordPayload p = keyword("SHETQUAD");
    p.i4(frame_number).i4(e + 1);
    for (int k = 0; k < 4; ++k) p.i4((k == 3 && blank.node(e, 3) == kNone ? blank.node(e, 2) : blank.node(e, k)) + 1);
    const auto i = static_cast<size_t>(e);
    p.r4(results.thickness[i]).r4(results.thinning[i]).r4(results.major_strain[i]).r4(results.minor_strain[i]);
    p.r4(results.thickness_strain[i]).r4(results.equivalent_strain[i]).r4(results.equivalent_stress[i]);
    write_record(out, p);
  }
  for (int32_t n = 0; n < blank.nn; ++n) {
    const auto i = static_cast<size_t>(n);
    write_record(out, keyword("SHETNODE").i4(frame_number).i4(n + 1).r4(blank.x[i]).r4(blank.y[i]).r4(blank.z[i]));
  }
}

void write_outline_records(std::ostream& out, const RunResults& results, const OutlineLoops& loops,
                           std::span<const double> x, std::span<const double> y, std::span<const double> z,
                           const FrameTransform& transform) {
  const BlankSummary& s = results.summary;
  require_finite(out, "run result", std::array{results.punch_force, results.blank_holder_force, s.area, s.weight,
                                               s.rectangle_area}, kSingleLimit);
  require_finite_points(out, x, y, z, kSingleLimit);
  write_record(out, keyword("RESULT")
                        .i4(results.iteration_counter - 1)
                        .r4(results.punch_force)
                        .r4(results.blank_holder_force)
                        .r4(s.area)
                        .r4(s.weight)
                        .r4(s.rectangle_area)
                        .i4(s.rectangle_angle));
  RecordPayload control = keyword("OLINECTL");
  control.i4(loops.loop_count());
  for (int32_t i = 0; i < loops.loop_count(); ++i) control.i4(loops.begin[static_cast<size_t>(i)] + 1);
  write_record(out, control);
  const InputFrameCoordinates c = input_frame_copy(x, y, z, transform);
  for (size_t p = 0; p < loops.points.size(); ++p) {
    const auto n = static_cast<size_t>(loops.points[p]);
    write_record(out, keyword("OLINEXYZ").i4(static_cast<int32_t>(p) + 1).r4(c.x[n]).r4(c.y[n]).r4(c.z[n]));
  }
  write_record(out, keyword("ENDDATA"));
}

}  // namespace trevo
