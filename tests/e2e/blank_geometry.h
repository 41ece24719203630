// Independent geometry for the end-to-end checks: the input part mesh read straight from
// the keyword file, element areas and normals, best rigid fits (2-D Procrustes, 3-D Horn),
// node matching by coordinates, circle and plane fits, reference-file readers.
// Spec: Part 2.2 (internal numbering: nodes and elements in the order of their lines,
// unused nodes dropped, triangle rule), Part 3.1 (element normal = diagonal cross product).
// Indices are 0-based (internal number - 1) unless a name says "label" or "id".
#pragma once
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

namespace trevo::e2e {

using Point = std::array<double, 3>;

inline Point sub(const Point& a, const Point& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
inline Point cross(const Point& a, const Point& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
inline double dot(const Point& a, const Point& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
inline double norm(const Point& a) { return std::sqrt(dot(a, a)); }
inline double distance(const Point& a, const Point& b) { return norm(sub(a, b)); }

// ---- The part mesh of a keyword file (Parts 2.1, 2.2), read without trevo's code ----
struct InputMesh {
  std::vector<Point> nodes;                  // internal order, unused nodes dropped
  std::vector<long long> node_ids;           // identifier of each internal node
  std::vector<std::array<int, 4>> elements;  // internal node numbers; a triangle repeats corner 3
  std::vector<int> corners;                  // 3 or 4
  std::vector<long long> labels;             // element identifiers
  std::vector<double> h0;                    // element value of the SHETQUAD line (sheet thickness)
  double offset = 0.0;                       // OFFSET control (Part 2.3), 0 without one
  int feature_lines = 0;                     // FEATLINE lines
  std::string error;
};

// Values of a record from column 10 on, split at blanks and commas.
inline std::vector<std::string> value_fields(const std::string& line) {
  std::vector<std::string> out;
  std::string cur;
  for (size_t i = 9; i < line.size(); ++i) {
    const char c = line[i];
    if (c == ' ' || c == ',' || c == '\t' || c == '\r') {
      if (!cur.empty()) out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) out.push_back(cur);
  return out;
}

inline InputMesh read_input_mesh(const std::string& path) {
  InputMesh m;
  std::ifstream in(path);
  std::vector<Point> raw_nodes;
  std::vector<long long> raw_ids;
  std::vector<std::array<long long, 4>> raw_elements;
  for (std::string line; std::getline(in, line);) {
    const std::string key = line.substr(0, 8);
    const std::vector<std::string> v = value_fields(line);
    if (key == "SHETNODE" && v.size() >= 4) {
      raw_ids.push_back(std::stoll(v[0]));
      raw_nodes.push_back({std::stod(v[1]), std::stod(v[2]), std::stod(v[3])});
    } else if (key == "SHETQUAD" && v.size() >= 6) {
      m.labels.push_back(std::stoll(v[0]));
      raw_elements.push_back({std::stoll(v[1]), std::stoll(v[2]), std::stoll(v[3]), std::stoll(v[4])});
      m.h0.push_back(v.size() >= 6 ? std::stod(v[5]) : 0.0);
    } else if (line.compare(0, 6, "OFFSET") == 0 && !v.empty()) {
      m.offset = std::stod(v[0]);
    } else if (key == "FEATLINE") {
      ++m.feature_lines;
    }
  }
  const bool has_zero_id = std::find(raw_ids.begin(), raw_ids.end(), 0) != raw_ids.end();
  std::unordered_map<long long, int> position;  // first node line of each identifier
  for (size_t p = 0; p < raw_ids.size(); ++p) position.emplace(raw_ids[p], static_cast<int>(p));
  std::vector<int> used(raw_nodes.size(), 0);
  std::vector<std::array<int, 4>> elements;
  for (auto e : raw_elements) {
    const bool triangle = e[3] == e[2] || (e[3] == 0 && !has_zero_id);
    if (triangle) e[3] = e[2];
    std::array<int, 4> c{};
    for (int k = 0; k < 4; ++k) {
      auto it = position.find(e[k]);
      if (it == position.end()) {
        m.error = "element names a missing node " + std::to_string(e[k]);
        return m;
      }
      c[k] = it->second;
      used[it->second] = 1;
    }
    elements.push_back(c);
    m.corners.push_back(triangle ? 3 : 4);
  }
  std::vector<int> internal(raw_nodes.size(), -1);
  for (size_t p = 0; p < raw_nodes.size(); ++p)
    if (used[p]) {
      internal[p] = static_cast<int>(m.nodes.size());
      m.nodes.push_back(raw_nodes[p]);
      m.node_ids.push_back(raw_ids[p]);
    }
  for (auto& c : elements)
    for (int& k : c) k = internal[k];
  m.elements = elements;
  return m;
}

// Part 3.1: unit normal of the diagonals' cross product (P3 - P1) x (P4 - P2).
inline Point element_normal(const std::vector<Point>& x, const std::array<int, 4>& c) {
  Point n = cross(sub(x[c[2]], x[c[0]]), sub(x[c[3]], x[c[1]]));
  const double l = norm(n);
  return {n[0] / l, n[1] / l, n[2] / l};
}
// Area of a planar quadrilateral or a triangle (corner 4 = corner 3): half the diagonals' cross product.
inline double element_area(const std::vector<Point>& x, const std::array<int, 4>& c) {
  return 0.5 * norm(cross(sub(x[c[2]], x[c[0]]), sub(x[c[3]], x[c[1]])));
}

// Edges used by exactly one element (the boundary of Part 7.1), as a count.
inline size_t boundary_edge_count(const InputMesh& m) {
  std::map<std::pair<int, int>, int> uses;
  for (size_t e = 0; e < m.elements.size(); ++e)
    for (int k = 0; k < m.corners[e]; ++k) {
      int a = m.elements[e][k], b = m.elements[e][(k + 1) % m.corners[e]];
      ++uses[{std::min(a, b), std::max(a, b)}];
    }
  size_t count = 0;
  for (const auto& u : uses) count += u.second == 1;
  return count;
}

// ---- Symmetric eigenproblems (cyclic Jacobi), n <= 4 ----
// Returns eigenvalues in `values` and eigenvectors as columns of `vectors` (row-major n x n).
inline void symmetric_eigen(std::vector<double> a, int n, std::vector<double>& values, std::vector<double>& vectors) {
  vectors.assign(static_cast<size_t>(n * n), 0.0);
  for (int i = 0; i < n; ++i) vectors[static_cast<size_t>(i * n + i)] = 1.0;
  auto at = [n](std::vector<double>& m, int i, int j) -> double& { return m[static_cast<size_t>(i * n + j)]; };
  for (int sweep = 0; sweep < 100; ++sweep) {
    double off = 0.0;
    for (int i = 0; i < n; ++i)
      for (int j = i + 1; j < n; ++j) off += at(a, i, j) * at(a, i, j);
    if (off < 1e-30) break;
    for (int p = 0; p < n; ++p)
      for (int q = p + 1; q < n; ++q) {
        if (std::abs(at(a, p, q)) < 1e-300) continue;
        const double theta = (at(a, q, q) - at(a, p, p)) / (2.0 * at(a, p, q));
        const double t = (theta >= 0 ? 1.0 : -1.0) / (std::abs(theta) + std::sqrt(theta * theta + 1.0));
        const double c = 1.0 / std::sqrt(t * t + 1.0), s = t * c;
        for (int k = 0; k < n; ++k) {  // A <- A J
          const double akp = at(a, k, p), akq = at(a, k, q);
          at(a, k, p) = c * akp - s * akq;
          at(a, k, q) = s * akp + c * akq;
        }
        for (int k = 0; k < n; ++k) {  // A <- J^T A
          const double apk = at(a, p, k), aqk = at(a, q, k);
          at(a, p, k) = c * apk - s * aqk;
          at(a, q, k) = s * apk + c * aqk;
        }
        for (int k = 0; k < n; ++k) {
          const double vkp = at(vectors, k, p), vkq = at(vectors, k, q);
          at(vectors, k, p) = c * vkp - s * vkq;
          at(vectors, k, q) = s * vkp + c * vkq;
        }
      }
  }
  values.resize(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) values[static_cast<size_t>(i)] = at(a, i, i);
}

inline Point centroid(const std::vector<Point>& p) {
  Point c{0, 0, 0};
  for (const Point& q : p)
    for (int k = 0; k < 3; ++k) c[k] += q[k];
  for (int k = 0; k < 3; ++k) c[k] /= static_cast<double>(p.size());
  return c;
}

// ---- Best rigid motion R p + t onto q, and the largest remaining node distance ----
struct RigidFit {
  double max_error = std::numeric_limits<double>::infinity();
  size_t worst = 0;  // index of the node with the largest error
};

// In the plane (z ignored): rotation angle atan2(sum p x q, sum p . q) about the centroids.
inline RigidFit rigid_fit_2d(const std::vector<Point>& p, const std::vector<Point>& q) {
  const Point cp = centroid(p), cq = centroid(q);
  double s_cross = 0, s_dot = 0;
  for (size_t i = 0; i < p.size(); ++i) {
    const double px = p[i][0] - cp[0], py = p[i][1] - cp[1], qx = q[i][0] - cq[0], qy = q[i][1] - cq[1];
    s_cross += px * qy - py * qx;
    s_dot += px * qx + py * qy;
  }
  const double a = std::atan2(s_cross, s_dot), c = std::cos(a), s = std::sin(a);
  RigidFit fit{0.0, 0};
  for (size_t i = 0; i < p.size(); ++i) {
    const double px = p[i][0] - cp[0], py = p[i][1] - cp[1];
    const double d = std::hypot(c * px - s * py - (q[i][0] - cq[0]), s * px + c * py - (q[i][1] - cq[1]));
    if (d > fit.max_error) fit = {d, i};
  }
  return fit;
}

// In space: Horn's quaternion method (largest eigenvector of the 4 x 4 matrix N).
inline RigidFit rigid_fit_3d(const std::vector<Point>& p, const std::vector<Point>& q) {
  const Point cp = centroid(p), cq = centroid(q);
  double S[3][3] = {};
  for (size_t i = 0; i < p.size(); ++i)
    for (int a = 0; a < 3; ++a)
      for (int b = 0; b < 3; ++b) S[a][b] += (p[i][a] - cp[a]) * (q[i][b] - cq[b]);
  const double xx = S[0][0], xy = S[0][1], xz = S[0][2], yx = S[1][0], yy = S[1][1], yz = S[1][2], zx = S[2][0],
               zy = S[2][1], zz = S[2][2];
  std::vector<double> N = {xx + yy + zz, yz - zy,      zx - xz,       xy - yx,       yz - zy,  xx - yy - zz,
                           xy + yx,      zx + xz,      zx - xz,       xy + yx,       -xx + yy - zz, yz + zy,
                           xy - yx,      zx + xz,      yz + zy,       -xx - yy + zz};
  std::vector<double> values, vectors;
  symmetric_eigen(N, 4, values, vectors);
  const int best = static_cast<int>(std::max_element(values.begin(), values.end()) - values.begin());
  const double w = vectors[static_cast<size_t>(best)], x = vectors[static_cast<size_t>(4 + best)],
               y = vectors[static_cast<size_t>(8 + best)], z = vectors[static_cast<size_t>(12 + best)];
  const double R[3][3] = {{w * w + x * x - y * y - z * z, 2 * (x * y - w * z), 2 * (x * z + w * y)},
                          {2 * (x * y + w * z), w * w - x * x + y * y - z * z, 2 * (y * z - w * x)},
                          {2 * (x * z - w * y), 2 * (y * z + w * x), w * w - x * x - y * y + z * z}};
  RigidFit fit{0.0, 0};
  for (size_t i = 0; i < p.size(); ++i) {
    const Point d = sub(p[i], cp);
    Point r{};
    for (int a = 0; a < 3; ++a) r[a] = R[a][0] * d[0] + R[a][1] * d[1] + R[a][2] * d[2] + cq[a];
    const double e = distance(r, q[i]);
    if (e > fit.max_error) fit = {e, i};
  }
  return fit;
}

// Diagonal of the bounding box: the "size" errors are measured against.
inline double bounding_diagonal(const std::vector<Point>& p) {
  Point lo{1e300, 1e300, 1e300}, hi{-1e300, -1e300, -1e300};
  for (const Point& q : p)
    for (int k = 0; k < 3; ++k) lo[k] = std::min(lo[k], q[k]), hi[k] = std::max(hi[k], q[k]);
  return distance(lo, hi);
}

// Unit normal of the best plane through the points (smallest principal axis).
inline Point plane_normal(const std::vector<Point>& p) {
  const Point c = centroid(p);
  std::vector<double> cov(9, 0.0);
  for (const Point& q : p)
    for (int a = 0; a < 3; ++a)
      for (int b = 0; b < 3; ++b) cov[static_cast<size_t>(3 * a + b)] += (q[a] - c[a]) * (q[b] - c[b]);
  std::vector<double> values, vectors;
  symmetric_eigen(cov, 3, values, vectors);
  const int k = static_cast<int>(std::min_element(values.begin(), values.end()) - values.begin());
  return {vectors[static_cast<size_t>(k)], vectors[static_cast<size_t>(3 + k)], vectors[static_cast<size_t>(6 + k)]};
}

// Least-squares circle through points in the plane (Kasa fit): centre x, y and radius.
inline std::array<double, 3> circle_fit(const std::vector<Point>& p) {
  // Minimise sum (x^2 + y^2 + D x + E y + F)^2: normal equations of a 3 x 3 system.
  double A[3][4] = {};
  for (const Point& q : p) {
    const double row[3] = {q[0], q[1], 1.0}, rhs = -(q[0] * q[0] + q[1] * q[1]);
    for (int a = 0; a < 3; ++a) {
      for (int b = 0; b < 3; ++b) A[a][b] += row[a] * row[b];
      A[a][3] += row[a] * rhs;
    }
  }
  for (int c = 0; c < 3; ++c) {  // Gauss-Jordan with partial pivoting
    int piv = c;
    for (int r = c + 1; r < 3; ++r)
      if (std::abs(A[r][c]) > std::abs(A[piv][c])) piv = r;
    for (int k = 0; k < 4; ++k) std::swap(A[c][k], A[piv][k]);
    for (int r = 0; r < 3; ++r)
      if (r != c) {
        const double f = A[r][c] / A[c][c];
        for (int k = 0; k < 4; ++k) A[r][k] -= f * A[c][k];
      }
  }
  const double D = A[0][3] / A[0][0], E = A[1][3] / A[1][1], F = A[2][3] / A[2][2];
  const double cx = -D / 2, cy = -E / 2;
  return {cx, cy, std::sqrt(cx * cx + cy * cy - F)};
}

// ---- Node matching by coordinates (hash grid of cells of size `tolerance`) ----
class PointIndex {
 public:
  PointIndex(const std::vector<Point>& points, double tolerance) : points_(points), cell_(tolerance) {
    for (size_t i = 0; i < points.size(); ++i) grid_[key(cell_of(points[i]))].push_back(i);
  }
  // Index of the point within the tolerance of q, or -1 (none or several).
  long long find(const Point& q) const {
    const auto c = cell_of(q);
    long long hit = -1;
    for (long long dx = -1; dx <= 1; ++dx)
      for (long long dy = -1; dy <= 1; ++dy)
        for (long long dz = -1; dz <= 1; ++dz) {
          auto it = grid_.find(key({c[0] + dx, c[1] + dy, c[2] + dz}));
          if (it == grid_.end()) continue;
          for (size_t i : it->second)
            if (distance(points_[i], q) <= cell_) {
              if (hit >= 0 && hit != static_cast<long long>(i)) return -1;
              hit = static_cast<long long>(i);
            }
        }
    return hit;
  }

 private:
  std::array<long long, 3> cell_of(const Point& q) const {
    return {std::llround(std::floor(q[0] / cell_)), std::llround(std::floor(q[1] / cell_)),
            std::llround(std::floor(q[2] / cell_))};
  }
  static std::string key(const std::array<long long, 3>& c) {
    return std::to_string(c[0]) + "," + std::to_string(c[1]) + "," + std::to_string(c[2]);
  }
  const std::vector<Point>& points_;
  double cell_;
  std::unordered_map<std::string, std::vector<size_t>> grid_;
};

// ---- Reference files of the validation set ----
// The first `count` numbers after "key" in a JSON text (enough for flat numeric fields and arrays).
inline std::vector<double> json_numbers(const std::string& json, const std::string& key, size_t count) {
  std::vector<double> out;
  size_t at = json.find("\"" + key + "\"");
  if (at == std::string::npos) return out;
  at = json.find(':', at);
  while (at != std::string::npos && out.size() < count && at < json.size()) {
    at = json.find_first_of("-0123456789", at);
    if (at == std::string::npos) break;
    size_t used = 0;
    out.push_back(std::stod(json.substr(at, 40), &used));
    at += used;
  }
  return out;
}
// The text of the JSON array after "key" (brackets included), e.g. the symmetry list.
inline std::string json_array_text(const std::string& json, const std::string& key) {
  const size_t at = json.find("\"" + key + "\"");
  if (at == std::string::npos) return "";
  const size_t open = json.find('[', at), close = json.find(']', open);
  return open == std::string::npos ? "" : json.substr(open, close - open + 1);
}

// The canonical pose of input coordinates: p = M^T (p_out - t) with the ref.json transform.
inline std::vector<Point> canonical_points(const std::vector<Point>& written, const std::string& ref_json) {
  const size_t at = ref_json.find("\"transform\"");
  const std::string t = ref_json.substr(at);
  const std::vector<double> M = json_numbers(t, "matrix", 9), tr = json_numbers(t, "translation", 3);
  std::vector<Point> out;
  for (const Point& p : written) {
    const Point d{p[0] - tr[0], p[1] - tr[1], p[2] - tr[2]};
    out.push_back({M[0] * d[0] + M[3] * d[1] + M[6] * d[2], M[1] * d[0] + M[4] * d[1] + M[7] * d[2],
                   M[2] * d[0] + M[5] * d[1] + M[8] * d[2]});
  }
  return out;
}

// node_id -> (X_discrete, Y_discrete) of a .dev.csv file.
inline std::unordered_map<long long, Point> read_development(const std::string& path) {
  std::unordered_map<long long, Point> dev;
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::stringstream s(line);
    std::string id, x, y;
    std::getline(s, id, ',');
    std::getline(s, x, ',');
    std::getline(s, y, ',');
    if (!id.empty()) dev[std::stoll(id)] = {std::stod(x), std::stod(y), 0.0};
  }
  return dev;
}

}  // namespace trevo::e2e
