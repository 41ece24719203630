// Small independent readers of trevo's result files, written from the spec's layout
// tables (not from the writers' code), for the output tests and the end-to-end tests.
// Spec: Part 7.1 (.lin), Part 7.2 (.dynain), Part 7.3 (Nastran, _fl.lin), Parts 7.4/7.5 (QLT).
// Readers return numbers as they stand in the files (1-based); `error` names the first
// line or record that breaks the layout, empty when the file parsed.
#pragma once
#include <array>
#include <cstdint>
#include <cstring>
#include <istream>
#include <sstream>
#include <string>
#include <vector>

namespace trevo::test_readers {

// Fixed-column field [begin, begin + width) of a record, or "" past its end.
inline std::string field(const std::string& line, size_t begin, size_t width) {
  return begin >= line.size() ? std::string() : line.substr(begin, width);
}
inline bool is_blank(const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; }
// An integer right-aligned in its field (blanks only before the digits).
inline bool parse_int(const std::string& s, long long& v) {
  const size_t first = s.find_first_not_of(' ');
  if (first == std::string::npos) return false;
  size_t used = 0;
  try {
    v = std::stoll(s.substr(first), &used);
  } catch (...) {
    return false;
  }
  return first + used == s.size();
}
// A real in exponent form filling its field: optional blanks, then d.dddE+ee or 0.dddE+ee.
inline bool parse_real(const std::string& s, double& v) {
  const size_t first = s.find_first_not_of(' ');
  if (first == std::string::npos || s.find_first_of("EeDd") == std::string::npos) return false;
  std::string t = s.substr(first);
  for (char& c : t)
    if (c == 'D' || c == 'd') c = 'E';
  size_t used = 0;
  try {
    v = std::stod(t, &used);
  } catch (...) {
    return false;
  }
  return used == t.size();
}
inline std::vector<std::string> lines_of(std::istream& in) {
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

// ---- Line data (.lin, _3D.lin, _fl.lin): Part 7.1 File format, Part 7.3 ----
struct LinLine {
  long long number = 0;
  std::vector<std::array<double, 3>> points;
};
struct LinFile {
  std::string header1, header2;
  std::vector<LinLine> lines;
  std::string error;
};
// A point record is 3 x (4 blanks, E16.9); a line header is "LINE" + I7.
inline LinFile read_lin(std::istream& in) {
  LinFile f;
  const std::vector<std::string> l = lines_of(in);
  if (l.size() < 2) {
    f.error = "fewer than two header records";
    return f;
  }
  f.header1 = l[0];
  f.header2 = l[1];
  for (size_t i = 2; i < l.size(); ++i) {
    const std::string& r = l[i];
    if (r.rfind("LINE", 0) == 0) {
      LinLine line;
      if (r.size() != 11 || !parse_int(field(r, 4, 7), line.number)) f.error = "bad line header at line " + std::to_string(i + 1);
      f.lines.push_back(line);
    } else {
      std::array<double, 3> p{};
      bool ok = r.size() == 60 && !f.lines.empty();
      for (size_t k = 0; ok && k < 3; ++k)
        ok = is_blank(field(r, 20 * k, 4)) && parse_real(field(r, 20 * k + 4, 16), p[k]);
      if (!ok) f.error = "bad point record at line " + std::to_string(i + 1);
      if (!f.lines.empty()) f.lines.back().points.push_back(p);
    }
    if (!f.error.empty()) break;
  }
  return f;
}

// ---- Nastran bulk data (_Blank.nas): Part 7.3 Data model ----
struct NasElement {
  std::string kind;  // "CTRIA3" or "CQUAD4"
  long long number = 0, property = 0;
  std::vector<long long> nodes;
};
struct NasGrid {
  long long number = 0, system = 0;
  double x = 0, y = 0, z = 0;
};
struct NasFile {
  std::string signature, version;
  int month = 0, day = 0, year = 0, hour = 0, minute = 0, second = 0;
  long long node_count = 0, element_count = 0;
  std::vector<NasElement> elements;
  std::vector<NasGrid> grids;
  bool ends_with_enddata = false;
  std::string error;
};
inline NasFile read_nastran(std::istream& in) {
  NasFile f;
  const std::vector<std::string> l = lines_of(in);
  auto fail = [&](size_t i, const std::string& what) {
    f.error = what + " at line " + std::to_string(i + 1);
    return f;
  };
  if (l.size() < 6) return fail(l.size(), "short file");
  f.signature = l[0];
  f.version = l[1];
  // "$VERSION 2.0", 3X, "DATE ", MM/DD/YYYY, 3X, "TIME ", HH:MM:SS
  const std::string& v = l[1];
  if (v.size() != 46 || v.substr(0, 20) != "$VERSION 2.0   DATE " || v[22] != '/' || v[25] != '/' ||
      v.substr(30, 8) != "   TIME " || v[40] != ':' || v[43] != ':')
    return fail(1, "bad version record");
  f.month = std::stoi(v.substr(20, 2));
  f.day = std::stoi(v.substr(23, 2));
  f.year = std::stoi(v.substr(26, 4));
  f.hour = std::stoi(v.substr(38, 2));
  f.minute = std::stoi(v.substr(41, 2));
  f.second = std::stoi(v.substr(44, 2));
  if (l[2] != "$NUMBER OF NODES AND ELEMENTS") return fail(2, "bad count title");
  if (l[3].size() != 27 || l[3].substr(0, 7) != "$      " || !parse_int(field(l[3], 7, 10), f.node_count) ||
      !parse_int(field(l[3], 17, 10), f.element_count))
    return fail(3, "bad counts");
  if (!l[4].empty()) return fail(4, "separator not empty");
  size_t i = 5;
  for (; i < l.size() && (l[i].rfind("CTRIA3", 0) == 0 || l[i].rfind("CQUAD4", 0) == 0); ++i) {
    NasElement e;
    e.kind = l[i].substr(0, 6);
    const size_t corners = e.kind == "CTRIA3" ? 3 : 4;
    if (l[i].size() != 16 + 8 * (corners + 1) || !parse_int(field(l[i], 6, 10), e.number) ||
        !parse_int(field(l[i], 16, 8), e.property))
      return fail(i, "bad element record");
    for (size_t k = 0; k < corners; ++k) {
      long long n = 0;
      if (!parse_int(field(l[i], 24 + 8 * k, 8), n)) return fail(i, "bad element node");
      e.nodes.push_back(n);
    }
    f.elements.push_back(e);
  }
  for (; i + 1 < l.size() && l[i].rfind("GRID*   ", 0) == 0; i += 2) {
    NasGrid g;
    const std::string &a = l[i], &b = l[i + 1];
    long long n1 = 0, n2 = 0;
    if (a.size() != 80 || !parse_int(field(a, 8, 16), g.number) || !parse_int(field(a, 24, 16), g.system) ||
        !parse_real(field(a, 40, 16), g.x) || !parse_real(field(a, 56, 16), g.y) || field(a, 72, 2) != " N" ||
        !parse_int(field(a, 74, 6), n1))
      return fail(i, "bad GRID* first line");
    if (b.size() != 24 || field(b, 0, 2) != "*N" || field(b, 2, 6) != field(a, 74, 6) || !parse_int(field(b, 2, 6), n2) ||
        !parse_real(field(b, 8, 16), g.z))
      return fail(i + 1, "bad GRID* second line");
    if (n1 != g.number || n2 != g.number) return fail(i, "continuation number differs");
    f.grids.push_back(g);
  }
  f.ends_with_enddata = i + 1 == l.size() && l[i] == "ENDDATA";
  if (!f.ends_with_enddata) return fail(i, "expected ENDDATA as last record");
  return f;
}

// ---- LS-DYNA keyword file (.dynain): Part 7.2 File layout ----
struct DynNode {
  long long number = 0, tc = -1, rc = -1;
  double x = 0, y = 0, z = 0;
};
struct DynShell {
  long long number = 0, part = 0;
  std::array<long long, 4> nodes{};
  std::array<double, 4> thickness{};
};
struct DynStress {
  long long element = 0, in_plane_points = 0, through_points = 0;
  std::array<double, 8> values{};  // 0, sxx, syy, szz, sxy, syz, szx, plastic strain
};
struct DynStrain {
  long long element = 0;
  std::array<double, 6> first{}, second{};  // exx, eyy, ezz, exy, eyz, ezx
};
struct DynainFile {
  std::vector<std::string> keywords;  // in file order
  std::vector<DynNode> nodes;
  std::vector<DynShell> shells;
  std::vector<DynStress> stresses;
  std::vector<DynStrain> strains;
  std::string error;
};
// Reals of a record of fixed fields of `width` columns (1PE10.3 state fields).
inline bool parse_reals(const std::string& r, size_t count, size_t width, double* out) {
  if (r.size() != count * width) return false;
  for (size_t k = 0; k < count; ++k)
    if (!parse_real(field(r, k * width, width), out[k])) return false;
  return true;
}
inline DynainFile read_dynain(std::istream& in) {
  DynainFile f;
  const std::vector<std::string> l = lines_of(in);
  auto fail = [&](size_t i, const std::string& what) {
    f.error = what + " at line " + std::to_string(i + 1);
    return f;
  };
  std::string block;
  for (size_t i = 0; i < l.size(); ++i) {
    const std::string& r = l[i];
    if (!r.empty() && r[0] == '*') {
      f.keywords.push_back(r);
      block = r;
      continue;
    }
    if (block == "*NODE") {  // I8, 3E16.9, I8, I8
      DynNode n;
      if (r.size() != 72 || !parse_int(field(r, 0, 8), n.number) || !parse_real(field(r, 8, 16), n.x) ||
          !parse_real(field(r, 24, 16), n.y) || !parse_real(field(r, 40, 16), n.z) || !parse_int(field(r, 56, 8), n.tc) ||
          !parse_int(field(r, 64, 8), n.rc))
        return fail(i, "bad node record");
      f.nodes.push_back(n);
    } else if (block == "*ELEMENT_SHELL_THICKNESS") {  // 6I8 / 4E16.8
      DynShell s;
      if (i + 1 >= l.size() || r.size() != 48 || !parse_int(field(r, 0, 8), s.number) || !parse_int(field(r, 8, 8), s.part))
        return fail(i, "bad shell record");
      for (size_t k = 0; k < 4; ++k)
        if (!parse_int(field(r, 16 + 8 * k, 8), s.nodes[k])) return fail(i, "bad shell node");
      if (!parse_reals(l[++i], 4, 16, s.thickness.data())) return fail(i, "bad thickness record");
      f.shells.push_back(s);
    } else if (block == "*INITIAL_STRESS_SHELL") {  // 3I10 / 8E10.3
      DynStress s;
      if (i + 1 >= l.size() || r.size() != 30 || !parse_int(field(r, 0, 10), s.element) ||
          !parse_int(field(r, 10, 10), s.in_plane_points) || !parse_int(field(r, 20, 10), s.through_points))
        return fail(i, "bad stress header");
      if (!parse_reals(l[++i], 8, 10, s.values.data())) return fail(i, "bad stress values");
      f.stresses.push_back(s);
    } else if (block == "*INITIAL_STRAIN_SHELL") {  // I10 / 6E10.3 / 6E10.3
      DynStrain s;
      if (i + 2 >= l.size() || r.size() != 10 || !parse_int(r, s.element)) return fail(i, "bad strain header");
      if (!parse_reals(l[++i], 6, 10, s.first.data()) || !parse_reals(l[++i], 6, 10, s.second.data()))
        return fail(i, "bad strain values");
      f.strains.push_back(s);
    } else {
      return fail(i, "record outside a known block");
    }
  }
  return f;
}

// ---- Unformatted sequential records (.QLT): Part 7.5 Data model ----
struct QltRecord {
  std::string payload;
  std::string text(size_t offset, size_t n) const { return payload.substr(offset, n); }
  std::string keyword() const { return payload.substr(0, 9); }
  int32_t i4(size_t offset) const {  // little-endian
    uint32_t u = 0;
    for (int b = 3; b >= 0; --b) u = (u << 8) | static_cast<unsigned char>(payload[offset + static_cast<size_t>(b)]);
    return static_cast<int32_t>(u);
  }
  float r4(size_t offset) const {
    const uint32_t u = static_cast<uint32_t>(i4(offset));
    float v;
    std::memcpy(&v, &u, 4);
    return v;
  }
};
struct QltFile {
  std::vector<QltRecord> records;
  std::string error;
};
// Each record: 4-byte little-endian byte count, payload, the same count again.
inline QltFile read_qlt(const std::string& bytes) {
  QltFile f;
  auto count_at = [&](size_t at) {
    QltRecord r{bytes.substr(at, 4)};
    return static_cast<size_t>(static_cast<uint32_t>(r.i4(0)));
  };
  size_t at = 0;
  while (at < bytes.size()) {
    if (at + 4 > bytes.size()) {
      f.error = "truncated length at byte " + std::to_string(at);
      return f;
    }
    const size_t n = count_at(at);
    if (at + 8 + n > bytes.size() || count_at(at + 4 + n) != n) {
      f.error = "bad framing of record " + std::to_string(f.records.size() + 1);
      return f;
    }
    f.records.push_back({bytes.substr(at + 4, n)});
    at += 8 + n;
  }
  return f;
}

}  // namespace trevo::test_readers
