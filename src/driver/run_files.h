// The run's files: names from the base path, the numbered units, the date-and-time
// stamp and the end-of-run close rules.
// Units are members named after their content, with the Fortran unit number of each
// file beside it. Every file but the input is created or overwritten at open; the
// input file is created empty when missing and never truncated ("unknown" status), so
// a missing input reads as an empty file and the keyword scan reports it.
#pragma once
#include <fstream>
#include <string>

#include "core/local_time.h"
#include "core/reporter.h"

namespace trevo {

// Effective length of the base path in its 1024-character blank-padded buffer,
// scanning down from position 1022 for the first NUL or non-blank: a 1023-character
// argument is cut to 1022 characters; an argument's own trailing blanks are kept.
std::string effective_base_path(const std::string& argument);

struct RunFileNames {
  std::string report, input, post, outline_3d, outline, blank_mesh, dynain, feature_lines, blank_on_binder,
      strain_scratch;
};
RunFileNames run_file_names(const std::string& base);

struct RunFiles {
  RunFileNames names;
  std::ofstream report;          // unit 12, <base>.OUT
  std::ofstream post;            // unit 20, <base>.QLT (unformatted)
  std::ofstream outline_3d;      // unit 92, <base>_3D.lin
  std::ofstream outline;         // unit 94, <base>.lin
  std::ofstream blank_mesh;      // unit 95, <base>_Blank.nas
  std::ofstream dynain;          // unit 35, <base>.dynain
  std::ofstream feature_lines;   // unit 99, <base>_fl.lin
  std::ofstream blank_on_binder; // unit 98, opened by the driver only with a binder
};

// Opens units 12, 11 (created if absent), 20, 92, 94, 95, 35, 99 in this order.
void open_run_files(const std::string& base, RunFiles& files);

// The two stamp records, e.g. "D A T E (MM/DD/YY):   12/04/2026"
// and "TIME(HH:MM:SS:.01):    1:37:50:00 pm".
std::string date_record(const LocalTime& t);
std::string time_record(const LocalTime& t);
// Writes the date record, then the time record, each into the report first and then on the console.
void stamp(const LocalTime& t, Reporter& reporter);

// End of a complete run: unit 92 was handled by the driver; here the input is
// deleted unless keep_input is 1, and the post file is always deleted.
void close_run_files(int keep_input, RunFiles& files);

// Closes a unit and deletes its file (Fortran CLOSE with STATUS='DELETE').
void close_and_delete(std::ofstream& unit, const std::string& name);

// The size line, then the stop when the job needs more words than the work array holds:
// prints " IVM=<10>  KALL=<10>      IVMMB=<5>  AKLLMB=<5>".
void check_size(int64_t total_words, int64_t stiffness_words, int64_t work_size, Reporter& reporter,
                const std::string& base = "<base>");

}  // namespace trevo
