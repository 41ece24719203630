// The JSON writer of the run summary: a fixed key order, numbers in shortest round-trip form.
#include "output/run_summary.h"

#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace trevo {

std::string json_number(Real value) {
  if (!value) return "null";
  assert(std::isfinite(*value) && "the run summary holds finite numbers only");
  if (!std::isfinite(*value)) return "null";
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, *value).ptr;  // shortest round trip
  return {text, end};
}

std::string json_string(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

namespace {

std::string optional_string(const std::optional<std::string>& s) { return s ? json_string(*s) : "null"; }
std::string count(Count c) { return c ? std::to_string(*c) : "null"; }
std::string flag(std::optional<bool> b) { return b ? (*b ? "true" : "false") : "null"; }

// {"key": value, ...} from ordered pairs of key and JSON text.
std::string object(std::initializer_list<std::pair<const char*, std::string>> members) {
  std::string out = "{";
  for (const auto& [key, value] : members) out += (out.size() > 1 ? ", " : "") + json_string(key) + ": " + value;
  return out + "}";
}

template <std::size_t N>
std::string rows(const std::vector<std::array<double, N>>& table, const char* indent) {
  if (table.empty()) return "[]";
  std::string out = "[";
  for (std::size_t i = 0; i < table.size(); ++i) {
    out += i == 0 ? "\n" : ",\n";
    out += indent;
    out += "[";
    for (std::size_t j = 0; j < N; ++j) out += (j > 0 ? ", " : "") + json_number(table[i][j]);
    out += "]";
  }
  return out + "\n" + std::string(indent).substr(2) + "]";
}

}  // namespace

std::string summary_json(const RunSummary& s) {
  std::string files = "[";
  for (std::size_t i = 0; i < s.files.size(); ++i)
    files += std::string(i == 0 ? "\n" : ",\n") + "    " +
             object({{"name", json_string(s.files[i].name)}, {"bytes", std::to_string(s.files[i].bytes)}});
  files += s.files.empty() ? "]" : "\n  ]";
  const std::string fld =
      object({{"n", json_number(s.fld_n)}, {"thickness_mm", json_number(s.fld_thickness)},
              {"flc0", json_number(s.flc0)}, {"min_margin", json_number(s.min_margin)},
              {"curve", rows(s.fld_curve, "      ")}});
  std::string out = "{\n";
  auto member = [&out](const char* key, const std::string& value, bool last = false) {
    out += "  " + json_string(key) + ": " + value + (last ? "\n" : ",\n");
  };
  member("format", json_string("trevo-summary-1"));
  member("version", json_string(s.version));
  member("job", json_string(s.job));
  member("input", object({{"file", json_string(s.input_file)}, {"sha256", optional_string(s.input_sha256)},
                          {"bytes", count(s.input_bytes)}}));
  member("status", json_string(s.status));
  member("message", optional_string(s.message));
  member("verdict", object({{"converged", flag(s.converged)}, {"hint_set", count(s.hint_set)}}));
  member("iterations", count(s.iterations));
  member("adp", object({{"final", json_number(s.adp_final)}, {"least", json_number(s.adp_least)},
                        {"tolerance", json_number(s.adp_tolerance)}}));
  member("maxp", object({{"final", json_number(s.maxp_final)}, {"node", count(s.maxp_node)},
                         {"tolerance", json_number(s.maxp_tolerance)}}));
  member("forces", object({{"punch_n", json_number(s.punch_n)}, {"holder_n", json_number(s.holder_n)}}));
  member("blank",
         object({{"area_mm2", json_number(s.blank_area)},
                 {"weight_kg", json_number(s.blank_weight)},
                 {"rectangle", object({{"length_mm", json_number(s.rectangle_length)},
                                       {"width_mm", json_number(s.rectangle_width)},
                                       {"angle_deg", json_number(s.rectangle_angle)},
                                       {"area_mm2", json_number(s.rectangle_area)}})},
                 {"utilisation", json_number(s.utilisation)}}));
  member("part", object({{"area_mm2", json_number(s.part_area)},
                         {"min_thickness_mm", json_number(s.min_thickness)},
                         {"max_thinning", json_number(s.max_thinning)},
                         {"max_major_strain", json_number(s.max_major_strain)},
                         {"fld", fld}}));
  member("history", rows(s.history, "    "));
  member("phases_s", object({{"read", json_number(s.read_s)}, {"prepare", json_number(s.prepare_s)},
                             {"unfold", json_number(s.unfold_s)}, {"iterate", json_number(s.iterate_s)},
                             {"output", json_number(s.output_s)}}));
  member("files", files, true);
  return out + "}\n";
}

}  // namespace trevo
