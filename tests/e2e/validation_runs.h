// The trevo program run on jobs, what it leaves read back (result files through tests/output/readers.h),
// the part mesh read straight from the keyword file, the validation references and the geometry that
// compares a blank with them. Indices are 0-based unless a name says "id" or "label".
#pragma once
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <unordered_map>

#include <gtest/gtest.h>

#include "../output/readers.h"

namespace trevo::e2e {
namespace fs = std::filesystem;
namespace rd = test_readers;
using Point = std::array<double, 3>;

inline std::string read_text(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}
inline bool contains(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }
inline std::vector<std::string> records_of(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string r; std::getline(in, r);) out.push_back(r);
  return out;
}
inline std::string right(long long v, size_t width) {  // right-aligned in a field (Iw)
  const std::string s = std::to_string(v);
  return std::string(width > s.size() ? width - s.size() : 0, ' ') + s;
}
inline double number_after(const std::string& text, const std::string& label) {  // NaN when absent
  const size_t at = text.find(label);
  return at == std::string::npos ? NAN : std::strtod(text.c_str() + at + label.size(), nullptr);
}
// JSON: the text after keys, each after the one before (""); numbers; quoted strings up to ']' ({""}).
inline std::string json_at(const std::string& json, std::initializer_list<const char*> path) {
  size_t at = 0;
  for (const char* key : path)
    if ((at = json.find("\"" + std::string(key) + "\"", at)) == std::string::npos) return "";
  return json.substr(json.find(':', at) + 1);
}
inline std::vector<double> numbers(const std::string& text, size_t count) {
  std::vector<double> out;
  for (char* s = const_cast<char*>(text.c_str()); out.size() < count && *(s += std::strcspn(s, "-0123456789"));)
    out.push_back(std::strtod(s, &s));
  return out;
}
inline std::vector<std::string> strings(const std::string& text) {
  std::vector<std::string> out;
  const std::string list = text.substr(0, text.find(']'));
  for (size_t at = list.find('"'), end; at != std::string::npos; at = list.find('"', end + 1))
    out.push_back(list.substr(at + 1, (end = list.find('"', at + 1)) - at - 1));
  return out.empty() ? std::vector<std::string>{""} : out;
}

struct JobRun {  // the run of <folder>/<name> (base)
  std::string base;
  int exit_status = -1;
  std::string console{}, report{};
  std::string file(const std::string& suffix) const { return read_text(base + suffix); }
  bool exists(const std::string& suffix) const { return fs::exists(base + suffix); }
  std::string tail() const { return console.substr(console.size() - std::min<size_t>(console.size(), 1500)); }
};
// `trevo args...` with its console kept in <base>.console; a hang ends as exit status 124. No picture is
// drawn (TREVO_PICTURE=0): the suite compares files and consoles, and drawing would only cost time.
inline JobRun run_trevo(const std::string& base, const std::vector<std::string>& args) {
  std::string command = "TREVO_PICTURE=0 timeout 600 '" TREVO_BINARY "'";
  for (const auto& a : args) command += " '" + a + "'";
  const int status = std::system((command + " > '" + base + ".console' 2>&1").c_str());
  return {base, WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_text(base + ".console"), read_text(base + ".OUT")};
}
struct JobFolder {  // a fresh temporary folder, removed with its files
  fs::path dir;
  JobFolder() { std::string t = fs::temp_directory_path() / "trevo_e2e_XXXXXX"; dir = ::mkdtemp(t.data()); }
  ~JobFolder() { fs::remove_all(dir); }
};

