// Run file names, opening and closing, the date-and-time stamp and the size line.
#include "driver/run_files.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "core/work_array.h"
#include "fortran/edit.h"

namespace trevo {

namespace {
constexpr std::size_t kBufferLength = 1024;
constexpr std::size_t kScanStart = 1022;  // 1-based position where the downward scan starts
}  // namespace

std::string effective_base_path(const std::string& argument) {
  std::string buffer(kBufferLength, ' ');
  buffer.replace(0, std::min(argument.size(), kBufferLength - 1), argument, 0, kBufferLength - 1);
  if (argument.size() < kBufferLength) buffer[argument.size()] = '\0';
  for (std::size_t position = kScanStart; position >= 1; --position) {
    char c = buffer[position - 1];
    if (c == '\0') return buffer.substr(0, position - 1);
    if (c != ' ') return buffer.substr(0, position);
  }
  return {};
}

RunFileNames run_file_names(const std::string& base) {
  return {base + ".OUT",       base + ".dat",         base + ".QLT",          base + "_3D.lin",
          base + ".lin",       base + "_Blank.nas",   base + ".dynain",       base + "_fl.lin",
          base + "_Blank_Onbinder.nas",
          // The scratch unit 36 is named after the run, like gfortran's fort.36, but
          // beside the other run files, so that two runs in one folder never share it.
          base + ".fort36"};
}

void open_run_files(const std::string& base, RunFiles& files) {
  files.names = run_file_names(base);
  files.report.open(files.names.report, std::ios::out | std::ios::trunc);
  {  // unit 11, status "unknown": create when absent, never truncate
    std::ofstream create(files.names.input, std::ios::app);
  }
  files.post.open(files.names.post, std::ios::out | std::ios::trunc | std::ios::binary);
  files.outline_3d.open(files.names.outline_3d, std::ios::out | std::ios::trunc);
  files.outline.open(files.names.outline, std::ios::out | std::ios::trunc);
  files.blank_mesh.open(files.names.blank_mesh, std::ios::out | std::ios::trunc);
  files.dynain.open(files.names.dynain, std::ios::out | std::ios::trunc);
  files.feature_lines.open(files.names.feature_lines, std::ios::out | std::ios::trunc);
}

std::string date_record(const LocalTime& t) {
  using fortran::edit_i;
  return "D A T E (MM/DD/YY):   " + edit_i(t.month, 2) + "/" + edit_i(t.day, 2, 2) + "/" + edit_i(t.year, 4);
}

std::string time_record(const LocalTime& t) {
  using fortran::edit_i;
  // Hours 0 to 12 carry "a", 13 to 23 are shown less 12 with "p".
  const bool afternoon = t.hour >= 13;
  const int hour = afternoon ? t.hour - 12 : t.hour;
  return "TIME(HH:MM:SS:.01):   " + edit_i(hour, 2) + ":" + edit_i(t.minute, 2, 2) + ":" + edit_i(t.second, 2, 2) +
         ":00 " + (afternoon ? "p" : "a") + "m";
}

void stamp(const LocalTime& t, Reporter& reporter) {
  for (const std::string& record : {date_record(t), time_record(t)}) {
    reporter.report(record);  // unlike a message, the stamp goes into the report first
    reporter.console(record);
  }
}

void close_and_delete(std::ofstream& unit, const std::string& name) {
  if (unit.is_open()) unit.close();
  std::remove(name.c_str());
}

void close_run_files(int keep_input, RunFiles& files) {
  if (keep_input == 0) std::remove(files.names.input.c_str());
  close_and_delete(files.post, files.names.post);
}

void check_size(int64_t total_words, int64_t stiffness_words, int64_t work_size, Reporter& reporter,
                const std::string& base) {
  auto megabytes = [](int64_t words) { return words * 8 / 1024 / 1024; };
  reporter.both(" IVM=" + fortran::edit_i(stiffness_words, 10) + "  KALL=" + fortran::edit_i(total_words, 10) +
                "      IVMMB=" + fortran::edit_i(megabytes(stiffness_words), 5) +
                "  AKLLMB=" + fortran::edit_i(megabytes(total_words), 5));
  if (total_words > work_size) stop_dimension_too_big(reporter, total_words, base);  // the whole need is known here
}

}  // namespace trevo
