// The run summary <base>.summary.json: the machine-readable record of a run, written as the
// run's last file. Its keys are documented in docs/summary.md and stay stable; a missing value
// is JSON null, every number is finite. Written atomically: <base>.summary.json.tmp, fsync,
// rename, so that a reader sees either no summary or a whole one.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace trevo {

using Real = std::optional<double>;
using Count = std::optional<int64_t>;

struct RunSummary {
  std::string version, job;
  std::string input_file;
  std::optional<std::string> input_sha256;
  Count input_bytes;
  std::string status;  // "complete", "stopped", "interrupted" or "write-failed"
  std::optional<std::string> message;
  std::optional<bool> converged;
  Count hint_set;
  Count iterations;
  Real adp_final, adp_least, adp_tolerance;
  Real maxp_final, maxp_tolerance;
  Count maxp_node;
  Real punch_n, holder_n;
  Real blank_area, blank_weight, rectangle_length, rectangle_width, rectangle_angle, rectangle_area, utilisation;
  Real part_area, min_thickness, max_thinning, max_major_strain;
  Real fld_n, fld_thickness, flc0, min_margin;
  std::vector<std::array<double, 2>> fld_curve;
  std::vector<std::array<double, 4>> history;  // NN0, ADP, RELAX, MAXP
  Real read_s, prepare_s, unfold_s, iterate_s, output_s;
  struct File {
    std::string name;
    int64_t bytes = 0;
  };
  std::vector<File> files;
};

// The summary as JSON text (two-space indentation, one history row per line).
std::string summary_json(const RunSummary& summary);

// A JSON number: the shortest text that reads back as the same double; null for a value
// that does not exist. A non-finite value is a fault of the caller (asserted) and is
// written as null.
std::string json_number(Real value);
// A JSON string with the required escapes (quote, backslash, control characters); other
// bytes, UTF-8 included, pass unchanged.
std::string json_string(const std::string& text);

}  // namespace trevo
