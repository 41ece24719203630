// The phases of a job in the driver's order; each phase is implemented in
// driver_model.cpp, driver_solve.cpp, driver_output.cpp or driver_binder.cpp.
#include "driver/driver.h"

#include <iostream>

#include "driver/driver_job.h"
#include "driver/not_implemented.h"
#include "core/run_stop.h"

namespace trevo {

Job::Job(const CommandLine& line)
    : work(line.work_size), reporter(std::cout, &files.report), title(line.base_path) {
  settings.base_path = effective_base_path(line.base_path);
  settings.work_size = line.work_size;
  settings.keep_input = line.keep_input;
}

namespace {

void run_phases(Job& job) {
  RunSettings& s = job.settings;
  // The work array was allocated with the job, and the settings start at their defaults.
  open_run_files(s.base_path, job.files);
  stamp(local_time_now(), job.reporter);
  read_model(job);
  check_model(job);
  if (s.method == 3) {  // the punch-direction check chose the elastic approximation method
    stop_not_implemented("elastic approximation method", job.reporter);
  }
  build_matrix_pattern(job);
  stamp(local_time_now(), job.reporter);  // the model is prepared
  read_process_data(job);
  position_and_record(job);
  unfold_initial_blank(job);
  solve_one_step(job);
  evaluate_final_state(job);
  write_results(job);
  close_run_files(s.keep_input, job.files);
  stamp(local_time_now(), job.reporter);
}

}  // namespace

int run_job(const CommandLine& line) {
  Job job(line);
  try {
    run_phases(job);
  } catch (const RunStopped&) {
    // A fatal error: its message is written; the files stay as they are, and the input
    // and post files are not deleted.
  }
  return 0;
}

}  // namespace trevo
