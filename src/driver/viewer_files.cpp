// The formed part for viewers (<base>.vtu) and the blank outline for CAD (<base>_blank.dxf).
#include "driver/viewer_files.h"

#include <fstream>
#include <string>

#include "core/result_write.h"
#include "output/dxf_file.h"
#include "output/vtu_file.h"

namespace trevo {

std::vector<double> formed_part_stress(const Job& job) {
  const std::size_t ne = static_cast<std::size_t>(job.part.ne);
  std::vector<double> axes(6 * ne);  // e1x, e1y, e1z, e2x, e2y, e2z, ne each
  for (std::size_t e = 0; e < ne; ++e) {
    const ElementGeometry& g = job.slices.geometry[e];
    for (std::size_t c = 0; c < 3; ++c) {
      axes[c * ne + e] = g.e1[c];
      axes[(3 + c) * ne + e] = g.e2[c];
    }
  }
  const std::span<const double> a = axes, s = job.state.stress;
  auto column = [&](std::span<const double> v, std::size_t c) { return v.subspan(c * ne, ne); };
  const LocalTensors stress{column(s, 0), column(s, 1), column(s, 2), column(a, 0), column(a, 1),
                            column(a, 2), column(a, 3), column(a, 4), column(a, 5)};
  return input_frame_tensors(stress, job.part.ne, output_transform(job.settings));
}

void write_viewer_files(Job& job, std::span<const double> stress, const ElementResults& results,
                        const OutlineLoops& loops) {
  const std::string& base = job.settings.base_path;
  const FrameTransform transform = output_transform(job.settings);
  {
    // The formed part as the dynain file carries it: the part's positioned copy, not the
    // coordinates the geometry blend or the on-binder stage moved.
    const Mesh part = with_coordinates(job.part, job.slices.xc, job.slices.yc, job.slices.zc);
    const FormedPartFields fields{results.thickness, job.slices.h0,    results.major_strain,
                                  results.minor_strain, stress,        results.equivalent_stress};
    const std::string name = base + ".vtu";
    std::ofstream out(name, std::ios::out | std::ios::trunc);
    check_written(out, name);
    write_vtu(out, part, transform, fields, job.state.X, job.state.Y);
    close_checked(out, name);
  }
  {
    const std::string name = base + "_blank.dxf";
    std::ofstream out(name, std::ios::out | std::ios::trunc);
    check_written(out, name);
    write_dxf(out, loops, job.state.X, job.state.Y);
    close_checked(out, name);
  }
}

}  // namespace trevo
