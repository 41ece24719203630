// The elastic approximation method through the real program: golden runs on an undercut strip, the real
// stamped parts tilted past the punch limit (channels leaning in past it: validation_runs.h).
#include <iomanip>

#include "validation_runs.h"

namespace trevo::e2e {
namespace {

// The undercut strip: a cylinder strip of radius 20 mm bent through 260 degrees about the x axis (8 x 30
// cells, 5 mm along x), whose ends face down past the punch limit. Its development is exact: X - x is the
// same for every node, and Y grows by one chord 2 r sin(dphi / 2) per cell across the arc.
constexpr int kCells = 8, kArc = 30;  // cells along x, cells across the arc
constexpr double kRadius = 20.0, kSpan = 260.0 * 3.14159265358979 / 180.0;

// `strips` strips 100 mm apart along x, sharing no node; nodes (i, j) numbered i fastest.
std::string strip_job(int strips, const std::string& lines) {
  std::ostringstream out;
  out << "$$KVO/TREVO  undercut strip\nFORMTYPE 0\nMATERIAL  0.001 600.0 0.22 0 1.0 1.0 1.0\n" << std::fixed
      << std::setprecision(8);
  for (int s = 0, n = 0; s < strips; ++s)
    for (int j = 0; j <= kArc; ++j)
      for (int i = 0; i <= kCells; ++i) {
        const double phi = -kSpan / 2 + kSpan * j / kArc;
        out << "SHETNODE " << ++n << ' ' << 100.0 * s + 5.0 * i << ' ' << kRadius * std::sin(phi) << ' '
            << kRadius * std::cos(phi) << '\n';
      }
  for (int s = 0, e = 0; s < strips; ++s)
    for (int j = 0; j < kArc; ++j)
      for (int i = 0; i < kCells; ++i) {
        const int a = (s * (kArc + 1) + j) * (kCells + 1) + i + 1;
        out << "SHETQUAD " << ++e << ' ' << a << ' ' << a + 1 << ' ' << a + kCells + 2 << ' ' << a + kCells + 1 << " 1.0\n";
      }
  return out.str() + lines;
}

// A job and its exact end. reached: the share of every hold's value at which its node ends, the
// part coordinate being where the development leaves it (so along x for a diverged run: the two
// steps at RELAX 0.3 apply 1 - 0.7^2 of it). text: in the console and the run report, at their end
// for a stopped run.
struct GoldenCase {
  std::string name, lines;
  int strips = 1;
  double reached = 1.0;
  std::string text;
  bool stops = false;
};
const std::string kOverlap1 = " ........ Overlap elements found in the model.", kOverlap2 = "          Check the mesh and try again .......";
const GoldenCase kGolden[] = {
    {"HoldsPlaceTheDevelopment", "CONTRATX 1 1 5.0\nCONTRATY 1 1 0.0\nCONTRATY 2 9 0.0\n", 1, 1.0,
     "\n &&&&&&&&&&&&&&&&&&&&&&&&&&&&&&&  NN0=          40\n"},
    // The far corner of the strip's first edge held 60 mm back along x, past its near corner: the
    // strip must turn over, and the relaxation's ADP rises at once.
    {"CrossedHoldsDivergeAndKeepTheLastBlank", "CONTRATX 1 1 5.0\nCONTRATX 2 9 -60.0\n", 1, 0.51,
     "\n ******* Failed to complete solution *******\n\n NN1=  2  DEPXY="},
    {"SeparateStripsStopOnOverlap", "", 2, 0.0,
     kOverlap1 + std::string(80 - kOverlap1.size(), ' ') + "\n" + kOverlap2 + std::string(80 - kOverlap2.size(), ' ') + "\n",
     true},
};

class ElasticGolden : public testing::TestWithParam<GoldenCase> {};
TEST_P(ElasticGolden, EndsExactly) {
  const GoldenCase& c = GetParam();
  JobFolder folder;
  const std::string base = (folder.dir / "strip").string();
  std::ofstream(base + ".dat") << strip_job(c.strips, c.lines);
  const JobRun run = run_trevo(base, {base, "20000", "1"});
  ASSERT_EQ(run.exit_status, 0) << run.console;
  for (const std::string* text : {&run.console, &run.report}) {
    EXPECT_TRUE(contains(*text, c.text)) << *text;
    EXPECT_EQ(text->size() >= c.text.size() && text->compare(text->size() - c.text.size(), c.text.size(), c.text) == 0, c.stops);
    EXPECT_EQ(contains(*text, "Failed to complete"), contains(c.text, "Failed to complete"));
  }
  EXPECT_TRUE(contains(run.file(".summary.json"), c.stops ? "\"status\": \"stopped\"" : "\"status\": \"complete\""));
  if (c.stops) return;
  const rd::NasFile nas = read_file(base + "_Blank.nas", rd::read_nastran);
  const InputMesh mesh = read_input_mesh(base + ".dat");
  ASSERT_TRUE(nas.error.empty() && nas.grids.size() == mesh.nodes.size()) << nas.error;
  std::istringstream holds(c.lines);
  for (std::string key; holds >> key;) {
    int index = 0, node = 0;
    double value = 0;
    holds >> index >> node >> value;
    const int axis = key == "CONTRATY";
    const double blank = axis ? nas.grids[node - 1].y : nas.grids[node - 1].x;
    EXPECT_NEAR(blank, mesh.nodes[node - 1][axis] + c.reached * value, 1e-3) << key << " " << node;
  }
  const double chord = 2 * kRadius * std::sin(kSpan / kArc / 2);
  for (size_t n = 0; c.reached == 1.0 && n < mesh.nodes.size(); ++n) {  // the development, placed by node 1
    EXPECT_NEAR(nas.grids[n].x - nas.grids[0].x, mesh.nodes[n][0] - mesh.nodes[0][0], 1e-3) << n + 1;
    EXPECT_NEAR(nas.grids[n].y - nas.grids[0].y, chord * static_cast<double>(n / (kCells + 1)), 1e-3) << n + 1;
  }
}
INSTANTIATE_TEST_SUITE_P(UndercutStrip, ElasticGolden, testing::ValuesIn(kGolden),
                         [](const testing::TestParamInfo<GoldenCase>& i) { return i.param.name; });

// The real stamped parts tilted until some elements face further down than the punch limit
// (scripts/rotate_job.py): a complete run whose blank has every element turning the part's way with a
// positive area, and an area within 5 % of the part's area in space. The drawn pocket's box corners,
// strained far from any development, try the stage relaxations hardest. Five parts take seconds and
// run in every build; the door inner panel, under a minute, with TREVO_SLOW_TESTS=1.
struct TiltedPart {
  std::string name, axis;
  int degrees = 0;
  bool slow = true;
};
void PrintTo(const TiltedPart& t, std::ostream* os) { *os << t.name; }
class TiltedRealPart : public testing::TestWithParam<TiltedPart> {};
TEST_P(TiltedRealPart, ElasticBlankIsSound) {
  const TiltedPart& t = GetParam();
  if (t.slow && std::string(std::getenv("TREVO_SLOW_TESTS") ? std::getenv("TREVO_SLOW_TESTS") : "") != "1")
    GTEST_SKIP() << "a slow part: TREVO_SLOW_TESTS=1 runs it";
  JobFolder folder;
  const std::string tilted = (folder.dir / "tilted.dat").string();
  const std::string command = "/usr/bin/python3 '" TREVO_SOURCE_DIR "/scripts/rotate_job.py' '" + part(t.name).dat +
                              "' '" + tilted + "' " + std::to_string(t.degrees) + " --axis " + t.axis;
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const JobRun& run = cached_run("tilted_" + t.name, job_text(tilted), "60000");
  ASSERT_EQ(run.exit_status, 0) << run.tail();
  EXPECT_TRUE(contains(run.console, "Blank shape will be calculated with elastic approximate method")) << run.tail();
  EXPECT_TRUE(contains(run.file(".summary.json"), "\"status\": \"complete\"")) << run.tail();
  const rd::NasFile nas = read_file(run.base + "_Blank.nas", rd::read_nastran);
  const InputMesh mesh = read_input_mesh(run.base + ".dat");
  ASSERT_TRUE(nas.error.empty() && nas.grids.size() == mesh.nodes.size()) << nas.error;
  const std::vector<Point> blank = points_of(nas);
  double blank_area = 0, part_area = 0, least = 1e300;
  size_t worst = 0;
  for (size_t e = 0; e < nas.elements.size(); ++e) {
    const std::vector<long long>& c = nas.elements[e].nodes;  // its signed area in the plan
    const double area = half_diagonal_cross(blank, {int(c[0] - 1), int(c[1] - 1), int(c[2] - 1), int(c.back() - 1)})[2];
    blank_area += area;
    if (area < least) least = area, worst = e;
  }
  for (const auto& c : mesh.elements) part_area += norm(half_diagonal_cross(mesh.nodes, c));
  EXPECT_GT(least, 0.0) << "element " << nas.elements[worst].number << " inverted or degenerate";
  EXPECT_NEAR(blank_area / part_area, 1.0, 0.05);
}
INSTANTIATE_TEST_SUITE_P(PastThePunchLimit, TiltedRealPart,
                         testing::Values(TiltedPart{"recliner_bracket", "x", 30, false},
                                         TiltedPart{"cross_member_pocket", "y", 35, false},
                                         TiltedPart{"cross_member", "x", 30, false},
                                         TiltedPart{"door_hinge_panel", "y", 65, false},
                                         TiltedPart{"halo_outer", "y", 50, false}, TiltedPart{"door_inner", "x", 30}),
                         [](const testing::TestParamInfo<TiltedPart>& i) { return i.param.name; });

}  // namespace
}  // namespace trevo::e2e
