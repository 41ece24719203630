// The table of value ranges and the pass over the keyword file that applies it.
#include "input/value_checks.h"

#include <array>
#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>

#include "core/run_stop.h"
#include "fortran/list_input.h"

namespace trevo {

namespace {

enum class Range {
  positive,      // > 0: a thickness, a strength or an r-value divides or is divided by
  non_negative,  // >= 0: a friction coefficient or a force
  exponent,      // 0 < n < 1: the secant modulus divides by n and by the pre-strain's power
  coordinate     // |v| <= 1e6 mm: beyond it a part is no sheet-metal part, and squares overflow
};

// Which lines the readers read: the tool meshes only with their flag, the element value of
// SHETQUAD as the thickness only while no MATERIAL line of the second form replaces it, column 8
// of MATERIAL only on lines of the second form.
enum class ReadWhen { always, blank_holder, binder, pad, element_thickness, material_thickness };

enum class Group { mesh, controls };

struct ValueCheck {
  Group group;
  std::string_view keyword;  // as the message names it; compared as the readers compare it
  int position;              // 1-based position in the line's free-form values
  std::string_view quantity;
  Range range;
  ReadWhen when = ReadWhen::always;
};

constexpr double kCoordinateLimit = 1.0e6;

constexpr ValueCheck kChecks[] = {
    {Group::mesh, "SHETNODE", 2, "x", Range::coordinate},
    {Group::mesh, "SHETNODE", 3, "y", Range::coordinate},
    {Group::mesh, "SHETNODE", 4, "z", Range::coordinate},
    {Group::mesh, "SHETQUAD", 6, "thickness", Range::positive, ReadWhen::element_thickness},
    {Group::mesh, "BINDNODE", 2, "x", Range::coordinate, ReadWhen::blank_holder},
    {Group::mesh, "BINDNODE", 3, "y", Range::coordinate, ReadWhen::blank_holder},
    {Group::mesh, "BINDNODE", 4, "z", Range::coordinate, ReadWhen::blank_holder},
    {Group::mesh, "FLANNODE", 2, "x", Range::coordinate, ReadWhen::binder},
    {Group::mesh, "FLANNODE", 3, "y", Range::coordinate, ReadWhen::binder},
    {Group::mesh, "FLANNODE", 4, "z", Range::coordinate, ReadWhen::binder},
    {Group::mesh, "HOLDNODE", 2, "x", Range::coordinate, ReadWhen::pad},
    {Group::mesh, "HOLDNODE", 3, "y", Range::coordinate, ReadWhen::pad},
    {Group::mesh, "HOLDNODE", 4, "z", Range::coordinate, ReadWhen::pad},
    // MATERIAL values start in column 11 in both forms; column 4 takes no part in the solver.
    {Group::controls, "MATERIAL", 1, "pre-strain eps0", Range::positive},
    {Group::controls, "MATERIAL", 2, "strength coefficient K", Range::positive},
    {Group::controls, "MATERIAL", 3, "exponent n", Range::exponent},
    {Group::controls, "MATERIAL", 5, "r-value r0", Range::positive},
    {Group::controls, "MATERIAL", 6, "r-value r45", Range::positive},
    {Group::controls, "MATERIAL", 7, "r-value r90", Range::positive},
    {Group::controls, "MATERIAL", 8, "thickness", Range::positive, ReadWhen::material_thickness},
    {Group::controls, "FRICTION", 1, "coefficient mu1", Range::non_negative},
    {Group::controls, "FRICTION", 2, "coefficient mu2", Range::non_negative},
    {Group::controls, "BHFORCE", 1, "blank-holder force", Range::non_negative},
    {Group::controls, "HOLFORCE", 1, "pad force", Range::non_negative},
    {Group::controls, "HOLFORCE", 2, "pad coefficient", Range::non_negative},
    // DRAWBEAD: the row index, then the forces per unit length and the two end points.
    {Group::controls, "DRAWBEAD", 2, "restraining force", Range::non_negative},
    {Group::controls, "DRAWBEAD", 3, "raising force", Range::non_negative},
    {Group::controls, "DRAWBEAD", 4, "x1", Range::coordinate},
    {Group::controls, "DRAWBEAD", 5, "y1", Range::coordinate},
    {Group::controls, "DRAWBEAD", 6, "z1", Range::coordinate},
    {Group::controls, "DRAWBEAD", 7, "x2", Range::coordinate},
    {Group::controls, "DRAWBEAD", 8, "y2", Range::coordinate},
    {Group::controls, "DRAWBEAD", 9, "z2", Range::coordinate},
};
constexpr int kMostValues = 9;

bool within(double v, Range range) {
  switch (range) {
    case Range::positive: return v > 0.0;
    case Range::non_negative: return v >= 0.0;
    case Range::exponent: return v > 0.0 && v < 1.0;
    case Range::coordinate: return std::fabs(v) <= kCoordinateLimit;
  }
  return false;
}

std::string_view wording(Range range) {
  switch (range) {
    case Range::positive: return "must be above 0";
    case Range::non_negative: return "must be at least 0";
    case Range::exponent: return "must be above 0 and below 1";
    case Range::coordinate: return "must lie between -1000000 and 1000000 mm";
  }
  return "";
}

// A MATERIAL line of the second form carries an integer in columns 9-10 (the material number).
bool second_form(const Record& record) { return record.column(9) != ' ' || record.column(10) != ' '; }

// The first `count` free-form values of a line read as reals; a null value, the end of the
// values or a field that does not read leaves its entry empty (the reader kept the default or
// read the field as something else).
std::array<std::optional<double>, kMostValues> values_of(const Record& record, std::size_t first_column, int count) {
  std::array<std::optional<double>, kMostValues> values{};
  fortran::ListInput input(record.columns(first_column));
  for (int k = 0; k < count; ++k) {
    double v = 0.0;
    const fortran::ListStatus status = input.next_real(v);
    if (status == fortran::ListStatus::end || status == fortran::ListStatus::error) break;
    if (status == fortran::ListStatus::value) values[k] = v;
  }
  return values;
}

bool is_read(ReadWhen when, const RunSettings* settings, bool thickness_per_material, const Record& record) {
  switch (when) {
    case ReadWhen::always: return true;
    case ReadWhen::blank_holder: return settings != nullptr && settings->blank_holder_flag == 1;
    case ReadWhen::binder: return settings != nullptr && settings->binder_flag == 1;
    case ReadWhen::pad: return settings != nullptr && settings->pad_flag == 1;
    case ReadWhen::element_thickness: return !thickness_per_material;
    case ReadWhen::material_thickness: return second_form(record);
  }
  return false;
}

std::string shortest(double v) {
  std::array<char, 32> text{};
  const auto result = std::to_chars(text.data(), text.data() + text.size(), v);
  return std::string(text.data(), result.ptr);
}

[[noreturn]] void stop_bad_value(const std::string& file_name, std::size_t line, const ValueCheck& check, double v,
                                 Reporter& reporter) {
  reporter.message("trevo: " + file_name + " line " + std::to_string(line) + ": " + std::string(check.keyword) + " " +
                   std::string(check.quantity) + " = " + shortest(v) + " " + std::string(wording(check.range)));
  stop_run();
}

void check_values(const KeywordFile& file, const std::string& file_name, Group group, const RunSettings* settings,
                  Reporter& reporter) {
  static const Keyword kMaterial("MATERIAL");
  bool thickness_per_material = false;
  for (std::size_t i = 0; i < file.size(); ++i) thickness_per_material |= file[i].is(kMaterial) && second_form(file[i]);
  for (std::size_t i = 0; i < file.size(); ++i) {
    const Record record = file[i];
    std::optional<std::array<std::optional<double>, kMostValues>> values;
    for (const ValueCheck& check : kChecks) {
      if (check.group != group || !record.is(Keyword(check.keyword))) continue;
      if (!is_read(check.when, settings, thickness_per_material, record)) continue;
      const bool material = check.keyword == "MATERIAL";
      if (!values) values = values_of(record, material ? 11 : kValueColumn, kMostValues);
      const std::optional<double> v = (*values)[static_cast<std::size_t>(check.position - 1)];
      if (v && !within(*v, check.range)) stop_bad_value(file_name, i + 1, check, *v, reporter);
    }
  }
}

}  // namespace

void check_mesh_values(const KeywordFile& file, const std::string& file_name, const RunSettings& settings,
                       Reporter& reporter) {
  check_values(file, file_name, Group::mesh, &settings, reporter);
}

void check_control_values(const KeywordFile& file, const std::string& file_name, Reporter& reporter) {
  check_values(file, file_name, Group::controls, nullptr, reporter);
}

}  // namespace trevo
