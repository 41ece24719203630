// Spec: Part 1.3. The 30 phases of a job, in order, each a named step.
#include "frame/driver.h"

#include <iostream>

#include "frame/not_implemented.h"
#include "frame/reporter.h"
#include "frame/run_files.h"
#include "frame/run_stop.h"
#include "frame/settings.h"
#include "frame/work_array.h"

namespace trevo {

namespace {

// Everything one run owns: settings, work array, files and the reporter.
struct Job {
  explicit Job(const CommandLine& line) : work(line.work_size), reporter(std::cout, &files.report) {
    settings.base_path = effective_base_path(line.base_path);
    settings.work_size = line.work_size;
    settings.keep_input = line.keep_input;
  }
  RunSettings settings;
  WorkArray work;  // phase 1: allocated once, uninitialised
  RunFiles files;
  Reporter reporter;
};

void run_phases(Job& job) {
  open_run_files(job.settings.base_path, job.files);  // phase 2
  stamp(local_time_now(), job.reporter);
  stop_not_implemented("keyword input (Parts 2.1-2.3)", job.reporter);  // phases 3-
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