// A job run once for all tests (CTest runs each in its own process): on disk in <build>/e2e_cache/<tag>/, made
// by the first test under an exclusive flock (the others wait), kept while binary, job and work size stay.
inline const JobRun& cached_run(const std::string& tag, const std::string& job, const std::string& work_size = "20000") {
  static std::map<std::string, JobRun> runs;
  auto file_stamp = [](const fs::path& p) {
    return std::to_string(fs::file_size(p)) + ":" + std::to_string(fs::last_write_time(p).time_since_epoch().count());
  };
  if (auto found = runs.find(tag); found != runs.end()) return found->second;
  const fs::path root = fs::path(TREVO_BINARY).parent_path() / "e2e_cache", dir = root / tag;
  const std::string key = file_stamp(TREVO_BINARY) + "|" + std::to_string(std::hash<std::string>{}(job)) + "|" + work_size;
  fs::create_directories(root);
  const int lock = ::open((root / (tag + ".lock")).c_str(), O_CREAT | O_RDWR, 0644);
  ::flock(lock, LOCK_EX);
  JobRun run{(dir / tag).string()};
  if (const std::string stored = read_text(dir / "cache.key"); stored.rfind(key + "\n", 0) == 0) {
    run = {run.base, std::stoi(stored.substr(key.size() + 1)), run.file(".console"), run.file(".OUT")};
  } else {
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(run.base + ".dat", std::ios::binary) << job;
    run = run_trevo(run.base, {run.base, work_size, "1"});
    std::ofstream(dir / "cache.key", std::ios::binary) << key << "\n" << run.exit_status << "\n";
  }
  ::close(lock);  // releases the lock
  return runs.emplace(tag, run).first->second;
}

// partgen's channel whose walls lean in by <deg> degrees ("lean<deg>[_tris]"), made once into
// <build>/e2e_cache/partgen under a lock; a failed generation leaves no reference, which fails the tests.
inline std::string leaning_channel(const std::string& name) {
  const fs::path dir = fs::path(TREVO_BINARY).parent_path() / "e2e_cache" / "partgen";
  fs::create_directories(dir);
  const int lock = ::open((dir / (name + ".lock")).c_str(), O_CREAT | O_RDWR, 0644);
  ::flock(lock, LOCK_EX);
  const std::string command = "/usr/bin/python3 '" TREVO_SHARED_DIR "/tools/partgen/partgen.py' undercut --undercut-deg " +
                              name.substr(4, 2) + (contains(name, "tris") ? " --tris" : "") + " --out '" + dir.string() +
                              "' --name " + name + " > /dev/null 2>&1";
  if (!fs::exists(dir / (name + ".ref.json")) && std::system(command.c_str()) != 0) fs::remove(dir / (name + ".ref.json"));
  ::close(lock);
  return (dir / (name + ".dat")).string();
}

