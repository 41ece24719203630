// Spec: Part 1.3. The phases of a job in the driver's order; each is a named step
// implemented in driver_model.cpp, driver_solve.cpp and driver_output.cpp.
#include "frame/driver.h"

#include <iostream>

#include "frame/driver_job.h"
#include "frame/not_implemented.h"
#include "frame/run_stop.h"

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
  open_run_files(s.base_path, job.files);  // steps 1-3: work array (Job), files, stamp, defaults
  stamp(local_time_now(), job.reporter);
  read_model(job);   // steps 4-9
  check_model(job);  // step 10
  if (s.method == 3) {  // step 11
    stop_not_implemented("elastic approximation method (Part 6.1)", job.reporter);
  }
  build_matrix_pattern(job);  // step 12
  stamp(local_time_now(), job.reporter);  // step 13
  read_process_data(job);     // step 14
  position_and_record(job);   // steps 15-16
  unfold_initial_blank(job);  // step 17 (step 18: the counts live in the job)
  solve_one_step(job);        // step 19
  evaluate_final_state(job);  // step 20
  write_results(job);         // steps 21-29
  close_run_files(s.keep_input, job.files);  // step 30
  stamp(local_time_now(), job.reporter);
}

}  // namespace

int run_job(const CommandLine& line) {
  Job job(line);
  try {
    run_phases(job);
  } catch (const RunStopped&) {
    // A fatal error: its message is written; the files stay as they are (Part 1.3).
  }
  return 0;
}

}  // namespace trevo
