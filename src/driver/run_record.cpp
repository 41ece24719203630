// The run record and the end of a run: phase clock, iteration history, the values the
// summary gathers from the job, and the summary written as the run's last file.
#include "driver/run_record.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>

#include "driver/driver_job.h"
#include "output/blank_summary.h"
#include "output/forming_limit.h"
#include "output/run_summary.h"
#include "solver/diagnosis.h"
#include "solver/material.h"
#include "solver/tool_terms.h"

namespace trevo {

namespace {

constexpr const char* kVersion = "1.3";
constexpr double kDegree = 3.14159265358979323846 / 180.0;

std::string summary_path(const Job& job) { return job.settings.base_path + ".summary.json"; }

double elapsed_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The identifier of internal node i in the input file: the i-th node line once the
// node lines the reader dropped (nodes used by no element) are skipped.
std::optional<int64_t> input_node_id(const Job& job, int32_t node) {
  const std::vector<int32_t>& ids = job.second_pass.node_ids;
  if (node < 0) return std::nullopt;
  int64_t position = node;
  for (const int32_t dropped : job.second_pass.renumbering.dropped) position += dropped <= position ? 1 : 0;
  if (position >= static_cast<int64_t>(ids.size())) return std::nullopt;
  return ids[static_cast<std::size_t>(position)];
}

// Length (the longer side) and width of the blank's bounding box turned by the angle the
// blank summary found, the same turn as its search (x' = c x - s y, y' = s x + c y).
std::array<double, 2> rectangle_sides(const Mesh& blank, int32_t angle_deg) {
  const double c = std::cos(angle_deg * kDegree), s = std::sin(angle_deg * kDegree);
  double lo[2] = {1e300, 1e300}, hi[2] = {-1e300, -1e300};
  for (int32_t n = 0; n < blank.nn; ++n) {
    const double p[2] = {c * blank.x[n] - s * blank.y[n], s * blank.x[n] + c * blank.y[n]};
    for (int k = 0; k < 2; ++k) lo[k] = std::min(lo[k], p[k]), hi[k] = std::max(hi[k], p[k]);
  }
  const double a = hi[0] - lo[0], b = hi[1] - lo[1];
  return {std::max(a, b), std::min(a, b)};
}

// Area of a quadrilateral or triangle in space: half the cross product of its diagonals.
double part_area(const Mesh& part) {
  double total = 0.0;
  for (int32_t e = 0; e < part.ne; ++e) {
    const int32_t a = part.node(e, 0), b = part.node(e, 1), c = part.node(e, 2), d = part.node(e, 3);
    const double p[3] = {part.x[c] - part.x[a], part.y[c] - part.y[a], part.z[c] - part.z[a]};
    const double q[3] = {part.x[d] - part.x[b], part.y[d] - part.y[b], part.z[d] - part.z[b]};
    total += 0.5 * std::hypot(p[1] * q[2] - p[2] * q[1], p[2] * q[0] - p[0] * q[2], p[0] * q[1] - p[1] * q[0]);
  }
  return total;
}

void gather_solution(Job& job, RunSummary& s) {
  const RunSettings& set = job.settings;
  const LoopOutcome& o = job.outcome;
  s.iterations = static_cast<int64_t>(job.record.history.size());
  s.adp_final = job.record.history.empty() ? Real{} : Real{o.last.adp};
  s.adp_least = o.least_adp < LoopOutcome{}.least_adp ? Real{o.least_adp} : Real{};
  s.maxp_final = job.record.history.empty() ? Real{} : Real{std::abs(o.last.maxp)};
  s.maxp_node = job.record.history.empty() ? Count{} : input_node_id(job, o.last.maxp_node);
  // A run stopped on a calculation error may have no finite punch force: it is then unknown.
  const double punch = punch_force(job.model.restraint.state, job.state.internal_z);
  s.punch_n = std::isfinite(punch) ? Real{punch} : Real{};
  s.holder_n = job.totals.blank_holder_force;
  if (set.iteration_limit > 2) {  // the diagnosis gives a verdict only then
    const double t1 = job.slices.h0.empty() ? 0.0 : job.slices.h0[0];
    const int verdict = convergence_verdict(o.least_adp, std::abs(o.last.maxp), o.inversions, t1,
                                            set.displacement_tolerance, set.force_tolerance);
    s.converged = verdict == 0;
    s.hint_set = verdict;
  }
}

// The flat blank (X, Y, z = 0), the finished part and its strains, and the forming limit
// of the sheet of element 1 (its material's n, its initial thickness).
void gather_results(Job& job, RunSummary& s) {
  const std::size_t nn = static_cast<std::size_t>(job.part.nn), ne = static_cast<std::size_t>(job.part.ne);
  std::vector<double> zeros(nn, 0.0);
  const Mesh blank = with_coordinates(job.part, job.state.X, job.state.Y, zeros);
  const BlankSummary b = blank_summary(blank, job.slices.h0);
  const auto sides = rectangle_sides(blank, b.rectangle_angle);
  s.blank_area = b.area, s.blank_weight = b.weight, s.rectangle_area = b.rectangle_area;
  s.rectangle_angle = b.rectangle_angle, s.rectangle_length = sides[0], s.rectangle_width = sides[1];
  if (b.rectangle_area > 0.0) s.utilisation = b.area / b.rectangle_area;
  s.part_area = part_area(with_coordinates(job.part, job.slices.xc, job.slices.yc, job.slices.zc));
  const OneStepState& st = job.state;
  // The elastic approximation method fills no strains or material rows of the one-step model.
  if (ne == 0 || job.model.material.size() < ne || job.slices.h0.size() < ne || st.h.size() < ne ||
      st.strain.size() < 3 * ne)
    return;
  const FormingLimit limit =
      forming_limit(material_row(job.model.material_table, job.model.material_count, job.model.material[0]).n,
                    job.slices.h0[0]);
  double min_h = 1e300, thinning = -1e300, major = -1e300, margin = 1e300;
  for (std::size_t e = 0; e < ne; ++e) {
    const auto p = principal_strains(st.strain[e], st.strain[ne + e], st.strain[2 * ne + e]);
    min_h = std::min(min_h, st.h[e]);
    thinning = std::max(thinning, 1.0 - st.h[e] / job.slices.h0[e]);
    major = std::max(major, p[0]);
    margin = std::min(margin, limit_major_strain(limit, p[1]) - p[0]);
  }
  s.min_thickness = min_h, s.max_thinning = thinning, s.max_major_strain = major, s.min_margin = margin;
  s.fld_n = limit.n, s.fld_thickness = limit.thickness_mm, s.flc0 = limit.flc0;
  s.fld_curve = limit_curve(limit);
}

RunSummary gather(Job& job, const RunEnd& end) {
  const RunFileNames& names = job.files.names;
  RunSummary s;
  s.version = kVersion;
  s.job = job.settings.base_path;
  s.input_file = names.input;
  if (job.record.input) s.input_sha256 = job.record.input->hex, s.input_bytes = job.record.input->bytes;
  s.status = end.status;
  s.message = end.message;
  s.adp_tolerance = job.settings.displacement_tolerance;
  s.maxp_tolerance = job.settings.force_tolerance;
  s.history = job.record.history;
  if (job.record.solved) gather_solution(job, s);
  if (end.status == "complete") gather_results(job, s);
  const auto& t = job.record.seconds;
  s.read_s = t[0], s.prepare_s = t[1], s.unfold_s = t[2], s.iterate_s = t[3], s.output_s = t[4];
  const std::string temporary = summary_path(job) + ".tmp";
  for (const std::string& name : checked_files()) {
    if (name == names.strain_scratch || name == temporary) continue;  // never left by a run
    std::error_code error;
    const auto bytes = std::filesystem::file_size(name, error);
    if (!error) s.files.push_back({name, static_cast<int64_t>(bytes)});
  }
  return s;
}

// <base>.summary.json.tmp written, flushed to the disk and renamed: each a checked write call.
void write_summary(Job& job, const RunEnd& end) {
  const std::string path = summary_path(job), temporary = path + ".tmp";
  const std::string text = summary_json(gather(job, end));
  {
    std::ofstream out(temporary, std::ios::out | std::ios::trunc | std::ios::binary);
    out << text;
    check_written(out, temporary);
    close_checked(out, temporary);
  }
  sync_file(temporary);
  if (std::rename(temporary.c_str(), path.c_str()) != 0) throw WriteFailed{path, std::strerror(errno)};
}

// A message of ours at the end of a run: console, then the run report, reopened to append
// when it was closed already; never into a report that cannot be written.
void end_message(Job& job, const std::string& text, bool report_writable) {
  job.reporter.console(text);
  if (!report_writable) return;
  std::ofstream& report = job.files.report;
  if (report.is_open()) {
    job.reporter.report(text);
    report.flush();
  } else {
    std::ofstream(job.files.names.report, std::ios::app) << text << '\n';
  }
}

}  // namespace

void begin_run_record(Job& job) {
  begin_checked_run();
  const std::string path = summary_path(job);
  std::remove(path.c_str());
  std::remove((path + ".tmp").c_str());
  job.record.lap_start = std::chrono::steady_clock::now();
  job.record.input = sha256_file(job.files.names.input);
  job.state.after_iteration = [&record = job.record](int32_t nn0, const ProgressValues& v) {
    record.history.push_back({double(nn0), v.adp, v.relax, v.maxp});
    check_interrupted();
  };
}

void check_run_files_open(RunFiles& files) {
  const RunFileNames& n = files.names;
  check_written(files.report, n.report);
  check_written(files.post, n.post);
  check_written(files.outline_3d, n.outline_3d);
  check_written(files.outline, n.outline);
  check_written(files.blank_mesh, n.blank_mesh);
  check_written(files.dynain, n.dynain);
  check_written(files.feature_lines, n.feature_lines);
}

void end_phase(Job& job, Phase phase) {
  job.record.seconds[static_cast<int>(phase)] = elapsed_since(job.record.lap_start);
  job.record.lap_start = std::chrono::steady_clock::now();
  if (phase == Phase::iterate) job.record.solved = true;
  check_written(job.files.report, job.files.names.report);
}

void close_report(Job& job) { close_checked(job.files.report, job.files.names.report); }

RunEnd write_failure(Job& job, const WriteFailed& failure) {
  const std::string text = "trevo: cannot write " + failure.file + ": " + failure.reason;
  end_message(job, text, failure.file != job.files.names.report);
  return {"write-failed", text, kWriteFailedStatus};
}

RunEnd interruption(Job& job, const RunInterrupted& interrupted) {
  clear_interruption();
  const std::string text =
      "trevo: interrupted by signal " + std::to_string(interrupted.signal) + "; results are incomplete";
  end_message(job, text, true);
  return {"interrupted", text, 128 + interrupted.signal};
}

RunEnd fatal_stop(const Job& job) {
  const std::string& last = job.reporter.last_message();
  return {"stopped", last.empty() ? std::nullopt : std::optional<std::string>(last), 0};
}

int conclude_run(Job& job, RunEnd end) {
  // A failure while the summary itself is written turns the end into a failed or an
  // interrupted one and the summary is written again; a second failed write of it (or a
  // third attempt) leaves none, and its message is not repeated.
  bool summary_failed = false;
  for (int attempt = 0; attempt < 3; ++attempt) {
    try {
      write_summary(job, end);
      return end.exit_status;
    } catch (const WriteFailed& failure) {
      if (summary_failed) break;
      summary_failed = true;
      end = write_failure(job, failure);
    } catch (const RunInterrupted& interrupted) {
      end = interruption(job, interrupted);
    }
  }
  std::remove((summary_path(job) + ".tmp").c_str());
  return end.exit_status;
}

}  // namespace trevo
