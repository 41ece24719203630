// The formed part for viewers (<base>.vtu) and the blank outline for CAD (<base>_blank.dxf).
#include "driver/viewer_files.h"

#include <fstream>
#include <string>

#include "core/result_write.h"
#include "output/dxf_file.h"
#include "output/vtu_file.h"

namespace trevo {

std::vector<double> formed_part_stress(Job& job) {
  return input_frame_tensors(with_axes(job.state.stress, element_axes(job)), job.part.ne,
                             output_transform(job.settings));
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
