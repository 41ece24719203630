// The post file's header: the process records written once after the positioning.
#include "output/post_file.h"

#include <algorithm>
#include <array>

#include "fortran/records.h"
#include "output/finite_guard.h"
#include "output/input_frame.h"

namespace trevo {

namespace {

using fortran::RecordPayload;
using fortran::write_record;

constexpr std::string_view kFileKeyword = "QUILTEKPOST ";                      // record 1, text 12
constexpr std::string_view kSignature = "KTV19011101PDW190202022MRN9030303";  // record 1, text 35
constexpr size_t kFileKeywordLength = 12, kSignatureLength = 35, kKeywordLength = 9;

RecordPayload keyword(std::string_view word) {
  RecordPayload p;
  p.text(word, kKeywordLength);
  return p;
}

// Records QUAD (element number, four node numbers) and NODE (node number, x, y, z + dz)
// of one tool mesh, its nodes in the input attitude.
void write_tool(std::ostream& out, std::string_view quad_word, std::string_view node_word, const Mesh& mesh,
                const FrameTransform& transform, double dz) {
  for (int32_t e = 0; e < mesh.ne; ++e) {
    RecordPayload p = keyword(quad_word);
    p.i4(e + 1);
    for (int k = 0; k < 4; ++k) p.i4(mesh.node(e, k) + 1);
    write_record(out, p);
  }
  const InputFrameCoordinates c = input_frame_copy(mesh.x, mesh.y, mesh.z, transform);
  for (int32_t n = 0; n < mesh.nn; ++n) {
    const auto i = static_cast<size_t>(n);
    write_record(out, keyword(node_word).i4(n + 1).r4(c.x[i]).r4(c.y[i]).r4(c.z[i] + dz));
  }
}

// Record 13 per drawbead: forces as read, both ends in the input attitude, z + 2h.
void write_drawbeads(std::ostream& out, std::span<const double> drawbeads, int32_t count,
                     const FrameTransform& transform, double h) {
  const auto n = static_cast<size_t>(count);
  auto column = [&](int j) { return drawbeads.subspan(static_cast<size_t>(j) * n, n); };
  const InputFrameCoordinates first = input_frame_copy(column(2), column(3), column(4), transform);
  const InputFrameCoordinates second = input_frame_copy(column(5), column(6), column(7), transform);
  for (size_t i = 0; i < n; ++i) {
    write_record(out, keyword("DRAWBEAD")
                          .i4(static_cast<int32_t>(i) + 1)
                          .r4(column(0)[i])
                          .r4(column(1)[i])
                          .r4(first.x[i])
                          .r4(first.y[i])
                          .r4(first.z[i] + 2.0 * h)
                          .r4(second.x[i])
                          .r4(second.y[i])
                          .r4(second.z[i] + 2.0 * h));
  }
}

}  // namespace

double tool_clearance(double draw_depth) { return std::max(draw_depth / 40.0, 0.05); }

void write_process_records(std::ostream& out, std::string_view title, const RunSettings& settings,
                           std::span<const double> material_table, int32_t material_count,
                           std::span<const double> drawbeads, const Mesh& blank_holder, const Mesh& pad,
                           const Mesh& binder) {
  require_finite(out, "material value", material_table, kSingleLimit);
  require_finite(out, "drawbead value", drawbeads, kSingleLimit);
  for (const Mesh* tool : {&blank_holder, &pad, &binder})
    require_finite_points(out, tool->x, tool->y, tool->z, kSingleLimit);
  const FrameTransform transform{settings.tipping_alpha, settings.tipping_beta, settings.lowest_z};
  const double h = tool_clearance(settings.draw_depth);
  auto material = [&](int column) { return material_table[static_cast<size_t>(column - 1) * static_cast<size_t>(material_count)]; };

  RecordPayload head;
  head.text(kFileKeyword, kFileKeywordLength).text(kSignature, kSignatureLength);
  write_record(out, head);                                                                     // 1
  write_record(out, keyword("TITLE").text(title, kTitleLength));                               // 2
  write_record(out, keyword("FORMTYPE").i4(settings.forming_type));                            // 3
  write_record(out, keyword("METHOD").i4(settings.method));                                    // 4
  write_record(out, keyword("MATERIAL").r4(material(1)).r4(material(2)).r4(material(3))       // 5
                        .r4(settings.element_value).r4(material(5)).r4(material(6)).r4(material(7)));
  write_record(out, keyword("FRICTION").r4(settings.friction1).r4(settings.friction2)         // 6
                        .r4(settings.pad_coefficient));
  write_record(out, keyword("BHFORCE").r4(settings.bhforce).r4(settings.holforce));           // 7
  write_record(out, keyword("DBEADCTL").i4(settings.drawbead_count));                         // 8
  write_record(out, keyword("PUNCHCTL").i4(0).i4(0));                                         // 9
  write_record(out, keyword("BHOLDCTL").i4(blank_holder.nn).i4(blank_holder.ne));             // 10
  write_record(out, keyword("HOLDGCTL").i4(pad.nn).i4(pad.ne));                               // 11
  write_record(out, keyword("BINDECTL").i4(binder.nn).i4(binder.ne));                         // 12
  write_drawbeads(out, drawbeads, settings.drawbead_count, transform, h);                      // 13
  // 14, 15: the punch mesh is never part of a job (counts 0 in record 9).
  write_tool(out, "BINDQUAD", "BINDNODE", blank_holder, transform, h);                         // 16, 17
  write_tool(out, "HOLDQUAD", "HOLDNODE", pad, transform, h);                                  // 18, 19
  write_tool(out, "FLANQUAD", "FLANNODE", binder, transform, -h);                              // 20, 21
}

}  // namespace trevo