enum class End { verdict, no_verdict, elastic };  // elastic: blank by the elastic approximation method
struct Part {
  std::string name, dat, extra_lines{};
  End end = End::verdict;
  std::string variant_of{};  // the same part in its canonical pose and numbering
  bool real() const { return contains(dat, "/real/"); }
  std::string reference(const std::string& suffix) const { return dat.substr(0, dat.size() - 4) + suffix; }
};
inline const std::vector<Part>& parts() {
  static const std::vector<Part> all = [] {
    const std::string set = TREVO_SHARED_DIR "/validation/";
    std::vector<Part> p;
    // A tilted part is solved with the automatic tipping search (without it, it would be solved tilted).
    for (std::string n : {"plate", "channel", "panel", "cone", "cone_tris", "cup", "cup_hat", "dome", "box", "srail",
                          "srail_tris", "plate_rot30_shuffled", "cup_tilted", "box_tilted"})
      p.push_back({n, set + "generated/" + n + ".dat", contains(n, "tilted") ? "AUTONOML 1\n" : "", End::verdict,
                   contains(n, "tilted") || contains(n, "shuffled") ? n.substr(0, n.find('_')) : ""});
    // Walls leaning in: the undercut check sets the iteration limit to 0, the punch-direction check the method 3.
    for (std::string n : {"box_pad_holder", "cup_holder", "cup_holder_beads", "srail_holder_beads", "cup_freeedge_bhf",
                          "channel_constrained", "plate_controls", "channel_flatbinder", "channel_cylbinder",
                          "panel_cylbinder", "cup_all_tools", "undercut22", "undercut35"})
      p.push_back({n, set + "tools/" + n + ".dat", "",
                   n == "undercut22" ? End::no_verdict : n == "undercut35" ? End::elastic : End::verdict});
    for (std::string n : {"lean30", "lean45", "lean30_tris", "lean45_tris"}) p.push_back({n, leaning_channel(n), "", End::elastic});
    for (const auto& f : fs::directory_iterator(set + "real"))  // one part per folder, <folder>/<folder>.dat
      if (f.is_directory()) p.push_back({f.path().filename(), f.path() / (f.path().filename().string() + ".dat")});
    for (std::string n : {"undercut10", "channel_cylbinder200"})  // trevo's own, tests/data/README.md
      p.push_back({n, TREVO_SOURCE_DIR "/tests/data/" + n + ".dat"});
    return p;
  }();
  return all;
}
inline const Part& part(const std::string& name) {
  return *std::find_if(parts().begin(), parts().end(), [&](auto& p) { return p.name == name; });
}
// A job file with lines appended; a missing file throws, which fails the test.
inline std::string job_text(const std::string& dat, const std::string& extra_lines = "") {
  const std::string text = fs::exists(dat) ? read_text(dat) : throw std::runtime_error("no job file " + dat);
  return text + (text.back() == '\n' ? "" : "\n") + extra_lines;
}
inline const JobRun& validation_run(const std::string& name) {
  return cached_run(name, job_text(part(name).dat, part(name).extra_lines));
}
// Every line of a job through `edit`, which may change the free-form values from column 10 of its key.
inline std::string edited_job(const std::string& job,
                              const std::function<void(const std::string& key, std::vector<std::string>& v)>& edit) {
  std::istringstream in(job);
  std::string out;
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> values;
    std::istringstream fields(line.size() > 9 ? line.substr(9) : "");
    for (std::string f; fields >> f;) values.push_back(f);
    const std::vector<std::string> given = values;
    edit(line.substr(0, 8), values);
    if (values == given) { out += line + "\n"; continue; }
    out += line.substr(0, 8);
    for (const auto& v : values) out += " " + v;
    out += "\n";
  }
  return out;
}

// The part mesh of a keyword file, read without trevo's code: nodes in the order of their lines (the
// validation parts use every node), elements on node indices (a triangle repeats its third corner).
struct InputMesh {
  std::vector<Point> nodes;
  std::vector<long long> node_ids, labels;
  std::vector<std::array<int, 4>> elements;
  std::vector<int> corners;  // 3 or 4
  std::vector<double> h0;    // the thickness of each element
  double offset = 0;         // OFFSET
  int feature_lines = 0;     // FEATLINE lines
};
inline InputMesh read_input_mesh(const std::string& path) {
  InputMesh m;
  std::istringstream in(read_text(path));
  std::vector<std::array<long long, 4>> ids;
  for (std::string line; std::getline(in, line);) {
    const std::string key = line.substr(0, 8);
    std::istringstream v(line.size() > 9 ? line.substr(9) : "");
    long long id = 0, c[4] = {};
    Point p{};
    if (key == "SHETNODE" && v >> id >> p[0] >> p[1] >> p[2]) m.node_ids.push_back(id), m.nodes.push_back(p);
    if (key == "SHETQUAD" && v >> id >> c[0] >> c[1] >> c[2] >> c[3] >> p[0])
      m.labels.push_back(id), ids.push_back({c[0], c[1], c[2], c[3]}), m.h0.push_back(p[0]);
    if (key.rfind("OFFSET", 0) == 0) v >> m.offset;
    m.feature_lines += key == "FEATLINE";
  }
  std::unordered_map<long long, int> index;  // first line of each node identifier
  for (size_t k = m.node_ids.size(); k-- > 0;) index[m.node_ids[k]] = static_cast<int>(k);
  for (const auto& c : ids) {
    m.corners.push_back(c[3] == c[2] ? 3 : 4);
    m.elements.push_back({index.at(c[0]), index.at(c[1]), index.at(c[2]), index.at(c[3])});
  }
  return m;
}

