// The phases of a job in the driver's order; each phase is implemented in
// driver_model.cpp, driver_solve.cpp, driver_elastic.cpp, driver_output.cpp or
// driver_binder.cpp.
#include "driver/driver.h"

#include <array>
#include <charconv>
#include <cmath>
#include <iostream>
#include <utility>

#include "driver/driver_job.h"
#include "driver/run_picture.h"
#include "driver/thread_count.h"
#include "core/run_stop.h"
#include "output/finite_guard.h"

namespace trevo {

Job::Job(const CommandLine& line)
    : work(line.work_size), reporter(std::cout, &files.report), title(line.base_path) {
  settings.base_path = effective_base_path(line.base_path);
  settings.work_size = line.work_size;
  settings.keep_input = line.keep_input;
  work.set_run_base(line.base_path);  // named in the rerun line of the work-size stop
  model.threads = default_thread_count();  // same results for any count
}

namespace {

void run_phases(Job& job) {
  RunSettings& s = job.settings;
  // The work array was allocated with the job, and the settings start at their defaults.
  open_run_files(s.base_path, job.files);
  begin_run_record(job);
  check_run_files_open(job.files);
  stamp(local_time_now(), job.reporter);
  read_model(job);
  end_phase(job, Phase::read);
  check_model(job);
  // The punch-direction check chose the elastic approximation method: it computes the
  // blank at once, in place of the matrix pattern, the unfolding and the solution.
  const bool elastic = s.method == 3;
  if (elastic) {
    run_elastic_method(job);
  } else {
    build_matrix_pattern(job);
  }
  stamp(local_time_now(), job.reporter);  // the model is prepared
  read_process_data(job);
  // METHOD 3 among the process controls asks for the elastic approximation method too.
  if (!elastic && s.method == 3) run_elastic_method(job);
  position_and_record(job);
  end_phase(job, Phase::prepare);
  if (s.method == 3) {
    fill_elastic_model(job);
  } else {
    unfold_initial_blank(job);
    end_phase(job, Phase::unfold);
    solve_one_step(job);
    end_phase(job, Phase::iterate);
  }
  evaluate_final_state(job);
  write_results(job);
  close_run_files(s.keep_input, job.files);
  stamp(local_time_now(), job.reporter);
  end_phase(job, Phase::output);
  close_report(job);
}

// A result writer met a number that is not finite: one message naming the file, by the name
// its caller gave or by the run's unit it was written to.
void report_non_finite(Job& job, const NonFiniteResult& bad) {
  RunFiles& f = job.files;
  std::string file = bad.name.empty() ? "a result file" : bad.name;
  for (const auto& [unit, name] : {std::pair<const std::ostream*, const std::string*>{&f.post, &f.names.post},
                                   {&f.outline_3d, &f.names.outline_3d}, {&f.outline, &f.names.outline},
                                   {&f.blank_mesh, &f.names.blank_mesh}, {&f.feature_lines, &f.names.feature_lines},
                                   {&f.blank_on_binder, &f.names.blank_on_binder}, {&f.dynain, &f.names.dynain}})
    if (bad.file == unit) file = *name;
  std::array<char, 32> value{};
  const auto written = std::to_chars(value.data(), value.data() + value.size(), bad.value);
  const std::string why =
      std::isfinite(bad.value) ? " is beyond the range of the file's 4-byte reals" : " is not a finite number";
  job.reporter.message("trevo: " + file + ": " + bad.quantity + " " + std::to_string(bad.index + 1) + " = " +
                       std::string(value.data(), written.ptr) + why + " and is not written");
}

}  // namespace

int run_job(const CommandLine& line) {
  Job job(line);
  RunEnd end{"complete", std::nullopt, 0};
  try {
    run_phases(job);
  } catch (const RunStopped&) {
    // A fatal error: its message is written; the files stay as they are, and the input
    // and post files are not deleted.
    end = fatal_stop(job);
  } catch (const NonFiniteResult& bad) {
    report_non_finite(job, bad);  // then the run ends as a fatal stop does
    end = fatal_stop(job);
  } catch (const WriteFailed& failure) {
    end = write_failure(job, failure);  // the files stay as they are, like a fatal stop's
  } catch (const RunInterrupted& interrupted) {
    end = interruption(job, interrupted);
  }
  const int status = conclude_run(job, end);
  // The picture comes last, drawn from the files of a complete run; it never changes the run's end.
  if (status == 0 && end.status == "complete") draw_run_picture(job.settings.base_path, job.reporter);
  return status;
}

}  // namespace trevo
