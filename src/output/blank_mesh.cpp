// The Nastran blank mesh and the feature-line file.
#include "output/blank_mesh.h"

#include <string>

#include "fortran/edit.h"
#include "output/finite_guard.h"
#include "output/input_frame.h"
#include "output/outline.h"
#include "output/record_buffer.h"

namespace trevo {

namespace {

using fortran::edit_e;
using fortran::edit_i;

// Record layouts of the blank-mesh and feature-line files.
constexpr std::string_view kSignature = "$KVO/TREVO";
constexpr std::string_view kVersion = "$VERSION 2.0";
constexpr std::string_view kCountTitle = "$NUMBER OF NODES AND ELEMENTS";
constexpr std::string_view kFeatureLineTitle = "PART SURFBDLN";
constexpr int kCountWidth = 10;                     // "$", 6X, 2I10
constexpr int kElementNumberWidth = 10, kFieldWidth = 8;  // A6, I10, I8 fields
// The real fields take the exponent letter E, which Nastran bulk-data readers accept.
constexpr int kGridWidth = 16, kGridDecimals = 9;   // GRID* large fields, E16.9
constexpr int kContinuationWidth = 6;               // " N" / "*N" + I6
constexpr int kProperty = 1;

std::string version_record(const LocalTime& t) {
  return std::string(kVersion) + "   DATE " + edit_i(t.month, 2, 2) + "/" + edit_i(t.day, 2, 2) + "/" +
         edit_i(t.year, 4, 4) + "   TIME " + edit_i(t.hour, 2, 2) + ":" + edit_i(t.minute, 2, 2) + ":" +
         edit_i(t.second, 2, 2);
}

std::string element_record(const Mesh& m, int32_t e) {
  const bool triangle = m.node(e, 3) == m.node(e, 2) || m.node(e, 3) == kNone;
  std::string r = (triangle ? "CTRIA3" : "CQUAD4") + edit_i(e + 1, kElementNumberWidth) + edit_i(kProperty, kFieldWidth);
  for (int k = 0; k < (triangle ? 3 : 4); ++k) r += edit_i(m.node(e, k) + 1, kFieldWidth);
  return r;
}

}  // namespace

void write_blank_mesh(std::ostream& out, const Mesh& blank, const FrameTransform& transform,
                      const LocalTime& time) {
  require_finite_points(out, blank.x, blank.y, blank.z);
  RecordBuffer records(out);
  records.record(kSignature);
  records.record(version_record(time));
  records.record(kCountTitle);
  records << "$      " << edit_i(blank.nn, kCountWidth) << edit_i(blank.ne, kCountWidth);
  records.end_record();
  records.record(fortran::ListRecord().str());  // separator: an empty list-directed record
  for (int32_t e = 0; e < blank.ne; ++e) records.record(element_record(blank, e));
  const InputFrameCoordinates c = input_frame_copy(blank.x, blank.y, blank.z, transform);
  const std::string system = edit_i(0, kGridWidth);
  for (int32_t n = 0; n < blank.nn; ++n) {
    const auto i = static_cast<size_t>(n);
    const std::string number = edit_i(n + 1, kContinuationWidth);
    records << "GRID*   " << edit_i(n + 1, kGridWidth) << system << edit_e(c.x[i], kGridWidth, kGridDecimals)
            << edit_e(c.y[i], kGridWidth, kGridDecimals) << " N" << number;
    records.end_record();
    records << "*N" << number << edit_e(c.z[i], kGridWidth, kGridDecimals);
    records.end_record();
  }
  records.record("ENDDATA");
}

void write_feature_lines(std::ostream& out, std::span<const double> u, std::span<const double> v,
                         std::span<const double> z, const FrameTransform& transform,
                         std::span<const int32_t> node_counts, std::span<const int32_t> nodes) {
  require_finite_points(out, u, v, z);
  const InputFrameCoordinates c = input_frame_copy(u, v, z, transform);
  const auto nn = static_cast<int32_t>(u.size());
  RecordBuffer records(out);
  records.record(kLineDataHeader);
  records.record(kFeatureLineTitle);
  size_t next = 0;
  for (size_t line = 0; line < node_counts.size(); ++line) {
    records.record(line_header_record(static_cast<int32_t>(line) + 1));
    for (int32_t k = 0; k < node_counts[line]; ++k, ++next) {
      const int32_t n = nodes[next];
      if (n < 0 || n >= nn) continue;
      const auto i = static_cast<size_t>(n);
      records.record(point_record(c.x[i], c.y[i], c.z[i]));
    }
  }
}

}  // namespace trevo
