// The on-binder stage through the real program: jobs with a binder surface (forming types 2,
// 3, 12, 13) run to the end, write the blank on the binder and its outline, and unfold it into
// the flat blank by the binder-surface calculation.
// Spec: Part 1.3 steps 22, 25, 27, 29; Part 1.4 (units 92, 98); Part 5.2 (binder-surface
// calculation); Part 7.1 (_3D.lin); Part 7.3 (_Blank_Onbinder.nas).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>

#include "run_results.h"
#include "run_text.h"
#include "validation_runs.h"

namespace trevo::e2e {
namespace {

Blank read_blank_on_binder(const JobRun& run) {
  std::istringstream in(run.file("_Blank_Onbinder.nas"));
  return blank_of(test_readers::read_nastran(in));
}

std::string console_tail(const JobRun& run) {
  return run.console.substr(run.console.size() > 2000 ? run.console.size() - 2000 : 0);
}

class BinderJob : public testing::TestWithParam<std::string> {};

// Part 1.3: the run goes through steps 22-30 and ends with the closing stamp; the flat blank
// (<base>_Blank.nas) lies in one plane and has the nodes and elements of the blank on the binder.
TEST_P(BinderJob, RunsToTheEndWithTheBlankOnTheBinderAndItsOutline) {
  const JobRun& run = validation_run(GetParam());
  ASSERT_EQ(run.exit_status, 0);
  const std::vector<std::string> lines = records_of(run.console);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back().rfind("TIME(HH:MM:SS:.01):", 0), 0u) << console_tail(run);
  EXPECT_FALSE(contains(run.console, "Not implemented")) << console_tail(run);
  const Blank flat = blank_of(read_blank_file(run));
  const Blank on_binder = read_blank_on_binder(run);
  ASSERT_TRUE(flat.error.empty()) << flat.error;
  ASSERT_TRUE(on_binder.error.empty()) << on_binder.error;
  ASSERT_EQ(flat.nodes.size(), on_binder.nodes.size());
  EXPECT_EQ(flat.elements, on_binder.elements);
  double z_lo = 1e300, z_hi = -1e300;
  for (const Point& p : flat.nodes) z_lo = std::min(z_lo, p[2]), z_hi = std::max(z_hi, p[2]);
  EXPECT_LE(z_hi - z_lo, 1e-6) << "the flat blank lies in one plane (untipped part)";
  const test_readers::LinFile outline = read_lin_file(run, "_3D.lin");
  ASSERT_TRUE(outline.error.empty()) << outline.error;
  EXPECT_EQ(outline.header2, "PART OUTLN3D");
  ASSERT_FALSE(outline.lines.empty());
  // Each point of the outline on the binder is a node of the blank on the binder.
  for (const auto& line : outline.lines)
    for (const auto& p : line.points) {
      const auto near = std::find_if(on_binder.nodes.begin(), on_binder.nodes.end(),
                                     [&](const Point& q) { return distance({p[0], p[1], p[2]}, q) < 1e-6; });
      ASSERT_NE(near, on_binder.nodes.end()) << "outline point " << p[0] << " " << p[1] << " " << p[2];
    }
}

// Part 5.2: after the forces line the binder-surface calculation writes its progress line at
// k = 1 and always its closing line, console and report alike, before the blank summary;
// when the solved blank has inverted elements the calculation is abandoned with its message.
TEST_P(BinderJob, BinderSurfaceProgressAndClosingLinesFollowTheForces) {
  const JobRun& run = validation_run(GetParam());
  if (contains(run.console, "******* Due to lack of convergency, binder surface")) {
    EXPECT_TRUE(contains(run.console, "\n ******* Due to lack of convergency, binder surface\n"
                                      "        calculation is not continued *******\n"));
    EXPECT_TRUE(contains(run.report, " ******* Due to lack of convergency, binder surface\n"
                                     "         calculation is not continued *******\n"));
    FAIL() << GetParam() << " converged but its binder-surface calculation was abandoned";
  }
  for (const std::string* text : {&run.console, &run.report}) {
    const std::vector<std::string> lines = records_of(*text);
    const auto forces = std::find_if(lines.begin(), lines.end(),
                                     [](const std::string& l) { return l.rfind(" PUNCHFORCE=", 0) == 0; });
    ASSERT_NE(forces, lines.end()) << GetParam();
    ASSERT_GE(lines.end() - forces, 3);
    EXPECT_EQ(forces[1].rfind(" NN1=  1  DEPXY=", 0), 0u) << forces[1];
    auto it = forces + 1;
    while (it != lines.end() && it->rfind(" NN1=", 0) == 0) ++it;
    EXPECT_GE(it - forces, 3) << "progress line at k = 1 and the closing line";
    EXPECT_TRUE(std::prev(it)->find("RELAX=   1.000") != std::string::npos) << *std::prev(it);
  }
}

INSTANTIATE_TEST_SUITE_P(ValidationBinderJobs, BinderJob,
                         testing::Values("channel_flatbinder", "channel_cylbinder", "panel_cylbinder", "cup_all_tools",
                                         "channel_cylbinder200"),
                         PartName());

// Node positions of a Blank after the best rigid motion onto the development, relative to its size.
double development_error(const std::vector<Point>& blank, const std::vector<Point>& development) {
  return rigid_fit_2d(blank, development).max_error / bounding_diagonal(development);
}

// Flat binder (README of the tools set): the blank on the binder is the flat blank itself at
// the binder height, so the binder-surface calculation returns it unchanged, and the flat blank
// is the channel's exact development (mesh chords, dev.csv) within 0.2 %.
TEST(FlatBinder, BlankIsTheExactDevelopmentAndTheBinderSurfaceKeepsIt) {
  const ValidationPart& part = validation_part("channel_flatbinder");
  const JobRun& run = validation_run(part.name);
  const InputMesh mesh = input_mesh_of(run);
  const Blank flat = blank_of(read_blank_file(run));
  const Blank on_binder = read_blank_on_binder(run);
  ASSERT_EQ(flat.nodes.size(), mesh.nodes.size());
  ASSERT_EQ(on_binder.nodes.size(), mesh.nodes.size());
  const auto dev = read_development(part.reference(".dev.csv"));
  std::vector<Point> exact;
  for (long long id : mesh.node_ids) exact.push_back(dev.at(id));
  const double error = development_error(flat.nodes, exact);
  record_measure("max_node_error_rel", error);
  EXPECT_LE(error, 0.002);
  EXPECT_LE(development_error(flat.nodes, on_binder.nodes), 1e-6) << "the flat binder's blank moves";
  for (const Point& p : on_binder.nodes) ASSERT_NEAR(p[2], on_binder.nodes[0][2], 1e-6) << "off the flat binder";
}

// Cylindrical binder z = H + R - sqrt(R^2 - y^2) (README of the tools set): the blank on the
// binder lies on the cylinder, and the binder-surface calculation returns its development
// X = x, Y = R atan2(y, H + R - z) (Part 5.2), up to a rigid motion in the plane.
void expect_development_of_blank_on_cylinder(const std::string& name, double radius, double limit) {
  const JobRun& run = validation_run(name);
  const Blank flat = blank_of(read_blank_file(run));
  const Blank on_binder = read_blank_on_binder(run);
  ASSERT_TRUE(flat.error.empty() && on_binder.error.empty());
  ASSERT_EQ(flat.nodes.size(), on_binder.nodes.size());
  std::vector<double> heights;
  for (const Point& p : on_binder.nodes) heights.push_back(p[2] - (radius - std::sqrt(radius * radius - p[1] * p[1])));
  std::nth_element(heights.begin(), heights.begin() + heights.size() / 2, heights.end());
  const double flange = heights[heights.size() / 2];
  std::vector<Point> development;
  for (const Point& p : on_binder.nodes)
    development.push_back({p[0], radius * std::atan2(p[1], flange + radius - p[2]), 0.0});
  const double error = development_error(flat.nodes, development);
  record_measure(name + "_binder_development_error_rel", error);
  EXPECT_LE(error, limit) << name;
}

TEST(CylindricalBinder, PanelBlankIsTheDevelopmentOfItsBlankOnTheBinder) {
  expect_development_of_blank_on_cylinder("panel_cylbinder", 500.0, 1e-4);
}

// A channel on a cylindrical binder is developable: its flat blank is known exactly (dev.csv), and its
// blank on the binder develops to it.
void expect_exact_development_of_channel_on_cylinder(const std::string& name, double radius) {
  const ValidationPart& part = validation_part(name);
  const JobRun& run = validation_run(part.name);
  const InputMesh mesh = input_mesh_of(run);
  const Blank flat = blank_of(read_blank_file(run));
  const auto dev = read_development(part.reference(".dev.csv"));
  std::vector<Point> exact;
  for (long long id : mesh.node_ids) exact.push_back(dev.at(id));
  EXPECT_LE(development_error(flat.nodes, exact), 0.002);
  expect_development_of_blank_on_cylinder(part.name, radius, 1e-4);
}

// Issue: the channel on the cylindrical binder is developable, its flat blank known exactly.
TEST(CylindricalBinder, ChannelBlankIsTheExactDevelopment) {
  expect_exact_development_of_channel_on_cylinder("channel_cylbinder", 300.0);
}

// trevo's own part (tests/data/README.md): the same channel on a binder of radius 200, whose flange
// overshoots unless the matrix moves reversing nodes with the binder (increment_reversals.h).
TEST(CylindricalBinder, ChannelOnASteeperBinderIsTheExactDevelopment) {
  expect_exact_development_of_channel_on_cylinder("channel_cylbinder200", 200.0);
}

// Part 1.3 edge case: forming type 2 with FLANGING 1 skips the on-binder stage (no binder-
// surface lines) and writes <base>_Blank_Onbinder.nas after the outlines (step 27), with the
// blank at the binder height while <base>_Blank.nas stays flat.
TEST(FlatBlankOnly, BlankOnTheBinderIsWrittenAfterTheOutlinesWithoutTheBinderSurfaceStage) {
  const ValidationPart& part = validation_part("channel_flatbinder");
  const JobRun& run = cached_job("channel_flatbinder_flanging", part.relative_dat, "FLANGING 1\n");
  ASSERT_EQ(run.exit_status, 0) << console_tail(run);
  const std::vector<std::string> lines = records_of(run.console);
  EXPECT_EQ(lines.back().rfind("TIME(HH:MM:SS:.01):", 0), 0u) << console_tail(run);
  const auto forces = std::find_if(lines.begin(), lines.end(),
                                   [](const std::string& l) { return l.rfind(" PUNCHFORCE=", 0) == 0; });
  ASSERT_NE(forces, lines.end());
  for (auto it = forces; it != lines.end(); ++it) EXPECT_EQ(it->rfind(" NN1=", 0), std::string::npos) << *it;
  namespace fs = std::filesystem;
  ASSERT_TRUE(run.exists("_Blank_Onbinder.nas") && run.exists(".lin") && run.exists("_Blank.nas"));
  EXPECT_GE(fs::last_write_time(run.base + "_Blank_Onbinder.nas"), fs::last_write_time(run.base + ".lin"));
  EXPECT_GE(fs::last_write_time(run.base + "_Blank_Onbinder.nas"), fs::last_write_time(run.base + "_Blank.nas"));
  const Blank flat = blank_of(read_blank_file(run));
  const Blank on_binder = read_blank_on_binder(run);
  ASSERT_EQ(flat.nodes.size(), on_binder.nodes.size());
  const double binder_z = on_binder.nodes[0][2];
  for (size_t i = 0; i < flat.nodes.size(); ++i) {
    ASSERT_NEAR(on_binder.nodes[i][2], binder_z, 1e-6) << "node " << i + 1;
    ASSERT_NEAR(flat.nodes[i][0], on_binder.nodes[i][0], 1e-9) << "node " << i + 1;
    ASSERT_NEAR(flat.nodes[i][1], on_binder.nodes[i][1], 1e-9) << "node " << i + 1;
  }
  EXPECT_GT(std::abs(binder_z - flat.nodes[0][2]), 1.0) << "the flat blank is not at the binder height";
}

}  // namespace
}  // namespace trevo::e2e
