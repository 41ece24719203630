// Independent readers of trevo's result files, written from the record layouts (not from the
// writers' code): line data (.lin, _3D.lin, _fl.lin), Nastran bulk data (_Blank.nas), the
// LS-DYNA keyword file (.dynain), unformatted sequential records (.QLT). Numbers as they stand
// in the files (1-based); `error` names the first record breaking the layout, empty if none.
#pragma once
#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <istream>
#include <regex>
#include <string>
#include <vector>

namespace trevo::test_readers {

// Fixed fields of a record exactly as long as the layout, e.g. "I8E16X4": I an integer
// right-aligned in its field, E a real in exponent form (E or D) after leading blanks, X blanks.
// The numbers go to `out` in order.
inline bool parse(const std::string& r, const char* layout, std::vector<double>& out) {
  out.clear();
  size_t at = 0;
  for (const char* p = layout; *p;) {
    const char kind = *p;
    char* end = nullptr;
    const size_t width = std::strtoul(p + 1, &end, 10);
    p = end;
    if (at + width > r.size()) return false;
    std::string f = r.substr(at, width);
    at += width;
    const size_t first = f.find_first_not_of(' ');
    if ((kind == 'X') != (first == std::string::npos)) return false;
    if (kind == 'X') continue;
    f.erase(0, first);
    if ((kind == 'E') != (f.find_first_of("ED") != std::string::npos)) return false;
    std::replace(f.begin(), f.end(), 'D', 'E');
    out.push_back(kind == 'I' ? static_cast<double>(std::strtoll(f.c_str(), &end, 10)) : std::strtod(f.c_str(), &end));
    if (*end != '\0') return false;
  }
  return at == r.size();
}

inline std::vector<std::string> lines_of(std::istream& in) {
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}
inline long long whole(double v) { return static_cast<long long>(v); }

// ---- Line data: two headers, then "LINE" + I7 line headers, each followed by its points,
// 3 x (4 blanks, E16.9) ----
struct LinLine { long long number = 0; std::vector<std::array<double, 3>> points; };
struct LinFile { std::string header1, header2; std::vector<LinLine> lines; std::string error; };
inline LinFile read_lin(std::istream& in) {
  LinFile f;
  const std::vector<std::string> l = lines_of(in);
  if (l.size() < 2) f.error = "fewer than two header records";
  std::vector<double> v;
  for (size_t i = 2; i < l.size() && f.error.empty(); ++i) {
    if (l[i].starts_with("LINE") && parse(l[i].substr(4), "I7", v)) f.lines.push_back({whole(v[0]), {}});
    else if (!f.lines.empty() && parse(l[i], "X4E16X4E16X4E16", v)) f.lines.back().points.push_back({v[0], v[1], v[2]});
    else f.error = "bad record at line " + std::to_string(i + 1);
  }
  if (l.size() >= 2) f.header1 = l[0], f.header2 = l[1];
  return f;
}

// ---- Nastran bulk data: signature, version with date and time, counts, an empty separator,
// CTRIA3 / CQUAD4 records, GRID* pairs with their continuation, ENDDATA ----
struct NasElement { std::string kind; long long number = 0, property = 0; std::vector<long long> nodes; };
struct NasGrid { long long number = 0, system = 0; double x = 0, y = 0, z = 0; };
struct NasFile {
  std::string signature, version;
  long long node_count = 0, element_count = 0;
  std::vector<NasElement> elements;
  std::vector<NasGrid> grids;
  std::string error;
};
inline NasFile read_nastran(std::istream& in) {
  NasFile f;
  const std::vector<std::string> l = lines_of(in);
  auto fail = [&](size_t i, const std::string& what) { return f.error = what + " at line " + std::to_string(i + 1), f; };
  std::vector<double> v, w;
  if (l.size() < 6) return fail(l.size(), "short file");
  f.signature = l[0], f.version = l[1];
  if (!std::regex_match(l[1], std::regex(R"(\$VERSION 2\.0   DATE \d\d/\d\d/\d{4}   TIME \d\d:\d\d:\d\d)")))
    return fail(1, "bad version record");
  if (l[2] != "$NUMBER OF NODES AND ELEMENTS") return fail(2, "bad count title");
  if (!l[3].starts_with("$      ") || !parse(l[3].substr(7), "I10I10", v)) return fail(3, "bad counts");
  f.node_count = whole(v[0]), f.element_count = whole(v[1]);
  if (!l[4].empty()) return fail(4, "separator not empty");
  size_t i = 5;
  for (; i < l.size() && (l[i].starts_with("CTRIA3") || l[i].starts_with("CQUAD4")); ++i) {
    if (!parse(l[i].substr(6), l[i][1] == 'T' ? "I10I8I8I8I8" : "I10I8I8I8I8I8", v)) return fail(i, "bad element");
    f.elements.push_back({l[i].substr(0, 6), whole(v[0]), whole(v[1]), {}});
    for (size_t k = 2; k < v.size(); ++k) f.elements.back().nodes.push_back(whole(v[k]));
  }
  for (; i + 1 < l.size() && l[i].starts_with("GRID*   "); i += 2) {
    const std::string &a = l[i], &b = l[i + 1];
    if (a.size() != 80 || !parse(a.substr(8, 64), "I16I16E16E16", v) || a.substr(72, 2) != " N" ||
        !parse(a.substr(74), "I6", w) || w[0] != v[0])
      return fail(i, "bad GRID* first line");
    if (b.size() != 24 || !b.starts_with("*N") || b.substr(2, 6) != a.substr(74, 6) || !parse(b.substr(8), "E16", w))
      return fail(i + 1, "bad GRID* second line");
    f.grids.push_back({whole(v[0]), whole(v[1]), v[2], v[3], w[0]});
  }
  if (i + 1 != l.size() || l[i] != "ENDDATA") return fail(i, "expected ENDDATA as last record");
  return f;
}

// ---- LS-DYNA keyword file: *NODE, *ELEMENT_SHELL_THICKNESS, *INITIAL_STRESS_SHELL,
// *INITIAL_STRAIN_SHELL blocks and *END ----
struct DynNode { long long number = 0, tc = -1, rc = -1; double x = 0, y = 0, z = 0; };
struct DynShell { long long number = 0, part = 0; std::array<long long, 4> nodes{}; std::array<double, 4> thickness{}; };
struct DynStress {  // values: 0, sxx, syy, szz, sxy, syz, szx, plastic strain
  long long element = 0, in_plane_points = 0, through_points = 0;
  std::array<double, 8> values{};
};
struct DynStrain { long long element = 0; std::array<double, 6> first{}, second{}; };  // exx, eyy, ezz, exy, eyz, ezx
struct DynainFile {
  std::vector<std::string> keywords;  // in file order
  std::vector<DynNode> nodes;
  std::vector<DynShell> shells;
  std::vector<DynStress> stresses;
  std::vector<DynStrain> strains;
  std::string error;
};
inline DynainFile read_dynain(std::istream& in) {
  DynainFile f;
  const std::vector<std::string> l = lines_of(in);
  std::string block;
  std::vector<double> a, b, c;
  auto next = [&](size_t& i, const char* layout, std::vector<double>& out) { return ++i < l.size() && parse(l[i], layout, out); };
  const char* six = "E10E10E10E10E10E10";
  for (size_t i = 0; i < l.size() && f.error.empty(); ++i) {
    const size_t at = i;
    if (l[i].starts_with("*")) {
      f.keywords.push_back(block = l[i]);
    } else if (block == "*NODE" && parse(l[i], "I8E16E16E16I8I8", a)) {
      f.nodes.push_back({whole(a[0]), whole(a[4]), whole(a[5]), a[1], a[2], a[3]});
    } else if (block == "*ELEMENT_SHELL_THICKNESS" && parse(l[i], "I8I8I8I8I8I8", a) && next(i, "E16E16E16E16", b)) {
      f.shells.push_back(
          {whole(a[0]), whole(a[1]), {whole(a[2]), whole(a[3]), whole(a[4]), whole(a[5])}, {b[0], b[1], b[2], b[3]}});
    } else if (block == "*INITIAL_STRESS_SHELL" && parse(l[i], "I10I10I10", a) && next(i, "E10E10E10E10E10E10E10E10", b)) {
      f.stresses.push_back({whole(a[0]), whole(a[1]), whole(a[2]), {}});
      std::copy(b.begin(), b.end(), f.stresses.back().values.begin());
    } else if (block == "*INITIAL_STRAIN_SHELL" && parse(l[i], "I10", a) && next(i, six, b) && next(i, six, c)) {
      f.strains.push_back({whole(a[0]), {b[0], b[1], b[2], b[3], b[4], b[5]}, {c[0], c[1], c[2], c[3], c[4], c[5]}});
    } else {
      f.error = "bad record in block " + block + " at line " + std::to_string(at + 1);
    }
  }
  return f;
}

// ---- Unformatted sequential records: each a 4-byte little-endian byte count, the payload,
// the same count again ----
struct QltRecord {
  std::string payload;
  std::string keyword() const { return payload.substr(0, 9); }
  int32_t i4(size_t offset) const {  // little-endian
    uint32_t u = 0;
    for (int b = 3; b >= 0; --b) u = (u << 8) | static_cast<unsigned char>(payload[offset + static_cast<size_t>(b)]);
    return static_cast<int32_t>(u);
  }
  float r4(size_t offset) const { return std::bit_cast<float>(i4(offset)); }
};
struct QltFile { std::vector<QltRecord> records; std::string error; };
inline QltFile read_qlt(const std::string& bytes) {
  QltFile f;
  auto count_at = [&](size_t at) { return static_cast<size_t>(static_cast<uint32_t>(QltRecord{bytes.substr(at, 4)}.i4(0))); };
  for (size_t at = 0; at < bytes.size(); at += 8 + f.records.back().payload.size()) {
    const size_t n = at + 4 <= bytes.size() ? count_at(at) : 0;
    if (at + 4 > bytes.size() || at + 8 + n > bytes.size() || count_at(at + 4 + n) != n)
      return f.error = "bad framing of record " + std::to_string(f.records.size() + 1), f;
    f.records.push_back({bytes.substr(at + 4, n)});
  }
  return f;
}

}  // namespace trevo::test_readers