inline Point sub(const Point& a, const Point& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
inline double norm(const Point& a) { return std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]); }
// Half the cross product of the diagonals (P3 - P1) x (P4 - P2): the area times the unit normal.
inline Point half_diagonal_cross(const std::vector<Point>& x, const std::array<int, 4>& c) {
  const Point a = sub(x[c[2]], x[c[0]]), b = sub(x[c[3]], x[c[1]]);
  return {(a[1] * b[2] - a[2] * b[1]) / 2, (a[2] * b[0] - a[0] * b[2]) / 2, (a[0] * b[1] - a[1] * b[0]) / 2};
}
inline std::array<Point, 2> box(const std::vector<Point>& p) {  // lowest and highest corner
  Point lo{1e300, 1e300, 1e300}, hi{-1e300, -1e300, -1e300};
  for (const Point& q : p)
    for (int k = 0; k < 3; ++k) lo[k] = std::min(lo[k], q[k]), hi[k] = std::max(hi[k], q[k]);
  return {lo, hi};
}
inline double size_of(const std::vector<Point>& p) { return norm(sub(box(p)[1], box(p)[0])); }
inline double height_of(const std::vector<Point>& p) { return box(p)[1][2] - box(p)[0][2]; }

// The largest distance between p and q (z ignored) after the best rigid motion in the plane, and where.
struct Fit { double error = 0; size_t worst = 0; };
inline Fit rigid_fit_2d(const std::vector<Point>& p, const std::vector<Point>& q) {
  using C = std::complex<double>;
  std::vector<C> a, b;
  C ca, cb, turn;
  for (size_t i = 0; i < p.size(); ++i) a.emplace_back(p[i][0], p[i][1]), b.emplace_back(q[i][0], q[i][1]);
  for (size_t i = 0; i < a.size(); ++i) ca += a[i] / double(a.size()), cb += b[i] / double(b.size());
  for (size_t i = 0; i < a.size(); ++i) turn += std::conj(a[i] - ca) * (b[i] - cb);
  Fit fit;
  for (size_t i = 0; i < a.size(); ++i)
    if (const double d = std::abs(turn / std::abs(turn) * (a[i] - ca) - (b[i] - cb)); d > fit.error) fit = {d, i};
  return fit;
}

// The point of a set within `tol` of a query, or -1 (the points lie far further apart than tol).
struct PointIndex {
  PointIndex(const std::vector<Point>& points, double t) : p(points), tol(t) {
    for (size_t i = 0; i < p.size(); ++i) by_x.emplace(p[i][0], i);
  }
  long long find(const Point& q) const {
    for (auto it = by_x.lower_bound(q[0] - tol); it != by_x.end() && it->first <= q[0] + tol; ++it)
      if (norm(sub(p[it->second], q)) <= tol) return static_cast<long long>(it->second);
    return -1;
  }
  std::vector<Point> p;
  double tol;
  std::multimap<double, size_t> by_x{};  // the points by x
};

// Written coordinates back in the part's canonical pose, M^T (p - t), by its reference's transform.
inline std::vector<Point> canonical(const std::vector<Point>& written, const std::string& ref) {
  const std::vector<double> m = numbers(json_at(ref, {"transform", "matrix"}), 9);  // by rows
  const std::vector<double> t = numbers(json_at(ref, {"transform", "translation"}), 3);
  std::vector<Point> out(written.size(), Point{});
  for (size_t k = 0; k < out.size(); ++k)
    for (int i = 0; i < 9; ++i) out[k][i % 3] += m[i] * (written[k][i / 3] - t[i / 3]);
  return out;
}

// A result file through its reader; the points of a Nastran file.
template <class Reader>
auto read_file(const std::string& path, Reader reader) {
  std::istringstream in(read_text(path));
  return reader(in);
}
inline std::vector<Point> points_of(const rd::NasFile& nas) {
  std::vector<Point> p;
  for (const auto& g : nas.grids) p.push_back({g.x, g.y, g.z});
  return p;
}

}  // namespace trevo::e2e
