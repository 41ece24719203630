// The path of a part computed by the elastic approximation method: the method itself,
// run right after the model checks (or once the process controls ask for it with METHOD 3),
// and the model the result writers read, filled without the one-step solution.
#include <algorithm>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "driver/driver_job.h"
#include "elastic/elastic_method.h"
#include "solver/element_stabilisation.h"

namespace trevo {

namespace {

const Keyword kContratxLine("CONTRATX"), kContratyLine("CONTRATY");

// Every CONTRATX / CONTRATY record of the keyword file with its value field; the method
// counts and reads them itself.
std::vector<ConstraintLine> constraint_lines(const KeywordFile& file) {
  std::vector<ConstraintLine> lines;
  for (std::size_t i = 0; i < file.size(); ++i) {
    const Record record = file[i];
    if (record.is(kContratxLine)) lines.push_back({0, record.columns(kValueColumn)});
    else if (record.is(kContratyLine)) lines.push_back({1, record.columns(kValueColumn)});
  }
  return lines;
}

// The method's relaxation systems are freed by now, but the C library keeps their pages in
// the heap for later requests; the model arrays of the results are filled in the work
// array, which cannot use them, so they are handed back to the system first.
void release_freed_heap() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

}  // namespace

void run_elastic_method(Job& job) {
  RunSettings& s = job.settings;
  const std::vector<ConstraintLine> lines = constraint_lines(*job.input);
  const std::size_t nn = static_cast<std::size_t>(job.part.nn);
  // The blank lives where the one-step blank does (the stage-2 blank slices).
  const ElasticMethodInput input{job.part, job.model_slices.neighbours, lines};
  elastic_approximation_method(input, job.work, job.next_free, s.message_level, job.reporter,
                               job.model_slices.u.first(nn), job.model_slices.v.first(nn));
  release_freed_heap();
  // The results are written as for a part without tools.
  s.blank_holder_flag = 0;
  s.binder_flag = 0;
  s.pad_flag = 0;
}

void fill_elastic_model(Job& job) {
  OneStepState& st = job.state;
  OneStepModel& m = job.model;
  if (st.U.empty()) {  // the matrix pattern's stage, which holds U, was skipped
    StageLayout stage(job.work, job.reporter, job.next_free);
    st.U = stage.reals(2 * int64_t{job.part.nn});
    job.next_free = stage.next_free();
  }
  fill_element_model(job);
  // No tool touched the blank: no contact states, no punch force, a flat blank.
  std::fill(st.Zb.begin(), st.Zb.end(), 0.0);
  std::fill(st.internal_z.begin(), st.internal_z.end(), 0.0);
  std::fill(m.restraint.state.begin(), m.restraint.state.end(), 0);
}

}  // namespace trevo
